#pragma once

#include <QString>

class Rutina;

// The run log: "RQ857196.LOG" in the application folder, one line per delivery note processed
// (its type and number run together) and one per failure, appended by every run. It is
// Windows text with CR LF line ends, as the family's other programs read it. The file is
// open only while a run is under way, under a file number taken anew each time.
class RegistroDeCorrida {
public:
    RegistroDeCorrida() = default;
    ~RegistroDeCorrida();
    RegistroDeCorrida(const RegistroDeCorrida&) = delete;
    RegistroDeCorrida& operator=(const RegistroDeCorrida&) = delete;

    static QString NombreArchivo() { return QStringLiteral("RQ857196.LOG"); }
    // A message (of the database, say) on one line of the log.
    static QString EnUnaLinea(const QString& texto) { return texto.simplified(); }

    // Takes a free file number, composes the log's path in the application folder and opens
    // it for appending (creating it when missing), each as a step of rutina; a failing step
    // is the routine's business.
    void Abrir(Rutina& rutina);
    // Writes one line to the file open under NumeroArchivo. A failure (no log open, a full
    // disk) never stops the caller; it is counted.
    void Registra(const QString& Mensaje);
    void Cerrar();
    bool Abierto() const { return abierto_; }
    int LineasPerdidas() const { return lineasPerdidas_; }

    qint16 NumeroArchivo = 0;
    QString ArchivoLog;

private:
    bool abierto_ = false;
    int lineasPerdidas_ = 0;
};
