#pragma once

#include "AvanceCorrida.h"
#include "LoteDeRemitos.h"
#include "Recordset.h"
#include "RegistroDeCorrida.h"
#include "Remito.h"

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
// Several notes share a transaction (a LoteDeRemitos), each behind a savepoint of its own, and
// the transaction is committed after a number of notes or a fraction of a second, at the end of
// the run, and before the program ends during one. A note is thus whole or absent: a program
// killed or a connection lost loses only the notes not committed yet, which the next run
// registers whole. A row the database refuses undoes only itself, and the failure is logged.
// A note's line reaches the run log once its transaction is committed, so the log names only
// what the database holds. A failure of storage or of the connection stops the run at once.
// A note that has any stock row is never selected again.
class CorridaRegistro : private OyenteDelLote {
public:
    CorridaRegistro() = default;
    ~CorridaRegistro() override;
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
    // A simulation does all a run does, but writes no configuration key and no log line: it
    // tells its avance the lines the log would get and the rows that would be written. On a
    // private copy of the database (Conexion::ModoCopiaPrivada) it commits to the copy as a
    // run commits; on the database itself its one transaction is never committed, and every
    // statement is checked to run inside it.
    void EstablecerSimulacion(bool simular) { simular_ = simular; }

    // "Proceso Finalizado!", and when something failed a second line that says what.
    static QString MensajeFinal(const ResultadoCorrida& resultado, const QString& archivoLog);

    // The state a run leaves behind, under the names the family's code gives the window's
    // fields: the selection and the last note's lines stay open past their last row until the
    // next run opens them again; the log keeps its last number and path.
    RefRecordset RsComprobantes;
    RefRecordset RsInsumos;
    RegistroDeCorrida Log;

private:
    bool Seleccionar(Rutina& rutina);
    // Goes through the selection; a CorridaDetenida stops it.
    void RecorrerNotas();
    // The type and number of the next notes of the selection, up to cuantas, from its current
    // row on.
    QList<QList<Variant>> Siguientes(int cuantas) const;
    // The notes taken: their movements put together (when not already) and written, while the
    // lines of the notes named in siguientes are read and their movements put together for
    // the next block.
    void EscribirBloque(const QList<QList<Variant>>& siguientes);
    // A note's movements from its lines (none when they could not be read).
    void Armar(Remito& remito, const RefRecordset& renglones);
    // The lines of each note of the block, in order; none for a note whose lines could not be
    // read (it is said and counted).
    QList<RefRecordset> Renglones(const QList<Remito>& bloque);
    // The same, one note at a time.
    QList<RefRecordset> LeerRenglones(const QList<Remito>& bloque);
    void ArmarMovimientos(Remito& remito);
    // The run stopped: why, and the notes left for the next one.
    void Detenida(const CorridaDetenida& detencion);

    void Confirmado(const RemitoEnLote& remito) override;
    void Falla(const QString& linea) override;
    // A line of the run log (in a simulation, told instead).
    void Anotar(const QString& linea);
    // Takes the lock of the run; false when another run holds the database.
    bool TomarBloqueo(ResultadoCorrida& resultado);
    // However the run ends: its transaction and its lock go.
    void Terminar();

    Conexion* conexion_ = nullptr;
    AvanceCorrida* avance_ = nullptr;
    ResultadoCorrida* resultado_ = nullptr;
    std::optional<LoteDeRemitos> lote_;
    int total_ = 0;
    int procesadas_ = 0;
    // The notes taken and not written yet, and the next notes of the selection, put together
    // while the block before them was written.
    QList<Remito> bloque_;
    QList<Remito> preparados_;
    int espera_ = 0;
    bool simular_ = false;
    bool bloqueada_ = false;
    int notasPorLote_ = 500;
    int milisegundosPorLote_ = 250;
};
