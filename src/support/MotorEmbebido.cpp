#include "MotorEmbebido.h"

#include "AlSalir.h"
#include "ColacionFecha.h"
#include "Entorno.h"
#include "Falla.h"
#include "LecturaSqlite.h"

#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QDeadlineTimer>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
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

// One statement of the engine, finalized whatever happens.
class SentenciaNativa {
public:
    SentenciaNativa(sqlite3* base, const QByteArray& texto) : base_(base) {
        const char* resto = nullptr;
        if (sqlite3_prepare_v2(base, texto.constData(), int(texto.size()), &sentencia_, &resto) !=
            SQLITE_OK)
            throw LecturaSqlite::FallaDe(base);
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
        throw LecturaSqlite::FallaDe(base_);
    }
    sqlite3_stmt* operator*() const { return sentencia_; }

private:
    sqlite3* base_;
    sqlite3_stmt* sentencia_ = nullptr;
};

} // namespace

std::unique_ptr<MotorEmbebido> MotorEmbebido::Abrir(const QString& nombreQt, const QString& ruta,
                                                    int modo, QString& error) {
    // On a read-only file system nothing can change the file, and SQLite may say so
    // (immutable): it then reads a database in WAL mode without the shared-memory file it
    // otherwise needs beside it, which cannot be created there. Not while changes wait in the
    // WAL file, which an immutable database never reads. Writing is refused at once.
    const bool soloLectura = Entorno::EnSistemaDeSoloLectura(ruta);
    const bool inmutable = soloLectura && QFileInfo(ruta + QStringLiteral("-wal")).size() == 0;
    auto noSeEscribe = [&](const QString& motivo) {
        const QString permisos = Entorno::PorQueNoSePuedeEscribir(ruta);
        error = QStringLiteral("No se puede abrir la base de datos %1 para escribir: %2")
                    .arg(ruta, permisos.isEmpty() ? motivo : permisos);
    };
    if (soloLectura && modo != 1) {
        noSeEscribe(QString());
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
            } else if (modo != 1 && sqlite3_db_readonly(ManejadorSqlite(base), "main") == 1) {
                // SQLite opens a file this user may not write for reading only, and says so
                // only at the first write: every step of a run would fail after it.
                noSeEscribe(QStringLiteral("attempt to write a readonly database"));
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
    : Motor(nombreQt), ruta_(ruta), base_(base) {}

MotorEmbebido::~MotorEmbebido() {
    SoltarBloqueoDeCorrida();
    // Kept statements must go before the engine can close the file.
    for (auto& [sql, sentencia] : consultas_)
        sqlite3_finalize(sentencia);
    for (const Insercion& i : inserciones_)
        sqlite3_finalize(i.sentencia);
}

std::unique_ptr<MotorEmbebido> MotorEmbebido::AbrirCopia(const QString& nombreQt,
                                                         const QString& ruta, QString& error) {
    auto carpeta = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/remitos-copia-XXXXXX"));
    if (!carpeta->isValid()) {
        error = QStringLiteral("No se puede crear una carpeta para la copia de %1: %2")
                    .arg(ruta, carpeta->errorString());
        return nullptr;
    }
    const QString destino = carpeta->filePath(QStringLiteral("copia.db"));
    sqlite3* original = nullptr;
    sqlite3* copia = nullptr;
    AlSalir cerrar([&] {
        sqlite3_close_v2(original);
        sqlite3_close_v2(copia);
    });
    const QByteArray uri = "file:" + QUrl::toPercentEncoding(ruta, "/") + "?mode=ro";
    auto fallar = [&](sqlite3* base, const QString& que) {
        error = QStringLiteral("No se puede copiar la base de datos %1 (%2): %3")
                    .arg(ruta, que, QString::fromUtf8(base ? sqlite3_errmsg(base) : "sin memoria"));
        return nullptr;
    };
    if (!QFileInfo(ruta).isFile()) {
        error = QStringLiteral("No se puede abrir la base de datos %1: el archivo no existe").arg(ruta);
        return nullptr;
    }
    if (sqlite3_open_v2(uri.constData(), &original, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) != SQLITE_OK)
        return fallar(original, QStringLiteral("al abrirla para leer"));
    // A writer holding the file is waited for as a statement would be.
    sqlite3_busy_timeout(original, 360 * 1000);
    if (sqlite3_open_v2(QFile::encodeName(destino).constData(), &copia,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return fallar(copia, destino);
    sqlite3_backup* copiado = sqlite3_backup_init(copia, "main", original, "main");
    if (!copiado)
        return fallar(copia, destino);
    int paso = SQLITE_OK;
    do {
        paso = sqlite3_backup_step(copiado, -1);
        if (paso == SQLITE_BUSY || paso == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (paso == SQLITE_OK || paso == SQLITE_BUSY || paso == SQLITE_LOCKED);
    sqlite3_backup_finish(copiado);
    if (paso != SQLITE_DONE)
        return fallar(copia, destino);
    // The copy needs no journal of its own beyond the program's life.
    sqlite3_exec(copia, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    sqlite3_close_v2(original);
    sqlite3_close_v2(copia);
    original = copia = nullptr;
    auto motor = Abrir(nombreQt, destino, 3, error);
    if (motor)
        motor->copia_ = std::move(carpeta);
    return motor;
}

void MotorEmbebido::Leer(const QString& sql, QList<Columna>& definicion,
                         Celdas& celdas) {
    SentenciaNativa s(base_, sql.toUtf8());
    LecturaSqlite::LeerFilas(base_, *s, definicion, celdas);
}

[[noreturn]] void MotorEmbebido::Fallar() const {
    throw LecturaSqlite::FallaDe(base_);
}

sqlite3_stmt* MotorEmbebido::Preparada(const QString& sql) {
    const QByteArray texto = sql.toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(base_, texto.constData(), int(texto.size()), SQLITE_PREPARE_PERSISTENT,
                           &s, nullptr) != SQLITE_OK) {
        const Falla falla = LecturaSqlite::FallaDe(base_);
        sqlite3_finalize(s);
        throw falla;
    }
    return s;
}

void MotorEmbebido::LeerPreparada(const QString& sql, const QList<Variant>& valores,
                                  QList<Columna>& definicion, Celdas& celdas) {
    auto it = consultas_.find(sql);
    if (it == consultas_.end())
        it = consultas_.emplace(sql, Preparada(sql)).first;
    sqlite3_stmt* s = it->second;
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
    LecturaSqlite::LeerFilas(base_, s, definicion, celdas);
}

int MotorEmbebido::Ejecutar(const QString& sql) {
    const QByteArray texto = sql.toUtf8();
    SentenciaNativa s(base_, texto);
    while (s.Paso()) {
    }
    return sqlite3_changes(base_);
}

void MotorEmbebido::Insertar(const FormaInsercion& forma, const QList<Variant>& valores) {
    const int cuantos = forma.CantidadDeValores();
    if (valores.size() != cuantos)
        forma.Ligados(valores, Dialecto::Embebido); // fails, saying why
    QVarLengthArray<ValorLigado, 24> ligados(cuantos);
    quint32 reales = 0;
    for (int i = 0; i < cuantos; ++i) {
        ligados[i] = Ligar(valores[i], forma.Marca(i), Dialecto::Embebido);
        if (ligados[i].tipo == ValorLigado::Tipo::Real && i < 32)
            reales |= 1u << i;
    }
    // The same forma comes row after row: its head is usually the very same text.
    sqlite3_stmt* s = nullptr;
    for (const Insercion& i : inserciones_)
        if (i.reales == reales && (i.cabeza.constData() == forma.Cabeza().constData() ||
                                   i.cabeza == forma.Cabeza())) {
            s = i.sentencia;
            break;
        }
    if (!s) {
        QString sql = forma.Cabeza();
        for (int i = 0; i < cuantos; ++i) {
            if (i)
                sql += u',';
            sql += (reales >> i) & 1u ? QStringLiteral("CAST(? AS REAL)") : QStringLiteral("?");
        }
        sql += u')';
        s = Preparada(sql);
        inserciones_.push_back({forma.Cabeza(), reales, s});
    }
    // Whatever happens, the statement is left ready for the next row; every value is bound
    // again then.
    AlSalir listo([s] { sqlite3_reset(s); });
    for (int i = 0; i < cuantos; ++i) {
        const ValorLigado& v = ligados[i];
        switch (v.tipo) {
        case ValorLigado::Tipo::Nulo:
            sqlite3_bind_null(s, i + 1);
            break;
        case ValorLigado::Tipo::Entero:
            sqlite3_bind_int64(s, i + 1, v.entero);
            break;
        case ValorLigado::Tipo::Real:
        case ValorLigado::Tipo::Texto:
            // The text stays where it is until the row is written.
            sqlite3_bind_text16(s, i + 1, v.texto.utf16(), int(v.texto.size() * 2), SQLITE_STATIC);
            break;
        }
    }
    if (sqlite3_step(s) != SQLITE_DONE)
        Fallar();
}

void MotorEmbebido::EjecutarGuardada(const QString& sql) {
    auto it = consultas_.find(sql);
    if (it == consultas_.end())
        it = consultas_.emplace(sql, Preparada(sql)).first;
    sqlite3_stmt* s = it->second;
    AlSalir listo([s] { sqlite3_reset(s); });
    if (sqlite3_step(s) != SQLITE_DONE)
        Fallar();
}

void MotorEmbebido::Guardar(const QString& nombre) {
    EjecutarGuardada(QStringLiteral("SAVEPOINT ") + nombre);
}

void MotorEmbebido::VolverA(const QString& nombre) {
    EjecutarGuardada(QStringLiteral("ROLLBACK TO SAVEPOINT ") + nombre);
}

void MotorEmbebido::Liberar(const QString& nombre) {
    EjecutarGuardada(QStringLiteral("RELEASE SAVEPOINT ") + nombre);
}

namespace {
// A transaction statement run as it stands; its failure classed as any other.
void Transaccional(sqlite3* base, const char* sentencia) {
    if (sqlite3_exec(base, sentencia, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw LecturaSqlite::FallaDe(base);
}
} // namespace

void MotorEmbebido::Comenzar() {
    // The write lock is taken at the start: a transaction that reads first and writes later
    // could otherwise find that another program wrote in between, and be refused at its first
    // write. Another writer is waited for as long as a statement may wait; past that, the
    // failure is one of storage (the database is busy) and nothing is written.
    Transaccional(base_, "BEGIN IMMEDIATE");
}

void MotorEmbebido::Confirmar() {
    if (sqlite3_get_autocommit(base_))
        throw Falla::BaseDeDatos(QStringLiteral("La base de datos deshizo la transacción antes "
                                                "de confirmarla"));
    Transaccional(base_, "COMMIT");
}

void MotorEmbebido::Deshacer() {
    // The engine may already have undone it by itself.
    if (sqlite3_get_autocommit(base_))
        return;
    Transaccional(base_, "ROLLBACK");
}

QString MotorEmbebido::DiferidasIncumplidas() {
    // Foreign keys declared deferred are only checked at commit: the engine counts the ones
    // the transaction breaks.
    int actuales = 0, maximo = 0;
    if (sqlite3_db_status(base_, SQLITE_DBSTATUS_DEFERRED_FKS, &actuales, &maximo, 0) ==
            SQLITE_OK &&
        actuales > 0)
        return QStringLiteral("FOREIGN KEY constraint failed");
    return {};
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
    // A private copy is nobody else's.
    if (bloqueo_ >= 0 || copia_)
        return true;
    const QString canonica = QFileInfo(ruta_).canonicalFilePath();
    const QString archivo = (canonica.isEmpty() ? ruta_ : canonica) + QStringLiteral(".corrida");
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
