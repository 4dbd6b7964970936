#include "Ordenes.h"

#include "AvanceConsola.h"
#include "BaseEmbebida.h"
#include "Cadenas.h"
#include "Conexion.h"
#include "CorridaRegistro.h"
#include "Entorno.h"
#include "Falla.h"
#include "InteraccionConsola.h"
#include "ModGlobal.h"
#include "Programa.h"
#include "RemitosIncompletos.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace Ordenes {
namespace {

// What a command prints: on standard output, or with --silencioso nothing at all when all
// went well and everything on standard error when not.
void Entregar(const OpcionesRemitos& o, const QString& texto, bool bien) {
    if (!o.silencioso)
        Programa::Escribir(stdout, texto);
    else if (!bien)
        Programa::Escribir(stderr, texto);
}

// A preview wrote nothing, so it tells its rows in the conditional.
QString Resumen(const ResultadoCorrida& r, int erroresInformados, bool simulacion) {
    QString resumen = QStringLiteral("Base de datos: %1\nRemitos procesados: %2\n%3: %4\nRenglones rechazados: %5\n")
                          .arg(Conexion::Instancia().NombreDeLaBase())
                          .arg(r.notas)
                          .arg(simulacion ? QStringLiteral("Renglones que se registrarían")
                                          : QStringLiteral("Renglones registrados"))
                          .arg(r.renglonesEscritos)
                          .arg(r.RenglonesNoRegistrados());
    auto linea = [&](int n, const char* texto) {
        if (n)
            resumen += QString::fromUtf8(texto) + QStringLiteral(": %1\n").arg(n);
    };
    linea(r.notasSinRenglones, "Remitos cuyos renglones no se pudieron leer");
    linea(r.notasDeOtraCorrida, "Remitos registrados por otra corrida");
    linea(r.notasSinProcesar, "Remitos sin procesar");
    linea(r.notasInciertas, "Remitos que no se sabe si quedaron registrados");
    linea(r.lineasDeRegistroPerdidas, "Líneas que no se pudieron escribir en el registro");
    linea(erroresInformados, "Errores informados y omitidos");
    resumen += QStringLiteral("Tiempo: %1 s\n").arg(r.segundos, 0, 'f', 2);
    return resumen;
}

QString Describir(const QList<RemitosIncompletos::Remito>& remitos) {
    QString texto;
    for (const auto& r : remitos)
        texto += r.Describir().join(u'\n') + u'\n';
    return texto;
}

// The incomplete notes, on a session started as batch mode starts it.
int Incompletos(int argc, char** argv, const OpcionesRemitos& o,
                const std::function<int(QString& salida)>& trabajo) {
    QCoreApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    Programa::IniciarSesionSinVentana(o.resto);
    int estado = 2;
    try {
        QString salida;
        estado = trabajo(salida);
        Entregar(o, salida, estado == 0);
    } catch (const Falla& falla) {
        Programa::Escribir(stderr, QStringLiteral("*** No se pudieron revisar los remitos incompletos: %1\n")
                                       .arg(falla.Descripcion()));
    }
    Programa::Terminar();
    return estado;
}

} // namespace

int Ejecutar(int argc, char** argv, const OpcionesRemitos& o) {
    QCoreApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    // A simulation works on a private copy of an embedded database, opened from a file it
    // reads only: it cannot write to the database whatever happens.
    if (o.simular)
        ModGlobal::EstablecerModoConexion(Conexion::ModoCopiaPrivada);
    InteraccionConsola& preguntas = Programa::IniciarSesionSinVentana(o.resto);
    AvanceConsola avance(stderr, o.silencioso);
    CorridaRegistro corrida;
    corrida.EstablecerEspera(o.esperar);
    corrida.EstablecerSimulacion(o.simular);
    const ResultadoCorrida r = corrida.Ejecutar(avance);
    const QString mensaje = CorridaRegistro::MensajeFinal(r, corrida.Log.ArchivoLog);
    int estado = r.SinFallas() && preguntas.ErroresInformados() == 0 ? 0 : 2;
    if (r.otraCorridaEnCurso) {
        Programa::Escribir(stderr, QStringLiteral("remitos: %1\n").arg(mensaje));
        estado = EstadoOtraCorrida;
    } else {
        QString texto = mensaje + u'\n' + Resumen(r, preguntas.ErroresInformados(), o.simular);
        if (o.simular)
            texto += QStringLiteral("Simulación: no se escribió nada en la base de datos ni en el registro.\n");
        Entregar(o, texto, estado == 0);
    }
    Programa::Terminar();
    return estado;
}

int Revisar(int argc, char** argv, const OpcionesRemitos& o) {
    // Reviewing only reads: the database is opened for reading, so that one on read-only
    // media can be reviewed as well.
    ModGlobal::EstablecerModoConexion(1);
    return Incompletos(argc, argv, o, [](QString& salida) {
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
    });
}

int Completar(int argc, char** argv, const OpcionesRemitos& o) {
    return Incompletos(argc, argv, o, [&](QString& salida) {
        // Completing writes stock rows: never while a run does.
        Conexion& conexion = Conexion::Instancia();
        if (!conexion.TomarBloqueoDeCorrida(o.esperar)) {
            Programa::Escribir(stderr, QStringLiteral("remitos: otra corrida está registrando remitos "
                                                      "en esta base de datos: no se hizo nada.\n"));
            return EstadoOtraCorrida;
        }
        QList<RemitosIncompletos::Remito> remitos;
        const auto r = RemitosIncompletos().Completar(&remitos);
        conexion.SoltarBloqueoDeCorrida();
        for (const QString& falla : r.fallas)
            Programa::Escribir(stderr, falla + u'\n');
        if (r.registroFallido)
            Programa::Escribir(stderr, QStringLiteral("*** No se pudo abrir el registro %1\n")
                                           .arg(Entorno::CarpetaDelPrograma() + RegistroDeCorrida::NombreArchivo()));
        salida = Describir(remitos) + QStringLiteral("Remitos completados: %1\nRenglones registrados: %2\n")
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
    });
}

namespace {

int CrearEnArchivo(const OpcionesRemitos& o) {
    const bool compartida = Entorno::CompartirConElGrupo(QFileInfo(o.crearBase).absolutePath());
    const auto resumen = BaseEmbebida::Crear(o.crearBase, o.demo.value_or(0));
    // SQLite creates its files for the owner alone whatever the umask; its journal files later
    // take the database file's permissions.
    if (compartida)
        QFile::setPermissions(o.crearBase, QFile::permissions(o.crearBase) | QFile::ReadGroup |
                                               QFile::WriteGroup);
    Programa::Escribir(stdout, QStringLiteral("Base creada: %1 (%2 remitos, %3 renglones, %4 pendientes de registrar)\n")
                                   .arg(o.crearBase)
                                   .arg(resumen.notas)
                                   .arg(resumen.renglones)
                                   .arg(resumen.pendientes));
    return 0;
}

// The family's keys given instead of a file: a server's database.
int CrearEnServidor(const OpcionesRemitos& o) {
    QString error;
    const auto claves = ModGlobal::LeerClavesEstrictas(o.crearBase, error);
    if (!claves)
        throw Falla::ArgumentoNoValido(error);
    Conexion conexion;
    conexion.Servidor = claves->value(QStringLiteral("@Server"));
    conexion.BaseDatos = claves->value(QStringLiteral("@DbName"));
    conexion.Usuario = claves->value(QStringLiteral("@Usuario"));
    conexion.Password = claves->value(QStringLiteral("@Password"));
    if (Cadenas::Recortar(conexion.Servidor).isEmpty())
        throw Falla::ArgumentoNoValido(QStringLiteral("--crear-base con claves necesita @Server"));
    conexion.Conectar(false, 3);
    if (!conexion.Conectada())
        throw Falla::Conexion(conexion.UltimoError());
    const QStringList creadas = BaseEmbebida::CrearTablasQueFaltan(conexion);
    QString texto = creadas.isEmpty()
                        ? QStringLiteral("La base %1 ya tiene las tablas.\n").arg(conexion.BaseDatos)
                        : QStringLiteral("Tablas creadas en %1: %2\n").arg(conexion.BaseDatos, creadas.join(QStringLiteral(", ")));
    if (o.demo.value_or(0) > 0) {
        const auto resumen = BaseEmbebida::CargarDemostracionEnBaseVacia(conexion, *o.demo);
        texto += QStringLiteral("%1 remitos de demostración, %2 renglones, %3 pendientes de registrar\n")
                     .arg(resumen.notas)
                     .arg(resumen.renglones)
                     .arg(resumen.pendientes);
    }
    Programa::Escribir(stdout, texto);
    return 0;
}

} // namespace

int CrearBase(int argc, char** argv, const OpcionesRemitos& o) {
    QCoreApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    int estado = 1;
    try {
        estado = o.crearBase.trimmed().startsWith(u'@') ? CrearEnServidor(o) : CrearEnArchivo(o);
    } catch (const Falla& falla) {
        Programa::Escribir(stderr, QStringLiteral("remitos: %1\n").arg(falla.Descripcion()));
    }
    Programa::Terminar();
    return estado;
}

} // namespace Ordenes
