#pragma once

#include "Connection.h"
#include "FormaInsercion.h"
#include "InstanciaUnica.h"
#include "Recordset.h"
#include "ValorSQL.h"
#include "Variant.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Field;
class Motor;
struct EscrituraDeGrupo;
struct GrupoDeFilas;

// The program's database connection, with the operations of the family's support component.
// Without a server it opens the embedded SQLite file named by BaseDatos; with one, Servidor
// names an ODBC data source, or else a host for the driver named in the INI file: a PostgreSQL
// database named so is reached through the server's own client library, any other through
// ODBC. What differs between them is the business of the engine (Motor) it opens.
class Conexion : public InstanciaUnica<Conexion> {
public:
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
    // its reason in UltimoError; modo 1 opens it read-only, ModoCopiaPrivada an embedded
    // database as a private copy (a server as for reading and writing), any other mode for
    // reading and writing.
    void Conectar(bool sinServidor, int modo);
    // The same database opened again as it was last opened (a connection that was lost).
    void Reconectar();
    void Desconectar();
    static constexpr int ModoCopiaPrivada = 4;
    // The database as a person names it: the embedded file's path, or the server and the
    // database (for summaries and messages).
    QString NombreDeLaBase() const;
    bool Conectada() const;
    // Whether the driver knows the connection to be gone (the server closed it, the network
    // failed); every later statement would fail.
    bool ConexionPerdida() const;
    QString UltimoError() const { return ultimoError_; }
    // How the engine of the open connection reads literals (a server's while there is none).
    Dialecto DialectoSQL() const;
    // The engine of the open connection, for tests that look behind it; null when closed.
    Motor* MotorActual() const { return motor_.get(); }

    Connection& ConexionAdo() { return conexionAdo_; }
    // A connection string that opens the same database through ODBC.
    QString CadenaConexion() const { return cadenaConexion_; }

    // Opens rs over sql: every row is read and the statement released before returning. An
    // rs that is still open is closed first. Cursor 2 with lock 3 gives rows that can be
    // changed and added (AddNew, Update).
    void AbrirRecordset(const QString& sql, RefRecordset& rs, Connection* conexion = nullptr,
                        int tipoCursor = 0, int tipoBloqueo = 1, int opciones = -1);
    // The same for a statement with "?" in place of values, bound in order: the engine keeps
    // it prepared, so that opening it again with other values parses nothing.
    void AbrirRecordsetPreparado(const QString& sql, const QList<Variant>& valores,
                                 RefRecordset& rs);
    // The same for several sets of values at once, one recordset each, in order; the engine
    // reads them together where it can.
    void AbrirRecordsetsPreparados(const QString& sql, const QList<QList<Variant>>& valores,
                                   QList<RefRecordset>& rs);
    void CerrarRecordset(RefRecordset& rs);
    // Runs a statement that returns no rows; a statement the database refuses is a failure
    // carrying the database's message and its class (ClaseDeFalla).
    void Ejecutar(const QString& sql);
    // As Ejecutar, giving the number of rows the statement changed.
    int EjecutarContando(const QString& sql);
    // Inserts one row, its values bound to the forma's statement (see Motor::Insertar).
    void Insertar(const FormaInsercion& forma, const QList<Variant>& valores);
    // Writes a group of rows behind a savepoint inside the open transaction (see
    // Motor::EscribirGrupo), or several groups in order (Motor::EscribirGrupos).
    void EscribirGrupo(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado);
    void EscribirGrupos(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados);
    // How many groups the engine takes best at once (Motor::GruposPorEnvio).
    int GruposPorEnvio() const;
    // The same, reading meanwhile a prepared query for several sets of values
    // (Motor::EscribirGruposYLeer): mientras gets a recordset per set, or none when the reads
    // failed.
    void EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                             const QList<QList<Variant>>& valores,
                             const std::function<void(QList<RefRecordset>&)>& mientras,
                             QList<EscrituraDeGrupo>& resultados);

    // The value as an SQL literal for this connection's engine: mark "'" a quoted text or
    // date, "@" a number.
    QString ValorSQL(const Variant& valor, const QString& marca) const;
    QString ValorSQL(const Field& campo, const QString& marca) const;
    // The same literal appended to a statement being put together.
    void AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca) const;

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    // Whether a transaction is under way, as the engine says. The engine may undo one by
    // itself after a failed statement (a trigger, a full disk, an I/O error, a lost
    // connection): statements run after that would each take effect alone.
    bool TransaccionAbierta() const;
    // Whether what is written goes to a private copy of the database (see ModoCopiaPrivada).
    bool EsCopiaPrivada() const;

    // Column names of the primary key of a table, in key order; empty when it has none.
    QStringList ClavePrimaria(const QString& tabla) const;

    // The lock that lets one registration run at a time on this database (see Motor).
    bool TomarBloqueoDeCorrida(int espera);
    void SoltarBloqueoDeCorrida();

    // Whether a PostgreSQL database is to be reached through its ODBC driver rather than the
    // server's own client library: the INI file's [ODBC] PostgreSQLPorODBC=1, or the
    // environment's REMITOS_POSTGRESQL_POR_ODBC=1.
    static bool PostgresPorOdbc();

    // Name of the embedded database file used when BaseDatos is blank.
    static QString ArchivoPorDefecto() { return QStringLiteral("remitos.db"); }
    // Full path of the embedded database named by a BaseDatos text.
    static QString RutaEmbebida(const QString& baseDatos);

private:
    void ConectarEmbebida(int modo);
    void ConectarOdbc(int modo);
    void Usar(std::unique_ptr<Motor> motor);
    Motor& MotorAbierto() const;
    // rs opened anew (closed first when open) over what leer reads with the engine.
    void Cargar(RefRecordset& rs, const QString& sql, bool actualizable,
                const std::function<void(Motor&, QList<Columna>&, Celdas&)>& leer);

    QString nombreQt_;
    Connection conexionAdo_;
    std::unique_ptr<Motor> motor_;
    QString ultimoError_;
    QString cadenaConexion_;
    // How the connection was last opened, to open it again.
    bool sinServidor_ = true;
    int modo_ = 3;
};
