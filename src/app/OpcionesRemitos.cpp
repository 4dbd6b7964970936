#include "OpcionesRemitos.h"

#include "Programa.h"

#include "Entorno.h"
#include "ModGlobal.h"

#include <QCommandLineParser>

namespace {

const char* const TextoDeAyuda =
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
    "Con --ejecutar, --simular, --revisar, --completar y --crear-base sólo puede haber\n"
    "claves: una clave desconocida, otro texto o un valor sin su \";\" es un error (64).\n"
    "\n"
    "Opciones (el valor también puede ir tras \"=\", como en --carpeta=DIR; \"--\" termina\n"
    "las opciones):\n"
    "  --ejecutar           registra los remitos sin ventana ni preguntas: avance en la\n"
    "                       salida de errores, mensaje final y resumen en la salida\n"
    "  --simular            (o --ejecutar --simular) como --ejecutar, pero sobre una copia\n"
    "                       privada de la base embebida, o dentro de una transacción que se\n"
    "                       deshace en un servidor:\n"
    "                       muestra lo que registraría y no escribe nada, ni el registro\n"
    "  --silencioso         con --ejecutar, --revisar o --completar: nada en la salida cuando\n"
    "                       todo anduvo bien; lo que falló, completo, en la salida de errores\n"
    "  --esperar SEGUNDOS   si otra corrida está registrando en la misma base, la espera hasta\n"
    "                       SEGUNDOS en lugar de terminar\n"
    "  --revisar            lista los remitos incompletos (con movimientos de stock para sólo\n"
    "                       algunos de sus renglones) y qué les falta; no escribe nada\n"
    "  --completar          escribe los movimientos que les faltan a los remitos incompletos\n"
    "                       que --revisar muestra como completables, y nada más\n"
    "  --carpeta DIR        carpeta de la aplicación (registro de la ejecución, archivo INI,\n"
    "                       base embebida por defecto); ahora: %1\n"
    "  --crear-base ARCHIVO crea una base embebida nueva con las tablas y termina; con las\n"
    "                       claves de un servidor (\"@Server=...;@DbName=...;\") en lugar del\n"
    "                       archivo, crea las tablas que falten en esa base\n"
    "  --demo N             con --crear-base: agrega N remitos de demostración\n"
    "  --version            muestra la versión y termina\n"
    "  --help               muestra esta ayuda y termina\n"
    "\n"
    "Estado de salida: 0 bien (con --ejecutar o --simular: todos los renglones se registraron\n"
    "o se registrarían; con --revisar: no hay remitos incompletos; con --completar: todos\n"
    "quedaron completos); 1 no se pudo abrir la base de datos; 2 con --ejecutar o --simular,\n"
    "algún renglón no se registró o algo falló; con --revisar, hay remitos incompletos; con\n"
    "--completar, alguno necesita revisión o no se pudo completar; 3 otra corrida está\n"
    "registrando en la misma base de datos (no se hizo nada); 64 línea de comandos incorrecta.\n";

std::optional<int> NumeroNoNegativo(const QString& texto) {
    bool ok = false;
    const int n = texto.trimmed().toInt(&ok);
    return ok && n >= 0 ? std::optional<int>(n) : std::nullopt;
}

} // namespace

QString OpcionesRemitos::Ayuda() {
    return QString::fromUtf8(TextoDeAyuda).arg(Entorno::CarpetaDelPrograma());
}

std::optional<OpcionesRemitos> OpcionesRemitos::Leer(const QStringList& argumentos, QString& error) {
    QCommandLineParser lector;
    const QCommandLineOption ayuda(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption ejecutar(QStringLiteral("ejecutar"));
    const QCommandLineOption simular(QStringLiteral("simular"));
    const QCommandLineOption silencioso(QStringLiteral("silencioso"));
    const QCommandLineOption revisar(QStringLiteral("revisar"));
    const QCommandLineOption completar(QStringLiteral("completar"));
    const QCommandLineOption esperar(QStringLiteral("esperar"), {}, QStringLiteral("SEGUNDOS"));
    const QCommandLineOption carpeta(QStringLiteral("carpeta"), {}, QStringLiteral("DIR"));
    const QCommandLineOption crearBase(QStringLiteral("crear-base"), {}, QStringLiteral("ARCHIVO"));
    const QCommandLineOption demo(QStringLiteral("demo"), {}, QStringLiteral("N"));
    lector.addOptions({ayuda, version, ejecutar, simular, silencioso, revisar, completar, esperar,
                       carpeta, crearBase, demo});
    if (!Programa::LeerOpciones(lector, argumentos, error))
        return std::nullopt;
    OpcionesRemitos o;
    o.ayuda = lector.isSet(ayuda);
    o.version = lector.isSet(version);
    o.ejecutar = lector.isSet(ejecutar);
    o.simular = lector.isSet(simular);
    o.silencioso = lector.isSet(silencioso);
    o.revisar = lector.isSet(revisar);
    o.completar = lector.isSet(completar);
    o.carpeta = lector.value(carpeta);
    o.crearBase = lector.value(crearBase);
    o.resto = lector.positionalArguments();
    if (lector.isSet(demo)) {
        o.demo = NumeroNoNegativo(lector.value(demo));
        if (!o.demo) {
            error = QStringLiteral("--demo necesita un número de remitos (0 o más), no \"%1\"")
                        .arg(lector.value(demo));
            return std::nullopt;
        }
    }
    if (lector.isSet(esperar)) {
        const auto segundos = NumeroNoNegativo(lector.value(esperar));
        if (!segundos) {
            error = QStringLiteral("--esperar necesita un número de segundos, no \"%1\"")
                        .arg(lector.value(esperar));
            return std::nullopt;
        }
        o.esperar = *segundos;
    }
    // "--ejecutar --simular" asks for the simulation of a run.
    const int acciones = int(o.ejecutar && !o.simular) + int(o.simular) + int(o.revisar) +
                         int(o.completar) + int(lector.isSet(crearBase));
    if (acciones > 1) {
        error = QStringLiteral("--ejecutar, --simular, --revisar, --completar y --crear-base no van juntas");
        return std::nullopt;
    }
    if (lector.isSet(crearBase) && o.crearBase.trimmed().isEmpty()) {
        error = QStringLiteral("--crear-base necesita un archivo o las claves de un servidor");
        return std::nullopt;
    }
    if (o.demo && !lector.isSet(crearBase)) {
        error = QStringLiteral("--demo sólo se usa con --crear-base");
        return std::nullopt;
    }
    if (o.silencioso && !(o.ejecutar || o.revisar || o.completar)) {
        error = QStringLiteral("--silencioso sólo se usa con --ejecutar, --revisar o --completar");
        return std::nullopt;
    }
    if (lector.isSet(esperar) && !(o.ejecutar || o.simular || o.completar)) {
        error = QStringLiteral("--esperar sólo se usa con --ejecutar, --simular o --completar");
        return std::nullopt;
    }
    // Nobody is there to see a mistyped key in a command without a window: a key read wrong
    // would silently send it to another database.
    if ((o.ejecutar || o.simular || o.revisar || o.completar) &&
        !ModGlobal::LeerClavesEstrictas(o.resto.join(u' '), error))
        return std::nullopt;
    if (o.crearBase.trimmed().startsWith(u'@') && !ModGlobal::LeerClavesEstrictas(o.crearBase, error))
        return std::nullopt;
    return o;
}
