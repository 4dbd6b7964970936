#include "BUG.h"
#include "Entorno.h"
#include "Interaccion.h"
#include "InteraccionQt.h"
#include "ModGlobal.h"
#include "OpcionesRemitos.h"
#include "Ordenes.h"
#include "Programa.h"

#include <QApplication>

namespace {

// The window, when there is a screen to show it on.
int ConVentana(int argc, char** argv, const OpcionesRemitos& o) {
    // Without a screen the start-up still runs, so that a database that cannot be opened is
    // reported as such; only then is the missing screen the reason to stop.
    const bool pedida = Programa::PrepararPantalla();
    QApplication app(argc, argv);
    Programa::Nombrar(app, QStringLiteral("remitos"));
    const bool hayPantalla = pedida && Programa::PantallaAbierta();
    if (hayPantalla)
        Interaccion::Establecer(std::make_unique<InteraccionQt>());
    else
        Programa::SinPantalla(QStringLiteral("remitos"), pedida,
                              QStringLiteral("para registrar sin ventana use --ejecutar."));
    ModGlobal::EstablecerLineaDeComandos(o.resto.join(u' '));
    int estado = 0;
    {
        BUG ventana;
        ventana.Form_Load();
        if (hayPantalla) {
            ventana.show();
            estado = app.exec();
        } else {
            estado = Programa::EstadoUsoIncorrecto;
        }
    }
    Programa::Terminar();
    return estado;
}

} // namespace

int main(int argc, char** argv) {
    QString error;
    const auto opciones = OpcionesRemitos::Leer(Programa::Argumentos(argc, argv), error);
    if (!opciones)
        return Programa::UsoIncorrecto(QStringLiteral("remitos"), error);
    if (!opciones->carpeta.isEmpty())
        Entorno::EstablecerCarpetaDelPrograma(opciones->carpeta);
    if (opciones->ayuda) {
        // The application folder it names is the program's own unless told otherwise.
        QCoreApplication app(argc, argv);
        Programa::Escribir(stdout, OpcionesRemitos::Ayuda());
        return 0;
    }
    if (opciones->version) {
        Programa::MostrarVersion(QStringLiteral("remitos"));
        return 0;
    }
    if (!opciones->crearBase.isEmpty())
        return Ordenes::CrearBase(argc, argv, *opciones);
    if (opciones->ejecutar || opciones->simular)
        return Ordenes::Ejecutar(argc, argv, *opciones);
    if (opciones->revisar)
        return Ordenes::Revisar(argc, argv, *opciones);
    if (opciones->completar)
        return Ordenes::Completar(argc, argv, *opciones);
    return ConVentana(argc, argv, *opciones);
}
