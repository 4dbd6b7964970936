#pragma once

#include "AvanceCorrida.h"
#include "Recordset.h"
#include "Remito.h"
#include "Transaccion.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class Conexion;
struct EscrituraDeGrupo;
struct GrupoDeFilas;

// A failure of storage or of the connection: nothing more can be written, and the run stops.
struct CorridaDetenida {
    QString motivo;
};

// A remito of the lote and the movements of it that went in (positions in its movimientos).
struct RemitoEnLote {
    Remito remito;
    QList<int> escritos;
};

// What a lote tells the run it belongs to.
class OyenteDelLote {
public:
    virtual ~OyenteDelLote() = default;
    // A remito whose transaction committed (or, in a preview, would have): its log line, its
    // rows counted.
    virtual void Confirmado(const RemitoEnLote& remito) = 0;
    // A failure line ("*** ..."), told when it happens.
    virtual void Falla(const QString& linea) = 0;
};

// The remitos one transaction holds, each behind a savepoint of its own. A remito is told as
// confirmed only once the database has committed its transaction, so that the run log and the
// counts say what the database holds.
//
// The engine is asked, never assumed: when it undoes the transaction by itself, the remitos
// written in it before are written again once in a new one; if the engine undoes that one too,
// each goes in a transaction of its own. A remito refused at the commit goes again alone, so
// that only it stays out. A failure of storage or of the connection ends the lote's work with
// CorridaDetenida; a commit whose answer was lost is settled by asking the database, over a new
// connection, which remitos of the lote have their rows.
class LoteDeRemitos {
public:
    LoteDeRemitos(Conexion& conexion, ResultadoCorrida& resultado, OyenteDelLote& oyente);
    ~LoteDeRemitos();
    LoteDeRemitos(const LoteDeRemitos&) = delete;
    LoteDeRemitos& operator=(const LoteDeRemitos&) = delete;

    // false: a preview on the database itself, whose transaction is never committed (it is
    // undone at the end); its remitos are told as confirmed when the lote would be.
    void EstablecerConfirmacion(bool confirmar) { confirmar_ = confirmar; }

    // Writes the remitos' movements in the lote's transaction (opened when one has any), in
    // order, several at once where the engine can; the remitos join the lote, those with
    // nothing to write too, to be logged with it. Meanwhile, when asked, the query sql is read
    // for each set of values: mientras gets a recordset per set, or none when the reads failed.
    void Escribir(const QList<Remito>& remitos, const QString& sql = {},
                  const QList<QList<Variant>>& valores = {},
                  const std::function<void(QList<RefRecordset>&)>& mientras = {});
    int Remitos() const { return int(remitos_.size()); }
    // Milliseconds since the lote's transaction opened; 0 when none is open.
    qint64 Edad() const;
    // Commits the lote and tells its remitos; an empty lote just tells its remitos.
    void Confirmar();
    // The run stops: the open transaction is undone and its remitos are not told. Gives how
    // many remitos that left out. Never fails.
    int Abandonar();
    // The connection is gone from under the lote (the program is ending): nothing of it is
    // touched any more.
    void Olvidar();

private:
    // Opens the lote's transaction when none is; a failure stops the run: nothing is ever
    // written outside a transaction.
    void Abrir();
    // The remito's movements at those positions, as a group behind its savepoint.
    GrupoDeFilas Grupo(const Remito& remito, const QList<int>& posiciones);
    void Enviar(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados,
                const QString& sql = {}, const QList<QList<Variant>>& valores = {},
                const std::function<void(QList<RefRecordset>&)>& mientras = {});
    void Enviar(const Remito& remito, const QList<int>& posiciones, EscrituraDeGrupo& resultado);
    // What went in of a remito written, its refused lines told and counted.
    RemitoEnLote Resultado(const Remito& remito, const QList<int>& posiciones,
                           const EscrituraDeGrupo& resultado);
    // The engine undid the transaction: the remitos written in it before go again.
    void Rehacer();
    // A remito in a transaction of its own.
    void EnSuPropiaTransaccion(const RemitoEnLote& remito);
    // The commit's answer was lost: which of the remitos have their rows.
    [[noreturn]] void Verificar(const QList<RemitoEnLote>& remitos, const QString& motivo);
    void Deshecho(const Remito& remito, const QList<int>& posiciones, const EscrituraDeGrupo& r);
    void NoConfirmado(const RemitoEnLote& remito, const QString& motivo);
    bool RegistradoPorOtraCorrida(const Remito& remito);
    [[noreturn]] void Detener(const QString& motivo);

    Conexion& conexion_;
    ResultadoCorrida& resultado_;
    OyenteDelLote& oyente_;
    bool confirmar_ = true;
    std::optional<Transaccion> transaccion_;
    QElapsedTimer edad_;
    QList<RemitoEnLote> remitos_;
};
