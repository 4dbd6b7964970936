#include "RegistroDeCorrida.h"

#include "Archivos.h"
#include "Entorno.h"
#include "Estacion.h"
#include "Falla.h"
#include "Rutina.h"
#include "Utilidades.h"

#include <QDateTime>

RegistroDeCorrida::~RegistroDeCorrida() {
    // Only a log this object opened and did not close: the number may serve another file by
    // now.
    if (abierto_)
        Archivos::Cerrar(NumeroArchivo);
}

void RegistroDeCorrida::Abrir(Rutina& rutina) {
    rutina.Paso([&] { NumeroArchivo = Archivos::NumeroLibre(); });
    rutina.Paso([&] { ArchivoLog = Entorno::CarpetaDelPrograma(); });
    rutina.Paso([&] { ArchivoLog = Utilidades::Instancia().AgregarBarra(ArchivoLog); });
    rutina.Paso([&] { ArchivoLog += NombreArchivo(); });
    rutina.Paso([&] {
        Archivos::AbrirParaAnexar(NumeroArchivo, ArchivoLog);
        abierto_ = true;
    });
    lineasPerdidas_ = 0;
}

void RegistroDeCorrida::Registra(const QString& Mensaje) {
    try {
        Archivos::EscribirLinea(NumeroArchivo, Mensaje);
    } catch (const Falla&) {
        // The log is a record of the run, never a reason to stop it.
        ++lineasPerdidas_;
    }
}

namespace {
QString Marcada(const QString& texto) {
    return RegistroDeCorrida::MarcaDeCorrida() +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + texto;
}
} // namespace

void RegistroDeCorrida::Inicio(const QString& que, const QString& base) {
    Registra(Marcada(QStringLiteral("Inicio de %1: usuario %2, %3")
                         .arg(que, Estacion::Instancia().NombreUsuario(), EnUnaLinea(base))));
}

void RegistroDeCorrida::Fin(const QString& que, const QString& cuentas) {
    Registra(Marcada(QStringLiteral("Fin de %1: %2").arg(que, cuentas)));
}

void RegistroDeCorrida::Cerrar() {
    Archivos::Cerrar(NumeroArchivo);
    abierto_ = false;
}
