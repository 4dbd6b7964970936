#include "Ayudas.h"

#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Cp1252.h"
#include "Entorno.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "Recordset.h"
#include "Variant.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
void PrintTo(const QString& texto, std::ostream* salida) {
    *salida << '"' << texto.toStdString() << '"';
}
QT_END_NAMESPACE

void PrintTo(const Variant& valor, std::ostream* salida) {
    static const char* const tipos[] = {"Vacio",   "Nulo",     "Texto", "Entero", "Doble",
                                        "Decimal", "Booleano", "Fecha", "Objeto"};
    *salida << tipos[int(valor.tipo())];
    if (!valor.EsVacio() && !valor.EsNulo() && valor.tipo() != Variant::Tipo::Objeto)
        *salida << "(" << valor.Texto().toStdString() << ")";
}

namespace Pruebas {

long NumeroDeFalla(const std::function<void()>& accion) {
    try {
        accion();
    } catch (const Falla& f) {
        return f.Numero();
    }
    return 0;
}

InteraccionGuion& NuevoGuion() {
    auto guion = std::make_unique<InteraccionGuion>();
    InteraccionGuion& referencia = *guion;
    Interaccion::Establecer(std::move(guion));
    return referencia;
}

Montaje::Montaje(const QString& carpeta, const char* opciones) : carpeta_(carpeta) {
    QDir().mkpath(carpeta);
    if (::mount("tmpfs", QFile::encodeName(carpeta).constData(), "tmpfs", 0, opciones) == 0)
        montado_ = true;
    else
        error_ = QString::fromLocal8Bit(std::strerror(errno));
}

Montaje::~Montaje() {
    if (montado_)
        ::umount2(QFile::encodeName(carpeta_).constData(), MNT_DETACH);
}

qint64 Montaje::Libre() const {
    struct statvfs v {};
    ::statvfs(QFile::encodeName(carpeta_).constData(), &v);
    return qint64(v.f_bavail) * qint64(v.f_bsize);
}

bool Montaje::Remontar(const char* opciones, bool soloLectura) {
    const unsigned long banderas = MS_REMOUNT | (soloLectura ? MS_RDONLY : 0);
    if (::mount("tmpfs", QFile::encodeName(carpeta_).constData(), "tmpfs", banderas, opciones) == 0)
        return true;
    error_ = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

CarpetaPrueba::CarpetaPrueba() {
    ModGlobal::LiberarObjetos();
    ModGlobal::RestablecerSesion();
    ModGlobal::EstablecerLineaDeComandos({});
    Entorno::EstablecerCarpetaDelPrograma(dir_.path());
}

CarpetaPrueba::~CarpetaPrueba() {
    ModGlobal::LiberarObjetos();
    ModGlobal::RestablecerSesion();
    Entorno::EstablecerCarpetaDelPrograma({});
}

QString CarpetaPrueba::Ruta() const {
    return dir_.path() + u'/';
}

void CarpetaPrueba::Escribir(const QString& nombre, const QString& contenido) const {
    QFile f(Archivo(nombre));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(Cp1252::Codificar(contenido));
}

QString CrearBaseSqlite(const CarpetaPrueba& carpeta, const QString& nombre, int notas) {
    const QString ruta = carpeta.Archivo(nombre);
    BaseEmbebida::Crear(ruta, notas);
    return ruta;
}

void ConectarSqlite(Conexion& conexion, const QString& ruta) {
    conexion.BaseDatos = ruta;
    conexion.Conectar(true, 3);
    ASSERT_TRUE(conexion.Conectada()) << conexion.UltimoError().toStdString();
}

QStringList NotasDespuesDelCorte(Conexion& conexion,
                                 const QList<std::pair<const char*, const char*>>& notas) {
    for (const auto& [id, fecha] : notas)
        conexion.Ejecutar(QStringLiteral("INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,"
                                         "FECHA,ANULADA) VALUES ('RM','%1',0,'%2',0)")
                              .arg(QLatin1String(id), QLatin1String(fecha)));
    RefRecordset rs;
    conexion.AbrirRecordset(QStringLiteral("SELECT IDCOMPROBANTE FROM V_MV_Cpte WHERE "
                                           "(V_MV_Cpte.FECHA > '01/03/2003') ORDER BY FECHA"),
                            rs);
    QStringList elegidas;
    for (; !rs->Eof(); rs->MoveNext())
        elegidas << rs->Fields(QStringLiteral("IDCOMPROBANTE")).Value().Texto();
    return elegidas;
}

bool BasePostgres::Disponible() {
    return !Dsn().isEmpty();
}

bool BasePostgres::Exigido() {
    return !qEnvironmentVariableIsEmpty("REMITOS_PG_EXIGIDO");
}

QString BasePostgres::Dsn() {
    return qEnvironmentVariable("REMITOS_PG_DSN");
}

namespace {
void Administrar(const QString& sentencia) {
    Conexion admin;
    admin.Servidor = BasePostgres::Dsn();
    admin.BaseDatos = QStringLiteral("postgres");
    admin.Usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    admin.Conectar(false, 3);
    if (!admin.Conectada())
        throw Falla::Conexion(admin.UltimoError());
    admin.Ejecutar(sentencia);
}
} // namespace

BasePostgres::BasePostgres(const QString& prefijo) {
    static int contador = 0;
    nombre_ = QStringLiteral("%1_%2_%3")
                  .arg(prefijo.toLower())
                  .arg(getpid())
                  .arg(++contador);
    Administrar(QStringLiteral("CREATE DATABASE %1").arg(nombre_));
}

BasePostgres::~BasePostgres() {
    try {
        Administrar(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(nombre_));
    } catch (const Falla&) {
        // A database left behind goes with the throwaway server.
    }
}

void BasePostgres::Conectar(Conexion& conexion) const {
    conexion.Servidor = Dsn();
    conexion.BaseDatos = nombre_;
    conexion.Usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    conexion.Conectar(false, 3);
    ASSERT_TRUE(conexion.Conectada()) << conexion.UltimoError().toStdString();
}

} // namespace Pruebas
