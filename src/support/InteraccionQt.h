#pragma once

#include "Interaccion.h"

// The window's dialogs: Qt message boxes, input box and menus.
class InteraccionQt : public Interaccion {
public:
    int InformarError(const Falla& falla, const QString& origen) override;
    void Mensaje(const QString& texto, const QString& titulo, IconoMensaje icono) override;
    std::optional<QString> PedirTexto(const QString& indicacion, const QString& titulo,
                                      const QString& inicial) override;
    int ElegirEnMenu(QMenu& menu, const QPoint& posicion) override;
    void ProcesarEventos() override;
    [[noreturn]] void TerminarPrograma(int estado) override;
    bool MuestraVentanas() const override { return true; }
};
