#include "Connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

void Connection::EstablecerCommandTimeout(int segundos) {
    commandTimeout_ = segundos < 0 ? 0 : segundos;
    if (nombreQt_.isEmpty() || !QSqlDatabase::contains(nombreQt_))
        return;
    QSqlDatabase base = QSqlDatabase::database(nombreQt_, false);
    if (!base.isOpen())
        return;
    const QVariant manejador = base.driver()->handle();
    if (base.driverName() == QLatin1String("QSQLITE")) {
        // On the embedded database the limit is how long a statement waits for another
        // writer's lock.
        sqlite3* h = *static_cast<sqlite3* const*>(manejador.constData());
        if (h)
            sqlite3_busy_timeout(h, commandTimeout_ ? commandTimeout_ * 1000 : 0x7fffffff);
    } else if (base.driverName() == QLatin1String("QODBC")) {
        // Set on the connection, the limit applies to every statement opened afterwards.
        SQLHANDLE h = *static_cast<const SQLHANDLE*>(manejador.constData());
        if (h)
            SQLSetConnectAttr(h, SQL_ATTR_QUERY_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(SQLULEN(commandTimeout_)), 0);
    }
}
