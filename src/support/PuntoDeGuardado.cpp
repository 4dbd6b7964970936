#include "PuntoDeGuardado.h"

#include "Falla.h"
#include "Motor.h"

PuntoDeGuardado::PuntoDeGuardado(Motor& motor, QString nombre)
    : motor_(motor), nombre_(std::move(nombre)) {
    if (!motor_.TransaccionAbierta())
        throw Falla::BaseDeDatos(QStringLiteral("No hay una transacción abierta para el punto de "
                                                "guardado %1")
                                     .arg(nombre_));
    motor_.Guardar(nombre_);
}

PuntoDeGuardado::~PuntoDeGuardado() {
    if (terminado_)
        return;
    try {
        Deshacer();
    } catch (const Falla&) {
        // The transaction is gone with the connection, or the engine undid it: nothing of
        // what followed the savepoint stays either way.
    }
}

void PuntoDeGuardado::Confirmar() {
    terminado_ = true;
    if (!motor_.TransaccionAbierta())
        throw Falla::BaseDeDatos(QStringLiteral("La transacción terminó antes de confirmar el "
                                                "punto de guardado %1")
                                     .arg(nombre_));
    motor_.Liberar(nombre_);
}

void PuntoDeGuardado::Deshacer() {
    terminado_ = true;
    if (!motor_.TransaccionAbierta())
        return;
    motor_.VolverA(nombre_);
    motor_.Liberar(nombre_);
}
