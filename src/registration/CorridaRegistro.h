#pragma once

#include "AvanceCorrida.h"
#include "Recordset.h"
#include "RegistroDeCorrida.h"
#include "Transaccion.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class Conexion;
class Rutina;

// The registration run: every pending delivery note gets one stock movement per item line,
// and one line in the run log. It has no window: the main window and batch mode both drive it
// through an AvanceCorrida, which shows its status line, handles the events at its event
// points and hears its progress. The closing message is the caller's to show.
//
// Several notes share a transaction, each behind a savepoint of its own, and the transaction
// is confirmed after a number of notes or a fraction of a second, at the end of the run, and
// before the program ends during one. A note is thus whole or absent: a program killed or a
// connection lost loses only the notes not confirmed yet, which the next run registers whole.
// A row the database refuses undoes only itself, and the failure is logged; a note the
// database undoes by itself takes the transaction with it, and the other notes of the
// transaction are written again. A note that has any stock row is never selected again.
class CorridaRegistro {
public:
    CorridaRegistro() = default;
    CorridaRegistro(const CorridaRegistro&) = delete;
    CorridaRegistro& operator=(const CorridaRegistro&) = delete;

    // The run, up to closing its log; what it did.
    ResultadoCorrida Ejecutar(AvanceCorrida& avance);
    // Makes what the run has written so far durable (the program is about to end during it).
    void ConfirmarLoHecho();
    // How many notes, and how many milliseconds, a transaction takes at most.
    void EstablecerLote(int notas, int milisegundos);
    // How long to wait for another run on the same database to end (seconds; 0 not to wait).
    void EstablecerEspera(int segundos) { espera_ = qMax(0, segundos); }
    // A simulation does all a run does inside a transaction that is undone at the end: it
    // writes no row, no configuration key and no log line, and tells its avance the lines the
    // log would get and the rows that would be written.
    void EstablecerSimulacion(bool simular) { simular_ = simular; }

    // The selection of pending notes, as the family's programs send it.
    static QString SentenciaSeleccion();
    // How the log and the messages name a note: its type and number run together.
    static QString Documento(Recordset& nota);
    // The item lines of a note, chosen by its type and number only.
    static QString SentenciaRenglones(const QString& tc, const QString& idComprobante);
    // The same with "?" for the type and the number, as the run keeps it prepared.
    static QString SentenciaRenglonesPreparada();
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
        // The type and number of the note after it, whose lines can travel with its rows.
        QString tcSiguiente;
        QString idSiguiente;
        bool haySiguiente = false;
    };

    // A note written in the transaction still open, with the statements that went in for
    // it, so that it can be written again if the transaction goes before it is confirmed.
    struct NotaEscrita {
        QString documento;
        QStringList sentencias;
    };

    bool Seleccionar(Rutina& rutina);
    // Goes through the selection; false when the connection was lost on the way.
    bool RecorrerNotas();
    void RegistrarNota(NotaEnCurso& n);
    bool LeerRenglones(NotaEnCurso& n);
    QList<Movimiento> ArmarMovimientos(NotaEnCurso& n);
    // The note's rows inside the open transaction, behind the note's savepoint.
    void EnviarEnLote(NotaEnCurso& n, const QList<Movimiento>& movimientos);
    // The note's rows in one message, savepoint and release included; true when that settled
    // the note, false when its lines must go one by one.
    bool EnviarEnBloque(NotaEnCurso& n, const QList<Movimiento>& movimientos, NotaEscrita& escrita);
    // The note's rows one by one: a refused one undoes only itself.
    void EnviarUnoPorUno(NotaEnCurso& n, const QList<Movimiento>& movimientos, NotaEscrita& escrita,
                         bool enLote);
    // Whether another run registered the note since this one selected it.
    bool RegistradaPorOtraCorrida(NotaEnCurso& n);
    void AnotarDeOtraCorrida(NotaEnCurso& n);
    void AnotarFalla(const QString& linea);
    // A line of the run log (in a simulation, told instead).
    void Anotar(const QString& linea);
    // The rows of a note that went in, to be confirmed with the batch.
    void Escrita(const NotaEscrita& escrita);
    // Counts them (and, in a simulation, tells them).
    void Contar(const NotaEscrita& escrita);
    // Takes the lock of the run; false when another run holds the database.
    bool TomarBloqueo(ResultadoCorrida& resultado);
    // However the run ends: its transaction and its lock go.
    void Terminar();

    // The transaction the notes share.
    bool AbrirLote(const QString& documento);
    bool LoteVencido() const;
    void ConfirmarLote();
    // The transaction went with the note the database undid: the notes written in it before
    // go again in a new one.
    void RehacerLote();
    // The connection is gone: nothing of the open transaction stays.
    void PerderLote(const QString& motivo);
    // A note written again, in a transaction of its own or behind a savepoint; a failure
    // leaves nothing of it.
    void Reescribir(const NotaEscrita& nota);
    void NoConfirmada(const NotaEscrita& nota, const QString& motivo);
    // A statement whose failure leaves the run to go on (a savepoint to release).
    bool Intentar(const QString& sentencia);

    Conexion* conexion_ = nullptr;
    AvanceCorrida* avance_ = nullptr;
    ResultadoCorrida* resultado_ = nullptr;
    std::optional<Transaccion> transaccion_;
    QList<NotaEscrita> lote_;
    QElapsedTimer edadDelLote_;
    // The lines of the next note, read with the rows of the last one, and whose they are.
    RefRecordset adelantados_;
    QString adelantadosDe_;
    int espera_ = 0;
    bool simular_ = false;
    bool bloqueada_ = false;
    int notasPorLote_ = 500;
    int milisegundosPorLote_ = 250;
};
