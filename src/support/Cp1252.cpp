#include "Cp1252.h"

namespace Cp1252 {
namespace {
// Bytes 0x80 to 0x9F; 0 marks the five bytes the code page leaves undefined, which are read
// as the control character of the same number.
constexpr char16_t Altos[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
} // namespace

QByteArray Codificar(QStringView texto) {
    QByteArray salida;
    salida.reserve(texto.size());
    for (QChar c : texto) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            salida += char(u);
            continue;
        }
        char byte = '?';
        for (int i = 0; i < 32; ++i) {
            if (Altos[i] == u || (Altos[i] == 0 && u == 0x80 + i)) {
                byte = char(0x80 + i);
                break;
            }
        }
        salida += byte;
    }
    return salida;
}

QString Decodificar(QByteArrayView bytes) {
    QString salida;
    salida.reserve(bytes.size());
    for (char b : bytes) {
        const unsigned char u = static_cast<unsigned char>(b);
        if (u >= 0x80 && u <= 0x9F && Altos[u - 0x80])
            salida += QChar(Altos[u - 0x80]);
        else
            salida += QChar(u);
    }
    return salida;
}

} // namespace Cp1252
