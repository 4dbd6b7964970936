#include "TextosColumna.h"

#include "Falla.h"

#include <algorithm>

TextosColumna::Celda TextosColumna::Guardar(QStringView texto) {
    const auto largo = std::size_t(texto.size());
    if (largo == 0)
        return {};
    if (largo >= TamanoBloque) {
        largos_.push_back(texto.toString());
        return {std::uint32_t(largos_.size() - 1), Largo};
    }
    if (usado_ + largo > capacidad_) {
        if (bloques_.size() >= (std::size_t(1) << (32 - BitsBloque)))
            throw Falla(7, QStringLiteral("Memoria insuficiente"));
        capacidad_ = std::max<std::uint32_t>({4096, std::min(TamanoBloque, capacidad_ * 2),
                                              std::uint32_t(largo)});
        bloques_.push_back(std::make_unique_for_overwrite<char16_t[]>(capacidad_));
        usado_ = 0;
    }
    const std::uint32_t inicio = std::uint32_t((bloques_.size() - 1) << BitsBloque) + usado_;
    std::copy_n(texto.utf16(), largo, bloques_.back().get() + usado_);
    usado_ += std::uint32_t(largo);
    return {inicio, std::uint32_t(largo)};
}

void TextosColumna::Agregar(QStringView texto) {
    celdas_.push_back(Guardar(texto));
}

void TextosColumna::AgregarVacias(std::size_t cuantas) {
    celdas_.resize(celdas_.size() + cuantas);
}

void TextosColumna::Asignar(std::size_t fila, QStringView texto) {
    Celda& celda = celdas_.at(fila);
    // The characters written last can be written over: filling a new row cell by cell
    // leaves nothing behind.
    const bool alFinal = celda.largo != Largo && celda.largo != 0 && !bloques_.empty() &&
                         (celda.inicio >> BitsBloque) == bloques_.size() - 1 &&
                         (celda.inicio & (TamanoBloque - 1)) + celda.largo == usado_;
    if (alFinal && (celda.inicio & (TamanoBloque - 1)) + std::size_t(texto.size()) <= capacidad_) {
        usado_ -= celda.largo;
        std::copy_n(texto.utf16(), texto.size(), bloques_.back().get() + usado_);
        usado_ += std::uint32_t(texto.size());
        celda.largo = std::uint32_t(texto.size());
        return;
    }
    celda = Guardar(texto);
}

QStringView TextosColumna::Vista(std::size_t fila) const {
    const Celda& celda = celdas_[fila];
    if (celda.largo == Largo)
        return largos_[celda.inicio];
    if (celda.largo == 0)
        return {};
    return QStringView(bloques_[celda.inicio >> BitsBloque].get() + (celda.inicio & (TamanoBloque - 1)),
                       qsizetype(celda.largo));
}

void TextosColumna::Vaciar() {
    celdas_.clear();
    celdas_.shrink_to_fit();
    bloques_.clear();
    largos_.clear();
    capacidad_ = 0;
    usado_ = 0;
}
