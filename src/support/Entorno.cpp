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

bool Entorno::HayPantalla() {
    const QString plataforma =
        qEnvironmentVariable("QT_QPA_PLATFORM").section(u':', 0, 0).trimmed().toLower();
    if (plataforma == QLatin1String("offscreen") || plataforma == QLatin1String("minimal") ||
        plataforma == QLatin1String("minimalegl"))
        return false;
    return !plataforma.isEmpty() || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

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
