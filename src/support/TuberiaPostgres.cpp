#include "TuberiaPostgres.h"

#include "AlSalir.h"
#include "Falla.h"

#include <libpq-fe.h>
#include <poll.h>

namespace {

Falla Perdida(pg_conn* conexion, const QString& que) {
    QString mensaje = QString::fromUtf8(PQerrorMessage(conexion)).simplified();
    if (mensaje.isEmpty())
        mensaje = que;
    return Falla::BaseDeDatos(mensaje, ClaseDeFalla::Conexion, QStringLiteral("08006"));
}

} // namespace

void TuberiaPostgres::Liberador::operator()(pg_result* r) const {
    PQclear(r);
}

std::vector<TuberiaPostgres::Resultado> TuberiaPostgres::Enviar(
    pg_conn* conexion_, const std::vector<Orden>& ordenes, size_t hasta,
    const std::function<void(const std::vector<Resultado>&)>& alLlegar) {
    if (!PQenterPipelineMode(conexion_))
        throw Perdida(conexion_, QStringLiteral("no se pudo abrir la tubería de sentencias"));
    PQsetnonblocking(conexion_, 1);
    AlSalir fin([conexion_] {
        PQexitPipelineMode(conexion_);
        PQsetnonblocking(conexion_, 0);
    });
    auto enviar = [&](const Orden& o) {
        std::vector<const char*> valores;
        std::vector<int> largos;
        for (size_t i = 0; i < o.valores.size(); ++i) {
            valores.push_back(o.nulos[i] ? nullptr : o.valores[i].constData());
            largos.push_back(int(o.valores[i].size()));
        }
        const int n = int(valores.size());
        const int bien = o.preparada
                             ? PQsendQueryPrepared(conexion_, o.texto.constData(), n, valores.data(),
                                                   largos.data(), nullptr, 0)
                             : PQsendQueryParams(conexion_, o.texto.constData(), n, nullptr,
                                                 valores.data(), largos.data(), nullptr, 0);
        if (!bien)
            throw Perdida(conexion_, QStringLiteral("no se pudo enviar la sentencia"));
    };
    std::vector<Resultado> resultados(ordenes.size());
    size_t actual = 0;   // the command whose results come now
    size_t enviadas = 0; // commands sent so far
    bool sincronizacionEnviada = false;
    bool sincronizado = false;
    bool avisado = false;
    bool todoEnviado = false;
    // The results before hasta are handed over once they are in and everything has been sent,
    // so that the server has the rest to work on meanwhile.
    auto avisar = [&] {
        if (alLlegar && !avisado && todoEnviado && actual >= hasta) {
            avisado = true;
            alLlegar(resultados);
        }
    };
    // Takes whatever results have arrived, without waiting.
    auto recoger = [&] {
        if (!PQconsumeInput(conexion_))
            throw Perdida(conexion_, QStringLiteral("se perdió la conexión"));
        avisar();
        while (!sincronizado && !PQisBusy(conexion_)) {
            // Nothing more can come before more is sent.
            if (actual >= enviadas && !sincronizacionEnviada)
                return;
            avisar();
            PGresult* r = PQgetResult(conexion_);
            if (!r) {
                // This command's results are over.
                if (actual >= ordenes.size())
                    return;
                ++actual;
                continue;
            }
            if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                sincronizado = true;
                return;
            }
            if (actual < resultados.size() && !resultados[actual])
                resultados[actual].reset(r);
            else
                PQclear(r);
        }
        avisar();
    };
    // Waits until the server can take more or has something to say.
    auto esperar = [&](bool escribir) {
        pollfd p{PQsocket(conexion_), short(POLLIN | (escribir ? POLLOUT : 0)), 0};
        if (p.fd < 0)
            throw Perdida(conexion_, QStringLiteral("se perdió la conexión"));
        ::poll(&p, 1, 1000);
    };
    for (const Orden& o : ordenes) {
        enviar(o);
        // The client library sends its buffer when it grows large; what the server has
        // answered meanwhile is taken, so that it never waits for the client to read.
        if (++enviadas % 512 == 0) {
            if (PQflush(conexion_) < 0)
                throw Perdida(conexion_, QStringLiteral("se perdió la conexión"));
            recoger();
        }
    }
    if (!PQpipelineSync(conexion_))
        throw Perdida(conexion_, QStringLiteral("no se pudo terminar la tubería de sentencias"));
    sincronizacionEnviada = true;
    for (;;) {
        const int pendiente = PQflush(conexion_);
        if (pendiente < 0)
            throw Perdida(conexion_, QStringLiteral("se perdió la conexión"));
        todoEnviado = pendiente == 0;
        recoger();
        if (sincronizado)
            break;
        esperar(pendiente == 1);
    }
    if (alLlegar && !avisado)
        alLlegar(resultados);
    return resultados;
}
