#pragma once

#include "InstanciaUnica.h"

#include <QString>

// The program's surroundings: the application folder.
class Entorno : public InstanciaUnica<Entorno> {
public:
    // The application folder, ending in a separator; set once at session start.
    QString RutaAplicacion;

    // The folder of the program file, ending in a separator, or the folder set with
    // EstablecerCarpetaDelPrograma (the --carpeta option, or REMITOS_CARPETA), so that tests
    // and installed copies can point it at a writable place.
    static QString CarpetaDelPrograma();
    static void EstablecerCarpetaDelPrograma(const QString& carpeta);
    // Whether windows can be shown to someone: a display to draw on, and not a platform
    // nobody sees (offscreen, minimal), where a message box would wait for ever.
    static bool HayPantalla();
    // The program's title, for its message boxes.
    static QString Titulo();

private:
    friend class InstanciaUnica<Entorno>;
    Entorno() = default;
};
