#pragma once

#include <QString>

class Rutina;

// The run log: "RQ857196.LOG" in the application folder, one line per delivery note processed
// (its type and number run together) and one per failure, appended by every run. It is
// Windows text with CR LF line ends, as the family's other programs read it. The file is
// open only while a run is under way, under a file number taken anew each time. Each run is
// framed by two lines of its own, beginning with "=== ": when it began, who ran it and on
// which database, and when it ended with its counts; so runs on several databases, by people
// and by the nightly job, can be told apart in the one file.
class RegistroDeCorrida {
public:
    RegistroDeCorrida() = default;
    ~RegistroDeCorrida();
    RegistroDeCorrida(const RegistroDeCorrida&) = delete;
    RegistroDeCorrida& operator=(const RegistroDeCorrida&) = delete;

    static QString NombreArchivo() { return QStringLiteral("RQ857196.LOG"); }
    // A message (of the database, say) on one line of the log.
    static QString EnUnaLinea(const QString& texto) { return texto.simplified(); }
    // The mark that begins a run's first and last lines.
    static QString MarcaDeCorrida() { return QStringLiteral("=== "); }

    // Takes a free file number, composes the log's path in the application folder and opens
    // it for appending (creating it when missing), each as a step of rutina; a failing step
    // is the routine's business.
    void Abrir(Rutina& rutina);
    // Writes one line to the file open under NumeroArchivo. A failure (no log open, a full
    // disk) never stops the caller; it is counted.
    void Registra(const QString& Mensaje);
    // "=== <date and time> Inicio de <que>: usuario <system user>, <database>". The database
    // is named as Conexion::NombreDeLaBase names it: a file, or a server and a database,
    // never a password.
    void Inicio(const QString& que, const QString& base);
    // "=== <date and time> Fin de <que>: <cuentas>".
    void Fin(const QString& que, const QString& cuentas);
    void Cerrar();
    bool Abierto() const { return abierto_; }
    int LineasPerdidas() const { return lineasPerdidas_; }

    qint16 NumeroArchivo = 0;
    QString ArchivoLog;

private:
    bool abierto_ = false;
    int lineasPerdidas_ = 0;
};
