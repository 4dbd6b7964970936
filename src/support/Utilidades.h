#pragma once

#include "InstanciaUnica.h"
#include "Variant.h"

#include <QString>

class Falla;
class Field;
class QWidget;

// A fixed-point number with four decimals, kept in ten-thousandths.
struct Moneda {
    qint64 diezmilesimos = 0;

    // Rounded to the nearest 32-bit whole number, halves to the even neighbour.
    qint32 RedondearEntero32() const;
    QString Texto() const;
};

// General helpers of the family's support component.
class Utilidades : public InstanciaUnica<Utilidades> {
public:
    // The program uses the shared instance; a component may keep one of its own.
    Utilidades() = default;

    // The folder ending in a path separator.
    QString AgregarBarra(const QString& carpeta) const;
    // The text without any of the characters given.
    QString QuitarCaracteres(const QString& texto, const QString& caracter,
                             const QString& otroCaracter = {}) const;
    QString Reemplazar(const QString& texto, const QString& buscar,
                       const QString& reemplazo) const;
    // A value or a field as text; null gives "".
    QString ValorTexto(const Variant& valor) const;
    QString ValorTexto(const Field& campo) const;
    // The value of a decimal text with four decimals (halves to even); a blank text gives 0.
    // The decimal mark may be a point or a comma; anything else is refused.
    Moneda TextoANumero(const QString& texto) const;
    // The 32-bit whole number of a decimal text.
    qint32 TextoAEntero(const QString& texto) const;
    // The text as a list cell shows it: on one line.
    QString FormatearTexto(const QString& texto) const;
    // Whether FormatearTexto would change the text (it has a line end or a tab).
    static bool CambiaAlFormatear(QStringView texto);
    // Prepares a window while it loads: placed in the middle of its screen.
    void PrepararVentana(QWidget* ventana, int opcion) const;
    // Shows a failure and where it happened and gives the person's answer (4 retry, 5 skip,
    // other leave).
    int InformarError(const Falla& falla, const QString& origen) const;

};
