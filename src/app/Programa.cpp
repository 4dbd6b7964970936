#include "Programa.h"

#include "ConNombre.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTranslator>
#include <cstdio>
#include <memory>

namespace Programa {

QStringList Argumentos(int argc, char** argv) {
    QStringList argumentos;
    for (int i = 0; i < argc; ++i)
        argumentos << QString::fromLocal8Bit(argv[i]);
    return argumentos;
}

void Escribir(FILE* destino, const QString& texto) {
    // Every line on standard error says whose it is, as cron's mail and the journal need.
    const QByteArray bytes = (destino == stderr ? ConNombreDelPrograma(texto) : texto).toLocal8Bit();
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

namespace {
// Qt's own warnings, begun with the program's name like the program's own messages.
void MensajeDeQtConNombre(QtMsgType tipo, const QMessageLogContext& contexto, const QString& mensaje) {
    Escribir(stderr, qFormatLogMessage(tipo, contexto, mensaje) + u'\n');
}

// The private runtime folder Qt is given to start without a screen (see PrepararPantalla).
std::unique_ptr<QTemporaryDir>& CarpetaDeEjecucion() {
    static std::unique_ptr<QTemporaryDir> carpeta;
    return carpeta;
}

void NombrarMensajesDeQt() {
    static const bool instalado = [] {
        qInstallMessageHandler(MensajeDeQtConNombre);
        return true;
    }();
    Q_UNUSED(instalado);
}
} // namespace

void Nombrar(QCoreApplication& aplicacion, const QString& programa, bool traducirQt) {
    NombrarMensajesDeQt();
    // Qt looked for its runtime folder while it started: the private one goes now, since a
    // program that ends early (a database that cannot be opened) skips its destructors.
    CarpetaDeEjecucion().reset();
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
    NombrarMensajesDeQt();
    const bool hayPantalla = HayPantalla();
    if (!hayPantalla) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Under cron or a service there is no session's runtime folder, and Qt would warn
        // that it makes one of its own; a private one is given it while it starts.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            auto& carpeta = CarpetaDeEjecucion();
            carpeta = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/remitos-ejecucion-XXXXXX"));
            if (carpeta->isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(carpeta->path()));
        }
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
