#include "AvanceConsola.h"
#include "BUG.h"
#include "BaseEmbebida.h"
#include "CorridaRegistro.h"
#include "Entorno.h"
#include "Falla.h"
#include "Interaccion.h"
#include "InteraccionConsola.h"
#include "InteraccionQt.h"
#include "ModGlobal.h"
#include "Programa.h"
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
        Programa::Escribir(stdout, QStringLiteral("Base creada: %1 (%2 remitos, %3 renglones, %4 pendientes de registrar)\n")
                             .arg(o.crearBase)
                             .arg(resumen.notas)
                             .arg(resumen.renglones)
                             .arg(resumen.pendientes));
        return 0;
    } catch (const Falla& falla) {
        Programa::Escribir(stderr, QStringLiteral("remitos: %1\n").arg(falla.Descripcion()));
        return 1;
    }
}

// The summary batch mode prints after the closing message.
QString Resumen(const ResultadoCorrida& r, int erroresInformados) {
    QString resumen = QStringLiteral("Remitos procesados: %1\nRenglones registrados: %2\n"
                                     "Renglones rechazados: %3\n")
                          .arg(r.notas)
                          .arg(r.renglonesEscritos)
                          .arg(r.RenglonesNoRegistrados());
    auto linea = [&](int n, const char* texto) {
        if (n)
            resumen += QString::fromUtf8(texto) + QStringLiteral(": %1\n").arg(n);
    };
    linea(r.notasSinRenglones, "Remitos cuyos renglones no se pudieron leer");
    linea(r.notasDeOtraCorrida, "Remitos registrados por otra corrida");
    linea(r.notasSinProcesar, "Remitos sin procesar");
    linea(r.lineasDeRegistroPerdidas, "Líneas que no se pudieron escribir en el registro");
    linea(erroresInformados, "Errores informados y omitidos");
    resumen += QStringLiteral("Tiempo: %1 s\n").arg(r.segundos, 0, 'f', 2);
    return resumen;
}

// The registration with nobody at the screen and no window: start-up, the run, the closing
// message and a summary.
int EjecutarSinVentana(int argc, char** argv, const Opciones& o) {
    QCoreApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    InteraccionConsola& preguntas = Programa::IniciarSesionSinVentana(o.resto);
    AvanceConsola avance(stderr);
    CorridaRegistro corrida;
    const ResultadoCorrida r = corrida.Ejecutar(avance);
    Interaccion::Actual().Mensaje(CorridaRegistro::MensajeFinal(r, corrida.Log.ArchivoLog),
                                  ModGlobal::TituloPrograma(), IconoMensaje::Ninguno);
    Programa::Escribir(stdout, Resumen(r, preguntas.ErroresInformados()));
    const int estado = r.SinFallas() && preguntas.ErroresInformados() == 0 ? 0 : 2;
    Programa::Terminar();
    return estado;
}

// The window, when there is a screen to show it on.
int ConVentana(int argc, char** argv, const Opciones& o) {
    // Without a screen the start-up still runs, so that a database that cannot be opened is
    // reported as such; only then is the missing screen the reason to stop.
    const bool hayPantalla = Programa::PrepararPantalla();
    QApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    if (hayPantalla)
        Interaccion::Establecer(std::make_unique<InteraccionQt>());
    else
        Programa::Escribir(stderr, QStringLiteral("remitos: no hay pantalla; para registrar sin "
                                                  "ventana use --ejecutar.\n"));
    ModGlobal::EstablecerLineaDeComandos(o.resto.join(u' '));
    int estado = 0;
    {
        BUG ventana;
        ventana.Form_Load();
        if (hayPantalla) {
            ventana.show();
            estado = app.exec();
        } else {
            Programa::Escribir(stderr, QStringLiteral("remitos: no hay pantalla para mostrar la "
                                                      "ventana (falta DISPLAY).\n"));
            estado = Programa::EstadoUsoIncorrecto;
        }
    }
    Programa::Terminar();
    return estado;
}

// The incomplete notes, looked at (--revisar) or completed (--completar) with nobody at the
// screen, on a program without windows: the session starts as batch mode starts it.
int IncompletosSinVentana(int argc, char** argv, const Opciones& o,
                          const std::function<int(QString& salida)>& trabajo) {
    QCoreApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    Programa::IniciarSesionSinVentana(o.resto);
    int estado = 2;
    try {
        QString salida;
        estado = trabajo(salida);
        Programa::Escribir(stdout, salida);
    } catch (const Falla& falla) {
        Programa::Escribir(stderr, QStringLiteral("*** No se pudieron revisar los remitos incompletos: %1\n")
                             .arg(falla.Descripcion()));
    }
    Programa::Terminar();
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
        Programa::Escribir(stderr, falla + u'\n');
    if (r.registroFallido)
        Programa::Escribir(stderr, QStringLiteral("*** No se pudo abrir el registro %1\n")
                             .arg(Entorno::CarpetaDelPrograma() + RegistroDeCorrida::NombreArchivo()));
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
    QString error;
    const auto opciones = LeerOpciones(Programa::Argumentos(argc, argv), error);
    if (!opciones)
        return Programa::UsoIncorrecto(QStringLiteral("remitos"), error);
    if (opciones->ayuda) {
        Programa::Escribir(stdout, QString::fromUtf8(Ayuda));
        return 0;
    }
    if (opciones->version) {
        Programa::MostrarVersion(QStringLiteral("remitos"));
        return 0;
    }
    if (!opciones->carpeta.isEmpty())
        Entorno::EstablecerCarpetaDelPrograma(opciones->carpeta);
    if (!opciones->crearBase.isEmpty()) {
        QCoreApplication app(argc, argv);
        Programa::Nombrar(app, QStringLiteral("remitos"));
        const int estado = CrearBase(*opciones);
        Programa::Terminar();
        return estado;
    }
    if (opciones->ejecutar)
        return EjecutarSinVentana(argc, argv, *opciones);
    if (opciones->revisar)
        return IncompletosSinVentana(argc, argv, *opciones, Revisar);
    if (opciones->completar)
        return IncompletosSinVentana(argc, argv, *opciones, Completar);
    return ConVentana(argc, argv, *opciones);
}
