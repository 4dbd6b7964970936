#include "MotorOdbc.h"

#include "Falla.h"
#include "SentenciaOdbc.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QThread>
#include <QSqlDriver>
#include <QSqlError>
#include <sql.h>
#include <sqlext.h>

namespace {

// What the registration's date literal must mean on every server.
constexpr auto LiteralDeCorte = "01/03/2003";
const QDate FechaDeCorte(2003, 3, 1);

} // namespace

bool MotorOdbc::ExisteOrigenDeDatos(const QString& nombre) {
    SQLHENV entorno = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &entorno)))
        return false;
    SQLSetEnvAttr(entorno, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool encontrado = false;
    SQLCHAR dsn[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR descripcion[512];
    SQLSMALLINT largoDsn = 0, largoDescripcion = 0;
    SQLUSMALLINT direccion = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(entorno, direccion, dsn, sizeof dsn, &largoDsn,
                                        descripcion, sizeof descripcion, &largoDescripcion))) {
        direccion = SQL_FETCH_NEXT;
        if (QString::fromLocal8Bit(reinterpret_cast<const char*>(dsn))
                .compare(nombre, Qt::CaseInsensitive) == 0) {
            encontrado = true;
            break;
        }
    }
    SQLFreeHandle(SQL_HANDLE_ENV, entorno);
    return encontrado;
}

std::unique_ptr<MotorOdbc> MotorOdbc::Abrir(const QString& nombreQt, const QString& cadena,
                                            int espera, int modo, QString& error) {
    bool abierta = false;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), nombreQt);
        // Qt's ODBC driver puts "DSN=" before a string that names no driver and no server.
        const bool usaDsn = cadena.startsWith(QLatin1String("DSN="));
        const bool tomadaTalCual = cadena.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
                                   cadena.contains(QLatin1String("SERVER="), Qt::CaseInsensitive);
        base.setDatabaseName(usaDsn && !tomadaTalCual ? cadena.mid(4) : cadena);
        QString opciones = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(espera > 0 ? espera : 15);
        if (modo == 1)
            opciones += QStringLiteral(";SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY");
        base.setConnectOptions(opciones);
        base.setNumericalPrecisionPolicy(QSql::HighPrecision);
        abierta = base.open();
        if (!abierta)
            error = MensajeDe(base.lastError());
    }
    if (!abierta) {
        QSqlDatabase::removeDatabase(nombreQt);
        return nullptr;
    }
    // From here the engine owns the Qt connection and closes it if it goes.
    std::unique_ptr<MotorOdbc> motor(new MotorOdbc(nombreQt));
    const QString servidor = motor->NombreDelServidor();
    motor->servidor_ = servidor;
    // A message of several statements runs as one transaction of its own.
    motor->admiteBloques_ = servidor == QLatin1String("PostgreSQL");
    error = motor->LeerFechasConElDiaPrimero(servidor);
    if (!error.isEmpty())
        return nullptr;
    // The ODBC read-only mode is a hint most drivers ignore: PostgreSQL is told for the session.
    if (modo == 1 && servidor == QLatin1String("PostgreSQL")) {
        try {
            motor->Ejecutar(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
        } catch (const Falla& falla) {
            error = QStringLiteral("no se pudo abrir la sesión solo para leer: %1").arg(falla.Descripcion());
            return nullptr;
        }
    }
    return motor;
}

MotorOdbc::MotorOdbc(const QString& nombreQt) : Motor(nombreQt) {}

MotorOdbc::~MotorOdbc() {
    // Kept statements go before the connection closes.
    preparadas_.clear();
}

void* MotorOdbc::Dbc() const {
    const QVariant h = Base().driver()->handle();
    return h.isValid() ? *static_cast<const SQLHANDLE*>(h.constData()) : nullptr;
}

QString MotorOdbc::NombreDelServidor() const {
    SQLHANDLE dbc = Dbc();
    if (!dbc)
        return {};
    SQLCHAR nombre[128] = {};
    SQLSMALLINT largo = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, nombre, sizeof nombre, &largo)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(nombre));
}

QString MotorOdbc::LeerFechasConElDiaPrimero(const QString& servidor) {
    // The server's own default is never trusted: PostgreSQL's initdb reads month first unless
    // told otherwise, and so does a SQL Server login whose language is English.
    try {
        if (servidor == QLatin1String("PostgreSQL"))
            Ejecutar(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
        else if (servidor.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
            Ejecutar(QStringLiteral("SET DATEFORMAT dmy"));
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo pedir al servidor que lea las fechas con el día primero: %1")
            .arg(falla.Descripcion());
    }
    // Whatever the server, the literal the selection sends must read as 1 March 2003.
    QList<Columna> definicion;
    Celdas celdas;
    try {
        Leer(QStringLiteral("SELECT CAST('%1' AS DATE)").arg(QLatin1String(LiteralDeCorte)),
             definicion, celdas);
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo comprobar cómo lee las fechas el servidor: %1")
            .arg(falla.Descripcion());
    }
    const Variant leida = celdas.Cantidad() == 1 ? celdas.Valor(0) : Variant();
    if (leida.tipo() == Variant::Tipo::Fecha && leida.Fecha().date() == FechaDeCorte)
        return {};
    // A driver that hands dates over as text: only the unambiguous ISO form counts.
    if (leida.tipo() == Variant::Tipo::Texto &&
        leida.Texto().trimmed().startsWith(FechaDeCorte.toString(Qt::ISODate)))
        return {};
    const QString comoLaLee = leida.tipo() == Variant::Tipo::Fecha
                                  ? leida.Fecha().date().toString(QStringLiteral("d/M/yyyy"))
                              : leida.EsVacio() || leida.EsNulo() ? QStringLiteral("nada")
                                                                  : leida.Texto();
    return QStringLiteral("el servidor no lee la fecha '%1' como 1 de marzo de 2003 (da %2); "
                          "configure la base de datos para que lea las fechas con el día primero")
        .arg(QLatin1String(LiteralDeCorte), comoLaLee);
}

void MotorOdbc::Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) {
    SentenciaOdbc(Dbc()).Leer(sql, definicion, celdas);
}

void MotorOdbc::LeerPreparada(const QString& sql, const QList<Variant>& valores,
                              QList<Columna>& definicion, Celdas& celdas) {
    auto& preparada = preparadas_[sql];
    if (!preparada) {
        auto nueva = std::make_unique<SentenciaOdbc>(Dbc());
        nueva->Preparar(sql);
        preparada = std::move(nueva);
    }
    preparada->LeerPreparada(valores, definicion, celdas);
}

int MotorOdbc::Ejecutar(const QString& sql) {
    return SentenciaOdbc(Dbc()).Ejecutar(sql);
}

namespace {
// The statements as one text, each closed by ";" but the last.
QString UnTexto(const QStringList& sentencias) {
    qsizetype largo = 0;
    for (const QString& s : sentencias)
        largo += s.size() + 1;
    QString texto;
    texto.reserve(largo);
    for (const QString& s : sentencias) {
        if (!texto.isEmpty())
            texto += u';';
        texto += s;
    }
    return texto;
}
} // namespace

void MotorOdbc::EjecutarEnBloque(const QStringList& sentencias) {
    // Outside a transaction, the server runs a message of several statements as one
    // transaction of its own: when one is refused, the rest is skipped and nothing of the
    // message stays, with no transaction left open behind it (an explicit BEGIN would leave
    // one that the driver and the program would each roll back).
    Ejecutar(UnTexto(sentencias));
}

void MotorOdbc::EjecutarEnBloqueYLeer(const QStringList& sentencias, QList<Columna>& definicion,
                                      Celdas& celdas) {
    SentenciaOdbc(Dbc()).EjecutarYLeer(UnTexto(sentencias), definicion, celdas);
}

void MotorOdbc::Comenzar() {
    Motor::Comenzar();
    if (!admiteBloques_)
        return;
    // The PostgreSQL driver starts the server's transaction together with the first statement
    // and guards only the statements after it with its own savepoint: a first statement
    // refused would leave the whole transaction aborted. Starting it here puts every
    // statement of the caller under that guard.
    try {
        Ejecutar(QStringLiteral("SELECT 1"));
    } catch (const Falla&) {
        Base().rollback();
        throw;
    }
}

bool MotorOdbc::ConexionPerdida() const {
    if (!Abierto())
        return true;
    SQLHANDLE dbc = Dbc();
    if (!dbc)
        return true;
    SQLUINTEGER muerta = SQL_CD_FALSE;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &muerta, 0, nullptr)))
        return false;
    return muerta == SQL_CD_TRUE;
}

void MotorOdbc::EstablecerTiempoDeEspera(int segundos) {
    // Set on the connection, the limit applies to every statement opened afterwards.
    if (SQLHANDLE dbc = Dbc())
        SQLSetConnectAttr(dbc, SQL_ATTR_QUERY_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(SQLULEN(segundos)), 0);
}

QStringList MotorOdbc::ClavePrimaria(const QString& tabla) const {
    // A server that folds unquoted names to lower case keeps them so in its catalogue.
    QStringList clave = Motor::ClavePrimaria(tabla);
    if (clave.isEmpty())
        clave = Motor::ClavePrimaria(tabla.toLower());
    return clave;
}

namespace {
// The lock's name: the run log's number, as the family names the program's files.
constexpr auto ClaveDeBloqueo = "857196";
} // namespace

bool MotorOdbc::TomarBloqueoDeCorrida(int espera) {
    if (bloqueada_)
        return true;
    Celdas celdas;
    QList<Columna> definicion;
    if (servidor_ == QLatin1String("PostgreSQL")) {
        QDeadlineTimer limite(qint64(espera) * 1000);
        for (;;) {
            Leer(QStringLiteral("SELECT CASE WHEN pg_try_advisory_lock(%1) THEN 1 ELSE 0 END")
                     .arg(QLatin1String(ClaveDeBloqueo)),
                 definicion, celdas);
            if (celdas.Cantidad() == 1 && celdas.Valor(0).Entero() == 1)
                return bloqueada_ = true;
            if (limite.hasExpired())
                return false;
            celdas.Vaciar();
            QThread::msleep(qMin<qint64>(500, qMax<qint64>(1, limite.remainingTime())));
        }
    }
    if (servidor_.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive)) {
        SentenciaOdbc(Dbc()).EjecutarYLeer(
            QStringLiteral("DECLARE @r int; EXEC @r = sp_getapplock @Resource = 'remitos-%1', "
                           "@LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = %2; "
                           "SELECT @r")
                .arg(QLatin1String(ClaveDeBloqueo))
                .arg(qint64(espera) * 1000),
            definicion, celdas);
        bloqueada_ = celdas.Cantidad() == 1 && celdas.Valor(0).Entero() >= 0;
        return bloqueada_;
    }
    return true;
}

void MotorOdbc::SoltarBloqueoDeCorrida() {
    if (!bloqueada_)
        return;
    bloqueada_ = false;
    try {
        if (servidor_ == QLatin1String("PostgreSQL"))
            Ejecutar(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(QLatin1String(ClaveDeBloqueo)));
        else
            Ejecutar(QStringLiteral("EXEC sp_releaseapplock @Resource = 'remitos-%1', @LockOwner = 'Session'")
                         .arg(QLatin1String(ClaveDeBloqueo)));
    } catch (const Falla&) {
        // The server lets it go with the connection.
    }
}
