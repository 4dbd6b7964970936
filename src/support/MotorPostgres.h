#pragma once

#include "Falla.h"
#include "Motor.h"
#include "TuberiaPostgres.h"

#include <QByteArray>
#include <QHash>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

// Where a PostgreSQL database is: what a data source of the PostgreSQL ODBC driver says (or a
// host for that driver), with the family's keys over it. What is empty is left to the client
// library's own defaults and files (~/.pgpass, PGPASSFILE, PGSERVICE, PGHOST...).
struct ParametrosPostgres {
    QString host;
    QString puerto;
    QString base;
    QString usuario;
    QString clave;
    QString modoSsl;
};

// A PostgreSQL server reached through its own client library: values bound to statements
// prepared once, and the rows of several notes, or the lines of several, sent together in a
// pipeline with one round trip.
//
// Inside a transaction every statement behaves as through the ODBC driver: one the server
// refuses undoes only itself (it runs behind a savepoint of its own), so the transaction goes
// on. Whether a transaction is open is the client library's own account of the server's last
// answer.
class MotorPostgres : public Motor {
public:
    // Opens the connection (waiting at most espera seconds for the server), read-only for
    // modo 1, and sets the session as every server's is set. Gives nothing and the reason in
    // error when the connection cannot be used.
    static std::unique_ptr<MotorPostgres> Abrir(const ParametrosPostgres& parametros, int espera,
                                                int modo, QString& error);
    ~MotorPostgres() override;

    Dialecto DialectoSQL() const override { return Dialecto::Servidor; }
    bool Abierto() const override;
    void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                       QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                             QList<Lectura>& lecturas) override;
    int Ejecutar(const QString& sql) override;
    void Insertar(const FormaInsercion& forma, const QList<Variant>& valores) override;
    void EscribirGrupos(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados) override;
    // A pipeline of a few hundred notes keeps the server busy while the next are put together.
    int GruposPorEnvio() const override { return 256; }
    void EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                             const QList<QList<Variant>>& valores,
                             const std::function<void(QList<Lectura>&)>& mientras,
                             QList<EscrituraDeGrupo>& resultados) override;
    void Comenzar() override;
    void Confirmar() override;
    void Deshacer() override;
    bool TransaccionAbierta() const override;
    void Guardar(const QString& nombre) override;
    void VolverA(const QString& nombre) override;
    void Liberar(const QString& nombre) override;
    bool ConexionPerdida() const override;
    void EstablecerTiempoDeEspera(int segundos) override;
    bool TomarBloqueoDeCorrida(int espera) override;
    void SoltarBloqueoDeCorrida() override;
    QStringList ClavePrimaria(const QString& tabla) const override;

protected:
    QString DiferidasIncumplidas() override;

private:
    explicit MotorPostgres(pg_conn* conexion);

    using Resultado = TuberiaPostgres::Resultado;
    using Orden = TuberiaPostgres::Orden;

    // The commands in one pipeline (see TuberiaPostgres).
    std::vector<Resultado> EnTuberia(const std::vector<Orden>& ordenes, size_t hasta = 0,
                                     const std::function<void(const std::vector<Resultado>&)>& alLlegar = {});
    // Where a group's commands lie in a pipeline: its savepoint, its rows' statements up to
    // finDeFilas, its checks and release up to fin.
    struct Tramo {
        size_t inicio;
        size_t finDeFilas;
        size_t fin;
    };
    // Rows an INSERT of several rows takes at most.
    static constexpr qsizetype FilasPorSentencia = 64;
    // The commands of the groups, appended, and where each group's lie; false when a value
    // cannot be written.
    bool OrdenesDeGrupos(const QList<GrupoDeFilas>& grupos, std::vector<Orden>& ordenes,
                         std::vector<Tramo>& tramos);
    // The groups' results from their commands' answers; a group with a refused row goes
    // again row by row, and the groups after it again.
    void ResultadosDeGrupos(const QList<GrupoDeFilas>& grupos, const std::vector<Resultado>& respuestas,
                            const std::vector<Tramo>& tramos, QList<EscrituraDeGrupo>& resultados);
    // A text of statements as it stands, every result; a failure of the connection is thrown,
    // the statements' own failures are in the results.
    std::vector<Resultado> EnviarTexto(const QByteArray& sql);
    // The same, a failure of a statement thrown.
    std::vector<Resultado> EjecutarTexto(const QByteArray& sql);
    // A text of statements, behind a savepoint of its own when inside a transaction: a
    // refused statement undoes only itself.
    std::vector<Resultado> EjecutarGuardado(const QByteArray& sql);
    // The failure a result carries, classed; none when it carries none.
    std::optional<Falla> FallaDe(const pg_result* resultado) const;
    Falla FallaDeLaConexion(const QString& que) const;
    // A prepared statement's name, preparing it the first time (with the types given, 0 for
    // the server to infer).
    QByteArray Preparada(const QByteArray& sql, const std::vector<unsigned int>& tipos);
    // An INSERT of cuantas rows, from desde on, each row's values as the server reads their
    // text, the statement prepared once for that many rows.
    Orden OrdenDeInsercion(const FormaInsercion& forma, const QList<QList<Variant>>& filas,
                           qsizetype desde, qsizetype cuantas);
    Orden OrdenDeLectura(const QByteArray& nombre, const QList<Variant>& valores) const;
    // Whether the database has constraints that wait for the commit (asked once a transaction).
    bool HayDiferibles();
    // After a failure inside a transaction: back to the savepoint, released.
    void VolverYLiberar(const QByteArray& punto);

    pg_conn* conexion_;
    QHash<QByteArray, QByteArray> preparadas_;
    // The INSERTs prepared for the last forma written, by how many rows they take.
    const FormaInsercion* ultimaForma_ = nullptr;
    QString ultimaCabeza_;
    QHash<int, QByteArray> insercionesPorFilas_;
    bool bloqueada_ = false;
    bool hayDiferibles_ = false;
    bool diferiblesVistas_ = false;
};
