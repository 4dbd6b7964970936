#include "Entorno.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString& CarpetaElegida() {
    static QString carpeta;
    return carpeta;
}

QString ConSeparador(const QString& carpeta) {
    return carpeta.endsWith(u'/') ? carpeta : carpeta + u'/';
}
} // namespace

QString Entorno::CarpetaDelPrograma() {
    if (!CarpetaElegida().isEmpty())
        return CarpetaElegida();
    const QString variable = qEnvironmentVariable("REMITOS_CARPETA");
    if (!variable.isEmpty())
        return ConSeparador(QDir::cleanPath(QFileInfo(variable).absoluteFilePath()));
    if (QCoreApplication::instance())
        return ConSeparador(QCoreApplication::applicationDirPath());
    return ConSeparador(QDir::currentPath());
}

void Entorno::EstablecerCarpetaDelPrograma(const QString& carpeta) {
    CarpetaElegida() =
        carpeta.isEmpty() ? QString()
                          : ConSeparador(QDir::cleanPath(QFileInfo(carpeta).absoluteFilePath()));
}

QString Entorno::Titulo() {
    const QString nombre = QCoreApplication::applicationName();
    return nombre.isEmpty() ? QStringLiteral("remitos") : nombre;
}
