#include "Rutina.h"

#include "Falla.h"
#include "Utilidades.h"

Rutina::Rutina(EstiloFallas estilo, QString etiqueta)
    : estilo_(estilo), etiqueta_(std::move(etiqueta)) {}

bool Rutina::Paso(const std::function<void()>& paso) {
    while (activa_) {
        try {
            ultimaFalla_.reset();
            paso();
            return activa_;
        } catch (const Falla& falla) {
            ++fallas_;
            ultimaFalla_ = falla;
            switch (estilo_) {
            case EstiloFallas::OmitirTodas:
                return true;
            case EstiloFallas::Abandonar:
                activa_ = false;
                return false;
            case EstiloFallas::OmitirSolo5:
                if (falla.Numero() == Errores::ArgumentoNoValido)
                    return true;
                activa_ = false;
                return false;
            case EstiloFallas::Informar:
            case EstiloFallas::InformarSinReintento: {
                const int respuesta = Utilidades::Instancia().InformarError(falla, etiqueta_);
                if (respuesta == 5)
                    return true;
                if (respuesta == 4 && estilo_ == EstiloFallas::Informar)
                    continue;
                activa_ = false;
                return false;
            }
            }
        }
    }
    return false;
}

bool Rutina::Si(const std::function<bool()>& prueba) {
    bool resultado = true;
    const bool seguir = Paso([&] { resultado = prueba(); });
    return seguir && resultado;
}
