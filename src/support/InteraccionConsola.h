#pragma once

#include "Interaccion.h"

// Batch mode: nobody is at the screen. Prompts are printed and never waited for; an error
// prompt is answered "skip" and counted.
class InteraccionConsola : public Interaccion {
public:
    int InformarError(const Falla& falla, const QString& origen) override;
    void Mensaje(const QString& texto, const QString& titulo, IconoMensaje icono) override;
    std::optional<QString> PedirTexto(const QString& indicacion, const QString& titulo,
                                      const QString& inicial) override;
    int ElegirEnMenu(QMenu& menu, const QPoint& posicion) override;
    void ProcesarEventos() override;
    [[noreturn]] void TerminarPrograma(int estado) override;
    bool MuestraVentanas() const override { return false; }

    int ErroresInformados() const { return errores_; }

    // Text to standard error at once, each line begun with the program's name.
    static void EscribirError(const QString& texto);

private:
    int errores_ = 0;
};
