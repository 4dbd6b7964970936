#include "InteraccionGuion.h"

#include "Falla.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

int InteraccionGuion::InformarError(const Falla& falla, const QString& origen) {
    errores.append({falla.Numero(), falla.Descripcion(), origen});
    if (alInformarError)
        alInformarError();
    return respuestasError.isEmpty() ? respuestaErrorPorDefecto : respuestasError.takeFirst();
}

void InteraccionGuion::Mensaje(const QString& texto, const QString& titulo, IconoMensaje icono) {
    mensajes.append({texto, titulo, icono});
}

std::optional<QString> InteraccionGuion::PedirTexto(const QString& indicacion, const QString&,
                                                    const QString& inicial) {
    textosPedidos.append(indicacion);
    valoresPropuestos.append(inicial);
    if (respuestasTexto.isEmpty())
        return std::nullopt;
    return respuestasTexto.takeFirst();
}

int InteraccionGuion::ElegirEnMenu(QMenu& menu, const QPoint&) {
    menusMostrados.append(menu.actions().size());
    const int eleccion = eleccionesMenu.isEmpty() ? -1 : eleccionesMenu.takeFirst();
    if (eleccion >= 0 && eleccion < menu.actions().size())
        menu.actions().at(eleccion)->trigger();
    return eleccion;
}

void InteraccionGuion::ProcesarEventos() {
    ++eventosProcesados;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    if (alProcesarEventos)
        alProcesarEventos();
}

void InteraccionGuion::TerminarPrograma(int estado) {
    throw FinDelPrograma{estado};
}
