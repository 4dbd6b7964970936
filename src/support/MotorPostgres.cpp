#include "MotorPostgres.h"

#include "AlSalir.h"
#include "ColacionFecha.h"
#include "Falla.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>
#include <libpq-fe.h>
#include <poll.h>

namespace {

// Type numbers of the server's catalogue the program tells apart.
enum : Oid {
    TipoBool = 16,
    TipoBytea = 17,
    TipoChar = 18,
    TipoName = 19,
    TipoInt8 = 20,
    TipoInt2 = 21,
    TipoInt4 = 23,
    TipoText = 25,
    TipoOid = 26,
    TipoFloat4 = 700,
    TipoFloat8 = 701,
    TipoBpchar = 1042,
    TipoVarchar = 1043,
    TipoDate = 1082,
    TipoTime = 1083,
    TipoTimestamp = 1114,
    TipoTimestamptz = 1184,
    TipoNumeric = 1700,
    TipoUuid = 2950,
};

// A column as the ODBC driver describes it, so that both ways of reaching the server give
// the program the same kinds and sizes: characters for texts, precision for decimals, bytes
// for fixed-size types.
Columna Describir(const QString& nombre, Oid tipo, int modificador) {
    const long largo = modificador > 4 ? long(modificador - 4) : 0;
    switch (tipo) {
    case TipoInt2:
        return {nombre, 2, TipoDato::Entero};
    case TipoInt4:
    case TipoOid:
        return {nombre, 4, TipoDato::Entero};
    case TipoInt8:
        return {nombre, 8, TipoDato::Entero};
    case TipoFloat4:
        return {nombre, 4, TipoDato::Doble};
    case TipoFloat8:
        return {nombre, 8, TipoDato::Doble};
    case TipoNumeric:
        return {nombre, modificador > 4 ? long(((modificador - 4) >> 16) & 0xffff) : 28, TipoDato::Decimal};
    case TipoBool:
        return {nombre, 5, TipoDato::Texto};
    case TipoText:
        return {nombre, 8190, TipoDato::Texto};
    case TipoVarchar:
        return {nombre, largo ? largo : 255, TipoDato::Texto};
    case TipoBpchar:
        return {nombre, largo ? largo : 1, TipoDato::Texto};
    case TipoChar:
        return {nombre, 1, TipoDato::Texto};
    case TipoName:
        return {nombre, 63, TipoDato::Texto};
    case TipoDate:
    case TipoTime:
        return {nombre, 6, TipoDato::Fecha};
    case TipoTimestamp:
    case TipoTimestamptz:
        return {nombre, 16, TipoDato::Fecha};
    case TipoBytea:
        return {nombre, 65535, TipoDato::Binario};
    case TipoUuid:
        return {nombre, 16, TipoDato::Texto};
    default:
        return {nombre, 255, TipoDato::Texto};
    }
}

// "2024-01-02", "2024-01-02 10:11:12.345678", "10:11:12", with or without a zone after
// them (left aside, as the ODBC driver leaves it); infinity is no day of the calendar.
Variant FechaDe(const char* texto, Oid tipo) {
    const QByteArray t(texto);
    if (t.endsWith("infinity"))
        return Variant(QDateTime());
    const bool antesDeCristo = t.endsWith(" BC");
    auto numero = [&](qsizetype desde, qsizetype cuantos) {
        return t.mid(desde, cuantos).toInt();
    };
    QDate dia(1899, 12, 30);
    qsizetype hora = 0;
    if (tipo != TipoTime) {
        const qsizetype guion = t.indexOf('-', 1);
        if (guion < 0)
            return Variant(QString::fromUtf8(t));
        int anio = numero(0, guion);
        if (antesDeCristo)
            anio = -anio;
        dia = QDate(anio, numero(guion + 1, 2), numero(guion + 4, 2));
        hora = guion + 7;
        if (tipo == TipoDate || hora >= t.size())
            return Variant::Fecha(dia);
    }
    int ms = 0;
    // A time of day comes without its fraction through the driver; a timestamp keeps
    // milliseconds.
    if (tipo != TipoTime && hora + 8 < t.size() && t[hora + 8] == '.') {
        // Milliseconds, the rest of the fraction left out, as the driver truncates it.
        QByteArray fraccion;
        for (qsizetype i = hora + 9; i < t.size() && fraccion.size() < 3 && t[i] >= '0' && t[i] <= '9'; ++i)
            fraccion += t[i];
        ms = fraccion.leftJustified(3, '0').toInt();
    }
    return Variant::Fecha(dia, QTime(numero(hora, 2), numero(hora + 3, 2), numero(hora + 6, 2), ms));
}

Variant ValorDe(const PGresult* r, int fila, int columna, Oid tipo, TipoDato dato) {
    if (PQgetisnull(r, fila, columna))
        return Variant::Nulo();
    const char* texto = PQgetvalue(r, fila, columna);
    const int bytes = PQgetlength(r, fila, columna);
    switch (tipo) {
    case TipoBool:
        // The ODBC driver hands booleans over as the texts 1 and 0.
        return Variant(QString(texto[0] == 't' ? u'1' : u'0'));
    case TipoBytea:
        // Hexadecimal digits after "\x", as the driver gives the bytes.
        return Variant(QString::fromLatin1(texto + (bytes >= 2 ? 2 : 0), bytes >= 2 ? bytes - 2 : 0));
    case TipoUuid:
        return Variant(QString::fromLatin1(texto, bytes).toUpper());
    default:
        break;
    }
    switch (dato) {
    case TipoDato::Entero:
        return Variant(QByteArray::fromRawData(texto, bytes).toLongLong());
    case TipoDato::Doble:
        return Variant(QByteArray::fromRawData(texto, bytes).toDouble());
    case TipoDato::Decimal: {
        const QString t = QString::fromLatin1(texto, bytes);
        if (auto literal = Variant::NumeroLiteral(t))
            return Variant::DecimalLeido(*literal);
        return Variant(t);
    }
    case TipoDato::Fecha:
        return FechaDe(texto, tipo);
    default:
        return Variant(QString::fromUtf8(texto, bytes));
    }
}

void Convertir(const PGresult* r, QList<Columna>& definicion, Celdas& celdas) {
    const int columnas = PQnfields(r);
    definicion.resize(columnas);
    std::vector<Oid> tipos;
    tipos.resize(size_t(columnas));
    for (int i = 0; i < columnas; ++i) {
        tipos[size_t(i)] = PQftype(r, i);
        definicion[i] = Describir(QString::fromUtf8(PQfname(r, i)), tipos[size_t(i)], PQfmod(r, i));
    }
    const int filas = PQntuples(r);
    for (int f = 0; f < filas; ++f)
        for (int i = 0; i < columnas; ++i) {
            if (definicion[i].tipo == TipoDato::Texto && tipos[size_t(i)] != TipoBool &&
                tipos[size_t(i)] != TipoUuid && !PQgetisnull(r, f, i))
                celdas.AgregarTextoUtf8(PQgetvalue(r, f, i), PQgetlength(r, f, i));
            else
                celdas.Agregar(ValorDe(r, f, i, tipos[size_t(i)], definicion[i].tipo));
        }
}

// The statement with $1, $2... in place of each "?" outside quotes.
QByteArray ConDolares(const QString& sql) {
    QString texto;
    bool enComillas = false;
    int n = 0;
    for (const QChar c : sql) {
        if (c == u'\'')
            enComillas = !enComillas;
        if (c == u'?' && !enComillas)
            texto += u'$' + QString::number(++n);
        else
            texto += c;
    }
    return texto.toUtf8();
}

bool Bien(const PGresult* r) {
    const ExecStatusType e = PQresultStatus(r);
    return e == PGRES_COMMAND_OK || e == PGRES_TUPLES_OK || e == PGRES_EMPTY_QUERY;
}

const QByteArray PuntoDeSentencia = "remitos_sentencia";
// The savepoint of a pipeline of groups and reads.
const QByteArray PuntoDeBloque = "remitos_bloque";

} // namespace

void MotorPostgres::Liberador::operator()(pg_result* r) const {
    PQclear(r);
}

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
                tipos.push_back(forma.Marca(i) == QLatin1String("@") ? static_cast<unsigned int>(TipoNumeric) : 0u);
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
    const bool porGrupo = hayDiferibles_;
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
    const bool enBloque = !hayDiferibles_;
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
    const bool enBloque = !hayDiferibles_;
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
    if (!hayDiferibles_)
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
    // Whether the database has constraints or triggers that wait for the commit: only then is
    // each group checked at its end.
    try {
        std::vector<Resultado> r = EjecutarTexto(
            "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_trigger WHERE tgdeferrable) OR EXISTS "
            "(SELECT 1 FROM pg_catalog.pg_constraint WHERE condeferrable)");
        hayDiferibles_ = !r.empty() && PQntuples(r.back().get()) == 1 &&
                         PQgetvalue(r.back().get(), 0, 0)[0] == 't';
    } catch (const Falla&) {
        EnviarTexto("ROLLBACK");
        throw;
    }
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

std::vector<MotorPostgres::Resultado> MotorPostgres::EnTuberia(const std::vector<Orden>& ordenes,
                                                                size_t hasta,
                                                                const std::function<void(const std::vector<Resultado>&)>& alLlegar) {
    if (!PQenterPipelineMode(conexion_))
        throw FallaDeLaConexion(QStringLiteral("no se pudo abrir la tubería de sentencias"));
    PQsetnonblocking(conexion_, 1);
    AlSalir fin([this] {
        PQexitPipelineMode(conexion_);
        PQsetnonblocking(conexion_, 0);
    });
    auto enviar = [&](const Orden& o) {
        std::vector<const char*> valores;
        std::vector<int> largos;
        for (size_t i = 0; i < o.valores.size(); ++i) {
            valores.push_back(o.nulos[i] ? nullptr : o.valores[i].constData());
            largos.push_back(int(o.valores[i].size()));
        }
        const int n = int(valores.size());
        const int bien = o.preparada
                             ? PQsendQueryPrepared(conexion_, o.texto.constData(), n, valores.data(),
                                                   largos.data(), nullptr, 0)
                             : PQsendQueryParams(conexion_, o.texto.constData(), n, nullptr,
                                                 valores.data(), largos.data(), nullptr, 0);
        if (!bien)
            throw FallaDeLaConexion(QStringLiteral("no se pudo enviar la sentencia"));
    };
    std::vector<Resultado> resultados(ordenes.size());
    size_t actual = 0;   // the command whose results come now
    size_t enviadas = 0; // commands sent so far
    bool sincronizacionEnviada = false;
    bool sincronizado = false;
    bool avisado = false;
    bool todoEnviado = false;
    // The results before hasta are handed over once they are in and everything has been sent,
    // so that the server has the rest to work on meanwhile.
    auto avisar = [&] {
        if (alLlegar && !avisado && todoEnviado && actual >= hasta) {
            avisado = true;
            alLlegar(resultados);
        }
    };
    // Takes whatever results have arrived, without waiting.
    auto recoger = [&] {
        if (!PQconsumeInput(conexion_))
            throw FallaDeLaConexion(QStringLiteral("se perdió la conexión"));
        avisar();
        while (!sincronizado && !PQisBusy(conexion_)) {
            // Nothing more can come before more is sent.
            if (actual >= enviadas && !sincronizacionEnviada)
                return;
            avisar();
            PGresult* r = PQgetResult(conexion_);
            if (!r) {
                // This command's results are over.
                if (actual >= ordenes.size())
                    return;
                ++actual;
                continue;
            }
            if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                sincronizado = true;
                return;
            }
            if (actual < resultados.size() && !resultados[actual])
                resultados[actual].reset(r);
            else
                PQclear(r);
        }
        avisar();
    };
    // Waits until the server can take more or has something to say.
    auto esperar = [&](bool escribir) {
        pollfd p{PQsocket(conexion_), short(POLLIN | (escribir ? POLLOUT : 0)), 0};
        if (p.fd < 0)
            throw FallaDeLaConexion(QStringLiteral("se perdió la conexión"));
        ::poll(&p, 1, 1000);
    };
    for (const Orden& o : ordenes) {
        enviar(o);
        // The client library sends its buffer when it grows large; what the server has
        // answered meanwhile is taken, so that it never waits for the client to read.
        if (++enviadas % 512 == 0) {
            if (PQflush(conexion_) < 0)
                throw FallaDeLaConexion(QStringLiteral("se perdió la conexión"));
            recoger();
        }
    }
    if (!PQpipelineSync(conexion_))
        throw FallaDeLaConexion(QStringLiteral("no se pudo terminar la tubería de sentencias"));
    sincronizacionEnviada = true;
    for (;;) {
        const int pendiente = PQflush(conexion_);
        if (pendiente < 0)
            throw FallaDeLaConexion(QStringLiteral("se perdió la conexión"));
        todoEnviado = pendiente == 0;
        recoger();
        if (sincronizado)
            break;
        esperar(pendiente == 1);
    }
    if (alLlegar && !avisado)
        alLlegar(resultados);
    return resultados;
}
