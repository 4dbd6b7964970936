// consulta: the family's lookup dialog for scripts and other programs. It starts a session as
// remitos does (command-line keys, INI file, masks file), shows the lookup on a table or a
// statement, and prints what the person chose.
#include "Programa.h"

#include <remitos/consulta.h>

#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr int EstadoAceptada = 0;
constexpr int EstadoCancelada = 1;
constexpr int EstadoFallida = 2;

const char* const Ayuda =
    "Uso: consulta --tabla TABLA [opciones] [\"@Clave=valor;@Clave=valor;...\"]\n"
    "\n"
    "Muestra la consulta de la familia sobre una tabla o una sentencia y escribe en la salida\n"
    "lo que la persona eligió. La base de datos se elige con las mismas claves que remitos\n"
    "(@Server, @DbName, @Usuario, @Password, ...; vea «remitos --help»), leídas\n"
    "estrictamente: una clave desconocida, otro texto o un valor sin su \";\" es un error.\n"
    "\n"
    "Opciones:\n"
    "  --tabla TABLA        una tabla que conoce el archivo de máscaras (v_ma_articulos,\n"
    "                       vt_clientes, vt_proveedores, ma_contactos) o una sentencia SELECT\n"
    "  --devuelto CAMPO     la columna cuyo valor se escribe (por defecto, la primera columna\n"
    "                       de la máscara de la tabla)\n"
    "  --campos A,B,...     las columnas de la fila elegida que se escriben, una por línea\n"
    "  --casillas           casillas en cada fila: se eligen varias y se escribe un valor por\n"
    "                       fila marcada\n"
    "  --cantidades         una columna de cantidades (Insertar suma 1, Suprimir resta 1,\n"
    "                       Mayúsculas+Insertar pide la cantidad); cada valor lleva la suya\n"
    "                       después de un tabulador\n"
    "  --buscar TEXTO       texto inicial de la primera caja de búsqueda\n"
    "  --carpeta DIR        carpeta de la aplicación (archivo de máscaras, archivo INI,\n"
    "                       base embebida por defecto)\n"
    "  --version, --help\n"
    "\n"
    "Una opción con valor lo lleva después de un blanco o de «=».\n"
    "\n"
    "La consulta solo lee: abre la base de datos para leer y rechaza una sentencia que\n"
    "escribiría. Cada valor va en su línea; dentro de un valor, una barra inversa se escribe\n"
    "\\\\, un tabulador \\t, un salto de línea \\n y un retorno de carro \\r, de modo que las\n"
    "líneas y los tabuladores de la salida separan siempre valores y cantidades.\n"
    "\n"
    "Estado de salida: 0 aceptada con algo elegido; 1 cancelada, o aceptada sin nada elegido;\n"
    "2 no se pudo abrir la base de datos, la sentencia falló o escribiría (el motivo, en la\n"
    "salida de errores); 64 línea de comandos incorrecta, sin pantalla o pantalla perdida.\n";

struct Opciones {
    QString tabla;
    QString devuelto;
    QStringList campos;
    bool camposDados = false;
    bool casillas = false;
    bool cantidades = false;
    bool portapapeles = false;
    QString buscar;
    QString carpeta;
    bool ayuda = false;
    bool version = false;
    QStringList resto;
};

std::optional<Opciones> LeerOpciones(const QStringList& argumentos, QString& error) {
    QCommandLineParser lector;
    const QCommandLineOption ayuda(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption casillas(QStringLiteral("casillas"));
    const QCommandLineOption cantidades(QStringLiteral("cantidades"));
    const QCommandLineOption portapapeles(QStringLiteral("portapapeles"));
    const QCommandLineOption tabla(QStringLiteral("tabla"), {}, QStringLiteral("TABLA"));
    const QCommandLineOption devuelto(QStringLiteral("devuelto"), {}, QStringLiteral("CAMPO"));
    const QCommandLineOption campos(QStringLiteral("campos"), {}, QStringLiteral("A,B"));
    const QCommandLineOption buscar(QStringLiteral("buscar"), {}, QStringLiteral("TEXTO"));
    const QCommandLineOption carpeta(QStringLiteral("carpeta"), {}, QStringLiteral("DIR"));
    lector.addOptions({ayuda, version, casillas, cantidades, portapapeles, tabla, devuelto, campos,
                       buscar, carpeta});
    if (!Programa::LeerOpciones(lector, argumentos, error))
        return std::nullopt;
    Opciones o;
    o.ayuda = lector.isSet(ayuda);
    o.version = lector.isSet(version);
    o.casillas = lector.isSet(casillas);
    o.cantidades = lector.isSet(cantidades);
    o.portapapeles = lector.isSet(portapapeles);
    o.tabla = lector.value(tabla);
    o.devuelto = lector.value(devuelto);
    o.buscar = lector.value(buscar);
    o.carpeta = lector.value(carpeta);
    o.camposDados = lector.isSet(campos);
    for (const QString& campo : lector.value(campos).split(u',', Qt::SkipEmptyParts))
        o.campos << campo.trimmed();
    o.resto = lector.positionalArguments();
    if (!o.ayuda && !o.version && o.tabla.trimmed().isEmpty()) {
        error = QStringLiteral("falta --tabla");
        return std::nullopt;
    }
    // A script has nobody to notice a mistyped key: it would look up another database.
    error = SesionConsulta::ErrorDeClaves(o.resto.join(u' '));
    if (!error.isEmpty())
        return std::nullopt;
    return o;
}

// A value on a line of its own: the characters that separate lines and quantities are
// written as escapes, and so is the escape character itself.
QString Texto(const Variant& v) {
    const QString texto = v.EsNulo() ? QString() : v.Texto();
    QString salida;
    salida.reserve(texto.size());
    for (QChar c : texto) {
        switch (c.unicode()) {
        case u'\\':
            salida += QStringLiteral("\\\\");
            break;
        case u'\t':
            salida += QStringLiteral("\\t");
            break;
        case u'\n':
            salida += QStringLiteral("\\n");
            break;
        case u'\r':
            salida += QStringLiteral("\\r");
            break;
        default:
            salida += c;
        }
    }
    return salida;
}

// The column whose value is printed: the one given, or else the mask's first column (the one
// the lookup searches first). Empty when neither says.
QString Devuelto(const Opciones& o, Lib_ClsCons2& consulta) {
    QString devuelto = o.devuelto;
    if (devuelto.isEmpty() && !o.camposDados && !o.casillas) {
        QString sentencia = o.tabla;
        consulta.AplicarMascara(sentencia, devuelto);
    }
    return devuelto;
}

// What the person chose, a line per value, each with its quantity after a tab when asked.
QString Elegido(const Opciones& o, const Lib_ClsCons2& consulta) {
    auto cantidad = [&](int i) {
        if (!o.cantidades || !consulta.Cantidades)
            return QString();
        // A chosen row has one quantity; marked rows have one each.
        const int j = o.casillas ? i : 1;
        return j <= consulta.Cantidades->Count() ? u'\t' + Texto(consulta.Cantidades->Item(j))
                                                  : QStringLiteral("\t");
    };
    QString salida;
    if (o.casillas || o.camposDados) {
        for (int i = 1; i <= consulta.Valores->Count(); ++i)
            salida += Texto(consulta.Valores->Item(i)) + cantidad(i) + u'\n';
    } else if (!consulta.ValorDevuelto.EsVacio()) {
        salida += Texto(consulta.ValorDevuelto) + cantidad(1) + u'\n';
    }
    return salida;
}

// Whether the person chose something: a marked row, or a selected row.
bool HayEleccion(const Opciones& o, const Lib_ClsCons2& consulta) {
    if (o.casillas || o.camposDados)
        return consulta.Valores->Count() > 0;
    return !consulta.ValorDevuelto.EsVacio();
}

// The lookup on the session's request, and what was chosen on standard output.
int Consultar(const Opciones& o, Lib_ClsCons2& consulta, bool pedida, bool hayPantalla) {
    QString sentencia = o.tabla;
    QString campoBusqueda;
    consulta.AplicarMascara(sentencia, campoBusqueda);
    if (const QString motivo = Lib_ClsCons2::PorQueNoEsConsulta(sentencia); !motivo.isEmpty()) {
        QString texto = QStringLiteral("consulta: la consulta solo lee, y «%1» %2").arg(sentencia, motivo);
        // A bare name that no record turned into a statement: a masks file too short to hold
        // one names no table at all.
        if (const QString mascaras = consulta.MascarasSinRegistros();
            !mascaras.isEmpty() && !sentencia.trimmed().contains(u' '))
            texto += QStringLiteral("; ") + mascaras;
        Programa::Escribir(stderr, texto + QStringLiteral(".\n"));
        return EstadoFallida;
    }
    const QString devuelto = Devuelto(o, consulta);
    if (devuelto.isEmpty() && !o.camposDados && !o.casillas) {
        Programa::Escribir(stderr, QStringLiteral("consulta: diga con --devuelto o --campos qué "
                                                  "columna escribir: «%1» no tiene máscara.\n")
                                       .arg(o.tabla));
        return Programa::EstadoUsoIncorrecto;
    }
    if (!hayPantalla)
        return Programa::SinPantalla(QStringLiteral("consulta"), pedida,
                                     QStringLiteral("la consulta se muestra en una ventana."));
    consulta.Checks = o.casillas;
    consulta.UsaCantidades = o.cantidades;
    consulta.CampoDevuelto = devuelto;
    // Nobody is asked about a failure while loading: it is said on standard error.
    consulta.FallasAlLlamador = true;
    RefCollection campos;
    if (o.camposDados) {
        campos = NuevaCollection();
        for (const QString& campo : o.campos)
            campos->Add(campo);
    }
    QString clave = o.buscar;
    campoBusqueda.clear();
    consulta.ConsultaSearch(o.tabla, campos, clave, campoBusqueda);
    if (!consulta.FallaDeCarga.isEmpty()) {
        Programa::Escribir(stderr, QStringLiteral("consulta: %1\n").arg(consulta.FallaDeCarga));
        return EstadoFallida;
    }
    if (!consulta.Valores || !HayEleccion(o, consulta))
        return EstadoCancelada;
    Programa::Escribir(stdout, Elegido(o, consulta));
    return EstadoAceptada;
}

// What was chosen, on the clipboard for the person who opened the lookup from the desktop's
// menu (nobody reads its standard output there), and a window that says so. The clipboard
// keeps it while the window is open, and after that wherever the desktop keeps clipboards.
void AlPortapapeles(const QString& elegido) {
    QString texto = elegido;
    if (texto.endsWith(u'\n'))
        texto.chop(1);
    QGuiApplication::clipboard()->setText(texto);
    QMessageBox aviso(QMessageBox::Information, QStringLiteral("Consulta"),
                      QStringLiteral("Se copió al portapapeles:\n\n%1").arg(texto), QMessageBox::Ok);
    aviso.exec();
}

QtMessageHandler manejadorDeQt = nullptr;

// The screen went away (the X server stopped, the session ended). Qt says so and ends the
// program from inside its event loop, where nothing of the program can end in order: the
// program ends here instead, with the status of a missing screen.
void MensajeDeQt(QtMsgType tipo, const QMessageLogContext& contexto, const QString& mensaje) {
    if (mensaje.contains(QLatin1String("connection broke"))) {
        Programa::Escribir(stderr, QStringLiteral("consulta: se perdió la pantalla (%1)\n").arg(mensaje));
        std::_Exit(Programa::EstadoUsoIncorrecto);
    }
    if (manejadorDeQt)
        manejadorDeQt(tipo, contexto, mensaje);
}

} // namespace

int main(int argc, char** argv) {
    QString error;
    const auto o = LeerOpciones(Programa::Argumentos(argc, argv), error);
    if (!o)
        return Programa::UsoIncorrecto(QStringLiteral("consulta"), error);
    if (o->ayuda) {
        Programa::Escribir(stdout, QString::fromUtf8(Ayuda));
        return 0;
    }
    if (o->version) {
        Programa::MostrarVersion(QStringLiteral("consulta"));
        return 0;
    }
    const bool pedida = Programa::PrepararPantalla();
    manejadorDeQt = qInstallMessageHandler(MensajeDeQt);
    QApplication app(argc, argv);
    // Qt's texts in Spanish come with the lookup's session.
    Programa::Nombrar(app, QStringLiteral("consulta"), false);
    // A screen that could not be opened leaves Qt drawing offscreen, where nobody would see
    // the window to close it.
    const bool hayPantalla = pedida && Programa::PantallaAbierta();
    SesionConsulta::Opciones opciones;
    opciones.clavesEstrictas = true;
    SesionConsulta sesion(o->resto.join(u' '), o->carpeta, opciones);
    if (!sesion.Falla().isEmpty())
        Programa::Escribir(stderr, QStringLiteral("consulta: %1\n").arg(sesion.Falla()));
    if (!sesion.Abierta())
        return EstadoFallida;
    const int estado = Consultar(*o, sesion.Consulta(), pedida, hayPantalla);
    if (estado == EstadoAceptada && o->portapapeles)
        AlPortapapeles(Elegido(*o, sesion.Consulta()));
    return estado;
}
