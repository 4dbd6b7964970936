#include "ColacionFecha.h"

#include <sqlite3.h>

namespace ColacionFecha {

std::optional<QDateTime> LeerFecha(const QString& texto) {
    const QByteArray bytes = texto.toUtf8();
    const auto instante = Instante(bytes.constData(), int(bytes.size()));
    if (!instante)
        return std::nullopt;
    const qint64 dias = *instante / 86400000LL;
    const qint64 ms = *instante % 86400000LL;
    const QDate fecha = QDate(1, 1, 1).addDays(dias);
    return QDateTime(fecha, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}

bool Registrar(sqlite3* base) {
    return base &&
           sqlite3_create_collation_v2(base, Nombre, SQLITE_UTF8, nullptr,
                                       OrdenFechas::CompararParaSqlite, nullptr) == SQLITE_OK;
}

} // namespace ColacionFecha
