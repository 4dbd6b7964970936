#include "Programa.h"


#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace Programa {

QStringList Argumentos(int argc, char** argv) {
    QStringList argumentos;
    for (int i = 0; i < argc; ++i)
        argumentos << QString::fromLocal8Bit(argv[i]);
    return argumentos;
}

void Escribir(FILE* destino, const QString& texto) {
    const QByteArray bytes = texto.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), destino);
    std::fflush(destino);
}

bool LeerOpciones(QCommandLineParser& lector, const QStringList& argumentos, QString& error) {
    lector.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (lector.parse(argumentos))
        return true;
    const QStringList desconocidas = lector.unknownOptionNames();
    error = desconocidas.isEmpty()
                ? QStringLiteral("a una opción le falta su valor (%1)").arg(lector.errorText())
                : QStringLiteral("opción desconocida: %1")
                      .arg(desconocidas.first().size() == 1 ? u'-' + desconocidas.first()
                                                            : QStringLiteral("--") + desconocidas.first());
    return false;
}

int UsoIncorrecto(const QString& programa, const QString& error) {
    Escribir(stderr, QStringLiteral("%1: %2\nPruebe «%1 --help».\n").arg(programa, error));
    return EstadoUsoIncorrecto;
}

void Nombrar(QCoreApplication& aplicacion, const QString& programa, bool traducirQt) {
    aplicacion.setApplicationName(programa);
    aplicacion.setApplicationVersion(QStringLiteral(REMITOS_VERSION));
    if (!traducirQt)
        return;
    // The programs speak Spanish whatever the system's language: Qt's own buttons and texts
    // too ("Aceptar", "Cancelar" in the input box and message boxes). Without the
    // translations installed they stay in English.
    auto* traductor = new QTranslator(&aplicacion);
    if (traductor->load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(traductor);
}

void MostrarVersion(const QString& programa) {
    Escribir(stdout, QStringLiteral("%1 %2\n").arg(programa, QStringLiteral(REMITOS_VERSION)));
}

bool HayPantalla() {
    const QString plataforma =
        qEnvironmentVariable("QT_QPA_PLATFORM").section(u':', 0, 0).trimmed().toLower();
    if (plataforma == QLatin1String("offscreen") || plataforma == QLatin1String("minimal") ||
        plataforma == QLatin1String("minimalegl"))
        return false;
    return !plataforma.isEmpty() || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool PrepararPantalla() {
    const bool hayPantalla = HayPantalla();
    if (!hayPantalla) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return false;
    }
    QByteArray plataformas = qgetenv("QT_QPA_PLATFORM");
    if (plataformas.isEmpty())
        plataformas = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb" : "wayland;xcb";
    if (!plataformas.contains("offscreen"))
        qputenv("QT_QPA_PLATFORM", plataformas + ";offscreen");
    return true;
}

bool PantallaAbierta() {
    const QString plataforma = QGuiApplication::platformName();
    return plataforma != QLatin1String("offscreen") && plataforma != QLatin1String("minimal");
}

int SinPantalla(const QString& programa, bool pedida, const QString& queHacer) {
    const QString pantalla = qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty()
                                 ? qEnvironmentVariable("DISPLAY")
                                 : qEnvironmentVariable("WAYLAND_DISPLAY");
    Escribir(stderr, pedida ? QStringLiteral("%1: no se pudo abrir la pantalla «%2»; %3\n").arg(programa, pantalla, queHacer)
                            : QStringLiteral("%1: no hay pantalla; %2\n").arg(programa, queHacer));
    return EstadoUsoIncorrecto;
}

} // namespace Programa
