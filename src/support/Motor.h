#pragma once

#include "FormaInsercion.h"
#include "Recordset.h"
#include "ValorSQL.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QSqlDatabase;
class QSqlError;

// Rows written together behind one savepoint: a delivery note's stock movements.
struct GrupoDeFilas {
    const FormaInsercion* forma = nullptr;
    QList<QList<Variant>> filas;
    // Asked when the group's first row is refused: true undoes the whole group (another run
    // registered the note meanwhile).
    std::function<bool()> abandonarSiSeRechazaLaPrimera;
};

// What became of a group of rows.
struct EscrituraDeGrupo {
    // For each row: empty when it went in, else why the database refused it.
    QStringList rechazos;
    // The group refused whole at its end (a constraint checked at commit): nothing of it stays.
    QString rechazoDelGrupo;
    // Undone whole at the caller's request.
    bool abandonado = false;
    // The engine undid the whole transaction by itself (a trigger's RAISE(ROLLBACK)): nothing
    // of the group stays, nor anything written in the transaction before it.
    bool deshecho = false;

    // Rows that went in and stay in the transaction.
    int Escritas() const;
    bool Entero() const { return !deshecho && !abandonado && rechazoDelGrupo.isEmpty(); }
};

// One open connection to a database engine: what differs between the embedded SQLite file, a
// PostgreSQL server reached through its own client library and a server reached through ODBC
// lives behind this interface, one implementation each (MotorEmbebido, MotorPostgres,
// MotorOdbc), chosen when the connection opens. Conexion keeps the ADO-shaped
// operations the program uses and hands each to its engine; nothing outside the
// implementations speaks an engine's own API.
//
// Failures of the database carry their class (ClaseDeFalla): a statement refused, or a
// failure of storage or of the connection after which nothing more can be written.
class Motor {
public:
    virtual ~Motor();
    Motor(const Motor&) = delete;
    Motor& operator=(const Motor&) = delete;

    virtual Dialecto DialectoSQL() const = 0;
    virtual bool Abierto() const;

    // Every row of a statement, column definitions first.
    virtual void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) = 0;
    // The same for a statement with "?" in place of values, bound in order (texts, whole
    // numbers, nulls). The engine keeps the statement prepared where that pays.
    virtual void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                               QList<Columna>& definicion, Celdas& celdas) = 0;
    // Runs a statement that returns no rows; gives the number of rows it changed.
    virtual int Ejecutar(const QString& sql) = 0;
    // Inserts one row: the values are bound to the forma's statement, prepared once for the
    // connection, or written as the statement's literals where the engine only takes text.
    virtual void Insertar(const FormaInsercion& forma, const QList<Variant>& valores) = 0;

    // Writes a group of rows inside the open transaction, behind a savepoint of its own: a row
    // the database refuses undoes only itself and the later rows still go; constraints the
    // engine would check at commit are checked at the group's end, and a group that breaks
    // them is undone whole. Before every statement the engine is asked whether the transaction
    // is still open; when it undid it, nothing more is sent and the result says so. A failure
    // of storage or of the connection is thrown, the group undone where the engine still can.
    void EscribirGrupo(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado);
    // Writes the groups in order, each as EscribirGrupo does, several at once where the engine
    // can send them together. When the engine undoes the transaction, the groups after that
    // one are not attempted: resultados holds as many results as groups were attempted.
    virtual void EscribirGrupos(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados);
    // Writes the groups as EscribirGrupos does and meanwhile reads the query for each set of
    // values (as LeerPreparadaVarias): mientras is called once, with what was read, while the
    // engine may still be writing (it must not use the connection then); with nothing when
    // the reads failed (it may use the connection then).
    virtual void EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                                     const QList<QList<Variant>>& valores,
                                     const std::function<void(QList<Lectura>&)>& mientras,
                                     QList<EscrituraDeGrupo>& resultados);
    // How many groups are best handed to EscribirGrupos at once: many where they travel
    // together to a server, few where each goes alone anyway.
    virtual int GruposPorEnvio() const { return 16; }
    // The same query with "?" in place of values (as LeerPreparada) for several sets of
    // values, read together where the engine can: one Lectura per set, in order.
    virtual void LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                                     QList<Lectura>& lecturas);

    virtual void Comenzar();
    virtual void Confirmar();
    virtual void Deshacer();
    // Whether a transaction is under way on the engine, asked of the engine itself: it may
    // have undone one by itself (a trigger's RAISE(ROLLBACK), a full disk, a lost connection).
    virtual bool TransaccionAbierta() const = 0;
    // Savepoints inside the open transaction: set, rolled back to (it stays set), released.
    virtual void Guardar(const QString& nombre);
    virtual void VolverA(const QString& nombre);
    virtual void Liberar(const QString& nombre);
    // Whether the connection is known to be gone (the server closed it, the network failed).
    virtual bool ConexionPerdida() const = 0;
    // Seconds a statement may wait or run before it is given up; 0, no limit.
    virtual void EstablecerTiempoDeEspera(int segundos) = 0;
    // The lock that lets one registration run at a time on this database: taken, waiting up
    // to espera seconds for another run to let it go; false when another still holds it. It
    // goes with the connection (a program that dies lets it go), or with SoltarBloqueoDeCorrida.
    // An engine that cannot hold one gives true. A failure says why it could not be taken.
    virtual bool TomarBloqueoDeCorrida(int espera) { (void)espera; return true; }
    virtual void SoltarBloqueoDeCorrida() {}
    // Column names of the primary key of a table, in key order; empty when it has none.
    virtual QStringList ClavePrimaria(const QString& tabla) const;
    // Whether what is written goes to a private copy of the database, thrown away when the
    // connection closes (a preview), never to the database itself.
    virtual bool EsCopiaPrivada() const { return false; }

protected:
    // The engine's Qt SQL connection of that name; it is closed and removed with the engine.
    // An engine that does not go through Qt SQL gives no name.
    explicit Motor(QString nombreQt);
    // Sets the session of a server to read date literals day first and, on PostgreSQL, to read
    // a backslash in a text as a backslash, and reads both back; checks the registration's
    // date literal reads as 1 March 2003. Gives what is wrong, or nothing.
    QString FijarSesionDeServidor(bool postgres, bool sqlServer);
    QSqlDatabase Base() const;
    static QString MensajeDe(const QSqlError& error);

    // The whole group in one message to the server, savepoint and checks included: true when
    // that settled it; false when the engine cannot, or when a row was refused and the
    // transaction is back where it was before the group, its rows to go one by one.
    virtual bool EscribirGrupoEnUnMensaje(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado);
    // Whether what the transaction holds breaks a constraint the engine checks only at commit:
    // the reason, or empty when nothing does.
    virtual QString DiferidasIncumplidas() { return {}; }
    // The savepoint each group is written behind.
    static QString PuntoDelGrupo() { return QStringLiteral("remito"); }

private:
    void EscribirFilaPorFila(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado);

    const QString nombreQt_;
};
