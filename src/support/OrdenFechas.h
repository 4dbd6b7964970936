#pragma once

// The chronological order of date texts, with the standard library alone: the program
// registers it on its SQLite connections (ColacionFecha) and the loadable extension
// fecha_dmy.so registers the same functions on any SQLite, so that sqlite3 and other tools
// can read the embedded database's collated date columns.
//
// Dates are stored as ISO text; the family's statements compare them with day-first literals
// ('01/03/2003' is 1 March 2003), as the family's servers read them. Both forms, and a few
// more, are read as points in time:
//   YYYY-MM-DD, YYYY-MM-DD hh:mm[:ss[.fff]] (or with a T), YYYYMMDD [hh:mm[:ss]],
//   DD/MM/YYYY [hh:mm[:ss]] (also with - or .), DD/MM/YY (00-49 is 20xx, 50-99 is 19xx).
// Texts that are no date sort after every date, among themselves byte by byte, so the order
// stays total and consistent.

#include <optional>

namespace OrdenFechas {

// The name of the collation in the database's schema.
inline constexpr const char* NombreColacion = "FECHA_DMY";

using Milisegundos = long long;

// Milliseconds from 0001-01-01 00:00 for a date text, or nothing when it is not one.
std::optional<Milisegundos> Instante(const char* texto, int largo);
// Negative, zero or positive as a sorts before, with or after b.
int Comparar(const char* a, int largoA, const char* b, int largoB);
// Comparar with the signature of an SQLite collation (UTF-8 texts).
int CompararParaSqlite(void* contexto, int largoA, const void* a, int largoB, const void* b);

} // namespace OrdenFechas
