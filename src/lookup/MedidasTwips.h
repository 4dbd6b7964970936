#pragma once

#include <QHash>
#include <QRectF>
#include <QSize>
#include <QString>

class QWidget;

// The places and sizes of a window's controls in twips, as the family's windows measure them.
// Every control keeps the twips it was given, so that what is read back is what was set, not
// pixels rounded twice.
class MedidasTwips {
public:
    // Twips are turned into pixels at the resolution of ventana.
    explicit MedidasTwips(QWidget* ventana) : ventana_(ventana) {}

    // The twips a control was given.
    QRectF De(const QWidget* control) const { return medidas_.value(control); }
    void Ubicar(QWidget* control, double izquierda, double arriba, double ancho, double alto);
    void AsignarIzquierda(QWidget* control, double izquierda);
    void AsignarArriba(QWidget* control, double arriba);
    // A negative width or height is refused, as the family's controls refuse it (380).
    void AsignarAncho(QWidget* control, double ancho);
    void AsignarAlto(QWidget* control, double alto);

    // Makes the window that wide, borders included. The window system puts the frame on when
    // the window is first shown: until then the width is asked for again at every
    // AplicarAnchoPendiente, which the window calls when it is shown and moved into its frame.
    void AsignarAnchoExterior(double ancho);
    void AplicarAnchoPendiente();

    // The window's outer size, borders and title bar included, once the window system has put
    // them on.
    double AnchoVentana() const;
    double AltoVentana() const;
    // Borders and title bar, in pixels.
    QSize Marco() const;
    // The width of the window's screen.
    double AnchoPantalla() const;
    // The width of a text in the window's font.
    double AnchoDeTexto(const QString& texto) const;

private:
    QWidget* ventana_;
    double anchoPendiente_ = 0;
    QHash<const QWidget*, QRectF> medidas_;
};
