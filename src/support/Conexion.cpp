#include "Conexion.h"

#include "ArchivoIni.h"
#include "ColacionFecha.h"
#include "Entorno.h"
#include "Falla.h"
#include "Field.h"
#include "SentenciaOdbc.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUrl>
#include <atomic>
#include <cmath>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

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

// Whether an ODBC data source of that name is configured.
bool ExisteOrigenDeDatos(const QString& nombre) {
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

// The name the server gives itself through the driver ("PostgreSQL", "Microsoft SQL Server").
QString NombreDelMotor(const QSqlDatabase& base) {
    const QVariant h = base.driver()->handle();
    SQLHANDLE dbc = h.isValid() ? *static_cast<const SQLHANDLE*>(h.constData()) : nullptr;
    if (!dbc)
        return {};
    SQLCHAR nombre[128] = {};
    SQLSMALLINT largo = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, nombre, sizeof nombre, &largo)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(nombre));
}

// What the registration's date literal must mean on every server.
constexpr auto LiteralDeCorte = "01/03/2003";
const QDate FechaDeCorte(2003, 3, 1);

sqlite3* ManejadorSqlite(const QSqlDatabase& base) {
    const QVariant h = base.driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}


// The "(n" of a declared type such as VARCHAR(40) or DECIMAL(18,4).
long LargoDeclarado(const QString& tipo, long porDefecto) {
    static const QRegularExpression largo(QStringLiteral(R"(\(\s*(\d+))"));
    const auto m = largo.match(tipo);
    return m.hasMatch() ? m.captured(1).toLong() : porDefecto;
}

constexpr long LargoTextoSinLimite = 65535;

// Kind and size of a column of the embedded database from its declared type, sized as an
// ODBC driver reports them: characters for texts, precision for decimals, bytes otherwise.
void ColumnaDeclarada(const QString& t, Columna& c);

bool ColumnaSqlite(const char* declarado, Columna& c) {
    if (!declarado || !*declarado)
        return false;
    // The same few declared types come back for every statement: read each once.
    static QHash<QByteArray, std::pair<TipoDato, long>> leidos;
    const QByteArray clave(declarado);
    const auto it = leidos.constFind(clave);
    if (it != leidos.cend()) {
        c.tipo = it->first;
        c.tamano = it->second;
        return true;
    }
    ColumnaDeclarada(QString::fromUtf8(declarado).toUpper(), c);
    leidos.insert(clave, {c.tipo, c.tamano});
    return true;
}

void ColumnaDeclarada(const QString& t, Columna& c) {
    // Dates first: "DATETIME TEXT" is a date kept as text.
    if (t.contains(QLatin1String("TIMESTAMP")) || t.contains(QLatin1String("DATETIME"))) {
        c.tipo = TipoDato::Fecha;
        c.tamano = 16;
    } else if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME"))) {
        c.tipo = TipoDato::Fecha;
        c.tamano = 6;
    } else if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")) ||
        t.contains(QLatin1String("CLOB"))) {
        c.tipo = TipoDato::Texto;
        c.tamano = LargoDeclarado(t, LargoTextoSinLimite);
    } else if (t.contains(QLatin1String("BIGINT"))) {
        c.tipo = TipoDato::Entero;
        c.tamano = 8;
    } else if (t.contains(QLatin1String("SMALLINT"))) {
        c.tipo = TipoDato::Entero;
        c.tamano = 2;
    } else if (t.contains(QLatin1String("TINYINT"))) {
        c.tipo = TipoDato::Entero;
        c.tamano = 1;
    } else if (t.contains(QLatin1String("INT"))) {
        c.tipo = TipoDato::Entero;
        c.tamano = 4;
    } else if (t.contains(QLatin1String("DEC")) || t.contains(QLatin1String("NUMERIC")) ||
               t.contains(QLatin1String("MONEY"))) {
        c.tipo = TipoDato::Decimal;
        c.tamano = LargoDeclarado(t, 18);
    } else if (t.startsWith(QLatin1String("REAL"))) {
        c.tipo = TipoDato::Doble;
        c.tamano = 4;
    } else if (t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB"))) {
        c.tipo = TipoDato::Doble;
        c.tamano = 8;
    } else if (t.contains(QLatin1String("BOOL")) || t == QLatin1String("BIT")) {
        c.tipo = TipoDato::Booleano;
        c.tamano = 2;
    } else if (t.contains(QLatin1String("BLOB")) || t.contains(QLatin1String("BINARY"))) {
        c.tipo = TipoDato::Binario;
        c.tamano = LargoDeclarado(t, LargoTextoSinLimite);
    } else {
        c.tipo = TipoDato::Texto;
        c.tamano = LargoTextoSinLimite;
    }
}

Variant DesdeTexto(const QString& texto, TipoDato tipo) {
    switch (tipo) {
    case TipoDato::Entero: {
        bool ok = false;
        const qint64 n = texto.toLongLong(&ok);
        if (ok)
            return Variant(n);
        break;
    }
    case TipoDato::Doble: {
        bool ok = false;
        const double d = texto.toDouble(&ok);
        if (ok)
            return Variant(d);
        break;
    }
    case TipoDato::Fecha:
        if (auto fecha = ColacionFecha::LeerFecha(texto))
            return Variant(*fecha);
        return Variant(texto);
    case TipoDato::Booleano: {
        const QString t = texto.trimmed();
        if (t == QLatin1String("1") || t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return Variant(true);
        if (t == QLatin1String("0") || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return Variant(false);
        return Variant(texto);
    }
    case TipoDato::Texto:
    case TipoDato::Binario:
        return Variant(texto);
    case TipoDato::Decimal:
        break;
    }
    if (auto literal = Variant::NumeroLiteral(texto))
        return Variant::DecimalLeido(*literal);
    return Variant(texto);
}


// The run sends one statement per line, so the embedded engine's allocator is on the hot path:
// without memory statistics it takes no lock per allocation. The setting is only accepted
// before the engine starts, hence at program start.
const int SinEstadisticasDeMemoria = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

} // namespace

Conexion::Conexion() : nombreQt_(NuevoNombreQt()), conexionAdo_(nombreQt_) {}

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

QString Conexion::MensajeDe(const QSqlError& error) const {
    QString texto = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (texto.isEmpty())
        texto = driver;
    else if (!driver.isEmpty() && !texto.contains(driver))
        texto += QStringLiteral(" (") + driver + u')';
    return texto.isEmpty() ? QStringLiteral("Error desconocido de la base de datos") : texto;
}

void Conexion::Conectar(bool sinServidor, int modo) {
    Desconectar();
    ultimoError_.clear();
    if (sinServidor)
        ConectarEmbebida(modo);
    else
        ConectarOdbc(modo);
    if (Conectada())
        AplicarTiempoDeEspera();
}

void Conexion::ConectarEmbebida(int modo) {
    const QString ruta = RutaEmbebida(BaseDatos);
    if (!QFileInfo(ruta).isFile()) {
        ultimoError_ = QStringLiteral("No se puede abrir la base de datos %1: el archivo no existe")
                           .arg(ruta);
        return;
    }
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombreQt_);
        // A URI with mode=rw (or ro) never creates the file: a database that vanished is a
        // failure, not a new empty database.
        const QString uri = QStringLiteral("file:%1?mode=%2")
                                .arg(QString::fromLatin1(QUrl::toPercentEncoding(ruta, "/")),
                                     modo == 1 ? QStringLiteral("ro") : QStringLiteral("rw"));
        base.setDatabaseName(uri);
        base.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!base.open()) {
            ultimoError_ = QStringLiteral("No se puede abrir la base de datos %1: %2")
                               .arg(ruta, MensajeDe(base.lastError()));
        } else {
            QSqlQuery prueba(base);
            if (!prueba.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                ultimoError_ = QStringLiteral("No se puede abrir la base de datos %1: %2")
                                   .arg(ruta, MensajeDe(prueba.lastError()));
            } else if (!ColacionFecha::Registrar(ManejadorSqlite(base))) {
                ultimoError_ =
                    QStringLiteral("No se puede preparar la base de datos %1: %2")
                        .arg(ruta, QString::fromUtf8(sqlite3_errmsg(ManejadorSqlite(base))));
            } else {
                prueba.finish();
                QSqlQuery(base).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
                motor_ = Motor::Embebido;
                cadenaConexion_ =
                    QStringLiteral("DRIVER=SQLite3;Database=%1;").arg(ValorOdbc(ruta));
                return;
            }
            base.close();
        }
    }
    QSqlDatabase::removeDatabase(nombreQt_);
}

void Conexion::ConectarOdbc(int modo) {
    const QString servidor = Servidor.trimmed();
    QString cadena;
    if (ExisteOrigenDeDatos(servidor)) {
        cadena = QStringLiteral("DSN=%1;").arg(ValorOdbc(servidor));
    } else {
        ArchivoIni& ini = ArchivoIni::Instancia();
        const QString archivo = QStringLiteral("KD000pr.INI");
        const QString driver = ini.LeerValor(archivo, QStringLiteral("ODBC"),
                                             QStringLiteral("Driver"),
                                             QStringLiteral("PostgreSQL Unicode"));
        const QString puerto =
            ini.LeerValor(archivo, QStringLiteral("ODBC"), QStringLiteral("Puerto"), {});
        cadena = QStringLiteral("DRIVER={%1};SERVER=%2;").arg(driver, ValorOdbc(servidor));
        if (!puerto.trimmed().isEmpty())
            cadena += QStringLiteral("PORT=%1;").arg(ValorOdbc(puerto.trimmed()));
    }
    if (!BaseDatos.isEmpty())
        cadena += QStringLiteral("DATABASE=%1;").arg(ValorOdbc(BaseDatos));
    if (!Usuario.isEmpty())
        cadena += QStringLiteral("UID=%1;").arg(ValorOdbc(Usuario));
    if (!Password.isEmpty())
        cadena += QStringLiteral("PWD=%1;").arg(ValorOdbc(Password));

    const int espera = ArchivoIni::Instancia()
                           .LeerValor(QStringLiteral("KD000pr.INI"), QStringLiteral("ODBC"),
                                      QStringLiteral("EsperaConexion"), QStringLiteral("15"))
                           .trimmed()
                           .toInt();
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), nombreQt_);
        // Qt's ODBC driver puts "DSN=" before a string that names no driver and no server.
        const bool usaDsn = cadena.startsWith(QLatin1String("DSN="));
        const bool tomadaTalCual = cadena.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
                                   cadena.contains(QLatin1String("SERVER="), Qt::CaseInsensitive);
        base.setDatabaseName(usaDsn && !tomadaTalCual ? cadena.mid(4) : cadena);
        QString opciones =
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(espera > 0 ? espera : 15);
        if (modo == 1)
            opciones += QStringLiteral(";SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY");
        base.setConnectOptions(opciones);
        base.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (base.open()) {
            motor_ = Motor::Odbc;
            cadenaConexion_ = cadena;
            const QString nombre = NombreDelMotor(base);
            // A message of several statements runs as one transaction of its own.
            admiteBloques_ = nombre == QLatin1String("PostgreSQL");
            const QString problema = LeerFechasConElDiaPrimero(nombre);
            if (problema.isEmpty())
                return;
            ultimoError_ = QStringLiteral("No se puede conectar con el servidor %1: %2")
                               .arg(servidor, problema);
            motor_ = Motor::Ninguno;
            admiteBloques_ = false;
            cadenaConexion_.clear();
            base.close();
        } else {
            ultimoError_ = QStringLiteral("No se puede conectar con el servidor %1: %2")
                               .arg(servidor, MensajeDe(base.lastError()));
        }
    }
    QSqlDatabase::removeDatabase(nombreQt_);
}

QString Conexion::LeerFechasConElDiaPrimero(const QString& nombreDelMotor) {
    // The server's own default is never trusted: PostgreSQL's initdb reads month first unless
    // told otherwise, and so does a SQL Server login whose language is English.
    try {
        if (nombreDelMotor == QLatin1String("PostgreSQL"))
            SentenciaOdbc(Odbc()).Ejecutar(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
        else if (nombreDelMotor.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
            SentenciaOdbc(Odbc()).Ejecutar(QStringLiteral("SET DATEFORMAT dmy"));
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo pedir al servidor que lea las fechas con el día primero: %1")
            .arg(falla.Descripcion());
    }
    // Whatever the server, the literal the selection sends must read as 1 March 2003.
    QList<Columna> definicion;
    std::vector<Variant> celdas;
    try {
        SentenciaOdbc(Odbc()).Leer(
            QStringLiteral("SELECT CAST('%1' AS DATE)").arg(QLatin1String(LiteralDeCorte)),
            definicion, celdas);
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo comprobar cómo lee las fechas el servidor: %1")
            .arg(falla.Descripcion());
    }
    const Variant leida = celdas.size() == 1 ? celdas.front() : Variant();
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

void Conexion::AplicarTiempoDeEspera() {
    conexionAdo_.EstablecerCommandTimeout(conexionAdo_.CommandTimeout());
}

void Conexion::Desconectar() {
    if (motor_ == Motor::Ninguno)
        return;
    // Kept statements must go before the engine can close the file.
    preparadas_.Vaciar();
    preparadas_.Usar(nullptr);
    {
        QSqlDatabase base = QSqlDatabase::database(nombreQt_, false);
        base.close();
    }
    QSqlDatabase::removeDatabase(nombreQt_);
    motor_ = Motor::Ninguno;
    admiteBloques_ = false;
    enTransaccion_ = false;
    cadenaConexion_.clear();
}

bool Conexion::Conectada() const {
    return motor_ != Motor::Ninguno && QSqlDatabase::database(nombreQt_, false).isOpen();
}

bool Conexion::ConexionPerdida() const {
    if (motor_ != Motor::Odbc)
        return motor_ == Motor::Ninguno;
    const QSqlDatabase base = BaseQt();
    if (!base.isOpen())
        return true;
    const QVariant h = base.driver()->handle();
    SQLHANDLE dbc = h.isValid() ? *static_cast<const SQLHANDLE*>(h.constData()) : nullptr;
    if (!dbc)
        return true;
    SQLUINTEGER muerta = SQL_CD_FALSE;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &muerta, 0, nullptr)))
        return false;
    return muerta == SQL_CD_TRUE;
}

QSqlDatabase Conexion::BaseQt() const {
    return QSqlDatabase::database(nombreQt_, false);
}

void Conexion::ComprobarConectada() const {
    if (motor_ == Motor::Ninguno)
        throw Falla::Conexion(QStringLiteral("No hay conexión con la base de datos"));
}

void Conexion::AbrirRecordset(const QString& sql, RefRecordset& rs, Connection* conexion,
                              int tipoCursor, int tipoBloqueo, int) {
    if (conexion && conexion != &conexionAdo_)
        throw Falla::ArgumentoNoValido(QStringLiteral("la conexión no es la de este programa"));
    ComprobarConectada();
    if (!rs)
        rs = std::make_shared<Recordset>();
    else if (rs->Abierto())
        rs->Close();

    QList<Columna> definicion;
    std::vector<Variant> celdas;
    if (motor_ == Motor::Embebido)
        LeerSqlite(sql, definicion, celdas);
    else
        LeerOdbc(sql, definicion, celdas);
    rs->Cargar(std::move(definicion), std::move(celdas), this, sql,
               tipoCursor != 0 && tipoBloqueo != 1);
}

namespace {
// One statement of the embedded engine, finalized whatever happens.
class SentenciaNativa {
public:
    SentenciaNativa(sqlite3* base, const QByteArray& texto) : base_(base) {
        const char* resto = nullptr;
        if (sqlite3_prepare_v2(base, texto.constData(), int(texto.size()), &sentencia_, &resto) !=
            SQLITE_OK)
            throw Falla::BaseDeDatos(QString::fromUtf8(sqlite3_errmsg(base)));
        if (!sentencia_)
            throw Falla::BaseDeDatos(QStringLiteral("La sentencia está vacía"));
        // One statement at a time: text after the first is never run.
        for (; resto && *resto; ++resto)
            if (!QChar::isSpace(uchar(*resto)) && *resto != ';')
                throw Falla::BaseDeDatos(
                    QStringLiteral("Sólo se ejecuta una sentencia a la vez"));
    }
    ~SentenciaNativa() { sqlite3_finalize(sentencia_); }
    SentenciaNativa(const SentenciaNativa&) = delete;
    SentenciaNativa& operator=(const SentenciaNativa&) = delete;

    // True while there is a row; a failure carries the engine's message.
    bool Paso() {
        const int rc = sqlite3_step(sentencia_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw Falla::BaseDeDatos(QString::fromUtf8(sqlite3_errmsg(base_)));
    }
    sqlite3_stmt* operator*() const { return sentencia_; }

private:
    sqlite3* base_;
    sqlite3_stmt* sentencia_ = nullptr;
};

Variant ValorSqlite(sqlite3_stmt* s, int i, TipoDato tipo) {
    switch (sqlite3_column_type(s, i)) {
    case SQLITE_NULL:
        return Variant::Nulo();
    case SQLITE_INTEGER: {
        const qint64 n = sqlite3_column_int64(s, i);
        switch (tipo) {
        case TipoDato::Booleano:
            return Variant(n != 0);
        case TipoDato::Doble:
            return Variant(double(n));
        case TipoDato::Decimal:
            return Variant::Decimal(QString::number(n));
        case TipoDato::Texto:
            return Variant(QString::number(n));
        default:
            return Variant(n);
        }
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_column_double(s, i);
        if (tipo == TipoDato::Doble)
            return Variant(d);
        // A decimal the engine keeps as a double (more digits than a whole number holds): the
        // shortest text that reads back as that same double. The engine's own text of it has
        // only 15 significant digits and would change the value written back.
        return DesdeTexto(QString::number(d, 'f', QLocale::FloatingPointShortest),
                          tipo == TipoDato::Texto ? TipoDato::Texto : TipoDato::Decimal);
    }
    case SQLITE_BLOB: {
        const QByteArray bytes(static_cast<const char*>(sqlite3_column_blob(s, i)),
                               sqlite3_column_bytes(s, i));
        return Variant(QString::fromLatin1(bytes.toHex()));
    }
    default:
        return DesdeTexto(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                            sqlite3_column_bytes(s, i)),
                          tipo);
    }
}
} // namespace

sqlite3* Conexion::Sqlite() const {
    return ManejadorSqlite(BaseQt());
}

void Conexion::LeerSqlite(const QString& sql, QList<Columna>& definicion,
                          std::vector<Variant>& celdas) {
    SentenciaNativa s(Sqlite(), sql.toUtf8());
    const int columnas = sqlite3_column_count(*s);
    definicion.resize(columnas);
    QList<bool> deducir(columnas, false);
    for (int i = 0; i < columnas; ++i) {
        definicion[i].nombre = QString::fromUtf8(sqlite3_column_name(*s, i));
        deducir[i] = !ColumnaSqlite(sqlite3_column_decltype(*s, i), definicion[i]);
    }
    while (s.Paso()) {
        for (int i = 0; i < columnas; ++i) {
            if (!deducir[i]) {
                celdas.push_back(ValorSqlite(*s, i, definicion[i].tipo));
                continue;
            }
            // An expression without a declared type: its kind comes from its values.
            Columna& c = definicion[i];
            switch (sqlite3_column_type(*s, i)) {
            case SQLITE_INTEGER:
                c.tipo = TipoDato::Entero;
                c.tamano = 8;
                break;
            case SQLITE_FLOAT:
                c.tipo = TipoDato::Decimal;
                c.tamano = 8;
                break;
            case SQLITE_TEXT:
                c.tipo = TipoDato::Texto;
                c.tamano = qMax(c.tamano, long(QString::fromUtf8(reinterpret_cast<const char*>(
                                                       sqlite3_column_text(*s, i)))
                                                   .size()));
                break;
            default:
                break;
            }
            celdas.push_back(ValorSqlite(*s, i, c.tipo));
        }
    }
}

void* Conexion::Odbc() const {
    const QVariant h = BaseQt().driver()->handle();
    return h.isValid() ? *static_cast<const SQLHANDLE*>(h.constData()) : nullptr;
}

void Conexion::LeerOdbc(const QString& sql, QList<Columna>& definicion,
                        std::vector<Variant>& celdas) {
    SentenciaOdbc(Odbc()).Leer(sql, definicion, celdas);
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
    ComprobarConectada();
    if (motor_ == Motor::Embebido) {
        const QByteArray texto = sql.toUtf8();
        int cambios = 0;
        preparadas_.Usar(Sqlite());
        if (preparadas_.Ejecutar(texto, cambios))
            return cambios;
        SentenciaNativa s(Sqlite(), texto);
        while (s.Paso()) {
        }
        return sqlite3_changes(Sqlite());
    }
    return SentenciaOdbc(Odbc()).Ejecutar(sql);
}

void Conexion::EjecutarEnBloque(const QStringList& sentencias) {
    ComprobarConectada();
    if (!admiteBloques_ || enTransaccion_)
        throw Falla::ArgumentoNoValido(
            QStringLiteral("un bloque necesita un servidor que lo admita y ninguna transacción abierta"));
    // The server runs a message of several statements as one transaction of its own: when one
    // is refused, the rest is skipped and nothing of the message stays, with no transaction
    // left open behind it (an explicit BEGIN would leave one that the driver and the program
    // would each roll back).
    QString texto;
    qsizetype largo = 0;
    for (const QString& s : sentencias)
        largo += s.size() + 1;
    texto.reserve(largo);
    for (const QString& s : sentencias) {
        if (!texto.isEmpty())
            texto += u';';
        texto += s;
    }
    SentenciaOdbc(Odbc()).Ejecutar(texto);
}

QString Conexion::ValorSQL(const Field& campo, const QString& marca) const {
    return ValorSQL(campo.Value(), marca);
}

namespace {
void AgregarCifras(QString& destino, int valor, int cifras) {
    char texto[12];
    for (int i = cifras - 1; i >= 0; --i) {
        texto[i] = char('0' + valor % 10);
        valor /= 10;
    }
    destino.append(QLatin1StringView(texto, cifras));
}

// A date as text the engine cannot misread: ISO text on the embedded database, 'YYYYMMDD' or
// 'YYYY-MM-DDThh:mm:ss[.fff]' for servers. A date that does not fit that shape (no valid
// date, or a year outside 1..9999, which a server can hand back) is refused: written with
// four digits it would silently name another day.
void AgregarFecha(QString& destino, const QDateTime& f, bool embebido) {
    const QDate d = f.date();
    const QTime t = f.time();
    if (!d.isValid() || !t.isValid() || d.year() < 1 || d.year() > 9999)
        throw Falla::Desbordamiento(QStringLiteral("la fecha no cabe entre los años 1 y 9999"));
    const bool conHora = t != QTime(0, 0);
    destino += u'\'';
    AgregarCifras(destino, d.year(), 4);
    if (embebido || conHora)
        destino += u'-';
    AgregarCifras(destino, d.month(), 2);
    if (embebido || conHora)
        destino += u'-';
    AgregarCifras(destino, d.day(), 2);
    if (conHora) {
        destino += embebido ? u' ' : u'T';
        AgregarCifras(destino, t.hour(), 2);
        destino += u':';
        AgregarCifras(destino, t.minute(), 2);
        destino += u':';
        AgregarCifras(destino, t.second(), 2);
        if (t.msec()) {
            destino += u'.';
            AgregarCifras(destino, t.msec(), 3);
        }
    }
    destino += u'\'';
}
} // namespace

QString Conexion::ValorSQL(const Variant& valor, const QString& marca) const {
    QString literal;
    AgregarValorSQL(literal, valor, marca);
    return literal;
}

void Conexion::AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca) const {
    using T = Variant::Tipo;
    if (marca == u"'") {
        switch (valor.tipo()) {
        case T::Nulo:
            destino += QLatin1StringView("NULL");
            return;
        case T::Fecha:
            AgregarFecha(destino, valor.Fecha(), motor_ == Motor::Embebido);
            return;
        case T::Objeto:
            throw Falla::TiposNoCoinciden(QStringLiteral("un objeto no es un valor de texto"));
        default: {
            const QString texto = valor.Texto();
            destino += u'\'';
            qsizetype desde = 0;
            for (qsizetype comilla = texto.indexOf(u'\''); comilla >= 0;
                 comilla = texto.indexOf(u'\'', desde)) {
                destino += QStringView(texto).mid(desde, comilla - desde + 1);
                destino += u'\'';
                desde = comilla + 1;
            }
            destino += QStringView(texto).mid(desde);
            destino += u'\'';
            return;
        }
        }
    }
    if (marca == u"@") {
        switch (valor.tipo()) {
        case T::Nulo:
            destino += QLatin1StringView("NULL");
            return;
        case T::Vacio:
            destino += u'0';
            return;
        case T::Entero:
        case T::Decimal:
            destino += valor.Texto();
            return;
        case T::Doble:
            if (!std::isfinite(valor.Doble()))
                throw Falla::Desbordamiento(QStringLiteral("el número no es finito"));
            destino += valor.Texto();
            return;
        case T::Booleano:
            destino += valor.Booleano() ? u'1' : u'0';
            return;
        case T::Texto: {
            const auto literal = Variant::NumeroLiteral(valor.Texto());
            if (!literal)
                throw Falla::TiposNoCoinciden(
                    QStringLiteral("\"%1\" no es un número").arg(valor.Texto()));
            destino += *literal;
            return;
        }
        case T::Fecha:
        case T::Objeto:
            break;
        }
        throw Falla::TiposNoCoinciden(QStringLiteral("el valor no es un número"));
    }
    throw Falla::ArgumentoNoValido(
        QStringLiteral("marca de valor desconocida: %1").arg(marca.toString()));
}

void Conexion::BeginTrans() {
    ComprobarConectada();
    QSqlDatabase base = BaseQt();
    if (!base.transaction())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
    enTransaccion_ = true;
    if (motor_ == Motor::Odbc && admiteBloques_) {
        // The PostgreSQL driver starts the server's transaction together with the first
        // statement and guards only the statements after it with its own savepoint: a first
        // statement refused would leave the whole transaction aborted. Starting it here puts
        // every statement of the caller under that guard.
        try {
            SentenciaOdbc(Odbc()).Ejecutar(QStringLiteral("SELECT 1"));
        } catch (const Falla&) {
            base.rollback();
            enTransaccion_ = false;
            throw;
        }
    }
}

void Conexion::CommitTrans() {
    ComprobarConectada();
    QSqlDatabase base = BaseQt();
    if (!base.commit())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
    enTransaccion_ = false;
}

void Conexion::RollbackTrans() {
    ComprobarConectada();
    if (motor_ == Motor::Embebido && sqlite3_get_autocommit(Sqlite())) {
        // The engine already undid it.
        enTransaccion_ = false;
        return;
    }
    QSqlDatabase base = BaseQt();
    if (!base.rollback())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
    enTransaccion_ = false;
}

bool Conexion::TransaccionAbierta() const {
    if (!enTransaccion_ || motor_ == Motor::Ninguno)
        return false;
    if (motor_ == Motor::Embebido)
        return !sqlite3_get_autocommit(Sqlite());
    return !ConexionPerdida();
}

QStringList Conexion::ClavePrimaria(const QString& tabla) const {
    ComprobarConectada();
    QSqlDatabase base = BaseQt();
    QSqlIndex indice = base.primaryIndex(tabla);
    if (indice.isEmpty() && motor_ == Motor::Odbc)
        indice = base.primaryIndex(tabla.toLower());
    QStringList nombres;
    for (int i = 0; i < indice.count(); ++i)
        nombres << indice.fieldName(i);
    return nombres;
}
