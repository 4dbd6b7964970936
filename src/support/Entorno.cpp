#include "Entorno.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {
QString& CarpetaElegida() {
    static QString carpeta;
    return carpeta;
}

QString ConSeparador(const QString& carpeta) {
    return carpeta.endsWith(u'/') ? carpeta : carpeta + u'/';
}

bool EsDeMisGrupos(gid_t grupo) {
    if (getegid() == grupo)
        return true;
    const int cuantos = getgroups(0, nullptr);
    std::vector<gid_t> grupos(size_t(qMax(cuantos, 0)));
    const int leidos = cuantos > 0 ? getgroups(cuantos, grupos.data()) : 0;
    for (int i = 0; i < leidos; ++i)
        if (grupos[size_t(i)] == grupo)
            return true;
    return false;
}

QString NombreDeUsuario(uid_t uid) {
    const passwd* p = getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

QString NombreDeGrupo(gid_t gid) {
    const group* g = getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

bool SistemaDeSoloLectura(const QString& existente) {
    struct statvfs datos {};
    return ::statvfs(QFile::encodeName(existente).constData(), &datos) == 0 &&
           (datos.f_flag & ST_RDONLY);
}
} // namespace

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

QString Entorno::PorQueNoSePuedeEscribir(const QString& ruta) {
    const QFileInfo info(ruta);
    // The file itself when it is there, and its folder in any case: SQLite keeps its journal
    // files beside the database, and a log that does not exist yet is created there.
    QString bloqueada;
    if (info.exists() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) != 0)
        bloqueada = info.absoluteFilePath();
    else if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0)
        bloqueada = info.absolutePath();
    struct stat datos {};
    if (bloqueada.isEmpty() || ::stat(QFile::encodeName(bloqueada).constData(), &datos) != 0)
        return {};
    // No owner, group or permission would help there: the file system refuses every writer.
    if (SistemaDeSoloLectura(bloqueada))
        return QStringLiteral("el sistema de archivos de %1 es de sólo lectura").arg(bloqueada);
    const QString usuario = NombreDeUsuario(geteuid());
    const QString grupo = NombreDeGrupo(datos.st_gid);
    if ((datos.st_mode & S_IWGRP) && !EsDeMisGrupos(datos.st_gid))
        return QStringLiteral("el usuario %1 no es del grupo «%2», que es el que puede escribir "
                              "en %3: un administrador lo agrega con «adduser %1 %2» (vale desde "
                              "el próximo inicio de sesión de %1)")
            .arg(usuario, grupo, bloqueada);
    return QStringLiteral("el usuario %1 no puede escribir en %2 (dueño %3, grupo %4, permisos %5)")
        .arg(usuario, bloqueada, NombreDeUsuario(datos.st_uid), grupo,
             QString::number(datos.st_mode & 07777, 8));
}

bool Entorno::EnSistemaDeSoloLectura(const QString& ruta) {
    const QFileInfo info(ruta);
    return SistemaDeSoloLectura(info.exists() ? info.absoluteFilePath() : info.absolutePath());
}
