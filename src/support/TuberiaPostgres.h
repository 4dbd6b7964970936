#pragma once

#include <QByteArray>
#include <functional>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

// Commands sent to a PostgreSQL server in one pipeline: sent one after another without waiting,
// with one synchronisation at the end, their results read as they come.
class TuberiaPostgres {
public:
    struct Liberador {
        void operator()(pg_result* r) const;
    };
    using Resultado = std::unique_ptr<pg_result, Liberador>;

    // One command: a statement's text, or a prepared statement's name, and the values it is
    // given as text (a null one as none).
    struct Orden {
        QByteArray texto;
        bool preparada = false;
        std::vector<QByteArray> valores;
        std::vector<bool> nulos;
    };

    // Sends the commands, sending and reading at once so that neither side waits for the
    // other, and gives each command's result (a command skipped after a failure gives an
    // aborted one). alLlegar, when given, is called once the results of the commands before
    // hasta are in and everything has been sent, while the later ones may still be running.
    // A lost connection is a failure of the connection's class.
    static std::vector<Resultado> Enviar(pg_conn* conexion, const std::vector<Orden>& ordenes,
                                         size_t hasta = 0,
                                         const std::function<void(const std::vector<Resultado>&)>& alLlegar = {});
};
