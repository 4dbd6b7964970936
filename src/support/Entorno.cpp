#include "Entorno.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

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
    if (QCoreApplication::instance()) {
        const QString programa = QCoreApplication::applicationDirPath();
        const QString instalada = CarpetaInstalada(programa);
        return ConSeparador(instalada.isEmpty() ? programa : instalada);
    }
    return ConSeparador(QDir::currentPath());
}

QString Entorno::CarpetaInstalada(const QString& carpetaDelPrograma) {
#if defined(REMITOS_PROGRAMA_INSTALADO) && defined(REMITOS_CARPETA_INSTALADA)
    // An installed program file lives in a folder ordinary users cannot write; its
    // application folder is the shared one the installation set up. A copy anywhere else
    // (a build folder, a copy on a stick) keeps the family's rule: its own folder.
    const QString instalado = QFileInfo(QStringLiteral(REMITOS_PROGRAMA_INSTALADO)).canonicalFilePath();
    if (!instalado.isEmpty() && QFileInfo(carpetaDelPrograma).canonicalFilePath() == instalado)
        return QStringLiteral(REMITOS_CARPETA_INSTALADA);
#else
    Q_UNUSED(carpetaDelPrograma);
#endif
    return QString();
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

bool Entorno::CompartirConElGrupo(const QString& carpeta) {
    struct stat datos {};
    if (::stat(QFile::encodeName(carpeta).constData(), &datos) != 0 || !S_ISDIR(datos.st_mode))
        return false;
    if (!(datos.st_mode & S_ISGID) || !(datos.st_mode & S_IWGRP))
        return false;
    const mode_t mascara = ::umask(0);
    ::umask(mascara & ~mode_t(S_IRGRP | S_IWGRP));
    return true;
}
