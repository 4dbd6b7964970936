#include "LecturaPostgres.h"

#include <QDateTime>
#include <libpq-fe.h>
#include <vector>

using LecturaPostgres::TipoNumeric;

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

} // namespace

void LecturaPostgres::Convertir(const PGresult* r, QList<Columna>& definicion, Celdas& celdas) {
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

QByteArray LecturaPostgres::ConDolares(const QString& sql) {
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
