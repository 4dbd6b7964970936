#include "ModGlobal.h"

#include "ArchivoIni.h"
#include "Cadenas.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Estacion.h"
#include "Falla.h"
#include "Interaccion.h"
#include "InteraccionConsola.h"
#include "Lib_ClsCons2.h"
#include "Rutina.h"
#include "Utilidades.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QWidget>
#include <algorithm>
#include <limits>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace ModGlobal {

Sesion::Sesion() = default;
Sesion::~Sesion() = default;
Sesion::Sesion(Sesion&&) noexcept = default;
Sesion& Sesion::operator=(Sesion&&) noexcept = default;

Sesion sesion;

namespace {
QString& Linea() {
    static QString linea;
    return linea;
}

LecturaDeClaves lecturaDeClaves = LecturaDeClaves::Familia;
int estadoSinConexion = 1;
int modoConexion = 3;

// Whether the key found at posicion is really the beginning of a longer key of the table.
bool EsParteDeOtraClave(const QString& linea, qsizetype posicion, const QString& clave) {
    for (const QString& otra : ClavesDeLineaDeComandos())
        if (otra.size() > clave.size() && otra.startsWith(clave, Qt::CaseInsensitive) &&
            QStringView(linea).mid(posicion).startsWith(otra, Qt::CaseInsensitive))
            return true;
    return false;
}

// A value as the family takes it: every "=" removed, outer spaces trimmed.
QString ValorLimpio(const QString& valor) {
    return Cadenas::Recortar(Utilidades::Instancia().QuitarCaracteres(valor, QStringLiteral("=")));
}

// Edit distance (insertions, deletions, replacements), without regard to case.
qsizetype Distancia(QStringView a, QStringView b) {
    QList<qsizetype> fila(b.size() + 1);
    std::iota(fila.begin(), fila.end(), 0);
    for (qsizetype i = 0; i < a.size(); ++i) {
        qsizetype diagonal = fila[0];
        fila[0] = i + 1;
        for (qsizetype j = 0; j < b.size(); ++j) {
            const qsizetype arriba = fila[j + 1];
            const bool igual = a[i].toCaseFolded() == b[j].toCaseFolded();
            fila[j + 1] = std::min({arriba + 1, fila[j] + 1, diagonal + (igual ? 0 : 1)});
            diagonal = arriba;
        }
    }
    return fila.back();
}

// The key of the table a word spells, without regard to case; empty when none.
QString ClaveConocida(QStringView palabra) {
    for (const QString& clave : ClavesDeLineaDeComandos())
        if (Cadenas::IgualesSinMayusculas(palabra, clave))
            return clave;
    return {};
}

// Why a word that begins with "@" is no key: the nearest key when it is near enough to be
// what was meant, else the whole list.
QString ClaveDesconocida(const QString& palabra) {
    const QStringList& claves = ClavesDeLineaDeComandos();
    QString cercana;
    qsizetype menor = std::numeric_limits<qsizetype>::max();
    for (const QString& clave : claves)
        if (const qsizetype d = Distancia(palabra, clave); d < menor) {
            menor = d;
            cercana = clave;
        }
    if (menor <= std::max<qsizetype>(2, cercana.size() / 2))
        return QStringLiteral("clave desconocida «%1»: ¿quiso decir %2?").arg(palabra, cercana);
    return QStringLiteral("clave desconocida «%1» (las claves son %2)")
        .arg(palabra, claves.join(QStringLiteral(", ")));
}

// The end of the word that starts at i: "@" and the letters, digits and "_" after it. i
// itself when no "@" is there.
qsizetype FinDePalabra(QStringView linea, qsizetype i) {
    if (i >= linea.size() || linea[i] != u'@')
        return i;
    ++i;
    while (i < linea.size() && (linea[i].isLetterOrNumber() || linea[i] == u'_'))
        ++i;
    return i;
}

// A key of the table followed by "=" inside a value: the value's ";" was forgotten and the
// next key taken for part of it. Empty when there is none.
QString ClaveDentroDeValor(QStringView valor) {
    for (qsizetype i = valor.indexOf(u'@'); i >= 0; i = valor.indexOf(u'@', i + 1)) {
        const qsizetype fin = FinDePalabra(valor, i);
        const QString clave = ClaveConocida(valor.sliced(i, fin - i));
        if (!clave.isEmpty() && Cadenas::SinEspacios(valor.sliced(fin)).startsWith(u'='))
            return clave;
    }
    return {};
}

void TerminarSinConexion() {
    Conexion& conexion = Conexion::Instancia();
    QString mensaje = conexion.UltimoError();
    if (mensaje.isEmpty())
        mensaje = QStringLiteral("No se pudo abrir la conexión con la base de datos.");
    InteraccionConsola::EscribirError(mensaje + u'\n');
    Interaccion& interaccion = Interaccion::Actual();
    if (interaccion.MuestraVentanas())
        interaccion.Mensaje(mensaje, TituloPrograma(), IconoMensaje::Critico);
    interaccion.TerminarPrograma(estadoSinConexion);
}

// A number kept as the run-time keeps the result of reading one: whole when it is.
Variant Numero(double valor) {
    if (std::floor(valor) == valor && std::fabs(valor) < 9.0e15)
        return Variant(qint64(valor));
    return Variant(valor);
}

QIcon IconoDeRecursos(const QString& nombre) {
    QString recurso = nombre.trimmed();
    if (recurso.startsWith(u'#'))
        recurso.remove(0, 1);
    if (recurso.isEmpty())
        return {};
    const QString ruta = QStringLiteral(":/iconos/") + recurso;
    if (!QFile::exists(ruta))
        return {};
    return QIcon(ruta);
}

QIcon IconoDeArchivo(const QString& ruta) {
    QImageReader lector(ruta);
    if (!lector.canRead())
        return {};
    return QIcon(ruta);
}
} // namespace

const QStringList& ClavesDeLineaDeComandos() {
    static const QStringList claves = {
        QStringLiteral("@ParametroAdicional"), QStringLiteral("@Menu"),
        QStringLiteral("@Server"),             QStringLiteral("@DbName"),
        QStringLiteral("@Usuario"),            QStringLiteral("@Password"),
        QStringLiteral("@UsuarioLogeado"),     QStringLiteral("@Caja")};
    return claves;
}

void EstablecerLineaDeComandos(const QString& linea, LecturaDeClaves lectura) {
    Linea() = linea;
    lecturaDeClaves = lectura;
}

QString LineaDeComandos() {
    return Linea();
}

QString ValorDeClave(const QString& linea, const QString& clave) {
    qsizetype p = linea.indexOf(clave, 0, Qt::CaseInsensitive);
    while (p >= 0 && EsParteDeOtraClave(linea, p, clave))
        p = linea.indexOf(clave, p + 1, Qt::CaseInsensitive);
    if (p < 0)
        return {};
    const qsizetype q = linea.indexOf(u';', p);
    if (q < 0)
        throw Falla::ArgumentoNoValido(
            QStringLiteral("falta el \";\" que cierra el valor de %1").arg(clave));
    return ValorLimpio(linea.mid(p + clave.size(), q - p - clave.size()));
}

std::optional<QHash<QString, QString>> LeerClavesEstrictas(const QString& linea, QString& error) {
    QHash<QString, QString> valores;
    qsizetype i = 0;
    for (;;) {
        while (i < linea.size() && linea[i].isSpace())
            ++i;
        if (i == linea.size())
            return valores;
        const qsizetype fin = FinDePalabra(linea, i);
        if (fin == i) {
            // The stray text up to the next blank, ";" or key: enough to find it in the line.
            qsizetype hasta = i + 1;
            while (hasta < linea.size() && !linea[hasta].isSpace() && linea[hasta] != u';' &&
                   linea[hasta] != u'@')
                ++hasta;
            error = QStringLiteral("texto fuera de las claves: «%1»").arg(linea.mid(i, hasta - i));
            return std::nullopt;
        }
        const QString palabra = linea.mid(i, fin - i);
        const QString clave = ClaveConocida(palabra);
        if (clave.isEmpty()) {
            error = ClaveDesconocida(palabra);
            return std::nullopt;
        }
        if (valores.contains(clave)) {
            error = QStringLiteral("la clave %1 está más de una vez").arg(clave);
            return std::nullopt;
        }
        const qsizetype q = linea.indexOf(u';', fin);
        const QString valor = linea.mid(fin, q < 0 ? -1 : q - fin);
        if (const QString siguiente = ClaveDentroDeValor(valor); q < 0 || !siguiente.isEmpty()) {
            error = QStringLiteral("falta el «;» que cierra el valor de %1").arg(clave);
            if (!siguiente.isEmpty())
                error += QStringLiteral(" (antes de %1)").arg(siguiente);
            return std::nullopt;
        }
        valores.insert(clave, ValorLimpio(valor));
        i = q + 1;
    }
}

void IniciarSesion() {
    Rutina rutina(EstiloFallas::OmitirSolo5);
    Utilidades& util = Utilidades::Instancia();
    QString carpeta;
    QString argumentos;
    QString servidor, baseDatos, usuario, password;

    rutina.Paso([&] { carpeta = util.AgregarBarra(Entorno::CarpetaDelPrograma()); });
    rutina.Paso([&] { sesion.gColorLetra = 0; });
    rutina.Paso([&] { sesion.gColorFondo = 0xFFFFFF; });
    rutina.Paso([&] { argumentos = LineaDeComandos(); });
    rutina.Paso([&] {
        Estacion& estacion = Estacion::Instancia();
        sesion.gSeccionEstacion =
            estacion.NombreEquipo().toUpper() + u'|' + estacion.NombreUsuario().toUpper();
    });
    rutina.Paso([&] {
        sesion.gFlatToolbars = Numero(Cadenas::Val(ArchivoIni::Instancia().LeerValor(
            ArchivoIni::ArchivoDeLaFamilia(), sesion.gSeccionEstacion, QStringLiteral("FlatToolbars"),
            QStringLiteral("1"))));
    });

    if (rutina.Si([] { return !Conexion::Instancia().Conectada(); })) {
        const QStringList& claves = ClavesDeLineaDeComandos();
        QString* destinos[] = {&sesion.gParametroAdicional, &sesion.gMenu,    &servidor,        &baseDatos,
                               &usuario,             &password, &sesion.gUsuarioLogeado, &sesion.gCaja};
        std::optional<QHash<QString, QString>> estrictas;
        if (lecturaDeClaves == LecturaDeClaves::Estricta)
            rutina.Paso([&] {
                QString error;
                estrictas = LeerClavesEstrictas(argumentos, error);
                // The program refuses such a line before the session starts; should one come
                // here all the same, no database is opened on it.
                if (!estrictas)
                    rutina.Salir();
            });
        for (int i = 0; i < claves.size(); ++i)
            rutina.Paso([&] {
                *destinos[i] = estrictas ? estrictas->value(claves[i]) : ValorDeClave(argumentos, claves[i]);
            });

        Conexion& conexion = Conexion::Instancia();
        rutina.Paso([&] { conexion.Usuario = usuario; });
        rutina.Paso([&] { conexion.BaseDatos = baseDatos; });
        rutina.Paso([&] { conexion.Password = password; });
        rutina.Paso([&] { conexion.Servidor = servidor; });
        rutina.Paso([&] { conexion.Conectar(Cadenas::Recortar(servidor).isEmpty(), modoConexion); });
        if (rutina.Si([&] { return !conexion.Conectada(); }))
            rutina.Paso([] { TerminarSinConexion(); });
        rutina.Paso([&] { conexion.ConexionAdo().EstablecerCommandTimeout(360); });
    }

    rutina.Paso([&] {
        Conexion& conexion = Conexion::Instancia();
        sesion.gCadenaDSN = QStringLiteral("DSN=") + conexion.BaseDatos + QStringLiteral("; UID=") +
                     conexion.Usuario + QStringLiteral("; PWD=") + conexion.Password;
    });
    rutina.Paso([&] {
        Entorno::Instancia().RutaAplicacion = carpeta;
        Entorno::CompartirConElGrupo(carpeta);
    });
    PrepararConsultas(rutina, carpeta);
    rutina.Paso([&] { CargarConfiguracion(carpeta); });
}

Lib_ClsCons2& gConsulta() {
    if (!sesion.consulta)
        sesion.consulta = std::make_unique<Lib_ClsCons2>();
    return *sesion.consulta;
}

void PrepararConsultas(Rutina& rutina, const QString& carpeta) {
    rutina.Paso([] { gConsulta().gConnString = Conexion::Instancia().CadenaConexion(); });
    rutina.Paso([] { gConsulta().gUsarMascarasConsultas = true; });
    rutina.Paso([&] { gConsulta().gRutaMascaraConsultas = carpeta + QStringLiteral("consultas.zvr"); });
    // Only a regular file is a masks file; anything else of that name counts as missing.
    if (rutina.Si([] { return !QFileInfo(gConsulta().gRutaMascaraConsultas).isFile(); }))
        rutina.Paso([] { gConsulta().GrabarMascarasPorDefecto(); });
}

void EstablecerEstadoSinConexion(int estado) {
    estadoSinConexion = estado;
}

void EstablecerModoConexion(int modo) {
    modoConexion = modo;
}

void ConfigurarFormulario(QWidget* formulario) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    QString nombreIcono;
    rutina.Paso([&] {
        nombreIcono = ArchivoIni::Instancia().LeerValor(
            ArchivoIni::ArchivoDeLaFamilia(), QStringLiteral("Iconos"), QStringLiteral("IconoDelSistema"),
            QStringLiteral("VODADOZOVAVAZ"));
    });
    rutina.Paso([&] {
        if (!formulario)
            throw Falla::ObjetoNoEstablecido();
        const QIcon icono = IconoDeRecursos(nombreIcono);
        if (!icono.isNull())
            formulario->setWindowIcon(icono);
    });
    rutina.Paso([&] {
        if (!formulario)
            throw Falla::ObjetoNoEstablecido();
        // A form has an icon of its own only when one was set on it; the application's icon
        // does not count.
        if (!formulario->testAttribute(Qt::WA_SetWindowIcon)) {
            const QIcon icono = IconoDeArchivo(QDir::current().filePath(QStringLiteral("zelvora.ico")));
            if (!icono.isNull())
                formulario->setWindowIcon(icono);
        }
    });
    // The family's MDI frame keeps its own placement and has no toolbars of this kind.
    const bool otroFormulario = rutina.Si([&] {
        if (!formulario)
            throw Falla::ObjetoNoEstablecido();
        return !Cadenas::IgualesSinMayusculas(
            QString::fromLatin1(formulario->metaObject()->className()), u"FRMMDI");
    });
    if (!otroFormulario)
        return;
    rutina.Paso([&] { Estacion::Instancia().AjustarFormulario(formulario); });
    for (const char* nombre : {"UtilZel1", "TBarRep1", "Util0011"}) {
        rutina.Paso([&] {
            QObject* barra =
                formulario ? formulario->findChild<QObject*>(QString::fromLatin1(nombre)) : nullptr;
            if (!barra)
                throw Falla::CampoInexistente(QString::fromLatin1(nombre));
            // The style before the session has read it is empty, which a toolbar takes as 0.
            const QVariant estilo = sesion.gFlatToolbars.EsVacio() ? QVariant(0)
                                    : sesion.gFlatToolbars.tipo() == Variant::Tipo::Entero
                                        ? QVariant(sesion.gFlatToolbars.Entero())
                                        : QVariant(sesion.gFlatToolbars.Doble());
            barra->setProperty("StyleBar", estilo);
        });
    }
    rutina.Paso([] { Interaccion::Actual().ProcesarEventos(); });
}

void LiberarObjetos() {
    ArchivoIni::LiberarInstancia();
    Utilidades::LiberarInstancia();
    Conexion::LiberarInstancia();
    Estacion::LiberarInstancia();
    Entorno::LiberarInstancia();
}

QString TituloPrograma() {
    return Entorno::Titulo();
}


} // namespace ModGlobal
