#include "SentenciaOdbc.h"

#include "ColacionFecha.h"
#include "Falla.h"

#include <QDateTime>
#include <sql.h>
#include <sqlext.h>

namespace {

constexpr long LargoTextoSinLimite = 65535;
// Rows fetched at a time into the bound buffers.
constexpr SQLULEN FilasPorBloque = 64;
// Texts longer than this are read value by value rather than into buffers for a whole block.
constexpr SQLULEN MaximoEnBuffer = 8192;

QString DeSqlWchar(const SQLWCHAR* texto, qsizetype unidades) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(texto), unidades);
}

// The driver's functions take their text without const.
SQLWCHAR* ParaOdbc(const QString& texto) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<ushort*>(texto.utf16()));
}

// How a column is fetched: the C type asked of the driver and the bytes a value takes.
struct Enlace {
    SQLSMALLINT tipoC = SQL_C_WCHAR;
    SQLLEN bytes = 0;
};

Enlace EnlaceDe(SQLSMALLINT tipoSql, SQLULEN tamano) {
    switch (tipoSql) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return {SQL_C_SBIGINT, sizeof(SQLBIGINT)};
    case SQL_BIT:
        return {SQL_C_BIT, sizeof(SQLCHAR)};
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return {SQL_C_DOUBLE, sizeof(SQLDOUBLE)};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        // As text: every digit the server keeps, sign and point included.
        return {SQL_C_CHAR, SQLLEN(qMax<SQLULEN>(tamano, 38) + 4)};
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return {SQL_C_TYPE_DATE, sizeof(DATE_STRUCT)};
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return {SQL_C_TYPE_TIME, sizeof(TIME_STRUCT)};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return {SQL_C_TYPE_TIMESTAMP, sizeof(TIMESTAMP_STRUCT)};
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return {SQL_C_BINARY, tamano > 0 && tamano <= MaximoEnBuffer ? SQLLEN(tamano) : 0};
    default:
        // Texts, and anything else, as UTF-16 text; a character may take two units.
        return {SQL_C_WCHAR, tamano > 0 && tamano <= MaximoEnBuffer
                                 ? SQLLEN((2 * tamano + 1) * sizeof(SQLWCHAR))
                                 : 0};
    }
}

Variant ValorDe(SQLSMALLINT tipoC, const char* dato, SQLLEN indicador, TipoDato tipo) {
    if (indicador == SQL_NULL_DATA)
        return Variant::Nulo();
    switch (tipoC) {
    case SQL_C_SBIGINT: {
        const qint64 n = *reinterpret_cast<const SQLBIGINT*>(dato);
        return tipo == TipoDato::Booleano ? Variant(n != 0) : Variant(n);
    }
    case SQL_C_BIT:
        return Variant(*reinterpret_cast<const SQLCHAR*>(dato) != 0);
    case SQL_C_DOUBLE:
        return Variant(*reinterpret_cast<const SQLDOUBLE*>(dato));
    case SQL_C_CHAR: {
        const QString texto = QString::fromLatin1(dato, indicador).trimmed();
        if (auto literal = Variant::NumeroLiteral(texto))
            return Variant::DecimalLeido(*literal);
        return Variant(texto);
    }
    case SQL_C_TYPE_DATE: {
        const auto* d = reinterpret_cast<const DATE_STRUCT*>(dato);
        return Variant::Fecha(QDate(d->year, d->month, d->day));
    }
    case SQL_C_TYPE_TIME: {
        const auto* t = reinterpret_cast<const TIME_STRUCT*>(dato);
        return Variant::Fecha(QDate(1899, 12, 30), QTime(t->hour, t->minute, t->second));
    }
    case SQL_C_TYPE_TIMESTAMP: {
        const auto* t = reinterpret_cast<const TIMESTAMP_STRUCT*>(dato);
        return Variant::Fecha(QDate(t->year, t->month, t->day),
                              QTime(t->hour, t->minute, t->second, int(t->fraction / 1000000)));
    }
    case SQL_C_BINARY:
        return Variant(QString::fromLatin1(QByteArray(dato, indicador).toHex()));
    default: {
        const QString texto = DeSqlWchar(reinterpret_cast<const SQLWCHAR*>(dato),
                                         indicador / qsizetype(sizeof(SQLWCHAR)));
        if (tipo == TipoDato::Fecha)
            if (auto fecha = ColacionFecha::LeerFecha(texto))
                return Variant(*fecha);
        return Variant(texto);
    }
    }
}

} // namespace

SentenciaOdbc::SentenciaOdbc(void* conexion) : conexion_(conexion) {
    SQLHANDLE h = SQL_NULL_HSTMT;
    if (!conexion_ || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, conexion_, &h)))
        throw Falla::Conexion(QStringLiteral("No se pudo preparar una sentencia: no hay conexión"));
    sentencia_ = h;
}

SentenciaOdbc::~SentenciaOdbc() {
    if (sentencia_)
        SQLFreeHandle(SQL_HANDLE_STMT, sentencia_);
}

Falla SentenciaOdbc::FallaDe(short tipoDeManejador, void* manejador, void* conexion) {
    QStringList mensajes;
    QString primero;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR estado[6] = {};
        SQLWCHAR texto[1024] = {};
        SQLINTEGER nativo = 0;
        SQLSMALLINT largo = 0;
        const SQLRETURN r = SQLGetDiagRecW(tipoDeManejador, manejador, i, estado, &nativo, texto,
                                           SQLSMALLINT(std::size(texto)), &largo);
        if (!SQL_SUCCEEDED(r))
            break;
        if (primero.isEmpty())
            primero = DeSqlWchar(estado, 5);
        mensajes << DeSqlWchar(texto, qMin<qsizetype>(largo, std::size(texto) - 1)).trimmed();
    }
    ClaseDeFalla clase = Falla::ClaseDeEstado(primero);
    SQLUINTEGER muerta = SQL_CD_FALSE;
    if (conexion &&
        SQL_SUCCEEDED(SQLGetConnectAttr(conexion, SQL_ATTR_CONNECTION_DEAD, &muerta, 0, nullptr)) &&
        muerta == SQL_CD_TRUE)
        clase = ClaseDeFalla::Conexion;
    return Falla::BaseDeDatos(mensajes.isEmpty() ? QStringLiteral("Error desconocido de la base de datos")
                                                 : mensajes.join(u' '),
                              clase, primero);
}

void SentenciaOdbc::Comprobar(short resultado) {
    if (!SQL_SUCCEEDED(resultado) && resultado != SQL_NO_DATA)
        throw FallaDe(SQL_HANDLE_STMT, sentencia_, conexion_);
}

int SentenciaOdbc::Ejecutar(const QString& sql) {
    Comprobar(SQLExecDirectW(sentencia_,
                             ParaOdbc(sql),
                             SQLINTEGER(sql.size())));
    SQLLEN filas = 0;
    SQLRowCount(sentencia_, &filas);
    // A text of several statements gives one result each; a later one may be the failure.
    for (;;) {
        const SQLRETURN r = SQLMoreResults(sentencia_);
        if (r == SQL_NO_DATA)
            break;
        Comprobar(r);
        SQLLEN estas = 0;
        if (SQL_SUCCEEDED(SQLRowCount(sentencia_, &estas)) && estas >= 0)
            filas = estas;
    }
    return int(qMax<SQLLEN>(filas, 0));
}

Columna SentenciaOdbc::Describir(const QString& nombre, int tipoSql, qulonglong tamanoSql) {
    const long largo = tamanoSql > 0 && tamanoSql < qulonglong(0x7fffffff) ? long(tamanoSql)
                                                                           : LargoTextoSinLimite;
    switch (tipoSql) {
    case SQL_SMALLINT:
        return {nombre, 2, TipoDato::Entero};
    case SQL_INTEGER:
        return {nombre, 4, TipoDato::Entero};
    case SQL_TINYINT:
        return {nombre, 1, TipoDato::Entero};
    case SQL_BIGINT:
        return {nombre, 8, TipoDato::Entero};
    case SQL_REAL:
        return {nombre, 4, TipoDato::Doble};
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return {nombre, 8, TipoDato::Doble};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return {nombre, largo, TipoDato::Decimal};
    case SQL_BIT:
        return {nombre, 2, TipoDato::Booleano};
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_DATE:
    case SQL_TIME:
        return {nombre, 6, TipoDato::Fecha};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return {nombre, 16, TipoDato::Fecha};
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return {nombre, largo, TipoDato::Binario};
    case SQL_GUID:
        return {nombre, 16, TipoDato::Texto};
    default:
        return {nombre, largo, TipoDato::Texto};
    }
}

void SentenciaOdbc::Leer(const QString& sql, QList<Columna>& columnas,
                         Celdas& celdas) {
    LeerResultado([&] { Comprobar(SQLExecDirectW(sentencia_, ParaOdbc(sql), SQLINTEGER(sql.size()))); },
                  columnas, celdas);
}

void SentenciaOdbc::Preparar(const QString& sql) {
    Comprobar(SQLPrepareW(sentencia_, ParaOdbc(sql), SQLINTEGER(sql.size())));
}

void SentenciaOdbc::LeerPreparada(const QList<Variant>& valores, QList<Columna>& columnas,
                                  Celdas& celdas) {
    SQLFreeStmt(sentencia_, SQL_RESET_PARAMS);
    // The values must stay where they are until the statement has run.
    std::vector<QString> textos(size_t(valores.size()));
    std::vector<SQLBIGINT> enteros(size_t(valores.size()));
    std::vector<SQLLEN> largos(size_t(valores.size()));
    for (qsizetype i = 0; i < valores.size(); ++i) {
        const Variant& v = valores[i];
        const auto n = SQLUSMALLINT(i + 1);
        if (v.tipo() == Variant::Tipo::Entero) {
            enteros[size_t(i)] = v.Entero();
            Comprobar(SQLBindParameter(sentencia_, n, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0,
                                       0, &enteros[size_t(i)], 0, nullptr));
            continue;
        }
        QString& texto = textos[size_t(i)];
        if (v.EsNulo())
            largos[size_t(i)] = SQL_NULL_DATA;
        else
            texto = v.Texto();
        if (!v.EsNulo())
            largos[size_t(i)] = SQLLEN(texto.size() * qsizetype(sizeof(SQLWCHAR)));
        Comprobar(SQLBindParameter(sentencia_, n, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                   SQLULEN(qMax<qsizetype>(texto.size(), 1)), 0, ParaOdbc(texto),
                                   largos[size_t(i)], &largos[size_t(i)]));
    }
    LeerResultado([&] { Comprobar(SQLExecute(sentencia_)); }, columnas, celdas);
    SQLFreeStmt(sentencia_, SQL_RESET_PARAMS);
}

bool SentenciaOdbc::DescribirResultado(QList<Columna>& columnas) {
    SQLSMALLINT cuantas = 0;
    Comprobar(SQLNumResultCols(sentencia_, &cuantas));
    columnas.clear();
    tiposSql_.assign(size_t(cuantas), SQL_UNKNOWN_TYPE);
    tamanos_.assign(size_t(cuantas), 0);
    for (SQLUSMALLINT i = 0; i < SQLUSMALLINT(cuantas); ++i) {
        SQLWCHAR nombre[256] = {};
        SQLSMALLINT largoNombre = 0, tipo = 0, decimales = 0, nulos = 0;
        SQLULEN tamano = 0;
        Comprobar(SQLDescribeColW(sentencia_, i + 1, nombre, SQLSMALLINT(std::size(nombre)),
                                  &largoNombre, &tipo, &tamano, &decimales, &nulos));
        tiposSql_[i] = tipo;
        tamanos_[i] = tamano;
        columnas << Describir(DeSqlWchar(nombre, qMin<qsizetype>(largoNombre, 255)), tipo, tamano);
    }
    return cuantas > 0;
}

void SentenciaOdbc::LeerResultado(const std::function<void()>& ejecutar, QList<Columna>& columnas,
                                  Celdas& celdas) {
    ejecutar();
    const bool hayColumnas = DescribirResultado(columnas);
    bool enBloques = true;
    for (size_t i = 0; i < tiposSql_.size(); ++i)
        if (EnlaceDe(tiposSql_[i], tamanos_[i]).bytes == 0)
            enBloques = false;
    if (hayColumnas && (!enBloques || !LeerEnBloques(columnas, celdas))) {
        // A long value does not fit a buffer for a whole block: run the query again and read
        // its values one by one.
        celdas.Vaciar();
        SQLFreeStmt(sentencia_, SQL_CLOSE);
        SQLFreeStmt(sentencia_, SQL_UNBIND);
        SQLSetStmtAttr(sentencia_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        ejecutar();
        LeerValorPorValor(columnas, celdas);
    }
    // Nothing of this reading may stay bound to the statement: its buffers are gone.
    SQLFreeStmt(sentencia_, SQL_CLOSE);
    SQLFreeStmt(sentencia_, SQL_UNBIND);
    SQLSetStmtAttr(sentencia_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

bool SentenciaOdbc::EjecutarYLeer(const QString& sql, QList<Columna>& columnas, Celdas& celdas) {
    QList<Lectura> lecturas;
    const bool enteras = EjecutarYLeerTodos(sql, lecturas);
    if (!lecturas.isEmpty()) {
        columnas = std::move(lecturas.last().definicion);
        celdas = std::move(lecturas.last().celdas);
    }
    return enteras;
}

bool SentenciaOdbc::EjecutarYLeerTodos(const QString& sql, QList<Lectura>& lecturas) {
    Comprobar(SQLExecDirectW(sentencia_, ParaOdbc(sql), SQLINTEGER(sql.size())));
    // Statements without rows go by; a later one may be the failure. The text cannot run
    // again, so rows whose values do not all fit the buffers of a block are given up (the
    // caller reads them another way) rather than read again.
    lecturas.clear();
    bool enteras = true;
    for (;;) {
        QList<Columna> estas;
        if (DescribirResultado(estas)) {
            lecturas.emplaceBack();
            Lectura& l = lecturas.last();
            l.definicion = estas;
            bool enBloques = true;
            for (size_t i = 0; i < tiposSql_.size(); ++i)
                if (EnlaceDe(tiposSql_[i], tamanos_[i]).bytes == 0)
                    enBloques = false;
            // A failure while reading says nothing of the statements, which ran: the rows are
            // given up, and a failure of the statements still comes from the results after.
            try {
                if (!enBloques)
                    LeerValorPorValor(l.definicion, l.celdas);
                else if (!LeerEnBloques(l.definicion, l.celdas))
                    enteras = false;
            } catch (const Falla&) {
                enteras = false;
            }
            SQLFreeStmt(sentencia_, SQL_UNBIND);
            SQLSetStmtAttr(sentencia_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
            SQLSetStmtAttr(sentencia_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        }
        const SQLRETURN r = SQLMoreResults(sentencia_);
        if (r == SQL_NO_DATA)
            break;
        Comprobar(r);
    }
    SQLFreeStmt(sentencia_, SQL_CLOSE);
    return enteras;
}

bool SentenciaOdbc::LeerEnBloques(QList<Columna>& columnas, Celdas& celdas) {
    const qsizetype cuantas = columnas.size();
    std::vector<Enlace> enlaces(static_cast<size_t>(cuantas));
    std::vector<std::vector<char>> datos(static_cast<size_t>(cuantas));
    std::vector<std::vector<SQLLEN>> indicadores(static_cast<size_t>(cuantas));
    SQLULEN leidas = 0;
    Comprobar(SQLSetStmtAttr(sentencia_, SQL_ATTR_ROW_ARRAY_SIZE,
                             reinterpret_cast<SQLPOINTER>(FilasPorBloque), 0));
    Comprobar(SQLSetStmtAttr(sentencia_, SQL_ATTR_ROWS_FETCHED_PTR, &leidas, 0));
    for (qsizetype i = 0; i < cuantas; ++i) {
        enlaces[size_t(i)] = EnlaceDe(tiposSql_[size_t(i)], tamanos_[size_t(i)]);
        datos[size_t(i)].resize(size_t(enlaces[size_t(i)].bytes) * FilasPorBloque);
        indicadores[size_t(i)].resize(FilasPorBloque);
        Comprobar(SQLBindCol(sentencia_, SQLUSMALLINT(i + 1), enlaces[size_t(i)].tipoC,
                             datos[size_t(i)].data(), enlaces[size_t(i)].bytes,
                             indicadores[size_t(i)].data()));
    }
    for (;;) {
        const SQLRETURN r = SQLFetch(sentencia_);
        if (r == SQL_NO_DATA)
            break;
        Comprobar(r);
        for (SQLULEN fila = 0; fila < leidas; ++fila) {
            for (qsizetype i = 0; i < cuantas; ++i) {
                const Enlace& e = enlaces[size_t(i)];
                const SQLLEN indicador = indicadores[size_t(i)][fila];
                // A value longer than its buffer was cut: read value by value instead.
                const SQLLEN cabe = e.tipoC == SQL_C_WCHAR ? e.bytes - SQLLEN(sizeof(SQLWCHAR))
                                    : e.tipoC == SQL_C_CHAR ? e.bytes - 1
                                                            : e.bytes;
                const bool variable = e.tipoC == SQL_C_WCHAR || e.tipoC == SQL_C_CHAR ||
                                      e.tipoC == SQL_C_BINARY;
                if (indicador != SQL_NULL_DATA &&
                    (indicador == SQL_NO_TOTAL || (variable && indicador > cabe)))
                    return false;
                celdas.Agregar(ValorDe(e.tipoC, datos[size_t(i)].data() + fila * size_t(e.bytes),
                                         indicador, columnas[i].tipo));
            }
        }
    }
    return true;
}

void SentenciaOdbc::LeerValorPorValor(QList<Columna>& columnas, Celdas& celdas) {
    const qsizetype cuantas = columnas.size();
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const SQLRETURN r = SQLFetch(sentencia_);
        if (r == SQL_NO_DATA)
            break;
        Comprobar(r);
        for (qsizetype i = 0; i < cuantas; ++i) {
            Enlace e = EnlaceDe(tiposSql_[size_t(i)], 1);
            const bool porPartes =
                e.tipoC == SQL_C_WCHAR || e.tipoC == SQL_C_CHAR || e.tipoC == SQL_C_BINARY;
            QByteArray valor;
            SQLLEN indicador = 0;
            for (;;) {
                const SQLRETURN g = SQLGetData(sentencia_, SQLUSMALLINT(i + 1), e.tipoC,
                                               buffer.data(), SQLLEN(buffer.size()), &indicador);
                if (g == SQL_NO_DATA)
                    break;
                Comprobar(g);
                if (indicador == SQL_NULL_DATA)
                    break;
                if (!porPartes) {
                    valor = QByteArray(buffer.data(), e.bytes);
                    break;
                }
                // Texts come in parts, each but the last filling the buffer less its ending.
                const SQLLEN terminador = e.tipoC == SQL_C_WCHAR ? SQLLEN(sizeof(SQLWCHAR))
                                          : e.tipoC == SQL_C_CHAR ? 1
                                                                  : 0;
                const SQLLEN llenos = SQLLEN(buffer.size()) - terminador;
                const bool ultima = indicador != SQL_NO_TOTAL && indicador <= llenos;
                valor.append(buffer.data(), ultima ? indicador : llenos);
                if (ultima || g == SQL_SUCCESS)
                    break;
            }
            celdas.Agregar(indicador == SQL_NULL_DATA
                                 ? Variant::Nulo()
                                 : ValorDe(e.tipoC, valor.constData(), valor.size(),
                                           columnas[i].tipo));
        }
    }
}
