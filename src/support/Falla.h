#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

// What a failure of the database says about the work around it.
enum class ClaseDeFalla {
    // The database refused the statement (a constraint, a trigger, a value of the wrong type),
    // or the failure is not the database's: the work may go on with the next statement.
    Rechazo,
    // The database cannot store anything now: the disk is full, an I/O error, a read-only
    // file or server, a damaged file, no memory, another program holding the database.
    Almacenamiento,
    // The connection is gone, or the server is shutting down or cancelled the statement.
    Conexion,
};

// A failure of a step: a number and a description, as the family's run-time reports them.
// Routines decide what follows through the failure styles of Rutina.
class Falla : public std::exception {
public:
    Falla(long numero, QString descripcion, QString motivo = {});

    long Numero() const noexcept { return numero_; }
    const QString& Descripcion() const noexcept { return descripcion_; }
    const char* what() const noexcept override { return utf8_.constData(); }
    // The system's own reason alone, when the description carries one (a file that cannot
    // be opened); else empty.
    const QString& Motivo() const noexcept { return motivo_; }
    ClaseDeFalla Clase() const noexcept { return clase_; }
    // A failure of storage or of the connection: every later statement would fail as well.
    bool Grave() const noexcept { return clase_ != ClaseDeFalla::Rechazo; }
    // The engine's own code of the failure (an SQLSTATE, or SQLite's result code); may be empty.
    const QString& Estado() const noexcept { return estado_; }

    // Failures of the run-time, with their usual numbers and texts.
    static Falla ArgumentoNoValido(const QString& detalle = {});
    static Falla Desbordamiento(const QString& detalle = {});
    static Falla FueraDeIntervalo(const QString& detalle = {});
    static Falla TiposNoCoinciden(const QString& detalle = {});
    static Falla UsoNoValidoDeNull();
    static Falla ObjetoNoEstablecido();
    // motivo: the system's own reason, when there is one ("Permission denied").
    static Falla Archivo(long numero, const QString& ruta, const QString& motivo = {});
    static Falla SinRegistroActual();
    static Falla CampoInexistente(const QString& nombre);
    static Falla ObjetoCerrado();
    static Falla BaseDeDatos(const QString& mensaje, ClaseDeFalla clase = ClaseDeFalla::Rechazo,
                             const QString& estado = {});
    static Falla Conexion(const QString& mensaje);
    // What an SQLSTATE says of the database: classes 08 (connection), 57 (the server shutting
    // down or cancelling) and the time-outs (HYT) are the connection's; 53 (resources, a full
    // disk), 58 (the system), XX (internal, damaged data) and 25006 (a read-only transaction)
    // are storage's; anything else is a statement refused.
    static ClaseDeFalla ClaseDeEstado(const QString& estado);

private:
    long numero_;
    QString descripcion_;
    QString motivo_;
    ClaseDeFalla clase_ = ClaseDeFalla::Rechazo;
    QString estado_;
    QByteArray utf8_;
};

namespace Errores {
constexpr long ArgumentoNoValido = 5;
constexpr long Desbordamiento = 6;
constexpr long FueraDeIntervalo = 9;
constexpr long TiposNoCoinciden = 13;
constexpr long NumeroArchivoIncorrecto = 52;
constexpr long ArchivoNoEncontrado = 53;
constexpr long ArchivoYaAbierto = 55;
constexpr long ErrorES = 57;
constexpr long DiscoLleno = 61;
constexpr long DemasiadosArchivos = 67;
constexpr long AccesoDenegado = 75;
constexpr long RutaNoEncontrada = 76;
constexpr long ObjetoNoEstablecido = 91;
constexpr long UsoNoValidoDeNull = 94;
constexpr long SinRegistroActual = 3021;
constexpr long CampoInexistente = 3265;
constexpr long ObjetoCerrado = 3704;
// Errors reported by the database or the driver.
constexpr long BaseDeDatos = -2147217900;
constexpr long Conexion = -2147467259;
} // namespace Errores
