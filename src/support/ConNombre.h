#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Each line of texto begun with the program's name ("remitos: "), as cron's mail and the
// journal need to tell whose message it is; a line that already has it is left alone. Qt only,
// so that the programs' own output helpers use it without the rest of the support library.
inline QString ConNombreDelPrograma(const QString& texto) {
    const QString nombre = QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
    if (nombre.isEmpty())
        return texto;
    const QString prefijo = nombre + QStringLiteral(": ");
    QStringList lineas = texto.split(u'\n');
    for (QString& linea : lineas)
        if (!linea.isEmpty() && !linea.startsWith(prefijo))
            linea.prepend(prefijo);
    return lineas.join(u'\n');
}
