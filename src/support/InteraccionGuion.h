#pragma once

#include "Interaccion.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

// Thrown instead of ending the process, so that a test survives "end the program".
struct FinDelPrograma {
    int estado;
};

// Answers given in advance and everything asked recorded: the implementation tests install.
class InteraccionGuion : public Interaccion {
public:
    struct ErrorInformado {
        long numero;
        QString descripcion;
        QString origen;
    };
    struct MensajeMostrado {
        QString texto;
        QString titulo;
        IconoMensaje icono;
    };

    int InformarError(const Falla& falla, const QString& origen) override;
    void Mensaje(const QString& texto, const QString& titulo, IconoMensaje icono) override;
    std::optional<QString> PedirTexto(const QString& indicacion, const QString& titulo,
                                      const QString& inicial) override;
    int ElegirEnMenu(QMenu& menu, const QPoint& posicion) override;
    void ProcesarEventos() override;
    [[noreturn]] void TerminarPrograma(int estado) override;
    bool MuestraVentanas() const override { return muestraVentanas; }

    // Answers used in order; when they run out the defaults apply.
    QList<int> respuestasError;
    int respuestaErrorPorDefecto = 5;
    QList<std::optional<QString>> respuestasTexto; // none left: cancelled
    QList<int> eleccionesMenu;                       // none left: nothing chosen
    bool muestraVentanas = true;
    // Runs at every event-processing point, after the pending events.
    std::function<void()> alProcesarEventos;
    // Runs when a failure is reported, before the answer is given.
    std::function<void()> alInformarError;

    // What happened.
    QList<ErrorInformado> errores;
    QList<MensajeMostrado> mensajes;
    QStringList textosPedidos;
    QStringList valoresPropuestos; // the default answer offered by each input box
    QList<int> menusMostrados;     // the number of entries of each pop-up menu shown
    int eventosProcesados = 0;
};
