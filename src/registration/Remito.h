#pragma once

#include "FormaInsercion.h"
#include "Variant.h"

#include <QList>
#include <QString>

class Recordset;

// One stock movement to write: the number of its item line within the note and the fifteen
// values of its row, in the order of the INSERT's columns.
struct Movimiento {
    int secuencia = 0;
    QList<Variant> valores;
};

// A delivery note to register: who it is and the movements of its item lines, as values. The
// INSERT's text is written from them only where a person reads it (the run log, a preview, a
// message); the engines are handed the values.
struct Remito {
    QString documento; // TC and IDCOMPROBANTE run together, as the log names it
    QString tc;
    QString id;
    Variant complemento;
    QList<Movimiento> movimientos;
    // Why the note's own values could not be read (a field missing); empty when they were.
    QString faltaDeLaNota;
    // Whether its movements were put together (there may be none).
    bool armado = false;

    // The note at the current row of a selection of V_MV_Cpte, without movements.
    static Remito De(Recordset& nota);
    // How the log and the messages name the note at the current row.
    static QString Documento(Recordset& nota);

    // Where a lines recordset keeps the columns a movement takes.
    struct ColumnasDeRenglon {
        int articulo, descripcion, unidad, cantidad, costo, importe, clase;
        // Looked up by name; a column missing is a failure.
        static ColumnasDeRenglon De(Recordset& renglones);
    };
    // The movement of the current item line of the note at the current row of nota,
    // numbered secuencia. A field missing from either row is a failure; a value that cannot be
    // written as itself is refused later, by the engine that is handed it, as the line's
    // failure.
    static Movimiento MovimientoDe(Recordset& nota, Recordset& renglon, int secuencia);
    // The same for this note, whose own values were read once (ValoresDeLaNota).
    Movimiento MovimientoDe(Recordset& renglon, const ColumnasDeRenglon& columnas, int secuencia) const;
    // Reads the note's own values of its movements from the current row of nota.
    void ValoresDeLaNota(Recordset& nota);
    // The note that many rows after the current row of a selection, with its own values,
    // without moving; its values' failure is kept in faltaDeLaNota.
    static Remito Adelante(const Recordset& notas, qsizetype filas);

    // The stock movement's INSERT: the fixed head the family's programs send, its fifteen
    // columns and how each value is written.
    static const FormaInsercion& Forma();
    // The movement's INSERT with its values written as literals for that engine.
    static QString Sentencia(const Movimiento& movimiento, Dialecto dialecto);

    // The notes the run registers, whatever their stock rows: delivery notes not voided and
    // dated after the cutoff, a condition on V_MV_Cpte.
    static QString CondicionDeRemitosVigentes();
    // The selection of pending notes, as the family's programs send it: the vigent notes with
    // no stock row under their type, number and complement.
    static QString SentenciaSeleccion();
    // The item lines of a note, chosen by its type and number only.
    static QString SentenciaRenglones(const QString& tc, const QString& idComprobante);
    // The same with "?" for the type and the number, kept prepared.
    static QString SentenciaRenglonesPreparada();
    // The condition that picks a note's stock rows out of V_MV_Stock (type, number and
    // complement), for this engine's literals.
    QString CondicionDeSusFilas(Dialecto dialecto) const;

private:
    // TC, IDCOMPROBANTE, IdComplemento, Fecha and Cuenta, as every movement of the note
    // carries them.
    Variant tcValor_, idValor_, fecha_, cuenta_;
};
