#include "MotorEmbebido.h"

#include "AlSalir.h"
#include "ColacionFecha.h"
#include "Entorno.h"
#include "Falla.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cmath>
#include <sqlite3.h>

namespace {

// The run sends one statement per line, so the engine's allocator is on the hot path: without
// memory statistics it takes no lock per allocation. The setting is only accepted before the
// engine starts, hence at program start.
const int SinEstadisticasDeMemoria = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

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

bool Contiene(const QString& t, const char* parte) {
    return t.contains(QLatin1String(parte));
}

// Kind and size of a column from its declared type, sized as an ODBC driver reports them:
// characters for texts, precision for decimals, bytes otherwise.
void ColumnaDeclarada(const QString& t, Columna& c) {
    // Dates first: "DATETIME TEXT" is a date kept as text.
    if (Contiene(t, "TIMESTAMP") || Contiene(t, "DATETIME"))
        c = {c.nombre, 16, TipoDato::Fecha};
    else if (Contiene(t, "DATE") || Contiene(t, "TIME"))
        c = {c.nombre, 6, TipoDato::Fecha};
    else if (Contiene(t, "CHAR") || Contiene(t, "TEXT") || Contiene(t, "CLOB"))
        c = {c.nombre, LargoDeclarado(t, LargoTextoSinLimite), TipoDato::Texto};
    else if (Contiene(t, "BIGINT"))
        c = {c.nombre, 8, TipoDato::Entero};
    else if (Contiene(t, "SMALLINT"))
        c = {c.nombre, 2, TipoDato::Entero};
    else if (Contiene(t, "TINYINT"))
        c = {c.nombre, 1, TipoDato::Entero};
    else if (Contiene(t, "INT"))
        c = {c.nombre, 4, TipoDato::Entero};
    else if (Contiene(t, "DEC") || Contiene(t, "NUMERIC") || Contiene(t, "MONEY"))
        c = {c.nombre, LargoDeclarado(t, 18), TipoDato::Decimal};
    else if (t.startsWith(QLatin1String("REAL")))
        c = {c.nombre, 4, TipoDato::Doble};
    else if (Contiene(t, "FLOA") || Contiene(t, "DOUB"))
        c = {c.nombre, 8, TipoDato::Doble};
    else if (Contiene(t, "BOOL") || t == QLatin1String("BIT"))
        c = {c.nombre, 2, TipoDato::Booleano};
    else if (Contiene(t, "BLOB") || Contiene(t, "BINARY"))
        c = {c.nombre, LargoDeclarado(t, LargoTextoSinLimite), TipoDato::Binario};
    else
        c = {c.nombre, LargoTextoSinLimite, TipoDato::Texto};
}

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

Variant DesdeTexto(const QString& texto, TipoDato tipo) {
    bool ok = false;
    switch (tipo) {
    case TipoDato::Entero:
        if (const qint64 n = texto.toLongLong(&ok); ok)
            return Variant(n);
        break;
    case TipoDato::Doble:
        if (const double d = texto.toDouble(&ok); ok)
            return Variant(d);
        break;
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

// One statement of the engine, finalized whatever happens.
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
                throw Falla::BaseDeDatos(QStringLiteral("Sólo se ejecuta una sentencia a la vez"));
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

QString TextoDe(sqlite3_stmt* s, int i) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                             sqlite3_column_bytes(s, i));
}

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
        if (tipo == TipoDato::Doble || !std::isfinite(d))
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
        return DesdeTexto(TextoDe(s, i), tipo);
    }
}

// The kind of an expression without a declared type, from the value of its current row.
void DeducirColumna(sqlite3_stmt* s, int i, Columna& c) {
    switch (sqlite3_column_type(s, i)) {
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
        c.tamano = qMax(c.tamano, long(TextoDe(s, i).size()));
        break;
    default:
        break;
    }
}

// Every row of a statement ready to run: column definitions from the declared types (or, for
// an expression, from its values), then the cells row after row.
void LeerFilas(sqlite3* base, sqlite3_stmt* s, QList<Columna>& definicion,
               Celdas& celdas) {
    const int columnas = sqlite3_column_count(s);
    definicion.resize(columnas);
    QList<bool> deducir(columnas, false);
    for (int i = 0; i < columnas; ++i) {
        definicion[i].nombre = QString::fromUtf8(sqlite3_column_name(s, i));
        deducir[i] = !ColumnaSqlite(sqlite3_column_decltype(s, i), definicion[i]);
    }
    for (;;) {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            throw Falla::BaseDeDatos(QString::fromUtf8(sqlite3_errmsg(base)));
        for (int i = 0; i < columnas; ++i) {
            if (deducir[i])
                DeducirColumna(s, i, definicion[i]);
            if (definicion[i].tipo == TipoDato::Texto && sqlite3_column_type(s, i) == SQLITE_TEXT)
                celdas.AgregarTextoUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                        sqlite3_column_bytes(s, i));
            else
                celdas.Agregar(ValorSqlite(s, i, definicion[i].tipo));
        }
    }
}

} // namespace

std::unique_ptr<MotorEmbebido> MotorEmbebido::Abrir(const QString& nombreQt, const QString& ruta,
                                                    int modo, QString& error) {
    // On a read-only file system nothing can change the file, and SQLite may say so
    // (immutable): it then reads a database in WAL mode without the shared-memory file it
    // otherwise needs beside it, which cannot be created there. Not while changes wait in the
    // WAL file, which an immutable database never reads. Writing is refused at once.
    const bool soloLectura = Entorno::EnSistemaDeSoloLectura(ruta);
    const bool inmutable = soloLectura && QFileInfo(ruta + QStringLiteral("-wal")).size() == 0;
    if (soloLectura && modo != 1) {
        error = QStringLiteral("No se puede abrir la base de datos %1 para escribir: %2")
                    .arg(ruta, Entorno::PorQueNoSePuedeEscribir(ruta));
        return nullptr;
    }
    sqlite3* manejador = nullptr;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombreQt);
        // A URI with mode=rw (or ro) never creates the file: a database that vanished is a
        // failure, not a new empty database.
        base.setDatabaseName(QStringLiteral("file:%1?mode=%2%3")
                                 .arg(QString::fromLatin1(QUrl::toPercentEncoding(ruta, "/")),
                                      modo == 1 ? QStringLiteral("ro") : QStringLiteral("rw"),
                                      inmutable ? QStringLiteral("&immutable=1") : QString()));
        base.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        // SQLite's own reason, preceded, when the file or its folder is out of this user's
        // reach for writing, by who may write there and what to do.
        auto noSeAbre = [&](const QSqlError& falla) {
            const QString permisos = modo == 1 ? QString() : Entorno::PorQueNoSePuedeEscribir(ruta);
            error = QStringLiteral("No se puede abrir la base de datos %1: %2")
                        .arg(ruta, permisos.isEmpty() ? MensajeDe(falla)
                                                      : permisos + QStringLiteral(" (") + MensajeDe(falla) + u')');
        };
        if (!base.open()) {
            noSeAbre(base.lastError());
        } else {
            QSqlQuery prueba(base);
            if (!prueba.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                noSeAbre(prueba.lastError());
            } else if (!ColacionFecha::Registrar(ManejadorSqlite(base))) {
                error = QStringLiteral("No se puede preparar la base de datos %1: %2")
                            .arg(ruta, QString::fromUtf8(sqlite3_errmsg(ManejadorSqlite(base))));
            } else {
                prueba.finish();
                QSqlQuery(base).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
                manejador = ManejadorSqlite(base);
            }
        }
    }
    if (!manejador) {
        {
            QSqlDatabase base = QSqlDatabase::database(nombreQt, false);
            base.close();
        }
        QSqlDatabase::removeDatabase(nombreQt);
        return nullptr;
    }
    return std::unique_ptr<MotorEmbebido>(new MotorEmbebido(nombreQt, ruta, manejador));
}

MotorEmbebido::MotorEmbebido(const QString& nombreQt, const QString& ruta, sqlite3* base)
    : Motor(nombreQt), ruta_(ruta), base_(base) {
    preparadas_.Usar(base_);
}

MotorEmbebido::~MotorEmbebido() {
    SoltarBloqueoDeCorrida();
    // Kept statements must go before the engine can close the file.
    for (auto& [sql, sentencia] : consultas_)
        sqlite3_finalize(sentencia);
    preparadas_.Vaciar();
    preparadas_.Usar(nullptr);
}

void MotorEmbebido::Leer(const QString& sql, QList<Columna>& definicion,
                         Celdas& celdas) {
    SentenciaNativa s(base_, sql.toUtf8());
    LeerFilas(base_, *s, definicion, celdas);
}

void MotorEmbebido::LeerPreparada(const QString& sql, const QList<Variant>& valores,
                                  QList<Columna>& definicion, Celdas& celdas) {
    sqlite3_stmt*& s = consultas_[sql];
    if (!s) {
        const QByteArray texto = sql.toUtf8();
        if (sqlite3_prepare_v3(base_, texto.constData(), int(texto.size()), SQLITE_PREPARE_PERSISTENT,
                               &s, nullptr) != SQLITE_OK) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(base_));
            sqlite3_finalize(s);
            consultas_.erase(sql);
            throw Falla::BaseDeDatos(error);
        }
    }
    // Whatever happens, the statement is left ready for its next values.
    AlSalir listo([s] {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    });
    for (qsizetype i = 0; i < valores.size(); ++i) {
        const Variant& v = valores[i];
        const int n = int(i + 1);
        if (v.EsNulo())
            sqlite3_bind_null(s, n);
        else if (v.tipo() == Variant::Tipo::Entero)
            sqlite3_bind_int64(s, n, v.Entero());
        else {
            const QByteArray texto = v.Texto().toUtf8();
            sqlite3_bind_text(s, n, texto.constData(), int(texto.size()), SQLITE_TRANSIENT);
        }
    }
    LeerFilas(base_, s, definicion, celdas);
}

int MotorEmbebido::Ejecutar(const QString& sql) {
    const QByteArray texto = sql.toUtf8();
    int cambios = 0;
    if (preparadas_.Ejecutar(texto, cambios))
        return cambios;
    SentenciaNativa s(base_, texto);
    while (s.Paso()) {
    }
    return sqlite3_changes(base_);
}

void MotorEmbebido::Comenzar() {
    // The write lock is taken at the start: a transaction that reads first and writes later
    // could otherwise find that another program wrote in between, and be refused at its first
    // write. Another writer is waited for as long as a statement may wait.
    char* error = nullptr;
    if (sqlite3_exec(base_, "BEGIN IMMEDIATE", nullptr, nullptr, &error) != SQLITE_OK) {
        const QString mensaje = QString::fromUtf8(error ? error : sqlite3_errmsg(base_));
        sqlite3_free(error);
        throw Falla::BaseDeDatos(mensaje);
    }
}

void MotorEmbebido::Deshacer() {
    // The engine may already have undone it by itself.
    if (sqlite3_get_autocommit(base_))
        return;
    Motor::Deshacer();
}

bool MotorEmbebido::TransaccionAbierta() const {
    return !sqlite3_get_autocommit(base_);
}

void MotorEmbebido::EstablecerTiempoDeEspera(int segundos) {
    // On the embedded database the limit is how long a statement waits for another writer's
    // lock.
    sqlite3_busy_timeout(base_, segundos ? segundos * 1000 : 0x7fffffff);
}

bool MotorEmbebido::TomarBloqueoDeCorrida(int espera) {
    if (bloqueo_ >= 0)
        return true;
    const QString archivo = ruta_ + QStringLiteral(".corrida");
    const int fd = ::open(QFile::encodeName(archivo).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw Falla::Archivo(Errores::AccesoDenegado,
                             QStringLiteral("%1: %2").arg(archivo, QString::fromLocal8Bit(std::strerror(errno))));
    QDeadlineTimer limite(qint64(espera) * 1000);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            bloqueo_ = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const QString razon = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            throw Falla::Archivo(Errores::ErrorES, QStringLiteral("%1: %2").arg(archivo, razon));
        }
        if (limite.hasExpired()) {
            ::close(fd);
            return false;
        }
        QThread::msleep(qMin<qint64>(200, qMax<qint64>(1, limite.remainingTime())));
    }
}

void MotorEmbebido::SoltarBloqueoDeCorrida() {
    // The file stays: removing it while another process waits on it would let a third take a
    // new one at the same time.
    if (bloqueo_ >= 0)
        ::close(bloqueo_);
    bloqueo_ = -1;
}
