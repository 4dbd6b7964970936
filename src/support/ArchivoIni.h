#pragma once

#include "InstanciaUnica.h"

#include <QString>

// Reads the family's INI files: "[section]" lines, "key=value" lines, lines beginning with
// ";" are comments. Sections and keys are found without regard to case, the first of each
// wins; blanks around keys and values are dropped, and a pair of quotes around a value too.
// A ";" after a value is part of the value. Files are 8-bit Windows text.
class ArchivoIni : public InstanciaUnica<ArchivoIni> {
public:
    // The value of key in section of the file, or defecto when the file, the section or the
    // key is missing. A file named without a folder lies in the application folder.
    QString LeerValor(const QString& archivo, const QString& seccion, const QString& clave,
                      const QString& defecto) const;

    // The INI file the family's programs share: "KD000pr.INI".
    static QString ArchivoDeLaFamilia() { return QStringLiteral("KD000pr.INI"); }

    // The same over the text of a file already read.
    static QString BuscarValor(const QString& contenido, const QString& seccion,
                               const QString& clave, const QString& defecto);

private:
    friend class InstanciaUnica<ArchivoIni>;
    ArchivoIni() = default;
};
