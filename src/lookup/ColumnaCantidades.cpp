#include "ColumnaCantidades.h"

#include "Cadenas.h"
#include "Falla.h"
#include "ListView.h"

#include <QLocale>

namespace {

// A quantity in the user's way of writing numbers, without grouping.
QString Formato(double valor, int decimales) {
    QLocale local;
    local.setNumberOptions(QLocale::OmitGroupSeparator);
    return local.toString(valor, 'f', decimales);
}

void Vaciar(ListItem& fila, int subItem) {
    fila.AsignarSubItems(subItem, QStringLiteral("0.00"));
    fila.AsignarChecked(false);
}

} // namespace

void ColumnaCantidades::SumarUno(ListItem& fila) const {
    fila.AsignarSubItems(subItem_, Formato(Cadenas::Val(fila.SubItems(subItem_)) + 1, 1));
    fila.AsignarChecked(true);
}

void ColumnaCantidades::RestarUno(ListItem& fila) const {
    fila.AsignarSubItems(subItem_, Formato(Cadenas::Val(fila.SubItems(subItem_)) - 1, 1));
}

void ColumnaCantidades::VaciarSiNoQueda(ListItem& fila) const {
    if (Cadenas::Val(fila.SubItems(subItem_)) <= 0)
        Vaciar(fila, subItem_);
}

void ColumnaCantidades::Asignar(ListItem& fila, const QString& respuesta) const {
    const QString texto = Cadenas::Recortar(respuesta);
    bool ok = texto.isEmpty();
    const double valor = texto.isEmpty() ? 0 : QLocale().toDouble(texto, &ok);
    if (!ok)
        throw Falla::TiposNoCoinciden(respuesta);
    if (valor == 0) {
        // Nothing to take: as when taking away reaches zero.
        Vaciar(fila, subItem_);
        return;
    }
    fila.AsignarSubItems(subItem_, Formato(valor, 2));
    fila.AsignarChecked(true);
}

QString ColumnaCantidades::Actual(const ListItem& fila) const {
    return fila.SubItems(subItem_);
}
