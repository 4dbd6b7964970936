#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <optional>

class Falla;
class QMenu;

enum class IconoMensaje { Ninguno, Informacion, Advertencia, Critico };

// Every exchange with the person at the screen goes through here: the error prompt, message
// boxes, the input box, the choice in a pop-up menu, processing pending window events and
// ending the program. The window uses Qt dialogs, batch mode the console, tests a script.
class Interaccion {
public:
    virtual ~Interaccion() = default;

    // Shows a failure and where it happened; answers 4 (retry), 5 (skip) or another number
    // (leave the operation).
    virtual int InformarError(const Falla& falla, const QString& origen) = 0;
    // A modal message with an OK button only.
    virtual void Mensaje(const QString& texto, const QString& titulo,
                         IconoMensaje icono = IconoMensaje::Ninguno) = 0;
    // The input box: the text accepted, or nothing when the person cancelled.
    virtual std::optional<QString> PedirTexto(const QString& indicacion, const QString& titulo,
                                              const QString& inicial = {}) = 0;
    // Shows the pop-up menu and gives the position of the entry chosen among its actions, or
    // -1 when none was. The chosen entry's action has been triggered (its handler has run)
    // by the time this returns.
    virtual int ElegirEnMenu(QMenu& menu, const QPoint& posicion) = 0;
    // Lets the window system handle the events waiting (repaint, clicks).
    virtual void ProcesarEventos() = 0;
    // Ends the program at once with the given status.
    [[noreturn]] virtual void TerminarPrograma(int estado) = 0;
    // Whether messages reach a person through windows.
    virtual bool MuestraVentanas() const = 0;

    static Interaccion& Actual();
    // Installs another implementation and gives back the one in use before.
    static std::unique_ptr<Interaccion> Establecer(std::unique_ptr<Interaccion> nueva);
};
