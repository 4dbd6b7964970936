#include "MotorOdbc.h"

#include "Falla.h"
#include "SentenciaOdbc.h"

#include <QDeadlineTimer>
#include <optional>
#include <QSqlDatabase>
#include <QThread>
#include <QSqlDriver>
#include <QSqlError>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>


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

namespace {

// A key of an ODBC configuration file's section ("odbc.ini" for data sources, "odbcinst.ini"
// for drivers), as unixODBC reads it: the user's file and the system's.
QString ValorOdbcIni(const QString& seccion, const char* clave, const char* archivo) {
    char valor[1024] = {};
    SQLGetPrivateProfileString(seccion.toUtf8().constData(), clave, "", valor, int(sizeof valor), archivo);
    return QString::fromUtf8(valor).trimmed();
}

// The first of several spellings a driver accepts for one key.
QString PrimeroDe(const QString& origen, std::initializer_list<const char*> claves) {
    for (const char* clave : claves)
        if (QString valor = ValorOdbcIni(origen, clave, "odbc.ini"); !valor.isEmpty())
            return valor;
    return {};
}

} // namespace

bool MotorOdbc::DePostgres(const QString& nombre, bool origen, ParametrosPostgres& p) {
    const QString driver = origen ? ValorOdbcIni(nombre, "Driver", "odbc.ini") : nombre;
    // A driver is named by its section in odbcinst.ini or by its library's path.
    const QString biblioteca = driver.contains(u'/') ? driver : ValorOdbcIni(driver, "Driver", "odbcinst.ini");
    if (!biblioteca.section(u'/', -1).contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive))
        return false;
    if (!origen)
        return true;
    p.host = PrimeroDe(nombre, {"Servername", "Server", "Host"});
    p.puerto = PrimeroDe(nombre, {"Port"});
    p.base = PrimeroDe(nombre, {"Database"});
    p.usuario = PrimeroDe(nombre, {"Username", "UserName", "UID", "User"});
    p.clave = PrimeroDe(nombre, {"Password", "PWD"});
    p.modoSsl = PrimeroDe(nombre, {"SSLmode", "sslmode"});
    return true;
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
    error = motor->FijarSesionDeServidor(motor->EsPostgres(), motor->EsSqlServer());
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
    // The handle lives as long as the connection: asked of Qt once, not for every statement.
    if (!dbc_) {
        const QVariant h = Base().driver()->handle();
        dbc_ = h.isValid() ? *static_cast<const SQLHANDLE*>(h.constData()) : nullptr;
    }
    return dbc_;
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


namespace {
// The PostgreSQL driver hands a timestamp of infinity over as 9999-12-31 23:59:59: a date no
// note has, and written back it would be another value. It is read as no date of the
// calendar, which nothing writes.
void MarcarInfinitos(const QList<Columna>& definicion, Celdas& celdas) {
    const qsizetype columnas = definicion.size();
    QList<qsizetype> fechas;
    for (qsizetype i = 0; i < columnas; ++i)
        if (definicion[i].tipo == TipoDato::Fecha)
            fechas << i;
    if (fechas.isEmpty() || columnas == 0)
        return;
    const QDateTime infinito(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    for (qsizetype fila = 0; fila < celdas.Cantidad() / columnas; ++fila)
        for (const qsizetype i : std::as_const(fechas)) {
            const Variant v = celdas.Valor(fila * columnas + i);
            if (v.tipo() == Variant::Tipo::Fecha && v.Fecha() == infinito)
                celdas.Asignar(fila * columnas + i, Variant(QDateTime()));
        }
}
} // namespace

void MotorOdbc::Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) {
    SentenciaOdbc(Dbc()).Leer(sql, definicion, celdas);
    if (EsPostgres())
        MarcarInfinitos(definicion, celdas);
}

namespace {
// The statement with each "?" outside quotes replaced by its value as a literal.
QString ConLiterales(const QString& sql, const QList<Variant>& valores) {
    QString texto;
    texto.reserve(sql.size() + 32 * valores.size());
    bool enComillas = false;
    qsizetype siguiente = 0;
    for (const QChar c : sql) {
        if (c == u'\'')
            enComillas = !enComillas;
        if (c != u'?' || enComillas) {
            texto += c;
            continue;
        }
        if (siguiente >= valores.size())
            throw Falla::ArgumentoNoValido(QStringLiteral("faltan valores para la sentencia"));
        const Variant& v = valores[siguiente++];
        AgregarValorSQL(texto, v, v.tipo() == Variant::Tipo::Entero ? u"@" : u"'", Dialecto::Servidor);
    }
    return texto;
}
} // namespace

void MotorOdbc::LeerPreparada(const QString& sql, const QList<Variant>& valores,
                              QList<Columna>& definicion, Celdas& celdas) {
    // Through the PostgreSQL driver a prepared statement inside a transaction costs a round
    // trip more than its text with the values written in.
    if (EsPostgres()) {
        Leer(ConLiterales(sql, valores), definicion, celdas);
        return;
    }
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

void MotorOdbc::Insertar(const FormaInsercion& forma, const QList<Variant>& valores) {
    Ejecutar(forma.Texto(valores, Dialecto::Servidor));
}

QString MotorOdbc::UnTexto(const QStringList& sentencias) {
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

QStringList MotorOdbc::ComprobacionDeDiferidas() const {
    if (!hayDiferibles_)
        return {};
    // Checking them now, inside a savepoint that is then rolled back, leaves every constraint
    // as deferred as it was for the notes still to come.
    const QString punto = PuntoDelGrupo() + QStringLiteral("_diferidas");
    return {QStringLiteral("SAVEPOINT ") + punto, QStringLiteral("SET CONSTRAINTS ALL IMMEDIATE"),
            QStringLiteral("ROLLBACK TO SAVEPOINT ") + punto, QStringLiteral("RELEASE SAVEPOINT ") + punto};
}

QStringList MotorOdbc::MensajeDelGrupo(const GrupoDeFilas& grupo) const {
    QStringList mensaje{QStringLiteral("SAVEPOINT ") + PuntoDelGrupo()};
    for (const QList<Variant>& fila : grupo.filas)
        mensaje << grupo.forma->Texto(fila, Dialecto::Servidor);
    mensaje << ComprobacionDeDiferidas();
    mensaje << QStringLiteral("RELEASE SAVEPOINT ") + PuntoDelGrupo();
    return mensaje;
}

bool MotorOdbc::EnUnMensaje(const QStringList& mensaje) {
    try {
        Ejecutar(UnTexto(mensaje));
        return true;
    } catch (const Falla& falla) {
        if (falla.Grave())
            throw;
    }
    // Back to the group's savepoint, set at the start of the message, and past it: the
    // transaction is as it was before the group.
    try {
        if (TransaccionAbierta()) {
            VolverA(PuntoDelGrupo());
            Liberar(PuntoDelGrupo());
        }
    } catch (const Falla& falla) {
        if (falla.Grave())
            throw;
    }
    return false;
}

bool MotorOdbc::EscribirGrupoEnUnMensaje(const GrupoDeFilas& grupo, EscrituraDeGrupo&) {
    if (!EsPostgres() || grupo.filas.isEmpty())
        return false;
    QStringList mensaje;
    try {
        mensaje = MensajeDelGrupo(grupo);
    } catch (const Falla&) {
        // A value that cannot be written: the rows go one by one, that one refused.
        return false;
    }
    // A row refused: back to before the group, whose rows then go one by one. (Several groups
    // in one message would leave the groups before the refused one in, with no way to tell
    // which they were: each group has a message of its own.)
    return EnUnMensaje(mensaje);
}

void MotorOdbc::LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                                    QList<Lectura>& lecturas) {
    // PostgreSQL: the queries in one message, their results read in order.
    if (EsPostgres() && valores.size() > 1) {
        QStringList consultas;
        for (const QList<Variant>& v : valores)
            consultas << ConLiterales(sql, v);
        try {
            if (SentenciaOdbc(Dbc()).EjecutarYLeerTodos(UnTexto(consultas), lecturas) &&
                lecturas.size() == valores.size()) {
                for (Lectura& l : lecturas)
                    MarcarInfinitos(l.definicion, l.celdas);
                return;
            }
        } catch (const Falla& falla) {
            if (falla.Grave())
                throw;
        }
    }
    Motor::LeerPreparadaVarias(sql, valores, lecturas);
}

QString MotorOdbc::DiferidasIncumplidas() {
    const QStringList comprobacion = ComprobacionDeDiferidas();
    if (comprobacion.isEmpty())
        return {};
    Guardar(PuntoDelGrupo() + QStringLiteral("_diferidas"));
    QString motivo;
    try {
        Ejecutar(comprobacion[1]);
    } catch (const Falla& falla) {
        if (falla.Grave())
            throw;
        motivo = falla.Descripcion();
    }
    Ejecutar(comprobacion[2]);
    Ejecutar(comprobacion[3]);
    return motivo;
}

void MotorOdbc::Comenzar() {
    SQLHANDLE dbc = Dbc();
    if (!dbc || !SQL_SUCCEEDED(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                                 reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        throw SentenciaOdbc::FallaDe(SQL_HANDLE_DBC, dbc, dbc);
    if (!EsPostgres())
        return;
    // The PostgreSQL driver starts the server's transaction together with the first statement
    // and guards only the statements after it with its own savepoint: a first statement
    // refused would leave the whole transaction aborted. Starting it here puts every
    // statement of the caller under that guard; the same query says whether the database has
    // constraints that wait for the commit.
    try {
        QList<Columna> definicion;
        Celdas celdas;
        Leer(QStringLiteral("SELECT CASE WHEN EXISTS (SELECT 1 FROM pg_catalog.pg_trigger WHERE "
                            "tgdeferrable) OR EXISTS (SELECT 1 FROM pg_catalog.pg_constraint WHERE "
                            "condeferrable) THEN 1 ELSE 0 END"),
             definicion, celdas);
        hayDiferibles_ = celdas.Cantidad() == 1 && celdas.Valor(0).Entero() == 1;
    } catch (const Falla&) {
        try {
            Terminar(false);
        } catch (const Falla&) {
        }
        throw;
    }
}

void MotorOdbc::Terminar(bool confirmar) {
    SQLHANDLE dbc = Dbc();
    if (!dbc)
        throw Falla::Conexion(QStringLiteral("No hay conexión con la base de datos"));
    const SQLRETURN r = SQLEndTran(SQL_HANDLE_DBC, dbc, confirmar ? SQL_COMMIT : SQL_ROLLBACK);
    std::optional<Falla> falla;
    if (!SQL_SUCCEEDED(r))
        falla = SentenciaOdbc::FallaDe(SQL_HANDLE_DBC, dbc, dbc);
    // Back to autocommit, as the connection is used outside transactions.
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    if (falla)
        throw *falla;
}

void MotorOdbc::Confirmar() {
    if (!TransaccionAbierta())
        throw Falla::BaseDeDatos(QStringLiteral("No hay una transacción abierta que confirmar"),
                                 ConexionPerdida() ? ClaseDeFalla::Conexion : ClaseDeFalla::Rechazo);
    Terminar(true);
}

void MotorOdbc::Deshacer() {
    if (!TransaccionAbierta())
        return;
    Terminar(false);
}

bool MotorOdbc::TransaccionAbierta() const {
    SQLHANDLE dbc = Dbc();
    if (!dbc || ConexionPerdida())
        return false;
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
        return false;
    return autocommit == SQL_AUTOCOMMIT_OFF;
}

void MotorOdbc::Guardar(const QString& nombre) {
    Ejecutar((EsSqlServer() ? QStringLiteral("SAVE TRANSACTION ") : QStringLiteral("SAVEPOINT ")) + nombre);
}

void MotorOdbc::VolverA(const QString& nombre) {
    Ejecutar((EsSqlServer() ? QStringLiteral("ROLLBACK TRANSACTION ")
                            : QStringLiteral("ROLLBACK TO SAVEPOINT ")) + nombre);
}

void MotorOdbc::Liberar(const QString& nombre) {
    // SQL Server keeps its savepoints to the end of the transaction.
    if (!EsSqlServer())
        Motor::Liberar(nombre);
}

bool MotorOdbc::ConexionPerdida() const {
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
    if (EsPostgres()) {
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
