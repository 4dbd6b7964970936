#pragma once

#include "Falla.h"
#include "Recordset.h"

struct sqlite3;
struct sqlite3_stmt;

// How the embedded engine's rows and failures become the program's.
namespace LecturaSqlite {

// The failure of the engine's last call on that connection, with its message and its class:
// a statement refused, or storage that cannot take anything now (a full disk, an I/O error, a
// read-only or damaged file, no memory, the file held by another program past the wait).
Falla FallaDe(sqlite3* base);

// Every row of a statement ready to run: column definitions from the declared types (or, for
// an expression, from its values), then the cells row after row.
void LeerFilas(sqlite3* base, sqlite3_stmt* sentencia, QList<Columna>& definicion, Celdas& celdas);

} // namespace LecturaSqlite
