#pragma once

#include "InstanciaUnica.h"

#include <QString>

class QWidget;

// The workstation and the person using it.
class Estacion : public InstanciaUnica<Estacion> {
public:
    QString NombreEquipo() const;
    QString NombreUsuario() const;
    // Adjusts a form to this workstation: it is kept inside the screen's free area.
    void AjustarFormulario(QWidget* formulario) const;

private:
    friend class InstanciaUnica<Estacion>;
    Estacion() = default;
};
