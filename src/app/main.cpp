#include "AvanceConsola.h"
#include "BUG.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "Interaccion.h"
#include "InteraccionConsola.h"
#include "InteraccionQt.h"
#include "ModGlobal.h"
#include "RemitosIncompletos.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr int EstadoUsoIncorrecto = 64;

const char* const Ayuda =
    "Uso: remitos [opciones] [\"@Clave=valor;@Clave=valor;...\"]\n"
    "\n"
    "Registra en stock los remitos pendientes de la base de datos de la empresa: cada\n"
    "renglón de cada remito pendiente se escribe como un movimiento de stock. Sin opciones\n"
    "abre la ventana del programa; \"&Ejecutar\" hace el registro.\n"
    "\n"
    "Claves de la línea de comandos (en cualquier orden, cada valor cerrado por \";\"):\n"
    "  @Server=NOMBRE;           origen de datos ODBC o servidor; vacío: base embebida\n"
    "  @DbName=BASE;             base de datos; sin servidor, archivo SQLite (relativo a la\n"
    "                            carpeta de la aplicación; vacío: remitos.db de esa carpeta)\n"
    "  @Usuario=USUARIO;         usuario de la base de datos\n"
    "  @Password=CLAVE;          contraseña de la base de datos\n"
    "  @UsuarioLogeado=NOMBRE;   usuario que inició la sesión en el sistema\n"
    "  @Caja=NUMERO;             caja\n"
    "  @Menu=TEXTO;              menú desde el que se llamó al programa\n"
    "  @ParametroAdicional=TEXTO; parámetro adicional\n"
    "\n"
    "Opciones:\n"
    "  --ejecutar           registra los remitos sin ventana ni preguntas: avance en la\n"
    "                       salida de errores, mensaje final y resumen en la salida\n"
    "  --revisar            lista los remitos incompletos (con movimientos de stock para sólo\n"
    "                       algunos de sus renglones) y qué les falta; no escribe nada\n"
    "  --completar          escribe los movimientos que les faltan a los remitos incompletos\n"
    "                       que --revisar muestra como completables, y nada más\n"
    "  --carpeta DIR        carpeta de la aplicación (registro de la ejecución, archivo INI,\n"
    "                       base embebida por defecto); por defecto, la del programa\n"
    "  --crear-base ARCHIVO crea una base embebida nueva con las tablas y termina\n"
    "  --demo N             con --crear-base: agrega N remitos de demostración\n"
    "  --version            muestra la versión y termina\n"
    "  --help               muestra esta ayuda y termina\n"
    "\n"
    "Estado de salida: 0 bien (con --ejecutar: todos los renglones se registraron; con\n"
    "--revisar: no hay remitos incompletos; con --completar: todos quedaron completos); 1 no\n"
    "se pudo abrir la base de datos; 2 con --ejecutar, algún renglón no se registró o algo\n"
    "falló; con --revisar, hay remitos incompletos; con --completar, alguno necesita revisión\n"
    "o no se pudo completar; 64 línea de comandos incorrecta.\n";

struct Opciones {
    QString carpeta;
    QString crearBase;
    std::optional<int> demo;
    bool ejecutar = false;
    bool revisar = false;
    bool completar = false;
    bool ayuda = false;
    bool version = false;
    QStringList resto;
};

void Escribir(FILE* destino, const QString& texto) {
    const QByteArray bytes = texto.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), destino);
    std::fflush(destino);
}

// Reads the program's own options; everything else is the family's command line.
std::optional<Opciones> LeerOpciones(const QStringList& argumentos, QString& error) {
    Opciones o;
    for (qsizetype i = 1; i < argumentos.size(); ++i) {
        const QString& a = argumentos[i];
        auto valor = [&](const QString& nombre) -> std::optional<QString> {
            if (i + 1 >= argumentos.size()) {
                error = QStringLiteral("la opción %1 necesita un valor").arg(nombre);
                return std::nullopt;
            }
            return argumentos[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.ayuda = true;
        } else if (a == QLatin1String("--ejecutar")) {
            o.ejecutar = true;
        } else if (a == QLatin1String("--revisar")) {
            o.revisar = true;
        } else if (a == QLatin1String("--completar")) {
            o.completar = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a == QLatin1String("--carpeta")) {
            auto v = valor(a);
            if (!v)
                return std::nullopt;
            o.carpeta = *v;
        } else if (a == QLatin1String("--crear-base")) {
            auto v = valor(a);
            if (!v)
                return std::nullopt;
            o.crearBase = *v;
        } else if (a == QLatin1String("--demo")) {
            auto v = valor(a);
            if (!v)
                return std::nullopt;
            bool ok = false;
            const int n = v->toInt(&ok);
            if (!ok || n < 0) {
                error = QStringLiteral("--demo necesita un número de remitos (0 o más), no \"%1\"").arg(*v);
                return std::nullopt;
            }
            o.demo = n;
        } else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("opción desconocida: %1").arg(a);
            return std::nullopt;
        } else {
            o.resto << a;
        }
    }
    const int acciones = int(o.ejecutar) + int(o.revisar) + int(o.completar) +
                         int(!o.crearBase.isEmpty());
    if (acciones > 1) {
        error = QStringLiteral("--ejecutar, --revisar, --completar y --crear-base no van juntas");
        return std::nullopt;
    }
    if (o.demo && o.crearBase.isEmpty()) {
        error = QStringLiteral("--demo sólo se usa con --crear-base");
        return std::nullopt;
    }
    return o;
}


int CrearBase(const Opciones& o) {
    try {
        const bool compartida = Entorno::CompartirConElGrupo(QFileInfo(o.crearBase).absolutePath());
        const auto resumen = BaseEmbebida::Crear(o.crearBase, o.demo.value_or(0));
        // SQLite creates its files for the owner alone whatever the umask; its journal files
        // later take the database file's permissions.
        if (compartida)
            QFile::setPermissions(o.crearBase, QFile::permissions(o.crearBase) |
                                                   QFile::ReadGroup | QFile::WriteGroup);
        Escribir(stdout, QStringLiteral("Base creada: %1 (%2 remitos, %3 renglones, %4 pendientes de registrar)\n")
                             .arg(o.crearBase)
                             .arg(resumen.notas)
                             .arg(resumen.renglones)
                             .arg(resumen.pendientes));
        return 0;
    } catch (const Falla& falla) {
        Escribir(stderr, QStringLiteral("remitos: %1\n").arg(falla.Descripcion()));
        return 1;
    }
}

// Releases what the program holds before Qt goes away, as the end of the program does.
void Terminar() {
    ModGlobal::LiberarObjetos();
}

// The registration with nobody at the screen: start-up, the run, a summary.
int EjecutarSinVentana(int argc, char** argv, const Opciones& o) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    auto consola = std::make_unique<InteraccionConsola>();
    InteraccionConsola* preguntas = consola.get();
    Interaccion::Establecer(std::move(consola));
    ModGlobal::EstablecerLineaDeComandos(o.resto.join(u' '));

    BUG ventana;
    ventana.Form_Load();
    AvanceConsola avance(stderr);
    ventana.EstablecerAvance(&avance);
    ventana.CmdEjecutar_Click();
    const ResultadoCorrida& r = ventana.UltimaCorrida();
    QString resumen = QStringLiteral("Remitos procesados: %1\nRenglones registrados: %2\n"
                                     "Renglones rechazados: %3\n")
                          .arg(r.notas)
                          .arg(r.renglonesEscritos)
                          .arg(r.RenglonesNoRegistrados());
    if (r.notasSinRenglones)
        resumen += QStringLiteral("Remitos cuyos renglones no se pudieron leer: %1\n").arg(r.notasSinRenglones);
    if (r.notasDeOtraCorrida)
        resumen += QStringLiteral("Remitos registrados por otra corrida: %1\n").arg(r.notasDeOtraCorrida);
    if (r.notasSinProcesar)
        resumen += QStringLiteral("Remitos sin procesar: %1\n").arg(r.notasSinProcesar);
    if (r.lineasDeRegistroPerdidas)
        resumen += QStringLiteral("Líneas que no se pudieron escribir en el registro: %1\n")
                       .arg(r.lineasDeRegistroPerdidas);
    if (preguntas->ErroresInformados())
        resumen += QStringLiteral("Errores informados y omitidos: %1\n").arg(preguntas->ErroresInformados());
    resumen += QStringLiteral("Tiempo: %1 s\n").arg(r.segundos, 0, 'f', 2);
    Escribir(stdout, resumen);
    const int estado = r.SinFallas() && preguntas->ErroresInformados() == 0 ? 0 : 2;
    // The connection closes while Qt is still there to close it.
    Terminar();
    return estado;
}


// The incomplete notes, looked at (--revisar) or completed (--completar) with nobody at the
// screen, on a program without windows: the session starts as batch mode starts it.
int IncompletosSinVentana(int argc, char** argv, const Opciones& o,
                          const std::function<int(QString& salida)>& trabajo) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    Interaccion::Establecer(std::make_unique<InteraccionConsola>());
    ModGlobal::EstablecerLineaDeComandos(o.resto.join(u' '));
    ModGlobal::IniciarSesion();
    int estado = 2;
    try {
        QString salida;
        estado = trabajo(salida);
        Escribir(stdout, salida);
    } catch (const Falla& falla) {
        Escribir(stderr, QStringLiteral("*** No se pudieron revisar los remitos incompletos: %1\n")
                             .arg(falla.Descripcion()));
    }
    Terminar();
    return estado;
}

QString Describir(const QList<RemitosIncompletos::Remito>& remitos) {
    QString texto;
    for (const auto& r : remitos)
        texto += r.Describir().join(u'\n') + u'\n';
    return texto;
}

// --revisar: every incomplete note and what it lacks, or why it cannot be completed.
int Revisar(QString& salida) {
    const QList<RemitosIncompletos::Remito> remitos = RemitosIncompletos().Revisar();
    if (remitos.isEmpty()) {
        salida = QStringLiteral("No hay remitos incompletos.\n");
        return 0;
    }
    const auto completables = std::count_if(remitos.cbegin(), remitos.cend(),
                                            [](const auto& r) { return r.Completable(); });
    salida = Describir(remitos) +
             QStringLiteral("Remitos incompletos: %1 (se pueden completar con --completar: %2; "
                            "necesitan revisión: %3)\n")
                 .arg(remitos.size())
                 .arg(completables)
                 .arg(remitos.size() - completables);
    return 2;
}

// --completar: the missing rows of the notes that can be completed safely.
int Completar(QString& salida) {
    QList<RemitosIncompletos::Remito> remitos;
    const auto r = RemitosIncompletos().Completar(&remitos);
    for (const QString& falla : r.fallas)
        Escribir(stderr, falla + u'\n');
    if (r.registroFallido)
        Escribir(stderr, QStringLiteral("*** No se pudo abrir el registro %1\n")
                             .arg(Entorno::CarpetaDelPrograma() + BUG::NombreArchivoLog()));
    salida = Describir(remitos) +
             QStringLiteral("Remitos completados: %1\nRenglones registrados: %2\n")
                 .arg(r.completados)
                 .arg(r.renglonesEscritos);
    if (r.necesitanRevision)
        salida += QStringLiteral("Remitos que necesitan revisión: %1\n").arg(r.necesitanRevision);
    if (r.noCompletados)
        salida += QStringLiteral("Remitos que no se pudieron completar: %1\n").arg(r.noCompletados);
    if (r.lineasDeRegistroPerdidas)
        salida += QStringLiteral("Líneas que no se pudieron escribir en el registro: %1\n")
                      .arg(r.lineasDeRegistroPerdidas);
    return r.SinFallas() ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    QStringList argumentos;
    for (int i = 0; i < argc; ++i)
        argumentos << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto opciones = LeerOpciones(argumentos, error);
    if (!opciones) {
        Escribir(stderr, QStringLiteral("remitos: %1\nPruebe «remitos --help».\n").arg(error));
        return EstadoUsoIncorrecto;
    }
    if (opciones->ayuda) {
        Escribir(stdout, QString::fromUtf8(Ayuda));
        return 0;
    }
    if (opciones->version) {
        Escribir(stdout, QStringLiteral("remitos %1\n").arg(QStringLiteral(REMITOS_VERSION)));
        return 0;
    }
    if (!opciones->carpeta.isEmpty())
        Entorno::EstablecerCarpetaDelPrograma(opciones->carpeta);
    if (!opciones->crearBase.isEmpty()) {
        QCoreApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("remitos"));
        const int estado = CrearBase(*opciones);
        Terminar();
        return estado;
    }
    if (opciones->ejecutar)
        return EjecutarSinVentana(argc, argv, *opciones);
    if (opciones->revisar)
        return IncompletosSinVentana(argc, argv, *opciones, Revisar);
    if (opciones->completar)
        return IncompletosSinVentana(argc, argv, *opciones, Completar);

    // Without a screen the start-up still runs, so that a database that cannot be opened is
    // reported as such; only then is the missing screen the reason to stop.
    const bool hayPantalla = Entorno::HayPantalla();
    if (!hayPantalla)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    app.setApplicationVersion(QStringLiteral(REMITOS_VERSION));
    if (hayPantalla)
        Interaccion::Establecer(std::make_unique<InteraccionQt>());
    else
        Escribir(stderr, QStringLiteral("remitos: no hay pantalla; para registrar sin ventana "
                                        "use --ejecutar.\n"));
    ModGlobal::EstablecerLineaDeComandos(opciones->resto.join(u' '));

    int estado = 0;
    {
        BUG ventana;
        ventana.Form_Load();
        if (hayPantalla) {
            ventana.show();
            estado = app.exec();
        } else {
            Escribir(stderr, QStringLiteral("remitos: no hay pantalla para mostrar la ventana "
                                            "(falta DISPLAY).\n"));
            estado = EstadoUsoIncorrecto;
        }
    }
    Terminar();
    return estado;
}
