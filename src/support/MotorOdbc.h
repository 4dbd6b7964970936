#pragma once

#include "Motor.h"
#include "MotorPostgres.h"

#include "SentenciaOdbc.h"

#include <memory>
#include <unordered_map>

// A database server reached through unixODBC and the server's ODBC driver.
class MotorOdbc : public Motor {
public:
    // Opens a connection with an ODBC connection string under the Qt SQL connection nombreQt:
    // a login that waits at most espera seconds for the server, read-only for modo 1. Right
    // after it opens, the session is set to read date literals day first and, on PostgreSQL,
    // to read a backslash in a text as a backslash; both are read back, and a server that does
    // not keep them (or does not read '01/03/2003' as 1 March 2003) is refused. Gives nothing
    // and the reason in error when the connection cannot be used.
    static std::unique_ptr<MotorOdbc> Abrir(const QString& nombreQt, const QString& cadena,
                                            int espera, int modo, QString& error);
    // Whether unixODBC knows a data source of that name.
    static bool ExisteOrigenDeDatos(const QString& nombre);
    // Whether a data source (origen true) or a driver for a host (origen false) is the
    // PostgreSQL ODBC driver's; when it is, where the database is, as the data source says.
    static bool DePostgres(const QString& nombre, bool origen, ParametrosPostgres& parametros);

    Dialecto DialectoSQL() const override { return Dialecto::Servidor; }
    ~MotorOdbc() override;
    void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                       QList<Columna>& definicion, Celdas& celdas) override;
    int Ejecutar(const QString& sql) override;
    // The row's INSERT with its values written as literals: through the driver, text is what
    // costs the server least.
    void Insertar(const FormaInsercion& forma, const QList<Variant>& valores) override;
    void LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                             QList<Lectura>& lecturas) override;
    void Comenzar() override;
    void Confirmar() override;
    void Deshacer() override;
    // The driver's own state: a transaction is under way while the connection lives and is
    // out of autocommit (the driver then opens a transaction before any statement).
    bool TransaccionAbierta() const override;
    void Guardar(const QString& nombre) override;
    void VolverA(const QString& nombre) override;
    void Liberar(const QString& nombre) override;
    bool ConexionPerdida() const override;
    void EstablecerTiempoDeEspera(int segundos) override;
    QStringList ClavePrimaria(const QString& tabla) const override;
    // PostgreSQL: a session advisory lock; SQL Server: a session application lock.
    bool TomarBloqueoDeCorrida(int espera) override;
    void SoltarBloqueoDeCorrida() override;

protected:
    // PostgreSQL: savepoint, rows, the check of deferred constraints, the query read ahead and
    // the release in one message, which saves a round trip per row.
    bool EscribirGrupoEnUnMensaje(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado) override;
    QString DiferidasIncumplidas() override;

private:
    explicit MotorOdbc(const QString& nombreQt);
    // The connection handle, for statements run straight through the driver.
    void* Dbc() const;
    QString NombreDelServidor() const;
    bool EsPostgres() const { return servidor_ == QLatin1String("PostgreSQL"); }
    bool EsSqlServer() const { return servidor_.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive); }
    // Ends the transaction through the driver (commit or roll back), back to autocommit.
    void Terminar(bool confirmar);
    // The text of the statements run one after another in one message.
    static QString UnTexto(const QStringList& sentencias);
    // The check of deferred constraints, as statements that leave the transaction as it was.
    QStringList ComprobacionDeDiferidas() const;
    // A group's savepoint, rows, check and release, as statements of one message.
    QStringList MensajeDelGrupo(const GrupoDeFilas& grupo) const;
    // Runs the statements as one message inside the transaction: true when they all went in;
    // false when one was refused and nothing of the message stayed.
    bool EnUnMensaje(const QStringList& mensaje);

    QString servidor_;
    mutable void* dbc_ = nullptr;
    bool bloqueada_ = false;
    // Whether the database has constraints or triggers that may be deferred to the commit
    // (looked up again at the start of every transaction).
    bool hayDiferibles_ = false;
    std::unordered_map<QString, std::unique_ptr<SentenciaOdbc>> preparadas_;
};
