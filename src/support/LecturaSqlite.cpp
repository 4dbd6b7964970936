#include "LecturaSqlite.h"

#include "ColacionFecha.h"

#include <QRegularExpression>
#include <cmath>
#include <sqlite3.h>
#include <vector>

namespace {

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
    // The same few declared types come back for every statement: each is read once, and
    // found again by its text without building anything.
    struct Leido {
        QByteArray declarado;
        TipoDato tipo;
        long tamano;
    };
    static std::vector<Leido> leidos;
    for (const Leido& l : leidos)
        if (qstrcmp(l.declarado.constData(), declarado) == 0) {
            c.tipo = l.tipo;
            c.tamano = l.tamano;
            return true;
        }
    ColumnaDeclarada(QString::fromUtf8(declarado).toUpper(), c);
    if (leidos.size() < 256)
        leidos.push_back({QByteArray(declarado), c.tipo, c.tamano});
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

// What a result code says about the database: a statement refused, or storage that cannot take
// anything now (a full disk, an I/O error, a read-only or damaged file, no memory, the file
// held by another program past the wait).
ClaseDeFalla ClaseDe(int resultado) {
    switch (resultado & 0xff) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_NOMEM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:
    case SQLITE_PERM:
    case SQLITE_NOLFS:
        return ClaseDeFalla::Almacenamiento;
    default:
        return ClaseDeFalla::Rechazo;
    }
}

// The failure of the engine's last call on that connection, with its message and class.
} // namespace

Falla LecturaSqlite::FallaDe(sqlite3* base) {
    const int codigo = sqlite3_extended_errcode(base);
    return Falla::BaseDeDatos(QString::fromUtf8(sqlite3_errmsg(base)), ClaseDe(codigo),
                              QStringLiteral("SQLite %1").arg(codigo));
}

namespace {

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
        // That text is a plain number literal already (digits, a point, a minus sign).
        QString texto = QString::number(d, 'f', QLocale::FloatingPointShortest);
        return tipo == TipoDato::Texto ? Variant(std::move(texto)) : Variant::DecimalLeido(texto);
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

} // namespace


// Every row of a statement ready to run: column definitions from the declared types (or, for
// an expression, from its values), then the cells row after row.
void LecturaSqlite::LeerFilas(sqlite3* base, sqlite3_stmt* s, QList<Columna>& definicion,
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
            throw FallaDe(base);
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

