#pragma once

#include "OrdenFechas.h"

#include <QDateTime>
#include <QString>
#include <optional>

struct sqlite3;

// The order of date texts in the embedded database (see OrdenFechas for the texts read as
// dates), registered on the program's connections, and the same texts read as QDateTime.
namespace ColacionFecha {

inline constexpr const char* Nombre = OrdenFechas::NombreColacion;

using OrdenFechas::Comparar;
using OrdenFechas::Instante;
std::optional<QDateTime> LeerFecha(const QString& texto);
// Registers the collation on a connection; false when SQLite refused it.
bool Registrar(sqlite3* base);

} // namespace ColacionFecha
