#include "InteraccionGuion.h"

#include "Falla.h"

#include <QCoreApplication>

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
                                                    const QString&) {
    textosPedidos.append(indicacion);
    if (respuestasTexto.isEmpty())
        return std::nullopt;
    return respuestasTexto.takeFirst();
}

int InteraccionGuion::ElegirEnMenu(QMenu&, const QPoint&) {
    return eleccionesMenu.isEmpty() ? -1 : eleccionesMenu.takeFirst();
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
