#include "LoteDeRemitos.h"

#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "Motor.h"
#include "RegistroDeCorrida.h"

#include <utility>

namespace {

QList<int> Todas(const Remito& remito) {
    QList<int> posiciones;
    posiciones.reserve(remito.movimientos.size());
    for (qsizetype i = 0; i < remito.movimientos.size(); ++i)
        posiciones << int(i);
    return posiciones;
}

QString EnUnaLinea(const QString& texto) {
    return RegistroDeCorrida::EnUnaLinea(texto);
}

} // namespace

LoteDeRemitos::LoteDeRemitos(Conexion& conexion, ResultadoCorrida& resultado, OyenteDelLote& oyente)
    : conexion_(conexion), resultado_(resultado), oyente_(oyente) {}

LoteDeRemitos::~LoteDeRemitos() {
    Abandonar();
}

qint64 LoteDeRemitos::Edad() const {
    return transaccion_ ? edad_.elapsed() : 0;
}

void LoteDeRemitos::Abrir() {
    if (transaccion_)
        return;
    try {
        transaccion_.emplace(conexion_);
        edad_.start();
    } catch (const Falla& falla) {
        Detener(QStringLiteral("no se pudo abrir una transacción: %1").arg(falla.Descripcion()));
    }
}

void LoteDeRemitos::Detener(const QString& motivo) {
    throw CorridaDetenida{EnUnaLinea(motivo)};
}

int LoteDeRemitos::Abandonar() {
    if (transaccion_ && conexion_.ConexionPerdida())
        transaccion_->Abandonar();
    transaccion_.reset();
    return int(std::exchange(remitos_, {}).size());
}

void LoteDeRemitos::Olvidar() {
    if (transaccion_)
        transaccion_->Abandonar();
    transaccion_.reset();
    remitos_.clear();
}

GrupoDeFilas LoteDeRemitos::Grupo(const Remito& remito, const QList<int>& posiciones) {
    GrupoDeFilas grupo;
    grupo.forma = &Remito::Forma();
    grupo.filas.reserve(posiciones.size());
    for (const int i : posiciones)
        grupo.filas << remito.movimientos[i].valores;
    // The remito lives in the caller's list for as long as the writing lasts.
    grupo.abandonarSiSeRechazaLaPrimera = [this, &remito] { return RegistradoPorOtraCorrida(remito); };
    return grupo;
}

void LoteDeRemitos::Enviar(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados,
                           const QString& sql, const QList<QList<Variant>>& valores,
                           const std::function<void(QList<RefRecordset>&)>& mientras) {
    try {
        if (mientras)
            conexion_.EscribirGruposYLeer(grupos, sql, valores, mientras, resultados);
        else
            conexion_.EscribirGrupos(grupos, resultados);
    } catch (const Falla& falla) {
        // Storage or the connection failed, or a savepoint could not be set or released:
        // nothing more can be written safely.
        Detener(falla.Descripcion());
    }
    // A transaction that ended with the connection was not undone by the engine: the run
    // stops, the lote's remitos left for the next one.
    if (!resultados.isEmpty() && resultados.last().deshecho && conexion_.ConexionPerdida())
        Detener(QStringLiteral("se perdió la conexión con la base de datos"));
}

void LoteDeRemitos::Enviar(const Remito& remito, const QList<int>& posiciones,
                           EscrituraDeGrupo& resultado) {
    QList<EscrituraDeGrupo> resultados;
    Enviar({Grupo(remito, posiciones)}, resultados);
    resultado = resultados.value(0);
}

bool LoteDeRemitos::RegistradoPorOtraCorrida(const Remito& remito) {
    // It was pending when selected and has stock rows now. Asked only when its first row is
    // refused, so it costs nothing when all goes well.
    try {
        RefRecordset filas;
        conexion_.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock WHERE ") +
                                     remito.CondicionDeSusFilas(conexion_.DialectoSQL()),
                                 filas);
        return filas->Fields(0).Value().Entero() > 0;
    } catch (const Falla&) {
        return false;
    }
}

RemitoEnLote LoteDeRemitos::Resultado(const Remito& remito, const QList<int>& posiciones,
                                      const EscrituraDeGrupo& r) {
    RemitoEnLote hecho{remito, {}};
    if (r.abandonado) {
        ++resultado_.notasDeOtraCorrida;
        oyente_.Falla(QStringLiteral("*** %1: lo registró otra corrida al mismo tiempo; no se "
                                     "escribió ninguno de sus renglones")
                          .arg(remito.documento));
        return hecho;
    }
    if (!r.rechazoDelGrupo.isEmpty()) {
        NoConfirmado({remito, posiciones}, r.rechazoDelGrupo);
        return hecho;
    }
    for (qsizetype i = 0; i < posiciones.size(); ++i) {
        if (r.rechazos[i].isEmpty()) {
            hecho.escritos << posiciones[i];
            continue;
        }
        // A refused row undoes only itself; the later lines were still sent.
        ++resultado_.renglonesRechazados;
        oyente_.Falla(QStringLiteral("*** %1 renglón %2: %3")
                          .arg(remito.documento)
                          .arg(remito.movimientos[posiciones[i]].secuencia)
                          .arg(EnUnaLinea(r.rechazos[i])));
    }
    return hecho;
}

void LoteDeRemitos::Deshecho(const Remito& remito, const QList<int>& posiciones,
                             const EscrituraDeGrupo& r) {
    // The row the engine refused when it undid everything is told, then the remito.
    for (qsizetype i = 0; i < r.rechazos.size() && i < posiciones.size(); ++i)
        if (!r.rechazos[i].isEmpty())
            oyente_.Falla(QStringLiteral("*** %1 renglón %2: %3")
                              .arg(remito.documento)
                              .arg(remito.movimientos[posiciones[i]].secuencia)
                              .arg(EnUnaLinea(r.rechazos[i])));
    resultado_.renglonesRechazados += int(posiciones.size());
    oyente_.Falla(QStringLiteral("*** %1: la base de datos deshizo el remito; no se registró "
                                 "ninguno de sus renglones")
                      .arg(remito.documento));
}

void LoteDeRemitos::NoConfirmado(const RemitoEnLote& remito, const QString& motivo) {
    const int renglones = int(remito.escritos.size());
    resultado_.renglonesRechazados += renglones;
    oyente_.Falla(QStringLiteral("*** %1: no se confirmaron sus %2 renglones: %3")
                      .arg(remito.remito.documento)
                      .arg(renglones)
                      .arg(EnUnaLinea(motivo)));
}

void LoteDeRemitos::Escribir(const QList<Remito>& remitos, const QString& sql,
                             const QList<QList<Variant>>& valores,
                             const std::function<void(QList<RefRecordset>&)>& mientras) {
    QList<GrupoDeFilas> grupos;
    for (const Remito& remito : remitos)
        if (!remito.movimientos.isEmpty())
            grupos << Grupo(remito, Todas(remito));
    QList<EscrituraDeGrupo> resultados;
    if (!grupos.isEmpty()) {
        Abrir();
        Enviar(grupos, resultados, sql, valores, mientras);
    } else if (mientras) {
        // Nothing to write: only the reads.
        QList<RefRecordset> leidos;
        try {
            conexion_.AbrirRecordsetsPreparados(sql, valores, leidos);
        } catch (const Falla& falla) {
            if (falla.Grave())
                Detener(falla.Descripcion());
            leidos.clear();
        }
        mientras(leidos);
    }
    qsizetype siguiente = 0;
    for (qsizetype i = 0; i < remitos.size(); ++i) {
        const Remito& remito = remitos[i];
        if (remito.movimientos.isEmpty()) {
            // Nothing to write: it goes with the lote, to be logged with it.
            remitos_ << RemitoEnLote{remito, {}};
            continue;
        }
        if (siguiente >= resultados.size()) {
            // Not attempted: the engine undid the transaction with a remito before it.
            Escribir(remitos.mid(i));
            return;
        }
        const EscrituraDeGrupo& r = resultados[siguiente++];
        if (!r.deshecho) {
            remitos_ << Resultado(remito, Todas(remito), r);
            continue;
        }
        // The engine undid the whole transaction with this remito: it stays out, and the
        // remitos written before it go again.
        Deshecho(remito, Todas(remito), r);
        Rehacer();
        remitos_ << RemitoEnLote{remito, {}};
    }
}

void LoteDeRemitos::Rehacer() {
    transaccion_.reset();
    QList<RemitoEnLote> anteriores = std::exchange(remitos_, {});
    bool escritos = false;
    for (const RemitoEnLote& e : std::as_const(anteriores))
        escritos = escritos || !e.escritos.isEmpty();
    if (!escritos) {
        remitos_ = anteriores;
        return;
    }
    // Once, all in a new transaction.
    Abrir();
    bool otraVez = false;
    for (RemitoEnLote& e : anteriores) {
        if (e.escritos.isEmpty())
            continue;
        EscrituraDeGrupo r;
        Enviar(e.remito, e.escritos, r);
        if (r.deshecho) {
            otraVez = true;
            break;
        }
        e = Resultado(e.remito, e.escritos, r);
    }
    if (!otraVez) {
        remitos_ = anteriores;
        return;
    }
    // Undone again: each remito in a transaction of its own, so that the one the engine
    // undoes stays out alone and the others are confirmed.
    transaccion_.reset();
    oyente_.Falla(QStringLiteral("*** La base de datos volvió a deshacer la transacción: cada "
                                 "remito de ella se escribe en una transacción propia"));
    for (const RemitoEnLote& e : std::as_const(anteriores))
        EnSuPropiaTransaccion(e);
}

void LoteDeRemitos::EnSuPropiaTransaccion(const RemitoEnLote& e) {
    if (e.escritos.isEmpty()) {
        oyente_.Confirmado(e);
        return;
    }
    std::optional<Transaccion> propia;
    try {
        propia.emplace(conexion_);
    } catch (const Falla& falla) {
        Detener(QStringLiteral("no se pudo abrir una transacción: %1").arg(falla.Descripcion()));
    }
    EscrituraDeGrupo r;
    Enviar(e.remito, e.escritos, r);
    if (r.deshecho) {
        Deshecho(e.remito, e.escritos, r);
        oyente_.Confirmado({e.remito, {}});
        return;
    }
    const RemitoEnLote hecho = Resultado(e.remito, e.escritos, r);
    if (confirmar_) {
        try {
            propia->Confirmar();
        } catch (const Falla& falla) {
            if (falla.Clase() == ClaseDeFalla::Conexion || conexion_.ConexionPerdida())
                Verificar({hecho}, falla.Descripcion());
            if (falla.Grave())
                Detener(falla.Descripcion());
            NoConfirmado(hecho, falla.Descripcion());
            oyente_.Confirmado({e.remito, {}});
            return;
        }
    }
    oyente_.Confirmado(hecho);
}

void LoteDeRemitos::Confirmar() {
    if (transaccion_ && conexion_.ConexionPerdida())
        Detener(QStringLiteral("se perdió la conexión con la base de datos"));
    if (!transaccion_ || !confirmar_) {
        // Nothing to commit, or a preview whose transaction stays open to be undone at the end.
        for (const RemitoEnLote& e : std::exchange(remitos_, {}))
            oyente_.Confirmado(e);
        return;
    }
    if (!conexion_.TransaccionAbierta()) {
        // The engine ended it without a failure being seen: the remitos go again.
        Rehacer();
        if (!transaccion_) {
            for (const RemitoEnLote& e : std::exchange(remitos_, {}))
                oyente_.Confirmado(e);
            return;
        }
    }
    const QList<RemitoEnLote> remitos = std::exchange(remitos_, {});
    try {
        transaccion_->Confirmar();
        transaccion_.reset();
        for (const RemitoEnLote& e : remitos)
            oyente_.Confirmado(e);
        return;
    } catch (const Falla& falla) {
        const bool sinConexion = falla.Clase() == ClaseDeFalla::Conexion || conexion_.ConexionPerdida();
        if (sinConexion)
            transaccion_->Abandonar();
        transaccion_.reset();
        if (sinConexion)
            Verificar(remitos, falla.Descripcion());
        if (falla.Grave())
            Detener(falla.Descripcion());
        // Refused at the commit (a deferred constraint): nothing of the transaction stayed.
        // Each remito goes again alone, so that only the one the database refuses stays out.
        for (const RemitoEnLote& e : remitos)
            EnSuPropiaTransaccion(e);
    }
}

void LoteDeRemitos::Verificar(const QList<RemitoEnLote>& remitos, const QString& motivo) {
    const QString detencion =
        QStringLiteral("se perdió la respuesta de la base de datos al confirmar: %1").arg(motivo);
    QString porQue;
    try {
        conexion_.Reconectar();
        if (!conexion_.Conectada())
            porQue = conexion_.UltimoError();
    } catch (const Falla& falla) {
        porQue = falla.Descripcion();
    }
    int inciertos = 0;
    for (const RemitoEnLote& e : remitos) {
        if (e.escritos.isEmpty()) {
            oyente_.Confirmado(e);
            continue;
        }
        qint64 filas = -1;
        if (porQue.isEmpty()) {
            try {
                RefRecordset rs;
                conexion_.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock WHERE ") +
                                             e.remito.CondicionDeSusFilas(conexion_.DialectoSQL()),
                                         rs);
                filas = rs->Fields(0).Value().Entero();
            } catch (const Falla& falla) {
                porQue = falla.Descripcion();
            }
        }
        if (filas == e.escritos.size()) {
            oyente_.Confirmado(e);
        } else if (filas > 0) {
            ++inciertos;
            oyente_.Falla(QStringLiteral("*** %1: tiene %2 movimientos de stock y la corrida había "
                                         "escrito %3")
                              .arg(e.remito.documento)
                              .arg(filas)
                              .arg(e.escritos.size()));
        } else if (filas < 0) {
            ++inciertos;
        }
    }
    if (inciertos) {
        resultado_.notasInciertas += inciertos;
        oyente_.Falla(QStringLiteral("*** No se sabe si quedaron registrados %1: %2. La próxima "
                                     "corrida registra los que no quedaron; remitos --revisar "
                                     "dice si alguno quedó incompleto")
                          .arg(Cadenas::Contar(inciertos, u"remito", u"remitos"),
                               porQue.isEmpty() ? QStringLiteral("no se pudo comprobar")
                                                : EnUnaLinea(porQue)));
    }
    Detener(detencion);
}
