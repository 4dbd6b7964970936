#pragma once

#include "Celdas.h"
#include "Field.h"
#include "Variant.h"

#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class Conexion;

// What a column holds, as far as the program cares.
enum class TipoDato { Texto, Entero, Doble, Decimal, Booleano, Fecha, Binario };

struct Columna {
    QString nombre;
    long tamano = 0;
    TipoDato tipo = TipoDato::Texto;
};

// What one query gave: its columns and its rows' cells.
struct Lectura {
    QList<Columna> definicion;
    Celdas celdas;
};

// The rows of one statement. Every row is read when the recordset opens and the statement is
// released at once, so nothing stays open on the connection. Moving follows the usual rules:
// an empty recordset is at Bof and Eof at once, MoveNext past the last row reaches Eof, and a
// field cannot be read at Bof or Eof.
//
// Bof and Eof are spelled this way because EOF is a macro of the C library.
class Recordset {
public:
    Recordset() = default;

    bool Bof() const;
    bool Eof() const;
    void MoveFirst();
    void MoveNext();
    // The field by its name, without regard to case.
    Field Fields(const QString& nombre);
    Field Fields(int indice);
    // Where a field is, by its name without regard to case, for reading it row after row by
    // position; a field that is not there is a failure.
    int PosicionDe(const QString& nombre);
    int FieldCount() const;
    long RecordCount() const;
    // The value of a named field in the row that many rows after the current one, without
    // moving; nothing past the last row.
    std::optional<Variant> ValorAdelante(qsizetype filas, const QString& nombre) const;
    bool Abierto() const { return abierto_; }
    void Close();

    // Rows of recordsets opened with a dynamic cursor and optimistic locking can be changed.
    void AddNew();
    void Update();

    // A reading that went through every row, forward only, gives the rows' memory back; the
    // fields stay as they are. The recordset then reads as an empty one, at its end.
    void SoltarFilasLeidas();

    // For Conexion, which fills the recordset.
    void Cargar(QList<Columna> columnas, Celdas celdas, Conexion* conexion,
                QString sql, bool actualizable);
    // For Field.
    const Columna& ColumnaEn(int indice) const;
    Variant ValorEn(int indice) const;
    // The current row's text in a field without building its value: false when the field does
    // not hold a text (or null, which reads as empty), or the row is being added.
    bool TextoEn(int indice, QStringView& vista) const;
    void AsignarEn(int indice, const Variant& valor);

private:
    void ComprobarAbierto() const;
    // Position of a column by name without regard to case; -1 when there is none.
    int IndiceDe(const QString& nombre) const;
    int BuscarIndice(QStringView nombre) const;
    const std::vector<Variant>& FilaActual() const;
    void ComprobarFilaActual() const;
    qsizetype Filas() const;

    QList<Columna> columnas_;
    QHash<QString, int> indicePorNombre_; // only for statements with many columns
    mutable QList<std::pair<QString, int>> nombresVistos_;
    Celdas celdas_;
    // The current row's values, built once when a field of the row is first read.
    mutable std::vector<Variant> fila_;
    mutable qsizetype filaLeida_ = -1;
    qsizetype posicion_ = 0;
    bool bof_ = true;
    bool abierto_ = false;

    // Editing.
    Conexion* conexion_ = nullptr;
    QString sql_;
    bool actualizable_ = false;
    bool agregando_ = false;
    // While editing: the current row as it was read; while adding: the new row.
    std::vector<Variant> original_;
    std::vector<bool> cambiada_;
};

using RefRecordset = std::shared_ptr<Recordset>;
