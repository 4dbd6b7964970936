#pragma once

#include "Motor.h"

#include "SentenciaOdbc.h"

#include <memory>
#include <unordered_map>

// A database server reached through unixODBC and the server's ODBC driver.
class MotorOdbc : public Motor {
public:
    // Opens a connection with an ODBC connection string under the Qt SQL connection nombreQt:
    // a login that waits at most espera seconds for the server, read-only for modo 1. Right
    // after it opens, the session is set to read date literals day first; a server that does
    // not read '01/03/2003' as 1 March 2003 is refused. Gives nothing and the reason in error
    // when the connection cannot be used.
    static std::unique_ptr<MotorOdbc> Abrir(const QString& nombreQt, const QString& cadena,
                                            int espera, int modo, QString& error);
    // Whether unixODBC knows a data source of that name.
    static bool ExisteOrigenDeDatos(const QString& nombre);

    Dialecto DialectoSQL() const override { return Dialecto::Servidor; }
    ~MotorOdbc() override;
    void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                       QList<Columna>& definicion, Celdas& celdas) override;
    int Ejecutar(const QString& sql) override;
    bool AdmiteBloques() const override { return admiteBloques_; }
    void EjecutarEnBloque(const QStringList& sentencias) override;
    void EjecutarEnBloqueYLeer(const QStringList& sentencias, QList<Columna>& definicion,
                               Celdas& celdas) override;
    void Comenzar() override;
    bool TransaccionAbierta() const override { return !ConexionPerdida(); }
    bool ConexionPerdida() const override;
    void EstablecerTiempoDeEspera(int segundos) override;
    QStringList ClavePrimaria(const QString& tabla) const override;
    // PostgreSQL: a session advisory lock; SQL Server: a session application lock.
    bool TomarBloqueoDeCorrida(int espera) override;
    void SoltarBloqueoDeCorrida() override;

private:
    explicit MotorOdbc(const QString& nombreQt);
    // The connection handle, for statements run straight through the driver.
    void* Dbc() const;
    QString NombreDelServidor() const;
    // Sets the session to read dates day first and checks it does; gives what is wrong.
    QString LeerFechasConElDiaPrimero(const QString& servidor);

    bool admiteBloques_ = false;
    QString servidor_;
    bool bloqueada_ = false;
    std::unordered_map<QString, std::unique_ptr<SentenciaOdbc>> preparadas_;
};
