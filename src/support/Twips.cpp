#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace Twips {
namespace {
constexpr double TwipsPorPulgada = 1440.0;

QScreen* Pantalla(const QWidget* referencia) {
    if (referencia && referencia->screen())
        return referencia->screen();
    return QGuiApplication::primaryScreen();
}

double PuntosX(const QWidget* referencia) {
    const QScreen* s = Pantalla(referencia);
    return s ? s->logicalDotsPerInchX() : 96.0;
}

double PuntosY(const QWidget* referencia) {
    const QScreen* s = Pantalla(referencia);
    return s ? s->logicalDotsPerInchY() : 96.0;
}
} // namespace

int APixelesX(int twips, const QWidget* referencia) {
    return int(std::lround(twips * PuntosX(referencia) / TwipsPorPulgada));
}

int APixelesY(int twips, const QWidget* referencia) {
    return int(std::lround(twips * PuntosY(referencia) / TwipsPorPulgada));
}

int DesdePixelesX(int pixeles, const QWidget* referencia) {
    return int(std::lround(pixeles * TwipsPorPulgada / PuntosX(referencia)));
}

int DesdePixelesY(int pixeles, const QWidget* referencia) {
    return int(std::lround(pixeles * TwipsPorPulgada / PuntosY(referencia)));
}

} // namespace Twips
