// Fuzzing of the INI reader over arbitrary text. The input is the section, a zero byte, the
// key, a zero byte and the file's bytes (read as the program reads them, 8-bit Windows text);
// section and key are UTF-8.
#include "ArchivoIni.h"
#include "Cp1252.h"
#include "Difuso.h"

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

namespace {

// A default no file can give: the code page never decodes to U+FFFF.
const QString Defecto = QString(QChar(0xFFFF));
// A value that keeps its "=" and ";" (both are part of a value).
const QString ValorConocido = QStringLiteral("x=1;y");

QStringView SinBlancos(QStringView t) {
    while (!t.isEmpty() && (t.front() == u' ' || t.front() == u'\t'))
        t = t.mid(1);
    while (!t.isEmpty() && (t.back() == u' ' || t.back() == u'\t' || t.back() == u'\r'))
        t.chop(1);
    return t;
}

// Whether "[seccion]" and "clave=..." written as lines are read as that section and that key:
// neither may break the line, the section may not close early, the key may not hold the "="
// nor look like a comment or a section.
bool SeEscribeComoLinea(const QString& seccion, const QString& clave) {
    const QStringView c = SinBlancos(clave);
    return !seccion.contains(u'\n') && !seccion.contains(u']') && !clave.contains(u'\n') &&
           !clave.contains(u'=') && !c.startsWith(u';') && !c.startsWith(u'[');
}

// The section's line and the key's line with the known value.
QString Lineas(const QString& seccion, const QString& clave) {
    return u'[' + seccion + QStringLiteral("]\n") + clave + u'=' + ValorConocido + u'\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo) {
    const QByteArrayView todo(datos, qsizetype(largo));
    const qsizetype fin1 = todo.indexOf('\0');
    if (fin1 < 0)
        return 0;
    const qsizetype fin2 = todo.sliced(fin1 + 1).indexOf('\0');
    if (fin2 < 0)
        return 0;
    const QString seccion = QString::fromUtf8(todo.first(fin1));
    const QString clave = QString::fromUtf8(todo.sliced(fin1 + 1, fin2));
    const QString contenido = Cp1252::Decodificar(todo.sliced(fin1 + 1 + fin2 + 1));

    const QString valor = ArchivoIni::BuscarValor(contenido, seccion, clave, Defecto);
    if (valor != Defecto) {
        // A value found is a piece of one line of the file.
        EXIGIR(contenido.contains(valor) && !valor.contains(u'\n'), seccion, clave, valor);
        // The first key of the first section of that name wins: nothing after it counts.
        const QString despues = contenido + u'\n' + Lineas(seccion, clave);
        const QString otra = ArchivoIni::BuscarValor(despues, seccion, clave, Defecto);
        EXIGIR(otra == valor, seccion, clave, valor, otra);
    }

    if (SeEscribeComoLinea(seccion, clave)) {
        // The same section and key written first are found whatever follows.
        const QString antes = Lineas(seccion, clave) + contenido;
        const QString leido = ArchivoIni::BuscarValor(antes, seccion, clave, Defecto);
        EXIGIR(leido == ValorConocido, seccion, clave, leido);
    }
    return 0;
}
