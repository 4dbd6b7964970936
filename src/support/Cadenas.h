#pragma once

#include <QString>

// Text rules of the family's run-time that Qt does not have as such.
namespace Cadenas {

// Removes leading and trailing spaces only (tabs and line ends stay).
QString Recortar(QStringView texto);
// The same without a copy: a view of the text between its outer spaces.
QStringView SinEspacios(QStringView texto);
QString RecortarIzquierda(QStringView texto);
QString RecortarDerecha(QStringView texto);

// The number at the start of a text: blanks, tabs and line feeds are skipped wherever they
// are, then an optional sign, digits, a point and digits, an exponent; "&H" and "&O" prefixes
// read hexadecimal and octal. A text that does not begin with a number gives 0; a number
// too large for a double is an overflow.
double Val(QStringView texto);

// A text to go between single quotes in an SQL statement: every quote doubled.
QString DuplicarComillas(QStringView texto);
// The same appended to a statement being put together.
void AgregarConComillasDobladas(QString& destino, QStringView texto);

// A count with its noun in the right number: "1 remito", "3 remitos".
QString Contar(int n, QStringView singular, QStringView plural);

// Equality of whole texts without regard to case.
bool IgualesSinMayusculas(QStringView a, QStringView b);

} // namespace Cadenas
