#pragma once

#include "AvanceCorrida.h"
#include "Recordset.h"
#include "RegistroDeCorrida.h"

#include <QList>
#include <QString>

class Conexion;
class Rutina;

// The registration run: every pending delivery note gets one stock movement per item line,
// and one line in the run log. It has no window: the main window and batch mode both drive it
// through an AvanceCorrida, which shows its status line, handles the events at its event
// points and hears its progress. The closing message is the caller's to show.
//
// Each note's rows go in one transaction, so that a program ended or a connection lost in the
// middle of a note leaves none of them; a row the database refuses undoes only itself, and the
// failure is logged. A note that has any stock row is never selected again.
class CorridaRegistro {
public:
    CorridaRegistro() = default;
    CorridaRegistro(const CorridaRegistro&) = delete;
    CorridaRegistro& operator=(const CorridaRegistro&) = delete;

    // The run, up to closing its log; what it did.
    ResultadoCorrida Ejecutar(AvanceCorrida& avance);

    // The selection of pending notes, as the family's programs send it.
    static QString SentenciaSeleccion();
    // The item lines of a note, chosen by its type and number only.
    static QString SentenciaRenglones(const QString& tc, const QString& idComprobante);
    // The INSERT of the stock movement for the current line of a note, numbered secuencia.
    // A value that cannot be rendered fails the whole statement.
    static QString SentenciaInsert(Recordset& nota, Recordset& renglon, int secuencia);
    // "Proceso Finalizado!", and when something failed a second line that says what.
    static QString MensajeFinal(const ResultadoCorrida& resultado, const QString& archivoLog);

    // The state a run leaves behind, under the names the family's code gives the window's
    // fields: the selection and the last note's lines stay open past their last row until the
    // next run opens them again; the log keeps its last number and path.
    RefRecordset RsComprobantes;
    RefRecordset RsInsumos;
    RegistroDeCorrida Log;

private:
    // One INSERT of the note being registered, with its line's number.
    struct Movimiento {
        int secuencia;
        QString sentencia;
    };
    // The note being registered.
    struct NotaEnCurso {
        Recordset& nota;
        QString documento; // TC and IDCOMPROBANTE run together, as the log names it
        QString tc;
        QString id;
    };

    bool Seleccionar(Rutina& rutina, ResultadoCorrida& resultado);
    // Goes through the selection; false when the connection was lost on the way.
    bool RecorrerNotas(ResultadoCorrida& resultado);
    void RegistrarNota(NotaEnCurso& n, ResultadoCorrida& resultado);
    bool LeerRenglones(NotaEnCurso& n, ResultadoCorrida& resultado);
    QList<Movimiento> ArmarMovimientos(NotaEnCurso& n, ResultadoCorrida& resultado);
    // The note's rows in one message; true when that settled the note.
    bool EnviarEnBloque(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                        ResultadoCorrida& resultado);
    void EnviarUnoPorUno(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                         ResultadoCorrida& resultado);
    // Whether another run registered the note since this one selected it.
    bool RegistradaPorOtraCorrida(NotaEnCurso& n);
    void AnotarDeOtraCorrida(NotaEnCurso& n, ResultadoCorrida& resultado);
    void AnotarFalla(const QString& linea);

    Conexion* conexion_ = nullptr;
    AvanceCorrida* avance_ = nullptr;
};
