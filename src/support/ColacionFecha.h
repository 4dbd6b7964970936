#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

struct sqlite3;

// The order of date texts in the embedded database. Dates are stored as ISO text; the
// family's statements compare them with day-first literals ('01/03/2003' is 1 March 2003), as
// the family's servers read them. Both forms, and a few more, are read as points in time:
//   YYYY-MM-DD, YYYY-MM-DD hh:mm[:ss[.fff]] (or with a T), YYYYMMDD [hh:mm[:ss]],
//   DD/MM/YYYY [hh:mm[:ss]] (also with - or .), DD/MM/YY (00-49 is 20xx, 50-99 is 19xx).
// Texts that are no date sort after every date, among themselves byte by byte, so the order
// stays total and consistent.
namespace ColacionFecha {

inline constexpr const char* Nombre = "FECHA_DMY";

// Milliseconds from 0001-01-01 00:00 for a date text, or nothing when it is not one.
std::optional<qint64> Instante(const char* texto, int largo);
std::optional<QDateTime> LeerFecha(const QString& texto);
// Negative, zero or positive as a sorts before, with or after b.
int Comparar(const char* a, int largoA, const char* b, int largoB);
// Registers the collation on a connection; false when SQLite refused it.
bool Registrar(sqlite3* base);

} // namespace ColacionFecha
