#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What remitos is asked to do, read from its command line: its own options, and everything
// else, the family's keys ("@Server=...;"), read by their own rule later.
struct OpcionesRemitos {
    QString carpeta;
    QString crearBase;
    std::optional<int> demo;
    bool ejecutar = false;
    bool simular = false;
    bool revisar = false;
    bool completar = false;
    bool silencioso = false;
    // Seconds to wait for another run to end; 0, not to wait.
    int esperar = 0;
    bool ayuda = false;
    bool version = false;
    QStringList resto;

    // Options as "--opción valor" or "--opción=valor"; "--" ends them. Nothing when the
    // command line is malformed, and why in error.
    static std::optional<OpcionesRemitos> Leer(const QStringList& argumentos, QString& error);
    // The text of --help, with the application folder a run would use.
    static QString Ayuda();
};
