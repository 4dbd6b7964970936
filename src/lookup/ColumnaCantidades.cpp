#include "ColumnaCantidades.h"

#include "Cadenas.h"
#include "CodigosTecla.h"
#include "Falla.h"
#include "Interaccion.h"
#include "ListView.h"
#include "Rutina.h"

#include <optional>

#include <QLocale>

namespace {

// A quantity in the user's way of writing numbers, without grouping.
QString Formato(double valor, int decimales) {
    QLocale local;
    local.setNumberOptions(QLocale::OmitGroupSeparator);
    return local.toString(valor, 'f', decimales);
}

// The answer to the quantity question as a number: digits with the locale's decimal separator
// and an optional sign, nothing else (no grouping, no exponent, no "nan" or "inf"). The other
// separator is not taken for it: "1,5" where the separator is "." is refused with a word on
// which one to use, rather than read as 15 or as 1.
double LeerCantidad(const QString& respuesta) {
    const QString texto = Cadenas::Recortar(respuesta);
    if (texto.isEmpty())
        return 0;
    const QLocale local;
    const QString separador = local.decimalPoint();
    const QString otro = separador == QLatin1String(",") ? QStringLiteral(".") : QStringLiteral(",");
    qsizetype i = texto.startsWith(u'-') || texto.startsWith(u'+') ? 1 : 0;
    qsizetype digitos = 0, separadores = 0;
    bool valido = i < texto.size();
    for (; i < texto.size() && valido; ++i) {
        if (texto[i].isDigit() && texto[i].unicode() < 0x80)
            ++digitos;
        else if (texto.mid(i, separador.size()) == separador && separadores == 0)
            ++separadores;
        else
            valido = false;
    }
    if (!valido || digitos == 0) {
        const QString detalle =
            texto.contains(otro)
                ? QStringLiteral("«%1» no es una cantidad: los decimales se escriben con «%2»")
                      .arg(texto, separador)
                : QStringLiteral("«%1» no es una cantidad").arg(texto);
        throw Falla::TiposNoCoinciden(detalle);
    }
    QString normal = texto;
    normal.replace(separador, QStringLiteral("."));
    return normal.toDouble();
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
    const double valor = LeerCantidad(respuesta);
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

void ColumnaCantidades::Tecla(Rutina& rutina, qint16 codigo, qint16 Shift,
                              const std::function<std::pair<ListItem, ColumnaCantidades>()>& elegida) {
    ListItem fila;
    ColumnaCantidades columna(0);
    auto tomar = [&] { std::tie(fila, columna) = elegida(); };
    if (codigo == CodigosTecla::Insertar && Shift == CodigosTecla::MascaraMayusculas) {
        QString cantidad;
        std::optional<QString> respuesta;
        rutina.Paso([&] {
            tomar();
            cantidad = columna.Actual(fila);
        });
        rutina.Paso([&] {
            respuesta = Interaccion::Actual().PedirTexto(
                QStringLiteral("Ingrese la Cantidad del Articulo..."),
                QStringLiteral("Carga de Datos"), cantidad);
        });
        if (respuesta)
            rutina.Paso([&] { columna.Asignar(fila, *respuesta); });
    } else if (codigo == CodigosTecla::Insertar && Shift == 0) {
        rutina.Paso([&] {
            tomar();
            columna.SumarUno(fila);
        });
    } else if (codigo == CodigosTecla::Suprimir && Shift == 0) {
        rutina.Paso([&] {
            tomar();
            columna.RestarUno(fila);
        });
        rutina.Paso([&] { columna.VaciarSiNoQueda(fila); });
    }
}
