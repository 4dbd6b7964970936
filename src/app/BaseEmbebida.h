#pragma once

#include <QString>
#include <QStringList>

class Conexion;

// Creation of the business database: the tables the program reads and writes, and a set of
// plausible data to try it on.
class BaseEmbebida {
public:
    struct Resumen {
        int notas = 0;         // delivery notes created
        int renglones = 0;     // their item lines
        int pendientes = 0;    // notes the registration will select
    };

    // Creates a new embedded database file holding the tables; with notas > 0 it also gets
    // demo data. An existing file is never touched; a failure leaves no file behind.
    static Resumen Crear(const QString& ruta, int notas, quint32 semilla = 2003);
    // Creates the tables on an open connection, with the schema of its engine.
    static void CrearEsquema(Conexion& conexion);
    // Creates, with the schema of its engine, the tables the connection's database lacks (and
    // their indexes), leaving the others alone; gives the names of those it created.
    static QStringList CrearTablasQueFaltan(Conexion& conexion);
    // The demo data on a database that holds no document yet; one that does is refused, so
    // that demo notes never mix with the company's.
    static Resumen CargarDemostracionEnBaseVacia(Conexion& conexion, int notas);
    // Adds demo data in one transaction: notas delivery notes with 1 to 9 lines each (some
    // voided, some dated before the cutoff, some already in stock), a few other documents,
    // articles, customers, suppliers, contacts and configuration rows.
    static Resumen CargarDemostracion(Conexion& conexion, int notas, quint32 semilla = 2003);
    // The statements of an SQL script: split at ";" outside quotes, comments dropped.
    static QStringList Sentencias(const QString& script);
    // The text of a schema shipped with the program ("sqlite" or "postgresql").
    static QString Esquema(const QString& motor);
};
