#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <vector>

// The texts of one column of a list, one per row, kept together: the characters of all the
// cells in large shared blocks and, per cell, where its characters start and how many there
// are. A million rows then cost eight bytes a cell besides their characters, instead of a
// string object and an allocation each, and walking the column in row order reads memory in
// the order it was written.
class TextosColumna {
public:
    // Appends a cell for a new row.
    void Agregar(QStringView texto);
    void AgregarVacias(std::size_t cuantas);
    // Room for that many cells in all, so that growing does not copy them.
    void Reservar(std::size_t cuantas) { celdas_.reserve(cuantas); }
    // Replaces a cell's text. The cell written last is rewritten in place; any other gets new
    // room at the end (the old characters are not reused: edits are few).
    void Asignar(std::size_t fila, QStringView texto);
    // Valid until the column changes.
    QStringView Vista(std::size_t fila) const;
    std::size_t Cantidad() const { return celdas_.size(); }
    void Vaciar();

private:
    struct Celda {
        std::uint32_t inicio = 0; // in blocks_ (block number * TamanoBloque + offset), or in largos_
        std::uint32_t largo = 0;
    };
    static constexpr std::uint32_t BitsBloque = 20;
    static constexpr std::uint32_t TamanoBloque = std::uint32_t(1) << BitsBloque;
    // A text too long for a block is kept whole on its own.
    static constexpr std::uint32_t Largo = 0xFFFFFFFFu;

    Celda Guardar(QStringView texto);

    std::vector<Celda> celdas_;
    std::vector<std::unique_ptr<char16_t[]>> bloques_;
    // The last block's room and what is used of it; blocks grow up to TamanoBloque, so that a
    // short list takes little.
    std::uint32_t capacidad_ = 0;
    std::uint32_t usado_ = 0;
    std::vector<QString> largos_;
};
