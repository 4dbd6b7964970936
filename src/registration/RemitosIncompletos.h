#pragma once

#include "Remito.h"
#include "Variant.h"

#include <QList>
#include <QString>
#include <QStringList>

class Recordset;

// Notes that a run left with stock rows for only some of their lines (the database refused a
// line), found and completed only on request, never by the run itself.
//
// A note's lines are paired with its stock rows by what they hold, never by position: a
// query without ORDER BY may return the lines in another order the next time (an UPDATE of
// one line moves it on a server), so a line's place says nothing about which row came from
// it. A note is completed only when every one of its stock rows pairs with a line of its own.
class RemitosIncompletos {
public:
    // A line of the note that has no stock row, and the row it would get.
    struct Faltante {
        int secuencia = 0;
        QString descripcion;   // the line as a person recognises it
        Movimiento movimiento; // the row it gets
    };

    // One note pending by the run's filters with fewer stock rows than item lines.
    struct Remito {
        QString documento; // TC followed by IDCOMPROBANTE, as the run log names it
        qint64 complemento = 0;
        int renglones = 0;
        int filas = 0;
        QList<Faltante> faltantes;
        // Why it cannot be completed safely; empty when it can.
        QStringList problemas;
        bool completado = false; // its missing rows were written

        bool Completable() const { return problemas.isEmpty() && !faltantes.isEmpty(); }
        // The note as one heading line followed by one indented line per missing line or
        // per problem.
        QStringList Describir() const;
    };

    struct ResultadoCompletado {
        int completados = 0;        // notes whose missing rows all went in
        int renglonesEscritos = 0;
        int necesitanRevision = 0;  // notes left alone: their rows do not pair with their lines
        int noCompletados = 0;      // completable notes whose rows the database refused
        // A failure of storage or of the connection stopped the work there, and why.
        QString motivoDetencion;
        bool registroFallido = false;
        int lineasDeRegistroPerdidas = 0;
        QStringList fallas;         // the "*** " lines written to the log

        bool SinFallas() const {
            return necesitanRevision == 0 && noCompletados == 0 && motivoDetencion.isEmpty() &&
                   !registroFallido && lineasDeRegistroPerdidas == 0;
        }
    };

    // The candidates in one grouped pass over the notes: pending by the run's filters, with
    // stock rows, and with fewer of them than item lines.
    static QString SentenciaCandidatos();

    // Every incomplete note, examined; nothing is written. A failing statement is a failure.
    QList<Remito> Revisar();

    // Writes the missing rows of every completable note, each note in one transaction of its
    // own that also re-examines it, and logs every row written. Notes that cannot be completed
    // safely are left alone and counted. A failure of the candidates statement is a failure.
    ResultadoCompletado Completar(QList<Remito>* examinados = nullptr);

private:
    // The note at the current row of the candidates, its lines and its rows paired.
    Remito Examinar(Recordset& nota);
};
