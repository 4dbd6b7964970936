#pragma once

#include <QString>
#include <cstdio>

// Shared by the fuzzing targets: a property that does not hold stops the program at once, so
// that libFuzzer keeps the input that broke it and reports it as a crash.
#define EXIGIR(condicion, ...)                                                              \
    do {                                                                                    \
        if (!(condicion)) {                                                                 \
            std::fprintf(stderr, "No se cumple: %s\n", #condicion);                         \
            Difuso::Contar(__VA_ARGS__);                                                    \
            std::fflush(stderr);                                                            \
            __builtin_trap();                                                               \
        }                                                                                   \
    } while (0)

namespace Difuso {

// The texts involved, printed before stopping (escaped, so that control characters show).
inline void Contar() {}
template <typename... Resto>
void Contar(const QString& texto, const Resto&... resto) {
    QString visible;
    for (QChar c : texto) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u'\\')
            visible += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            visible += c;
    }
    std::fprintf(stderr, "  \"%s\"\n", visible.toUtf8().constData());
    Contar(resto...);
}

} // namespace Difuso
