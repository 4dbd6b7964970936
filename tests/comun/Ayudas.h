#pragma once

#include "InteraccionGuion.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <utility>
#include <ostream>

class Conexion;
class Variant;

// Shows values and texts in failure messages.
void PrintTo(const Variant& valor, std::ostream* salida);
QT_BEGIN_NAMESPACE
void PrintTo(const QString& texto, std::ostream* salida);
QT_END_NAMESPACE

namespace Pruebas {

// The number of the failure an action raises, or 0 when it raises none.
long NumeroDeFalla(const std::function<void()>& accion);

// Installs a fresh scripted interaction and gives it for answers and checks.
InteraccionGuion& NuevoGuion();

// A new empty application folder for one test: the program's files go there, the shared
// instances and the session record start anew, and everything is released at the end.
class CarpetaPrueba {
public:
    CarpetaPrueba();
    ~CarpetaPrueba();
    QString Ruta() const; // ends in "/"
    QString Archivo(const QString& nombre) const { return Ruta() + nombre; }
    // Writes a file in the folder (8-bit Windows text).
    void Escribir(const QString& nombre, const QString& contenido) const;

private:
    QTemporaryDir dir_;
};

// Creates an embedded database with the tables (and demo notes when asked) in the folder.
QString CrearBaseSqlite(const CarpetaPrueba& carpeta, const QString& nombre = QStringLiteral("remitos.db"),
                        int notas = 0);

// Opens conexion on an embedded database file; fails the test when it cannot.
void ConectarSqlite(Conexion& conexion, const QString& ruta);

// Adds notes of type RM (number, date as the database writes it) and gives the numbers of
// those the run's cutoff literal '01/03/2003' selects, in date order.
QStringList NotasDespuesDelCorte(Conexion& conexion,
                                 const QList<std::pair<const char*, const char*>>& notas);

// A tmpfs mounted on a folder for one test (it takes root), unmounted at the end: a small
// disk that fills up, or one made read-only.
class Montaje {
public:
    explicit Montaje(const QString& carpeta, const char* opciones = "size=2m,mode=0755");
    ~Montaje();
    Montaje(const Montaje&) = delete;
    Montaje& operator=(const Montaje&) = delete;
    bool Montado() const { return montado_; }
    // Why it could not be mounted, or remounted.
    QString Error() const { return error_; }
    // Free bytes.
    qint64 Libre() const;
    // Mounts it again with other options ("size=1m"), read-only when asked; false when it
    // cannot, with the reason in Error.
    bool Remontar(const char* opciones, bool soloLectura = false);

private:
    QString carpeta_;
    bool montado_ = false;
    QString error_;
};

// The test PostgreSQL server reached through ODBC, when the test command started one.
class BasePostgres {
public:
    // Whether a server was given (REMITOS_PG_DSN). When REMITOS_PG_EXIGIDO is set, a missing
    // server is the test's failure rather than a reason to skip.
    static bool Disponible();
    static bool Exigido();
    static QString Dsn();

    // Creates a new empty database on the server, dropped again by the destructor.
    explicit BasePostgres(const QString& prefijo);
    ~BasePostgres();
    const QString& Nombre() const { return nombre_; }
    // Opens conexion on it through the data source.
    void Conectar(Conexion& conexion) const;

private:
    QString nombre_;
};

} // namespace Pruebas

// Skips the current test when the tmpfs could not be mounted (no root, no right to mount).
#define REQUIERE_MONTAJE(montaje)                                                             \
    do {                                                                                      \
        if (!(montaje).Montado())                                                             \
            GTEST_SKIP() << "no se puede montar un tmpfs aquí (" << (montaje).Error().toStdString() \
                         << ")";                                                              \
    } while (0)

// Skips the current test when no PostgreSQL server was given, or fails it when one must be.
#define REQUIERE_POSTGRES()                                                                   \
    do {                                                                                      \
        if (!Pruebas::BasePostgres::Disponible()) {                                           \
            if (Pruebas::BasePostgres::Exigido())                                             \
                FAIL() << "REMITOS_PG_EXIGIDO está puesto pero no hay servidor (REMITOS_PG_DSN)"; \
            GTEST_SKIP() << "sin servidor PostgreSQL de prueba (REMITOS_PG_DSN)";             \
        }                                                                                     \
    } while (0)
