#include "InteraccionConsola.h"

#include "ConNombre.h"
#include "Falla.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace {
void Escribir(FILE* destino, const QString& texto) {
    if (destino == stderr) {
        InteraccionConsola::EscribirError(texto + u'\n');
        return;
    }
    const QByteArray bytes = texto.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), destino);
    std::fputc('\n', destino);
    std::fflush(destino);
}
} // namespace

void InteraccionConsola::EscribirError(const QString& texto) {
    const QByteArray bytes = ConNombreDelPrograma(texto).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int InteraccionConsola::InformarError(const Falla& falla, const QString& origen) {
    ++errores_;
    Escribir(stderr, QStringLiteral("%1: Error %2: %3 (se omite el paso)")
                         .arg(origen)
                         .arg(falla.Numero())
                         .arg(falla.Descripcion()));
    return 5;
}

void InteraccionConsola::Mensaje(const QString& texto, const QString&, IconoMensaje icono) {
    Escribir(icono == IconoMensaje::Critico || icono == IconoMensaje::Advertencia ? stderr
                                                                                   : stdout,
             texto);
}

std::optional<QString> InteraccionConsola::PedirTexto(const QString& indicacion, const QString&,
                                                      const QString&) {
    Escribir(stderr, indicacion + QStringLiteral(" (sin respuesta: nadie atiende la consola)"));
    return std::nullopt;
}

int InteraccionConsola::ElegirEnMenu(QMenu&, const QPoint&) {
    return -1;
}

void InteraccionConsola::ProcesarEventos() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void InteraccionConsola::TerminarPrograma(int estado) {
    std::fflush(nullptr);
    std::_Exit(estado);
}
