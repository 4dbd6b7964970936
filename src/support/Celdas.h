#pragma once

#include "Variant.h"

#include <QString>
#include <cstdint>
#include <vector>

// The cells of a statement's rows, one after another, kept without a Variant each: a kind and
// eight bytes per cell, and the characters of the texts in shared buffers. A selection of
// hundreds of thousands of rows then takes a fraction of the memory that as many Variants take
// (each with its own text allocation), and reading a value builds its Variant when asked.
// Cells and characters are kept in blocks of a fixed size, so that growing never copies what
// was read and never holds the old and the new copy at once. A small result (a note's lines)
// keeps its Variants as they are: compacting it would cost more than it saves.
class Celdas {
public:
    void Agregar(const Variant& valor);
    void Agregar(Variant&& valor);
    // A text as the engine gives it, in UTF-8: decoded straight into the shared buffer, with no
    // string of its own on the way.
    void AgregarTextoUtf8(const char* bytes, qsizetype cuantos);
    // Replaces a cell's value (a row being edited); a new text goes to the end of the buffer.
    void Asignar(qsizetype indice, const Variant& valor);
    Variant Valor(qsizetype indice) const;
    // A text cell's characters without a copy, valid until the cells change; a null cell reads
    // as empty. False for any other kind of value.
    bool Texto(qsizetype indice, QStringView& vista) const;
    qsizetype Cantidad() const { return cantidad_; }
    void Vaciar();
    // Gives back the memory a finished reading did not use.
    void Ajustar();

private:
    enum class Clase : std::uint8_t { Vacio, Nulo, Texto, Entero, Doble, Decimal, Booleano, Fecha, Otro };
    struct Celda {
        Clase clase = Clase::Vacio;
        std::uint32_t largo = 0; // characters of a text
        qint64 dato = 0;         // a number, a date's milliseconds, or where a text starts
    };
    Celda Codificar(const Variant& valor);
    // Room for a text of up to that many characters at the end of the last text block.
    QString& BloqueDeTexto(qsizetype largo);
    void NuevaCelda(const Celda& celda);
    Celda& En(qsizetype indice) { return bloques_[size_t(indice >> BitsPorBloque)][size_t(indice & (CeldasPorBloque - 1))]; }
    const Celda& En(qsizetype indice) const {
        return bloques_[size_t(indice >> BitsPorBloque)][size_t(indice & (CeldasPorBloque - 1))];
    }

    static constexpr int BitsPorBloque = 14;
    static constexpr qsizetype CeldasPorBloque = qsizetype(1) << BitsPorBloque;
    static constexpr qsizetype CaracteresPorBloque = 256 * 1024;

    // Cells held as they came, until there are more than this; then all are compacted.
    static constexpr qsizetype MaximoSinCompactar = 4096;
    void Compactar();

    std::vector<Variant> sinCompactar_;
    bool compactas_ = false;
    std::vector<std::vector<Celda>> bloques_;
    qsizetype cantidad_ = 0;
    // Texts: a text lies whole in one block; dato says which block (high bits) and where.
    std::vector<QString> textos_;
    // The rare values with no compact form (an invalid date, an object).
    std::vector<Variant> otros_;
};
