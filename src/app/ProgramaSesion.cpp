#include "Programa.h"

#include "Interaccion.h"
#include "InteraccionConsola.h"
#include "ModGlobal.h"

namespace Programa {

InteraccionConsola& IniciarSesionSinVentana(const QStringList& claves) {
    auto consola = std::make_unique<InteraccionConsola>();
    InteraccionConsola& respuestas = *consola;
    Interaccion::Establecer(std::move(consola));
    ModGlobal::EstablecerLineaDeComandos(claves.join(u' '), ModGlobal::LecturaDeClaves::Estricta);
    ModGlobal::IniciarSesion();
    return respuestas;
}

void Terminar() {
    ModGlobal::LiberarObjetos();
}

} // namespace Programa
