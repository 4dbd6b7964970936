#include "MotorPostgres.h"

#include "LecturaPostgres.h"

#include "Falla.h"

#include <QDeadlineTimer>
#include <QThread>
#include <libpq-fe.h>

namespace {

using LecturaPostgres::ConDolares;
using LecturaPostgres::Convertir;

bool Bien(const PGresult* r) {
    const ExecStatusType e = PQresultStatus(r);
    return e == PGRES_COMMAND_OK || e == PGRES_TUPLES_OK || e == PGRES_EMPTY_QUERY;
}

const QByteArray PuntoDeSentencia = "remitos_sentencia";
// The savepoint of a pipeline of groups and reads.
const QByteArray PuntoDeBloque = "remitos_bloque";

} // namespace

std::unique_ptr<MotorPostgres> MotorPostgres::Abrir(const ParametrosPostgres& p, int espera,
                                                    int modo, QString& error) {
    std::vector<QByteArray> claves, valores;
    auto poner = [&](const char* clave, const QString& valor) {
        if (!valor.trimmed().isEmpty()) {
            claves.emplace_back(clave);
            valores.push_back(valor.trimmed().toUtf8());
        }
    };
    poner("host", p.host);
    poner("port", p.puerto);
    poner("dbname", p.base);
    poner("user", p.usuario);
    poner("password", p.clave);
    poner("sslmode", p.modoSsl);
    poner("connect_timeout", QString::number(espera > 0 ? espera : 15));
    poner("client_encoding", QStringLiteral("UTF8"));
    poner("fallback_application_name", QStringLiteral("remitos"));
    std::vector<const char*> k, v;
    for (size_t i = 0; i < claves.size(); ++i) {
        k.push_back(claves[i].constData());
        v.push_back(valores[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    PGconn* conexion = PQconnectdbParams(k.data(), v.data(), 0);
    if (!conexion || PQstatus(conexion) != CONNECTION_OK) {
        error = conexion ? QString::fromUtf8(PQerrorMessage(conexion)).simplified()
                         : QStringLiteral("sin memoria para la conexión");
        PQfinish(conexion);
        return nullptr;
    }
    std::unique_ptr<MotorPostgres> motor(new MotorPostgres(conexion));
    error = motor->FijarSesionDeServidor(true, false);
    if (!error.isEmpty())
        return nullptr;
    if (modo == 1) {
        try {
            motor->Ejecutar(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
        } catch (const Falla& falla) {
            error = QStringLiteral("no se pudo abrir la sesión solo para leer: %1").arg(falla.Descripcion());
            return nullptr;
        }
    }
    return motor;
}

MotorPostgres::MotorPostgres(pg_conn* conexion) : Motor(QString()), conexion_(conexion) {}

MotorPostgres::~MotorPostgres() {
    PQfinish(conexion_);
}

bool MotorPostgres::Abierto() const {
    return conexion_ && PQstatus(conexion_) == CONNECTION_OK;
}

bool MotorPostgres::ConexionPerdida() const {
    return !Abierto();
}

Falla MotorPostgres::FallaDeLaConexion(const QString& que) const {
    QString mensaje = QString::fromUtf8(PQerrorMessage(conexion_)).simplified();
    if (mensaje.isEmpty())
        mensaje = que;
    return Falla::BaseDeDatos(mensaje, ClaseDeFalla::Conexion, QStringLiteral("08006"));
}

std::optional<Falla> MotorPostgres::FallaDe(const pg_result* r) const {
    if (!r)
        return FallaDeLaConexion(QStringLiteral("sin respuesta del servidor"));
    if (Bien(r))
        return std::nullopt;
    if (PQresultStatus(r) == PGRES_PIPELINE_ABORTED)
        return Falla::BaseDeDatos(QStringLiteral("la sentencia no se ejecutó: una anterior falló"));
    const char* estado = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    const QString codigo = QString::fromLatin1(estado ? estado : "");
    ClaseDeFalla clase = Falla::ClaseDeEstado(codigo);
    if (ConexionPerdida())
        clase = ClaseDeFalla::Conexion;
    QString mensaje = QString::fromUtf8(PQresultErrorMessage(r)).simplified();
    if (mensaje.isEmpty())
        mensaje = QString::fromUtf8(PQerrorMessage(conexion_)).simplified();
    return Falla::BaseDeDatos(mensaje.isEmpty() ? QStringLiteral("Error desconocido de la base de datos") : mensaje,
                              clase, codigo);
}

std::vector<MotorPostgres::Resultado> MotorPostgres::EnviarTexto(const QByteArray& sql) {
    if (!PQsendQuery(conexion_, sql.constData()))
        throw FallaDeLaConexion(QStringLiteral("no se pudo enviar la sentencia"));
    std::vector<Resultado> resultados;
    while (PGresult* r = PQgetResult(conexion_))
        resultados.emplace_back(r);
    if (ConexionPerdida())
        throw FallaDeLaConexion(QStringLiteral("se perdió la conexión"));
    return resultados;
}

std::vector<MotorPostgres::Resultado> MotorPostgres::EjecutarTexto(const QByteArray& sql) {
    std::vector<Resultado> resultados = EnviarTexto(sql);
    for (const Resultado& r : resultados)
        if (auto falla = FallaDe(r.get()))
            throw *falla;
    return resultados;
}

void MotorPostgres::VolverYLiberar(const QByteArray& punto) {
    if (PQtransactionStatus(conexion_) == PQTRANS_INERROR || PQtransactionStatus(conexion_) == PQTRANS_INTRANS)
        EjecutarTexto("ROLLBACK TO SAVEPOINT " + punto + ";RELEASE SAVEPOINT " + punto);
}

std::vector<MotorPostgres::Resultado> MotorPostgres::EjecutarGuardado(const QByteArray& sql) {
    if (PQtransactionStatus(conexion_) != PQTRANS_INTRANS)
        return EjecutarTexto(sql);
    // The statement's own failure must not doom the transaction, as through the ODBC driver.
    // A line break ends a comment the statement may close with.
    std::vector<Resultado> resultados = EnviarTexto("SAVEPOINT " + PuntoDeSentencia + ";" + sql +
                                                    "\n;RELEASE SAVEPOINT " + PuntoDeSentencia);
    for (const Resultado& r : resultados)
        if (auto falla = FallaDe(r.get())) {
            if (!falla->Grave())
                VolverYLiberar(PuntoDeSentencia);
            throw *falla;
        }
    // The savepoint's results go; the statements' stay.
    if (!resultados.empty())
        resultados.erase(resultados.begin());
    if (!resultados.empty())
        resultados.pop_back();
    return resultados;
}

void MotorPostgres::Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) {
    std::vector<Resultado> resultados = EjecutarGuardado(sql.toUtf8());
    for (auto it = resultados.rbegin(); it != resultados.rend(); ++it)
        if (PQresultStatus(it->get()) == PGRES_TUPLES_OK) {
            Convertir(it->get(), definicion, celdas);
            return;
        }
    definicion.clear();
}

int MotorPostgres::Ejecutar(const QString& sql) {
    std::vector<Resultado> resultados = EjecutarGuardado(sql.toUtf8());
    for (auto it = resultados.rbegin(); it != resultados.rend(); ++it) {
        const char* filas = PQcmdTuples(it->get());
        if (filas && *filas)
            return QByteArray(filas).toInt();
    }
    return 0;
}

QByteArray MotorPostgres::Preparada(const QByteArray& sql, const std::vector<unsigned int>& tipos) {
    const QByteArray clave = sql + '\0' +
                             QByteArray(reinterpret_cast<const char*>(tipos.data()),
                                        qsizetype(tipos.size() * sizeof(unsigned int)));
    if (const auto it = preparadas_.constFind(clave); it != preparadas_.cend())
        return *it;
    const QByteArray nombre = "remitos_" + QByteArray::number(preparadas_.size() + 1);
    const bool enTransaccion = PQtransactionStatus(conexion_) == PQTRANS_INTRANS;
    // Preparing may fail too (a table that is not there): inside a transaction it must not
    // doom it.
    if (enTransaccion)
        EjecutarTexto("SAVEPOINT " + PuntoDeSentencia);
    Resultado r(PQprepare(conexion_, nombre.constData(), sql.constData(), int(tipos.size()),
                          tipos.empty() ? nullptr : tipos.data()));
    if (auto falla = FallaDe(r.get())) {
        if (enTransaccion && !falla->Grave())
            VolverYLiberar(PuntoDeSentencia);
        throw *falla;
    }
    if (enTransaccion)
        EjecutarTexto("RELEASE SAVEPOINT " + PuntoDeSentencia);
    preparadas_.insert(clave, nombre);
    return nombre;
}

MotorPostgres::Orden MotorPostgres::OrdenDeLectura(const QByteArray& nombre,
                                                    const QList<Variant>& valores) const {
    Orden orden{nombre, true, {}, {}};
    for (const Variant& v : valores) {
        orden.nulos.push_back(v.EsNulo());
        orden.valores.push_back(v.EsNulo() ? QByteArray()
                                : v.tipo() == Variant::Tipo::Entero ? QByteArray::number(v.Entero())
                                                                     : v.Texto().toUtf8());
    }
    return orden;
}

void MotorPostgres::LeerPreparada(const QString& sql, const QList<Variant>& valores,
                                  QList<Columna>& definicion, Celdas& celdas) {
    QList<Lectura> lecturas;
    LeerPreparadaVarias(sql, {valores}, lecturas);
    definicion = std::move(lecturas[0].definicion);
    celdas = std::move(lecturas[0].celdas);
}

void MotorPostgres::LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                                        QList<Lectura>& lecturas) {
    const QByteArray nombre = Preparada(ConDolares(sql), {});
    const bool enTransaccion = PQtransactionStatus(conexion_) == PQTRANS_INTRANS;
    std::vector<Orden> ordenes;
    if (enTransaccion)
        ordenes.push_back({"SAVEPOINT " + PuntoDeSentencia, false, {}, {}});
    for (const QList<Variant>& v : valores)
        ordenes.push_back(OrdenDeLectura(nombre, v));
    if (enTransaccion)
        ordenes.push_back({"RELEASE SAVEPOINT " + PuntoDeSentencia, false, {}, {}});
    std::vector<Resultado> resultados = EnTuberia(ordenes);
    for (const Resultado& r : resultados)
        if (auto falla = FallaDe(r.get())) {
            if (enTransaccion && !falla->Grave())
                VolverYLiberar(PuntoDeSentencia);
            throw *falla;
        }
    lecturas.clear();
    const size_t primero = enTransaccion ? 1 : 0;
    for (qsizetype i = 0; i < valores.size(); ++i) {
        lecturas.emplaceBack();
        Convertir(resultados[primero + size_t(i)].get(), lecturas.last().definicion, lecturas.last().celdas);
    }
}

MotorPostgres::Orden MotorPostgres::OrdenDeInsercion(const FormaInsercion& forma,
                                                      const QList<QList<Variant>>& filas,
                                                      qsizetype desde, qsizetype cuantas) {
    // The same forma comes row after row: its statements are kept by how many rows they take.
    if (ultimaForma_ != &forma || ultimaCabeza_ != forma.Cabeza()) {
        ultimaForma_ = &forma;
        ultimaCabeza_ = forma.Cabeza();
        insercionesPorFilas_.clear();
    }
    QByteArray& nombre = insercionesPorFilas_[int(cuantas)];
    const int columnas = forma.CantidadDeValores();
    if (nombre.isEmpty()) {
        // A number is sent as a numeric value and converted to the column's type as its
        // literal would be; a text or a date has no type of its own, so the column's type
        // reads it, as it reads a quoted literal.
        std::vector<unsigned int> tipos;
        QByteArray sql = forma.Cabeza().toUtf8();
        for (qsizetype f = 0; f < cuantas; ++f) {
            if (f)
                sql += "),(";
            for (int i = 0; i < columnas; ++i) {
                tipos.push_back(forma.Marca(i) == QLatin1String("@") ? LecturaPostgres::TipoNumeric : 0u);
                sql += (i ? ",$" : "$") + QByteArray::number(f * columnas + i + 1);
            }
        }
        sql += ')';
        nombre = Preparada(sql, tipos);
    }
    Orden orden{nombre, true, {}, {}};
    orden.valores.reserve(size_t(cuantas * columnas));
    orden.nulos.reserve(size_t(cuantas * columnas));
    for (qsizetype f = desde; f < desde + cuantas; ++f)
        for (const ValorLigado& v : forma.Ligados(filas[f], Dialecto::Servidor)) {
            orden.nulos.push_back(v.tipo == ValorLigado::Tipo::Nulo);
            orden.valores.push_back(v.tipo == ValorLigado::Tipo::Entero ? QByteArray::number(v.entero)
                                                                       : v.texto.toUtf8());
        }
    return orden;
}

void MotorPostgres::Insertar(const FormaInsercion& forma, const QList<Variant>& valores) {
    const Orden orden = OrdenDeInsercion(forma, {valores}, 0, 1);
    const bool enTransaccion = PQtransactionStatus(conexion_) == PQTRANS_INTRANS;
    std::vector<Orden> ordenes;
    if (enTransaccion)
        ordenes.push_back({"SAVEPOINT " + PuntoDeSentencia, false, {}, {}});
    ordenes.push_back(orden);
    if (enTransaccion)
        ordenes.push_back({"RELEASE SAVEPOINT " + PuntoDeSentencia, false, {}, {}});
    for (const Resultado& r : EnTuberia(ordenes))
        if (auto falla = FallaDe(r.get())) {
            if (enTransaccion && !falla->Grave())
                VolverYLiberar(PuntoDeSentencia);
            throw *falla;
        }
}

bool MotorPostgres::OrdenesDeGrupos(const QList<GrupoDeFilas>& grupos, std::vector<Orden>& ordenes,
                                    std::vector<Tramo>& tramos) {
    // The rows of each group in statements of several rows each. With constraints that wait
    // for the commit, each group goes behind a savepoint of its own and has them checked at
    // its end; without, the whole pipeline is behind one savepoint (see EnUnBloque).
    const bool porGrupo = HayDiferibles();
    const QByteArray punto = PuntoDelGrupo().toUtf8();
    const QByteArray diferidas = punto + "_diferidas";
    for (const GrupoDeFilas& grupo : grupos) {
        Tramo tramo{ordenes.size(), 0, 0};
        if (porGrupo)
            ordenes.push_back({"SAVEPOINT " + punto, false, {}, {}});
        try {
            for (qsizetype desde = 0; desde < grupo.filas.size(); desde += FilasPorSentencia)
                ordenes.push_back(OrdenDeInsercion(*grupo.forma, grupo.filas, desde,
                                                   qMin<qsizetype>(FilasPorSentencia, grupo.filas.size() - desde)));
        } catch (const Falla& falla) {
            if (falla.Grave())
                throw;
            return false;
        }
        tramo.finDeFilas = ordenes.size();
        if (porGrupo) {
            for (const QByteArray& sentencia :
                 {"SAVEPOINT " + diferidas, QByteArray("SET CONSTRAINTS ALL IMMEDIATE"),
                  "ROLLBACK TO SAVEPOINT " + diferidas, "RELEASE SAVEPOINT " + diferidas})
                ordenes.push_back({sentencia, false, {}, {}});
            ordenes.push_back({"RELEASE SAVEPOINT " + punto, false, {}, {}});
        }
        tramo.fin = ordenes.size();
        tramos.push_back(tramo);
    }
    return true;
}

void MotorPostgres::ResultadosDeGrupos(const QList<GrupoDeFilas>& grupos,
                                       const std::vector<Resultado>& respuestas,
                                       const std::vector<Tramo>& tramos,
                                       QList<EscrituraDeGrupo>& resultados) {
    resultados.clear();
    for (qsizetype g = 0; g < grupos.size(); ++g) {
        const Tramo& tramo = tramos[size_t(g)];
        std::optional<Falla> falla;
        size_t donde = 0;
        for (size_t i = tramo.inicio; i < tramo.fin && !falla; ++i)
            if ((falla = FallaDe(respuestas[i].get())))
                donde = i;
        resultados.emplaceBack();
        resultados.last().rechazos = QStringList(grupos[g].filas.size());
        if (!falla)
            continue;
        if (falla->Grave())
            throw *falla;
        if (!hayDiferibles_) {
            // Everything after the failure was skipped, and the pipeline's savepoint takes the
            // groups before this one back too: they go again, this one row by row, and the
            // rest again.
            VolverYLiberar(PuntoDeBloque);
            resultados.clear();
            EscribirGrupos(grupos.mid(0, g), resultados);
            resultados.emplaceBack();
            EscribirGrupo(grupos[g], resultados.last());
            QList<EscrituraDeGrupo> resto;
            EscribirGrupos(grupos.mid(g + 1), resto);
            resultados << resto;
            return;
        }
        // Everything after the failure was skipped: back to before this group.
        VolverYLiberar(PuntoDelGrupo().toUtf8());
        if (donde >= tramo.finDeFilas) {
            // The rows went in; the group breaks a constraint checked at commit.
            resultados.last().rechazoDelGrupo = falla->Descripcion();
        } else {
            // A row was refused: this group's rows go one by one, each behind its savepoint,
            // so that only the refused ones stay out.
            EscribirGrupo(grupos[g], resultados.last());
        }
        QList<EscrituraDeGrupo> resto;
        EscribirGrupos(grupos.mid(g + 1), resto);
        resultados << resto;
        return;
    }
}

void MotorPostgres::EscribirGrupos(const QList<GrupoDeFilas>& grupos,
                                   QList<EscrituraDeGrupo>& resultados) {
    std::vector<Orden> ordenes;
    std::vector<Tramo> tramos;
    if (grupos.isEmpty() || PQtransactionStatus(conexion_) != PQTRANS_INTRANS) {
        Motor::EscribirGrupos(grupos, resultados);
        return;
    }
    const bool enBloque = !HayDiferibles();
    if (enBloque)
        ordenes.push_back({"SAVEPOINT " + PuntoDeBloque, false, {}, {}});
    // With a value that cannot be written: one group at a time.
    if (!OrdenesDeGrupos(grupos, ordenes, tramos)) {
        Motor::EscribirGrupos(grupos, resultados);
        return;
    }
    if (enBloque)
        ordenes.push_back({"RELEASE SAVEPOINT " + PuntoDeBloque, false, {}, {}});
    ResultadosDeGrupos(grupos, EnTuberia(ordenes), tramos, resultados);
}

void MotorPostgres::EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                                        const QList<QList<Variant>>& valores,
                                        const std::function<void(QList<Lectura>&)>& mientras,
                                        QList<EscrituraDeGrupo>& resultados) {
    std::vector<Orden> ordenes;
    std::vector<Tramo> tramos;
    if (valores.isEmpty() || PQtransactionStatus(conexion_) != PQTRANS_INTRANS) {
        Motor::EscribirGruposYLeer(grupos, sql, valores, mientras, resultados);
        return;
    }
    // The reads first, then the groups, all behind one savepoint (or, with constraints that
    // wait for the commit, the reads behind it and each group behind its own): the reads' rows
    // come back while the server writes, and are handed over at once.
    const bool enBloque = !HayDiferibles();
    const QByteArray nombre = Preparada(ConDolares(sql), {});
    ordenes.push_back({"SAVEPOINT " + PuntoDeBloque, false, {}, {}});
    for (const QList<Variant>& v : valores)
        ordenes.push_back(OrdenDeLectura(nombre, v));
    if (!enBloque)
        ordenes.push_back({"RELEASE SAVEPOINT " + PuntoDeBloque, false, {}, {}});
    const size_t lecturasHasta = ordenes.size();
    if (!OrdenesDeGrupos(grupos, ordenes, tramos)) {
        Motor::EscribirGruposYLeer(grupos, sql, valores, mientras, resultados);
        return;
    }
    if (enBloque)
        ordenes.push_back({"RELEASE SAVEPOINT " + PuntoDeBloque, false, {}, {}});
    bool leidas = false;
    std::exception_ptr enMientras;
    const std::vector<Resultado> respuestas =
        EnTuberia(ordenes, lecturasHasta, [&](const std::vector<Resultado>& llegadas) {
                for (size_t i = 0; i < lecturasHasta; ++i)
                if (!llegadas[i] || !Bien(llegadas[i].get()))
                    return;
            leidas = true;
            QList<Lectura> lecturas;
            for (qsizetype i = 0; i < valores.size(); ++i) {
                lecturas.emplaceBack();
                Convertir(llegadas[size_t(i) + 1].get(), lecturas.last().definicion,
                          lecturas.last().celdas);
            }
            // A failure here must not leave the pipeline half read.
            try {
                mientras(lecturas);
            } catch (...) {
                enMientras = std::current_exception();
            }
        });
    if (enMientras)
        std::rethrow_exception(enMientras);
    if (!leidas) {
        // A read failed, and everything after it was skipped: back to before the reads, then
        // the reads are the caller's and the groups go as they would alone.
        for (const Resultado& r : respuestas)
            if (auto falla = FallaDe(r.get()); falla && falla->Grave())
                throw *falla;
        VolverYLiberar(PuntoDeBloque);
        QList<Lectura> ninguna;
        mientras(ninguna);
        EscribirGrupos(grupos, resultados);
        return;
    }
    ResultadosDeGrupos(grupos, respuestas, tramos, resultados);
}

QString MotorPostgres::DiferidasIncumplidas() {
    if (!HayDiferibles())
        return {};
    const QByteArray punto = PuntoDelGrupo().toUtf8() + "_diferidas";
    EjecutarTexto("SAVEPOINT " + punto);
    QString motivo;
    std::vector<Resultado> r = EnviarTexto("SET CONSTRAINTS ALL IMMEDIATE");
    for (const Resultado& x : r)
        if (auto falla = FallaDe(x.get())) {
            if (falla->Grave())
                throw *falla;
            motivo = falla->Descripcion();
        }
    VolverYLiberar(punto);
    return motivo;
}

void MotorPostgres::Comenzar() {
    EjecutarTexto("BEGIN");
    diferiblesVistas_ = false;
}

bool MotorPostgres::HayDiferibles() {
    // Whether the database has constraints or triggers that wait for the commit: only then is
    // each group checked at its end. Asked once a transaction, when it first writes.
    if (!diferiblesVistas_) {
        const std::vector<Resultado> r = EjecutarGuardado(
            "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_trigger WHERE tgdeferrable) OR EXISTS "
            "(SELECT 1 FROM pg_catalog.pg_constraint WHERE condeferrable)");
        hayDiferibles_ = !r.empty() && PQntuples(r.back().get()) == 1 &&
                         PQgetvalue(r.back().get(), 0, 0)[0] == 't';
        diferiblesVistas_ = true;
    }
    return hayDiferibles_;
}

void MotorPostgres::Confirmar() {
    if (PQtransactionStatus(conexion_) != PQTRANS_INTRANS)
        throw Falla::BaseDeDatos(QStringLiteral("No hay una transacción abierta que confirmar"),
                                 ConexionPerdida() ? ClaseDeFalla::Conexion : ClaseDeFalla::Rechazo);
    std::vector<Resultado> r = EjecutarTexto("COMMIT");
    // A transaction the server had given up answers a COMMIT with ROLLBACK, and no error.
    if (r.empty() || qstrcmp(PQcmdStatus(r.back().get()), "COMMIT") != 0)
        throw Falla::BaseDeDatos(QStringLiteral("El servidor deshizo la transacción en lugar de confirmarla"));
}

void MotorPostgres::Deshacer() {
    if (TransaccionAbierta())
        EjecutarTexto("ROLLBACK");
}

bool MotorPostgres::TransaccionAbierta() const {
    if (!Abierto())
        return false;
    const PGTransactionStatusType estado = PQtransactionStatus(conexion_);
    return estado == PQTRANS_INTRANS || estado == PQTRANS_INERROR || estado == PQTRANS_ACTIVE;
}

void MotorPostgres::Guardar(const QString& nombre) {
    EjecutarTexto("SAVEPOINT " + nombre.toUtf8());
}

void MotorPostgres::VolverA(const QString& nombre) {
    EjecutarTexto("ROLLBACK TO SAVEPOINT " + nombre.toUtf8());
}

void MotorPostgres::Liberar(const QString& nombre) {
    EjecutarTexto("RELEASE SAVEPOINT " + nombre.toUtf8());
}

void MotorPostgres::EstablecerTiempoDeEspera(int segundos) {
    try {
        EjecutarGuardado("SET statement_timeout = " + QByteArray::number(qint64(segundos) * 1000));
    } catch (const Falla&) {
        // The server keeps its own limit.
    }
}

namespace {
// The lock's name: the run log's number, as the family names the program's files.
constexpr auto ClaveDeBloqueo = "857196";
} // namespace

bool MotorPostgres::TomarBloqueoDeCorrida(int espera) {
    if (bloqueada_)
        return true;
    QDeadlineTimer limite(qint64(espera) * 1000);
    for (;;) {
        const std::vector<Resultado> r =
            EjecutarGuardado(QByteArray("SELECT pg_try_advisory_lock(") + ClaveDeBloqueo + ")");
        if (!r.empty() && PQntuples(r.back().get()) == 1 && PQgetvalue(r.back().get(), 0, 0)[0] == 't')
            return bloqueada_ = true;
        if (limite.hasExpired())
            return false;
        QThread::msleep(qMin<qint64>(500, qMax<qint64>(1, limite.remainingTime())));
    }
}

void MotorPostgres::SoltarBloqueoDeCorrida() {
    if (!bloqueada_)
        return;
    bloqueada_ = false;
    try {
        EjecutarGuardado(QByteArray("SELECT pg_advisory_unlock(") + ClaveDeBloqueo + ")");
    } catch (const Falla&) {
        // The server lets it go with the connection.
    }
}

QStringList MotorPostgres::ClavePrimaria(const QString& tabla) const {
    auto* yo = const_cast<MotorPostgres*>(this);
    QList<Columna> definicion;
    Celdas celdas;
    try {
        yo->LeerPreparada(QStringLiteral(
                              "SELECT a.attname FROM pg_catalog.pg_index i JOIN pg_catalog.pg_attribute a "
                              "ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey) WHERE i.indrelid "
                              "= to_regclass(?) AND i.indisprimary ORDER BY array_position(i.indkey::int2[], "
                              "a.attnum)"),
                          {tabla}, definicion, celdas);
    } catch (const Falla&) {
        return {};
    }
    QStringList nombres;
    for (qsizetype i = 0; i < celdas.Cantidad(); ++i)
        nombres << celdas.Valor(i).Texto();
    return nombres;
}

std::vector<MotorPostgres::Resultado> MotorPostgres::EnTuberia(
    const std::vector<Orden>& ordenes, size_t hasta,
    const std::function<void(const std::vector<Resultado>&)>& alLlegar) {
    return TuberiaPostgres::Enviar(conexion_, ordenes, hasta, alLlegar);
}
