#include "MedidasTwips.h"

#include "Falla.h"
#include "Twips.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

void MedidasTwips::Ubicar(QWidget* control, double izquierda, double arriba, double ancho,
                          double alto) {
    medidas_[control] = QRectF(izquierda, arriba, ancho, alto);
    control->setGeometry(Twips::APixelesX(int(std::lround(izquierda)), ventana_),
                         Twips::APixelesY(int(std::lround(arriba)), ventana_),
                         qMax(0, Twips::APixelesX(int(std::lround(ancho)), ventana_)),
                         qMax(0, Twips::APixelesY(int(std::lround(alto)), ventana_)));
}

void MedidasTwips::AsignarIzquierda(QWidget* control, double izquierda) {
    const QRectF m = De(control);
    Ubicar(control, izquierda, m.top(), m.width(), m.height());
}

void MedidasTwips::AsignarArriba(QWidget* control, double arriba) {
    const QRectF m = De(control);
    Ubicar(control, m.left(), arriba, m.width(), m.height());
}

void MedidasTwips::AsignarAncho(QWidget* control, double ancho) {
    if (ancho < 0)
        throw Falla(380, QStringLiteral("El valor de la propiedad no es válido"));
    const QRectF m = De(control);
    Ubicar(control, m.left(), m.top(), ancho, m.height());
}

void MedidasTwips::AsignarAlto(QWidget* control, double alto) {
    if (alto < 0)
        throw Falla(380, QStringLiteral("El valor de la propiedad no es válido"));
    const QRectF m = De(control);
    Ubicar(control, m.left(), m.top(), m.width(), alto);
}

void MedidasTwips::AsignarAnchoExterior(double ancho) {
    const int pixeles = Twips::APixelesX(int(std::lround(ancho)), ventana_) - Marco().width();
    ventana_->resize(qMax(1, pixeles), ventana_->height());
    anchoPendiente_ = ventana_->isVisible() && Marco().width() > 0 ? 0 : ancho;
}

void MedidasTwips::AplicarAnchoPendiente() {
    if (anchoPendiente_ <= 0 || !ventana_->isVisible() || Marco().width() <= 0)
        return;
    const double ancho = anchoPendiente_;
    anchoPendiente_ = 0;
    ventana_->resize(Twips::APixelesX(int(std::lround(ancho)), ventana_) - Marco().width(),
                     ventana_->height());
}

QSize MedidasTwips::Marco() const {
    const QRect exterior = ventana_->frameGeometry();
    const QRect interior = ventana_->geometry();
    return {exterior.width() - interior.width(), exterior.height() - interior.height()};
}

double MedidasTwips::AnchoVentana() const {
    return Twips::DesdePixelesX(ventana_->width() + Marco().width(), ventana_);
}

double MedidasTwips::AltoVentana() const {
    return Twips::DesdePixelesY(ventana_->height() + Marco().height(), ventana_);
}

double MedidasTwips::AnchoPantalla() const {
    const QScreen* pantalla = ventana_->screen() ? ventana_->screen() : QGuiApplication::primaryScreen();
    return pantalla ? Twips::DesdePixelesX(pantalla->geometry().width(), ventana_) : 15360;
}

double MedidasTwips::AnchoDeTexto(const QString& texto) const {
    return Twips::DesdePixelesX(QFontMetrics(ventana_->font()).horizontalAdvance(texto), ventana_);
}
