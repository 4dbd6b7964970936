// Fuzzing of the date order of the embedded database. The input is three texts separated by
// line feeds (the third takes the rest); the order must be total and consistent on them, as
// SQLite requires of a collation, and a text read as a date must read back as the same moment.
#include "ColacionFecha.h"
#include "Difuso.h"

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

namespace {

int Signo(int n) {
    return (n > 0) - (n < 0);
}

int Comparar(QByteArrayView a, QByteArrayView b) {
    return Signo(ColacionFecha::Comparar(a.data(), int(a.size()), b.data(), int(b.size())));
}

QString Texto(QByteArrayView t) {
    return QString::fromLatin1(t);
}

// A date text and the same moment written in full ISO form are one and the same point.
void LecturaEstable(QByteArrayView t) {
    const auto instante = ColacionFecha::Instante(t.data(), int(t.size()));
    if (!instante)
        return;
    const auto fecha = ColacionFecha::LeerFecha(Texto(t));
    EXIGIR(fecha && fecha->isValid(), Texto(t));
    const QByteArray iso = fecha->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    EXIGIR(ColacionFecha::Instante(iso.constData(), int(iso.size())) == instante, Texto(t),
           QString::fromLatin1(iso));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo) {
    const QByteArrayView todo(datos, qsizetype(largo));
    const qsizetype corte1 = todo.indexOf('\n');
    if (corte1 < 0)
        return 0;
    const qsizetype corte2 = todo.sliced(corte1 + 1).indexOf('\n');
    if (corte2 < 0)
        return 0;
    const QByteArrayView t[3] = {todo.first(corte1), todo.sliced(corte1 + 1, corte2),
                                 todo.sliced(corte1 + 1 + corte2 + 1)};

    int c[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            c[i][j] = Comparar(t[i], t[j]);

    for (int i = 0; i < 3; ++i) {
        LecturaEstable(t[i]);
        EXIGIR(c[i][i] == 0, Texto(t[i]));
        for (int j = 0; j < 3; ++j) {
            EXIGIR(c[i][j] == -c[j][i], Texto(t[i]), Texto(t[j]));
            for (int k = 0; k < 3; ++k) {
                if (c[i][j] <= 0 && c[j][k] <= 0)
                    EXIGIR(c[i][k] <= 0, Texto(t[i]), Texto(t[j]), Texto(t[k]));
                if (c[i][j] == 0)
                    EXIGIR(c[i][k] == c[j][k], Texto(t[i]), Texto(t[j]), Texto(t[k]));
            }
        }
    }
    return 0;
}
