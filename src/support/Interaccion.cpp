#include "Interaccion.h"

#include "InteraccionConsola.h"

namespace {
std::unique_ptr<Interaccion>& Instalada() {
    static std::unique_ptr<Interaccion> instalada;
    return instalada;
}
} // namespace

Interaccion& Interaccion::Actual() {
    auto& instalada = Instalada();
    if (!instalada)
        instalada = std::make_unique<InteraccionConsola>();
    return *instalada;
}

std::unique_ptr<Interaccion> Interaccion::Establecer(std::unique_ptr<Interaccion> nueva) {
    auto anterior = std::move(Instalada());
    Instalada() = std::move(nueva);
    return anterior;
}
