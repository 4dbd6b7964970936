// The date collation as an SQLite loadable extension, for the tools that read the embedded
// database without the program (sqlite3's ".load", a browser's extension settings): the same
// order the program registers on its own connections.
#include "OrdenFechas.h"

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

// SQLite finds this entry point by the file's name, fecha_dmy.so.
extern "C" __attribute__((visibility("default"))) int
sqlite3_fechadmy_init(sqlite3* base, char** error, const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    const int resultado =
        sqlite3_create_collation_v2(base, OrdenFechas::NombreColacion, SQLITE_UTF8, nullptr,
                                    OrdenFechas::CompararParaSqlite, nullptr);
    if (resultado != SQLITE_OK && error)
        *error = sqlite3_mprintf("no se pudo registrar la colación %s: %s",
                                 OrdenFechas::NombreColacion, sqlite3_errmsg(base));
    return resultado;
}
