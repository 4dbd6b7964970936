#pragma once

#include "Falla.h"

#include <QString>
#include <functional>
#include <optional>

// How a routine reacts when one of its steps fails.
enum class EstiloFallas {
    // Skip the failing step silently and go on with the next one.
    OmitirTodas,
    // Skip a failure numbered 5 (invalid procedure call or argument); end the routine
    // silently on any other.
    OmitirSolo5,
    // Ask through Utilidades.InformarError: 4 runs the step again, 5 goes on with the next
    // step, any other answer leaves the routine.
    Informar,
    // As Informar, but the answer 4 leaves the routine too.
    InformarSinReintento,
    // Leave the routine silently at the first failure, which UltimaFalla keeps (the caller
    // says it in its own way).
    Abandonar,
};

// Runs the steps of one routine under one failure style. Once the routine is left, later
// steps do not run. Only failures (Falla) are handled; anything else passes through.
class Rutina {
public:
    explicit Rutina(EstiloFallas estilo, QString etiqueta = {});

    // Runs one step; false when the routine has been left (before or during this step).
    bool Paso(const std::function<void()>& paso);
    // Tests a condition as one step. A test that fails and is skipped lets the guarded
    // steps run, as the run-time resumes inside the guarded block; a routine that has been
    // left gives false.
    bool Si(const std::function<bool()>& prueba);
    // Leaves the routine without a failure.
    void Salir() { activa_ = false; }

    bool Activa() const { return activa_; }
    int Fallas() const { return fallas_; }
    // The failure of the last step run, if it failed.
    const std::optional<Falla>& UltimaFalla() const { return ultimaFalla_; }

private:
    EstiloFallas estilo_;
    QString etiqueta_;
    bool activa_ = true;
    int fallas_ = 0;
    std::optional<Falla> ultimaFalla_;
};
