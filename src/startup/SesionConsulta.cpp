// The lookup's session for the family's programs: what a program's session start does for the
// lookup (connection, masks file, Spanish texts, the questions in Qt's dialogs), without ever
// ending the caller's program, and undone when the session ends.
#include "consulta.h"

#include "Cadenas.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "InteraccionQt.h"
#include "ModGlobal.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// The support instances are one per process: so is the session.
bool hayUnaSesion = false;

constexpr qsizetype ClaveServidor = 2;
constexpr qsizetype ClaveBase = 3;
constexpr qsizetype ClaveUsuario = 4;
constexpr qsizetype ClavePassword = 5;

// The value of each key of the table, in its order: strictly read, or by the family's rule,
// where a key with no ";" after it is left empty as the session start leaves it.
std::optional<QStringList> ValoresDeClaves(const QString& claves, bool estrictas, QString& error) {
    const QStringList& nombres = ModGlobal::ClavesDeLineaDeComandos();
    QStringList valores;
    if (estrictas) {
        const auto leidas = ModGlobal::LeerClavesEstrictas(claves, error);
        if (!leidas)
            return std::nullopt;
        for (const QString& nombre : nombres)
            valores << leidas->value(nombre);
        return valores;
    }
    for (const QString& nombre : nombres) {
        try {
            valores << ModGlobal::ValorDeClave(claves, nombre);
        } catch (const Falla&) {
            valores << QString();
        }
    }
    return valores;
}

} // namespace

struct SesionConsulta::Detalle {
    bool propia = false;
    bool abierta = false;
    QString falla;
    QString base;
    std::unique_ptr<Interaccion> anterior;
    QTranslator* traductor = nullptr;
    std::unique_ptr<Lib_ClsCons2> consulta;
    QString conexion;
    QString mascaras;
};

SesionConsulta::SesionConsulta(const QString& claves, const QString& carpeta)
    : SesionConsulta(claves, carpeta, Opciones{}) {}

SesionConsulta::SesionConsulta(const QString& claves, const QString& carpeta,
                               const Opciones& opciones)
    : d_(std::make_unique<Detalle>()) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        d_->falla = QStringLiteral("la consulta necesita una QApplication, creada antes de la sesión");
        return;
    }
    if (hayUnaSesion) {
        d_->falla = QStringLiteral("ya hay una sesión de consulta abierta en este programa");
        return;
    }
    QString error;
    const auto valores = ValoresDeClaves(claves, opciones.clavesEstrictas, error);
    if (!valores) {
        d_->falla = error;
        return;
    }
    hayUnaSesion = true;
    d_->propia = true;

    // Qt's own buttons and texts in Spanish, as in the family's other windows.
    d_->traductor = new QTranslator(QCoreApplication::instance());
    if (d_->traductor->load(QStringLiteral("qtbase_es"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(d_->traductor);
    // The lookup's questions (F5's menu, the quantity asked for) and messages in dialogs.
    d_->anterior = Interaccion::Establecer(std::make_unique<InteraccionQt>());
    if (!carpeta.isEmpty())
        Entorno::EstablecerCarpetaDelPrograma(carpeta);

    Conexion& conexion = Conexion::Instancia();
    const QString servidor = valores->at(ClaveServidor);
    conexion.Servidor = servidor;
    conexion.BaseDatos = valores->at(ClaveBase);
    conexion.Usuario = valores->at(ClaveUsuario);
    conexion.Password = valores->at(ClavePassword);
    conexion.Conectar(Cadenas::Recortar(servidor).isEmpty(), opciones.soloLectura ? 1 : 3);
    if (!conexion.Conectada()) {
        d_->falla = conexion.UltimoError();
        if (d_->falla.isEmpty())
            d_->falla = QStringLiteral("No se pudo abrir la conexión con la base de datos.");
        return;
    }
    d_->abierta = true;
    d_->base = conexion.NombreDeLaBase();
    d_->conexion = conexion.CadenaConexion();

    const QString aplicacion = Entorno::CarpetaDelPrograma();
    Entorno::Instancia().RutaAplicacion = aplicacion;
    d_->mascaras = aplicacion + QStringLiteral("consultas.zvr");
    Lib_ClsCons2& consulta = Consulta();
    // Only a regular file is a masks file; anything else of that name counts as missing.
    if (!QFileInfo(d_->mascaras).isFile()) {
        try {
            consulta.GrabarMascarasPorDefecto();
        } catch (const std::exception& e) {
            d_->falla = QStringLiteral("no se pudo escribir el archivo de máscaras %1: %2")
                            .arg(d_->mascaras, QString::fromUtf8(e.what()));
        }
    }
}

SesionConsulta::~SesionConsulta() {
    if (!d_->propia)
        return;
    d_->consulta.reset();
    // The connection goes while Qt is still there to release its drivers.
    ModGlobal::LiberarObjetos();
    Interaccion::Establecer(std::move(d_->anterior));
    if (d_->traductor) {
        QCoreApplication::removeTranslator(d_->traductor);
        delete d_->traductor;
    }
    hayUnaSesion = false;
}

bool SesionConsulta::Abierta() const {
    return d_->abierta;
}

QString SesionConsulta::Falla() const {
    return d_->falla;
}

QString SesionConsulta::Base() const {
    return d_->base;
}

Lib_ClsCons2& SesionConsulta::Consulta() {
    if (!d_->consulta) {
        d_->consulta = std::make_unique<Lib_ClsCons2>();
        Preparar(*d_->consulta);
    }
    return *d_->consulta;
}

void SesionConsulta::Preparar(Lib_ClsCons2& consulta) const {
    consulta.gConnString = d_->conexion;
    consulta.gUsarMascarasConsultas = d_->abierta;
    consulta.gRutaMascaraConsultas = d_->mascaras;
}

QString SesionConsulta::ErrorDeClaves(const QString& claves) {
    QString error;
    return ModGlobal::LeerClavesEstrictas(claves, error) ? QString() : error;
}
