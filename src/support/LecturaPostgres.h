#pragma once

#include "Recordset.h"

#include <QByteArray>
#include <QString>

struct pg_result;

// How the PostgreSQL client library's rows become the program's: as the ODBC driver gives them,
// so that both ways of reaching the server read the same kinds, sizes and values.
namespace LecturaPostgres {

// The server's number of the numeric type, as statements' values are sent.
constexpr unsigned int TipoNumeric = 1700;

// The columns and rows of a result.
void Convertir(const pg_result* resultado, QList<Columna>& definicion, Celdas& celdas);

// The statement with $1, $2... in place of each "?" outside quotes.
QByteArray ConDolares(const QString& sql);

} // namespace LecturaPostgres
