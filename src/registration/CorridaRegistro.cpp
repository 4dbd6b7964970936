#include "CorridaRegistro.h"

#include "AlSalir.h"
#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "RegistroDeCorrida.h"
#include "Rutina.h"
#include "Utilidades.h"

#include <QElapsedTimer>
#include <utility>

namespace {

QString EnUnaLinea(const QString& texto) {
    return RegistroDeCorrida::EnUnaLinea(texto);
}

} // namespace

CorridaRegistro::~CorridaRegistro() {
    Terminar();
}

void CorridaRegistro::EstablecerLote(int notas, int milisegundos) {
    notasPorLote_ = qMax(1, notas);
    milisegundosPorLote_ = qMax(0, milisegundos);
}

ResultadoCorrida CorridaRegistro::Ejecutar(AvanceCorrida& avance) {
    QElapsedTimer reloj;
    reloj.start();
    ResultadoCorrida resultado;
    Rutina rutina(EstiloFallas::OmitirTodas);
    conexion_ = &Conexion::Instancia();
    avance_ = &avance;
    resultado_ = &resultado;
    total_ = procesadas_ = 0;
    AlSalir fin([this] { Terminar(); });
    if (!TomarBloqueo(resultado)) {
        // Another run holds the database: nothing is done, not even the log opened.
        avance.Fin(resultado);
        return resultado;
    }
    if (!simular_)
        Log.Abrir(rutina);
    if (rutina.UltimaFalla()) {
        resultado.registroFallido = true;
        resultado.motivoRegistro = rutina.UltimaFalla()->Motivo();
        avance.Falla(QStringLiteral("*** No se pudo abrir el registro: %1")
                         .arg(EnUnaLinea(rutina.UltimaFalla()->Descripcion())));
    }
    if (!simular_)
        rutina.Paso([&] { ModGlobal::GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"),
                                                          QStringLiteral("SI")); });
    rutina.Paso([&] { avance.Mostrar(QStringLiteral("Procesando Datos... Por Favor Espere...")); });
    rutina.Paso([&] { avance.ProcesarEventos(); });
    if (Seleccionar(rutina)) {
        total_ = int(RsComprobantes->RecordCount());
        avance.Inicio(total_);
        lote_.emplace(*conexion_, resultado, static_cast<OyenteDelLote&>(*this));
        // A simulation commits only to a private copy of the database.
        lote_->EstablecerConfirmacion(!simular_ || conexion_->EsCopiaPrivada());
        try {
            RecorrerNotas();
            lote_->Confirmar();
        } catch (const CorridaDetenida& detencion) {
            Detenida(detencion);
        }
        lote_.reset();
    }
    rutina.Paso([&] { avance.Mostrar(QString()); });
    if (!simular_)
        rutina.Paso([&] { Log.Cerrar(); });
    if (!resultado.registroFallido)
        resultado.lineasDeRegistroPerdidas = Log.LineasPerdidas();
    resultado.segundos = reloj.nsecsElapsed() / 1e9;
    avance.Fin(resultado);
    return resultado;
}

void CorridaRegistro::ConfirmarLoHecho() {
    if (!resultado_ || !lote_)
        return;
    try {
        lote_->Confirmar();
    } catch (const CorridaDetenida& detencion) {
        Detenida(detencion);
    }
}

bool CorridaRegistro::TomarBloqueo(ResultadoCorrida& resultado) {
    try {
        bloqueada_ = conexion_->TomarBloqueoDeCorrida(espera_);
        resultado.otraCorridaEnCurso = !bloqueada_;
        return bloqueada_;
    } catch (const ::Falla& falla) {
        // Two runs at once stay safe without it: each note goes in whole, and a note the
        // other run registered first is left alone.
        resultado.bloqueoFallido = true;
        Falla(QStringLiteral("*** No se pudo tomar el bloqueo de la corrida: %1")
                  .arg(EnUnaLinea(falla.Descripcion())));
        return true;
    }
}

void CorridaRegistro::Terminar() {
    // The program may be ending during the run (Salir), its connection gone already.
    const bool conConexion = Conexion::InstanciaCreada() && &Conexion::Instancia() == conexion_;
    if (lote_ && !conConexion)
        lote_->Olvidar();
    lote_.reset();
    if (bloqueada_ && conConexion)
        conexion_->SoltarBloqueoDeCorrida();
    bloqueada_ = false;
    resultado_ = nullptr;
}

bool CorridaRegistro::Seleccionar(Rutina& rutina) {
    QString Sentencia;
    rutina.Paso([&] { Sentencia = Remito::SentenciaSeleccion(); });
    rutina.Paso([&] { conexion_->AbrirRecordset(Sentencia, RsComprobantes, nullptr, 0, 1, -1); });
    if (!rutina.UltimaFalla() && RsComprobantes && RsComprobantes->Abierto())
        return true;
    // Nothing to go through: the run goes on to its end.
    resultado_->seleccionFallida = true;
    Falla(QStringLiteral("*** No se pudieron leer los remitos pendientes: %1")
              .arg(EnUnaLinea(rutina.UltimaFalla() ? rutina.UltimaFalla()->Descripcion() : QString())));
    return false;
}

void CorridaRegistro::RecorrerNotas() {
    Rutina rutina(EstiloFallas::OmitirTodas);
    Utilidades& util = Utilidades::Instancia();
    Recordset& notas = *RsComprobantes;
    if (!notas.Bof())
        notas.MoveFirst();
    while (!notas.Eof()) {
        rutina.Paso([&] { avance_->ProcesarEventos(); });
        Remito remito;
        rutina.Paso([&] { remito = Remito::De(notas); });
        rutina.Paso([&] { avance_->Mostrar(QStringLiteral("Procesando... ") + remito.documento); });
        // The next note's lines may travel with this note's rows, when the engine sends them
        // in one message.
        auto siguiente = [&](bool comoSentencia) {
            const auto tc = notas.ValorAdelante(1, QStringLiteral("TC"));
            const auto id = notas.ValorAdelante(1, QStringLiteral("IDCOMPROBANTE"));
            if (!tc || !id)
                return QString();
            return comoSentencia ? Remito::SentenciaRenglones(util.ValorTexto(*tc), util.ValorTexto(*id))
                                 : util.ValorTexto(*tc) + u'\n' + util.ValorTexto(*id);
        };
        RegistrarNota(remito, [&] { return siguiente(true); });
        if (adelantados_)
            adelantadosDe_ = siguiente(false);
        ++procesadas_;
        avance_->Nota(procesadas_, *resultado_);
        notas.MoveNext();
        if (lote_->Remitos() >= notasPorLote_ || lote_->Edad() >= milisegundosPorLote_)
            lote_->Confirmar();
    }
}

void CorridaRegistro::RegistrarNota(Remito& remito, const std::function<QString()>& lecturaAdelantada) {
    const bool leidos = LeerRenglones(remito);
    // Whatever was read ahead is used up: only this note's rows may bring the next lines.
    adelantados_.reset();
    if (leidos)
        ArmarMovimientos(remito);
    if (remito.movimientos.isEmpty()) {
        // Nothing to write: the note is logged with the notes around it.
        lote_->Agregar(remito);
        return;
    }
    lote_->Escribir(remito, lecturaAdelantada, &adelantados_);
}

bool CorridaRegistro::LeerRenglones(Remito& remito) {
    try {
        if (adelantados_ && adelantadosDe_ == remito.tc + u'\n' + remito.id) {
            // Read already, with the rows of the note before.
            std::swap(RsInsumos, adelantados_);
        } else {
            conexion_->AbrirRecordsetPreparado(Remito::SentenciaRenglonesPreparada(),
                                               {remito.tc, remito.id}, RsInsumos);
        }
        adelantadosDe_.clear();
    } catch (const ::Falla& falla) {
        adelantadosDe_.clear();
        if (falla.Grave())
            throw CorridaDetenida{EnUnaLinea(falla.Descripcion())};
        ++resultado_->notasSinRenglones;
        Falla(QStringLiteral("*** %1: no se pudieron leer los renglones: %2")
                  .arg(remito.documento, EnUnaLinea(falla.Descripcion())));
        return false;
    }
    return true;
}

void CorridaRegistro::ArmarMovimientos(Remito& remito) {
    // Every line's values are taken first; a line whose values cannot be (a field missing) is
    // skipped, and no other row goes in its place.
    if (RsInsumos->Bof())
        return;
    RsInsumos->MoveFirst();
    // The note's own values and where the lines keep theirs, once for all its lines.
    std::optional<Remito::ColumnasDeRenglon> columnas;
    std::optional<::Falla> sinColumnas;
    try {
        remito.ValoresDeLaNota(*RsComprobantes);
        columnas = Remito::ColumnasDeRenglon::De(*RsInsumos);
    } catch (const ::Falla& falla) {
        sinColumnas = falla;
    }
    remito.movimientos.reserve(RsInsumos->RecordCount());
    for (int Secuencia = 1; !RsInsumos->Eof(); ++Secuencia, RsInsumos->MoveNext()) {
        try {
            if (sinColumnas)
                throw *sinColumnas;
            remito.movimientos << remito.MovimientoDe(*RsInsumos, *columnas, Secuencia);
        } catch (const ::Falla& falla) {
            ++resultado_->renglonesIncompletos;
            Falla(QStringLiteral("*** %1 renglón %2: no se pudo armar el movimiento: %3")
                      .arg(remito.documento)
                      .arg(Secuencia)
                      .arg(EnUnaLinea(falla.Descripcion())));
        }
    }
}

void CorridaRegistro::Detenida(const CorridaDetenida& detencion) {
    if (lote_)
        lote_->Abandonar();
    ResultadoCorrida& r = *resultado_;
    r.detenida = true;
    r.motivoDetencion = detencion.motivo;
    r.notasSinProcesar = qMax(0, total_ - r.notas - r.notasInciertas);
    Falla(QStringLiteral("*** La corrida se detuvo: %1. %2 para la próxima corrida")
              .arg(detencion.motivo,
                   r.notasSinProcesar == 1 ? QStringLiteral("Queda 1 remito")
                                           : QStringLiteral("Quedan %1 remitos").arg(r.notasSinProcesar)));
}

void CorridaRegistro::Confirmado(const RemitoEnLote& e) {
    Anotar(e.remito.documento);
    ++resultado_->notas;
    resultado_->renglonesEscritos += int(e.escritos.size());
    if (simular_)
        for (const int i : e.escritos)
            avance_->Fila(Remito::Sentencia(e.remito.movimientos[i], conexion_->DialectoSQL()));
}

void CorridaRegistro::Falla(const QString& linea) {
    Anotar(linea);
    avance_->Falla(linea);
}

void CorridaRegistro::Anotar(const QString& linea) {
    if (simular_)
        avance_->LineaDeRegistro(linea);
    else
        Log.Registra(linea);
}

QString CorridaRegistro::MensajeFinal(const ResultadoCorrida& r, const QString& archivoLog) {
    if (r.otraCorridaEnCurso)
        return QStringLiteral("Otra corrida está registrando remitos en esta base de datos: no se "
                              "hizo nada. Vuelva a intentarlo cuando termine.");
    const QString fin = QStringLiteral("Proceso Finalizado!");
    if (r.SinFallas())
        return fin;
    QStringList partes;
    if (r.detenida)
        partes << QStringLiteral("La corrida se detuvo: %1. %2")
                      .arg(r.motivoDetencion,
                           r.notasSinProcesar == 1
                               ? QStringLiteral("Quedó 1 remito sin procesar.")
                               : QStringLiteral("Quedaron %1 remitos sin procesar.").arg(r.notasSinProcesar));
    if (r.notasInciertas)
        partes << QStringLiteral("No se sabe si quedaron registrados %1 (remitos --revisar lo dice).")
                      .arg(Cadenas::Contar(r.notasInciertas, u"remito", u"remitos"));
    if (const int n = r.RenglonesNoRegistrados())
        partes << (n == 1 ? QStringLiteral("No se registró 1 renglón.")
                          : QStringLiteral("No se registraron %1 renglones.").arg(n));
    if (r.notasSinRenglones)
        partes << QStringLiteral("No se pudieron leer los renglones de %1.")
                      .arg(Cadenas::Contar(r.notasSinRenglones, u"remito", u"remitos"));
    if (r.seleccionFallida)
        partes << QStringLiteral("No se pudieron leer los remitos pendientes.");
    if (r.bloqueoFallido)
        partes << QStringLiteral("No se pudo tomar el bloqueo que impide dos corridas a la vez.");
    if (r.notasDeOtraCorrida)
        partes << (r.notasDeOtraCorrida == 1
                       ? QStringLiteral("1 remito lo registró otra corrida al mismo tiempo.")
                       : QStringLiteral("%1 remitos los registró otra corrida al mismo tiempo.")
                             .arg(r.notasDeOtraCorrida));
    if (r.registroFallido)
        partes << (r.motivoRegistro.isEmpty()
                       ? QStringLiteral("No se pudo abrir el registro %1.").arg(archivoLog)
                       : QStringLiteral("No se pudo abrir el registro %1: %2.").arg(archivoLog, r.motivoRegistro));
    else if (r.lineasDeRegistroPerdidas == 1)
        partes << QStringLiteral("No se pudo escribir 1 línea en el registro %1.").arg(archivoLog);
    else if (r.lineasDeRegistroPerdidas)
        partes << QStringLiteral("No se pudieron escribir %1 líneas en el registro %2.")
                      .arg(r.lineasDeRegistroPerdidas)
                      .arg(archivoLog);
    else if (!archivoLog.isEmpty()) // a simulation has no log: its detail was shown already
        partes << QStringLiteral("Detalle en %1.").arg(archivoLog);
    return fin + u'\n' + partes.join(u' ');
}
