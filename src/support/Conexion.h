#pragma once

#include "Connection.h"
#include "InstanciaUnica.h"
#include "Recordset.h"
#include "SentenciasPreparadas.h"
#include "Variant.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <memory>

class Field;

// The program's database connection. Without a server it opens the embedded SQLite file named
// by BaseDatos; with one it goes through ODBC (Servidor names a data source, or else a host
// for the driver named in the INI file).
class Conexion : public InstanciaUnica<Conexion> {
public:
    enum class Motor { Ninguno, Embebido, Odbc };

    // The program uses the shared instance; tools and tests may open more connections.
    Conexion();
    ~Conexion();
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;

    QString Servidor;
    QString BaseDatos;
    QString Usuario;
    QString Password;

    // Opens the connection. A connection that cannot be opened leaves Conectada false and
    // its reason in UltimoError; modo 1 opens it read-only, any other mode for reading and
    // writing.
    void Conectar(bool sinServidor, int modo);
    void Desconectar();
    bool Conectada() const;
    // Whether the driver knows the connection to be gone (the server closed it, the network
    // failed); every later statement would fail.
    bool ConexionPerdida() const;
    QString UltimoError() const { return ultimoError_; }
    Motor MotorEnUso() const { return motor_; }

    Connection& ConexionAdo() { return conexionAdo_; }
    // A connection string that opens the same database through ODBC.
    QString CadenaConexion() const { return cadenaConexion_; }

    // Opens rs over sql: every row is read and the statement released before returning. An
    // rs that is still open is closed first. Cursor 2 with lock 3 gives rows that can be
    // changed and added (AddNew, Update).
    void AbrirRecordset(const QString& sql, RefRecordset& rs, Connection* conexion = nullptr,
                        int tipoCursor = 0, int tipoBloqueo = 1, int opciones = -1);
    void CerrarRecordset(RefRecordset& rs);
    // Runs a statement that returns no rows; a statement the database refuses is a failure
    // carrying the database's message.
    void Ejecutar(const QString& sql);
    // As Ejecutar, giving the number of rows the statement changed.
    int EjecutarContando(const QString& sql);
    // Whether several statements can travel to the server together, all or none of them
    // taking effect (PostgreSQL): EjecutarEnBloque then saves the round trips of a batch.
    bool AdmiteBloques() const { return admiteBloques_; }
    // Runs the statements as one message, one transaction: either every one of them takes
    // effect, or, when the server refuses one, none does and the failure says why.
    void EjecutarEnBloque(const QStringList& sentencias);

    // The value as an SQL literal: mark "'" a quoted text or date, "@" a number.
    QString ValorSQL(const Variant& valor, const QString& marca) const;
    QString ValorSQL(const Field& campo, const QString& marca) const;
    // The same literal appended to a statement being put together.
    void AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca) const;

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    // Whether the transaction BeginTrans opened is still under way. The engine may undo it
    // by itself after a failed statement (a full disk, an I/O error, a lost connection):
    // statements run after that would each take effect alone.
    bool TransaccionAbierta() const;

    // Column names of the primary key of a table, in key order; empty when it has none.
    QStringList ClavePrimaria(const QString& tabla) const;
    QSqlDatabase BaseQt() const;

    // Name of the embedded database file used when BaseDatos is blank.
    static QString ArchivoPorDefecto() { return QStringLiteral("remitos.db"); }
    // Full path of the embedded database named by a BaseDatos text.
    static QString RutaEmbebida(const QString& baseDatos);

private:
    void ConectarEmbebida(int modo);
    void ConectarOdbc(int modo);
    void AplicarTiempoDeEspera();
    // Sets the server's session to read date literals day first and checks that it does;
    // gives what is wrong, or nothing.
    QString LeerFechasConElDiaPrimero(const QString& nombreDelMotor);
    // Statements of the embedded engine go straight to it: no conversion to UTF-16 and back,
    // no copy of every value through the driver's cache.
    struct sqlite3* Sqlite() const;
    // The ODBC connection handle, for statements run straight through the driver.
    void* Odbc() const;
    void LeerSqlite(const QString& sql, QList<Columna>& definicion, std::vector<Variant>& celdas);
    void LeerOdbc(const QString& sql, QList<Columna>& definicion, std::vector<Variant>& celdas);
    void ComprobarConectada() const;
    QString MensajeDe(const class QSqlError& error) const;

    QString nombreQt_;
    Connection conexionAdo_;
    Motor motor_ = Motor::Ninguno;
    QString ultimoError_;
    QString cadenaConexion_;
    SentenciasPreparadas preparadas_;
    bool admiteBloques_ = false;
    bool enTransaccion_ = false;
};
