#pragma once

#include "Variant.h"

#include <QString>

// How an engine reads the literals of a statement: what differs is the form of a date.
enum class Dialecto {
    Embebido, // the embedded database keeps dates as ISO text
    Servidor, // a server over ODBC reads 'YYYYMMDD' and 'YYYY-MM-DDThh:mm:ss' whatever its settings
};

// The value as an SQL literal for a VALUES list: mark "'" a quoted text or date (quotes inside
// doubled, NULL for null), "@" a number (as it was read, point and no grouping; a text that
// is not a number is refused). A date outside years 1 to 9999 is refused: written with four
// digits it would name another day.
QString ValorSQL(const Variant& valor, QStringView marca, Dialecto dialecto);
// The same literal appended to a statement being put together.
void AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca, Dialecto dialecto);

// A value as an engine receives it bound to a prepared statement instead of written into the
// statement's text: exactly what ValorSQL's literal means to the engine. A number written
// with only digits (and a sign) that fits 64 bits is a whole number; any other number is a
// floating one, read from its digits by the engine's own conversion, as its parser reads the
// literal.
struct ValorLigado {
    enum class Tipo { Nulo, Entero, Real, Texto };
    Tipo tipo = Tipo::Nulo;
    qint64 entero = 0;
    QString texto; // the text; for Real, the number's digits as the literal writes them
};
// Refuses what ValorSQL refuses, with the same failure.
ValorLigado Ligar(const Variant& valor, QStringView marca, Dialecto dialecto);
