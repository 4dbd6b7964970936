#include "Conexion.h"

#include "ArchivoIni.h"
#include "Entorno.h"
#include "Falla.h"
#include "Field.h"
#include "MotorEmbebido.h"
#include "MotorOdbc.h"
#include "MotorPostgres.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <atomic>

namespace {

QString NuevoNombreQt() {
    static std::atomic<int> contador{0};
    return QStringLiteral("remitos-conexion-%1").arg(++contador);
}

// A value for an ODBC connection string: braced when it holds characters the string syntax
// uses, with "}" doubled inside.
QString ValorOdbc(const QString& valor) {
    static const QRegularExpression especiales(QStringLiteral(R"([;{}=\[\](),?*!@])"));
    if (!valor.contains(especiales) && valor == valor.trimmed())
        return valor;
    QString escapado = valor;
    escapado.replace(u'}', QStringLiteral("}}"));
    return u'{' + escapado + u'}';
}

QString LeerOdbcIni(const QString& clave, const QString& porDefecto) {
    return ArchivoIni::Instancia().LeerValor(ArchivoIni::ArchivoDeLaFamilia(), QStringLiteral("ODBC"),
                                             clave, porDefecto);
}

} // namespace

Conexion::Conexion() : nombreQt_(NuevoNombreQt()) {}

Conexion::~Conexion() {
    Desconectar();
}

QString Conexion::RutaEmbebida(const QString& baseDatos) {
    const QString nombre = baseDatos.trimmed();
    if (nombre.isEmpty())
        return Entorno::CarpetaDelPrograma() + ArchivoPorDefecto();
    if (QDir::isAbsolutePath(nombre))
        return QDir::cleanPath(nombre);
    return QDir::cleanPath(Entorno::CarpetaDelPrograma() + nombre);
}

void Conexion::Conectar(bool sinServidor, int modo) {
    Desconectar();
    ultimoError_.clear();
    sinServidor_ = sinServidor;
    modo_ = modo;
    if (sinServidor)
        ConectarEmbebida(modo);
    else
        ConectarOdbc(modo);
    if (Conectada())
        conexionAdo_.EstablecerCommandTimeout(conexionAdo_.CommandTimeout());
}

void Conexion::Usar(std::unique_ptr<Motor> motor) {
    motor_ = std::move(motor);
    conexionAdo_.Usar(motor_.get());
}

void Conexion::ConectarEmbebida(int modo) {
    const QString ruta = RutaEmbebida(BaseDatos);
    if (!QFileInfo(ruta).isFile()) {
        ultimoError_ = QStringLiteral("No se puede abrir la base de datos %1: el archivo no existe")
                           .arg(ruta);
        return;
    }
    auto motor = modo == ModoCopiaPrivada ? MotorEmbebido::AbrirCopia(nombreQt_, ruta, ultimoError_)
                                          : MotorEmbebido::Abrir(nombreQt_, ruta, modo, ultimoError_);
    if (motor) {
        Usar(std::move(motor));
        cadenaConexion_ = QStringLiteral("DRIVER=SQLite3;Database=%1;").arg(ValorOdbc(ruta));
    }
}

void Conexion::ConectarOdbc(int modo) {
    const QString servidor = Servidor.trimmed();
    const bool origen = MotorOdbc::ExisteOrigenDeDatos(servidor);
    const QString driver = LeerOdbcIni(QStringLiteral("Driver"), QStringLiteral("PostgreSQL Unicode"));
    const QString puerto = LeerOdbcIni(QStringLiteral("Puerto"), {}).trimmed();
    QString cadena;
    if (origen) {
        cadena = QStringLiteral("DSN=%1;").arg(ValorOdbc(servidor));
    } else {
        cadena = QStringLiteral("DRIVER={%1};SERVER=%2;").arg(driver, ValorOdbc(servidor));
        if (!puerto.isEmpty())
            cadena += QStringLiteral("PORT=%1;").arg(ValorOdbc(puerto));
    }
    if (!BaseDatos.isEmpty())
        cadena += QStringLiteral("DATABASE=%1;").arg(ValorOdbc(BaseDatos));
    if (!Usuario.isEmpty())
        cadena += QStringLiteral("UID=%1;").arg(ValorOdbc(Usuario));
    if (!Password.isEmpty())
        cadena += QStringLiteral("PWD=%1;").arg(ValorOdbc(Password));

    const int espera = LeerOdbcIni(QStringLiteral("EsperaConexion"), QStringLiteral("15")).trimmed().toInt();
    QString error;
    // A PostgreSQL database named through its ODBC driver is reached through the server's own
    // client library, with the same host, port, database, user and password, unless told to
    // keep to ODBC.
    ParametrosPostgres pg;
    if (!PostgresPorOdbc() && MotorOdbc::DePostgres(origen ? servidor : driver, origen, pg)) {
        if (!origen) {
            pg.host = servidor;
            pg.puerto = puerto;
        }
        if (!BaseDatos.isEmpty())
            pg.base = BaseDatos;
        if (!Usuario.isEmpty())
            pg.usuario = Usuario;
        if (!Password.isEmpty())
            pg.clave = Password;
        if (auto motor = MotorPostgres::Abrir(pg, espera, modo, error)) {
            Usar(std::move(motor));
            cadenaConexion_ = cadena;
            return;
        }
    } else if (auto motor = MotorOdbc::Abrir(nombreQt_, cadena, espera, modo, error)) {
        Usar(std::move(motor));
        cadenaConexion_ = cadena;
        return;
    }
    ultimoError_ = QStringLiteral("No se puede conectar con el servidor %1: %2").arg(servidor, error);
}

bool Conexion::PostgresPorOdbc() {
    const QString valor = qEnvironmentVariableIsSet("REMITOS_POSTGRESQL_POR_ODBC")
                              ? qEnvironmentVariable("REMITOS_POSTGRESQL_POR_ODBC")
                              : LeerOdbcIni(QStringLiteral("PostgreSQLPorODBC"), QStringLiteral("0"));
    const QString v = valor.trimmed().toLower();
    return v == QLatin1String("1") || v == QLatin1String("si") || v == QLatin1String("sí") ||
           v == QLatin1String("yes") || v == QLatin1String("true");
}

void Conexion::Reconectar() {
    Conectar(sinServidor_, modo_);
}

void Conexion::Desconectar() {
    Usar(nullptr);
    cadenaConexion_.clear();
}

QString Conexion::NombreDeLaBase() const {
    if (sinServidor_)
        return RutaEmbebida(BaseDatos);
    const QString base = BaseDatos.trimmed();
    return base.isEmpty() ? QStringLiteral("servidor %1").arg(Servidor.trimmed())
                          : QStringLiteral("servidor %1, base %2").arg(Servidor.trimmed(), base);
}

bool Conexion::Conectada() const {
    return motor_ && motor_->Abierto();
}

bool Conexion::ConexionPerdida() const {
    return !motor_ || motor_->ConexionPerdida();
}

Dialecto Conexion::DialectoSQL() const {
    return motor_ ? motor_->DialectoSQL() : Dialecto::Servidor;
}

Motor& Conexion::MotorAbierto() const {
    if (!motor_)
        throw Falla::Conexion(QStringLiteral("No hay conexión con la base de datos"));
    return *motor_;
}

void Conexion::Cargar(RefRecordset& rs, const QString& sql, bool actualizable,
                      const std::function<void(Motor&, QList<Columna>&, Celdas&)>& leer) {
    Motor& motor = MotorAbierto();
    if (!rs)
        rs = std::make_shared<Recordset>();
    else if (rs->Abierto())
        rs->Close();
    QList<Columna> definicion;
    Celdas celdas;
    leer(motor, definicion, celdas);
    rs->Cargar(std::move(definicion), std::move(celdas), this, sql, actualizable);
}

void Conexion::AbrirRecordset(const QString& sql, RefRecordset& rs, Connection* conexion,
                              int tipoCursor, int tipoBloqueo, int) {
    if (conexion && conexion != &conexionAdo_)
        throw Falla::ArgumentoNoValido(QStringLiteral("la conexión no es la de este programa"));
    Cargar(rs, sql, tipoCursor != 0 && tipoBloqueo != 1,
           [&](Motor& m, QList<Columna>& d, Celdas& c) { m.Leer(sql, d, c); });
}

void Conexion::AbrirRecordsetPreparado(const QString& sql, const QList<Variant>& valores,
                                       RefRecordset& rs) {
    Cargar(rs, sql, false, [&](Motor& m, QList<Columna>& d, Celdas& c) {
        m.LeerPreparada(sql, valores, d, c);
    });
}

void Conexion::Insertar(const FormaInsercion& forma, const QList<Variant>& valores) {
    MotorAbierto().Insertar(forma, valores);
}

void Conexion::EscribirGrupo(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado) {
    MotorAbierto().EscribirGrupo(grupo, resultado);
}

void Conexion::EscribirGrupos(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados) {
    MotorAbierto().EscribirGrupos(grupos, resultados);
}

int Conexion::GruposPorEnvio() const {
    return motor_ ? motor_->GruposPorEnvio() : 1;
}

void Conexion::EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                                   const QList<QList<Variant>>& valores,
                                   const std::function<void(QList<RefRecordset>&)>& mientras,
                                   QList<EscrituraDeGrupo>& resultados) {
    MotorAbierto().EscribirGruposYLeer(grupos, sql, valores, [&](QList<Lectura>& lecturas) {
        QList<RefRecordset> rs(lecturas.size());
        for (qsizetype i = 0; i < lecturas.size(); ++i)
            Cargar(rs[i], sql, false, [&](Motor&, QList<Columna>& d, Celdas& c) {
                d = std::move(lecturas[i].definicion);
                c = std::move(lecturas[i].celdas);
            });
        mientras(rs);
    }, resultados);
}

void Conexion::AbrirRecordsetsPreparados(const QString& sql, const QList<QList<Variant>>& valores,
                                         QList<RefRecordset>& rs) {
    QList<Lectura> lecturas;
    MotorAbierto().LeerPreparadaVarias(sql, valores, lecturas);
    rs.resize(lecturas.size());
    for (qsizetype i = 0; i < lecturas.size(); ++i)
        Cargar(rs[i], sql, false, [&](Motor&, QList<Columna>& d, Celdas& c) {
            d = std::move(lecturas[i].definicion);
            c = std::move(lecturas[i].celdas);
        });
}

void Conexion::CerrarRecordset(RefRecordset& rs) {
    if (!rs)
        throw Falla::ObjetoNoEstablecido();
    if (rs->Abierto())
        rs->Close();
}

void Conexion::Ejecutar(const QString& sql) {
    EjecutarContando(sql);
}

int Conexion::EjecutarContando(const QString& sql) {
    return MotorAbierto().Ejecutar(sql);
}


QString Conexion::ValorSQL(const Variant& valor, const QString& marca) const {
    return ::ValorSQL(valor, marca, DialectoSQL());
}

QString Conexion::ValorSQL(const Field& campo, const QString& marca) const {
    return ::ValorSQL(campo.Value(), marca, DialectoSQL());
}

void Conexion::AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca) const {
    ::AgregarValorSQL(destino, valor, marca, DialectoSQL());
}

void Conexion::BeginTrans() {
    MotorAbierto().Comenzar();
}

void Conexion::CommitTrans() {
    MotorAbierto().Confirmar();
}

void Conexion::RollbackTrans() {
    MotorAbierto().Deshacer();
}

bool Conexion::TransaccionAbierta() const {
    return motor_ && motor_->TransaccionAbierta();
}

bool Conexion::EsCopiaPrivada() const {
    return motor_ && motor_->EsCopiaPrivada();
}

QStringList Conexion::ClavePrimaria(const QString& tabla) const {
    return MotorAbierto().ClavePrimaria(tabla);
}

bool Conexion::TomarBloqueoDeCorrida(int espera) {
    return MotorAbierto().TomarBloqueoDeCorrida(espera);
}

void Conexion::SoltarBloqueoDeCorrida() {
    if (motor_)
        motor_->SoltarBloqueoDeCorrida();
}
