#pragma once

#include "Recordset.h"
#include "ValorSQL.h"

#include <QString>
#include <QStringList>
#include <vector>

class QSqlDatabase;
class QSqlError;

// One open connection to a database engine: what differs between the embedded SQLite file and
// a server reached through ODBC lives behind this interface, one implementation each
// (MotorEmbebido, MotorOdbc), chosen when the connection opens. Conexion keeps the ADO-shaped
// operations the program uses and hands each to its engine; nothing outside the two
// implementations speaks an engine's own API.
//
// Both open their connection through Qt SQL, which also runs the transactions; statements go
// straight to the engine.
class Motor {
public:
    virtual ~Motor();
    Motor(const Motor&) = delete;
    Motor& operator=(const Motor&) = delete;

    virtual Dialecto DialectoSQL() const = 0;
    bool Abierto() const;

    // Every row of a statement, column definitions first.
    virtual void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) = 0;
    // The same for a statement with "?" in place of values, bound in order (texts, whole
    // numbers, nulls). The engine keeps the statement prepared, so that running it again with
    // other values parses nothing.
    virtual void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                               QList<Columna>& definicion, Celdas& celdas) = 0;
    // Runs a statement that returns no rows; gives the number of rows it changed.
    virtual int Ejecutar(const QString& sql) = 0;
    // Whether several statements can travel in one message as one transaction.
    virtual bool AdmiteBloques() const { return false; }
    virtual void EjecutarEnBloque(const QStringList& sentencias);
    // The same, the last statement a query whose rows are read: a message saves the round
    // trip of the query.
    virtual void EjecutarEnBloqueYLeer(const QStringList& sentencias, QList<Columna>& definicion,
                                       Celdas& celdas);

    virtual void Comenzar();
    void Confirmar();
    virtual void Deshacer();
    // Whether a transaction that was begun is still under way on the engine: the engine may
    // have undone it by itself (a trigger's RAISE(ROLLBACK), a full disk, a lost connection).
    virtual bool TransaccionAbierta() const = 0;
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

protected:
    // The engine's Qt SQL connection of that name; it is closed and removed with the engine.
    explicit Motor(QString nombreQt);
    QSqlDatabase Base() const;
    static QString MensajeDe(const QSqlError& error);

private:
    const QString nombreQt_;
};
