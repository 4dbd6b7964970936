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
    if (!simular_) {
        Log.Abrir(rutina);
        if (Log.Abierto())
            Log.Inicio(QStringLiteral("la corrida"), conexion_->NombreDeLaBase());
    }
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
    if (!simular_ && Log.Abierto()) {
        Log.Fin(QStringLiteral("la corrida"),
                QStringLiteral("%1, %2, %3")
                    .arg(Cadenas::Contar(resultado.notas, u"remito", u"remitos"),
                         Cadenas::Contar(resultado.renglonesEscritos, u"renglón registrado",
                                         u"renglones registrados"),
                         Cadenas::Contar(resultado.RenglonesNoRegistrados(), u"renglón rechazado",
                                         u"renglones rechazados")));
    }
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
        // The notes taken so far (their event points have passed) go in first.
        EscribirBloque({});
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
    bloque_.clear();
    preparados_.clear();
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
    Recordset& notas = *RsComprobantes;
    if (!notas.Bof())
        notas.MoveFirst();
    // Notes go a block at a time, never more than a transaction takes: while a block's rows
    // are written, the lines of the notes of the next block are read.
    const int porBloque = qMax(1, qMin(notasPorLote_, conexion_->GruposPorEnvio()));
    while (!notas.Eof()) {
        while (!notas.Eof() && bloque_.size() < porBloque) {
            rutina.Paso([&] { avance_->ProcesarEventos(); });
            Remito remito;
            if (!preparados_.isEmpty()) {
                // Put together while the block before was written.
                remito = preparados_.takeFirst();
            } else {
                rutina.Paso([&] { remito = Remito::De(notas); });
                try {
                    remito.ValoresDeLaNota(notas);
                } catch (const ::Falla& falla) {
                    remito.faltaDeLaNota = falla.Descripcion();
                }
            }
            rutina.Paso([&] { avance_->Mostrar(QStringLiteral("Procesando... ") + remito.documento); });
            bloque_ << remito;
            notas.MoveNext();
        }
        EscribirBloque(Siguientes(porBloque));
    }
}

QList<QList<Variant>> CorridaRegistro::Siguientes(int cuantas) const {
    const Utilidades& util = Utilidades::Instancia();
    QList<QList<Variant>> claves;
    for (int i = 0; i < cuantas; ++i) {
        const auto tc = RsComprobantes->ValorAdelante(i, QStringLiteral("TC"));
        const auto id = RsComprobantes->ValorAdelante(i, QStringLiteral("IDCOMPROBANTE"));
        if (!tc || !id)
            break;
        claves << QList<Variant>{util.ValorTexto(*tc), util.ValorTexto(*id)};
    }
    return claves;
}

void CorridaRegistro::EscribirBloque(const QList<QList<Variant>>& siguientes) {
    QList<Remito> bloque = std::exchange(bloque_, {});
    preparados_.clear();
    if (bloque.isEmpty())
        return;
    // The notes whose movements were not put together ahead.
    QList<Remito*> faltan;
    QList<Remito> sinArmar;
    for (Remito& remito : bloque)
        if (!remito.armado) {
            faltan << &remito;
            sinArmar << remito;
        }
    if (!faltan.isEmpty()) {
        QList<RefRecordset> renglones = Renglones(sinArmar);
        for (qsizetype i = 0; i < faltan.size(); ++i)
            Armar(*faltan[i], renglones[i]);
    }
    // Meanwhile the next notes' lines are read and their movements put together, while the
    // server writes: their event points are still to come.
    auto preparar = [&](QList<RefRecordset>& leidos) {
        if (leidos.size() != siguientes.size())
            return;
        for (qsizetype i = 0; i < leidos.size(); ++i) {
            Remito remito = Remito::Adelante(*RsComprobantes, i);
            Armar(remito, leidos[i]);
            preparados_ << remito;
        }
    };
    if (siguientes.isEmpty())
        lote_->Escribir(bloque);
    else
        lote_->Escribir(bloque, Remito::SentenciaRenglonesPreparada(), siguientes, preparar);
    for (qsizetype i = 0; i < bloque.size(); ++i)
        avance_->Nota(++procesadas_, *resultado_);
    if (lote_->Remitos() >= notasPorLote_ || lote_->Edad() >= milisegundosPorLote_)
        lote_->Confirmar();
}

void CorridaRegistro::Armar(Remito& remito, const RefRecordset& renglones) {
    remito.armado = true;
    if (!renglones)
        return;
    RsInsumos = renglones;
    ArmarMovimientos(remito);
}

QList<RefRecordset> CorridaRegistro::Renglones(const QList<Remito>& bloque) {
    QList<QList<Variant>> claves;
    for (const Remito& remito : bloque)
        claves << QList<Variant>{remito.tc, remito.id};
    QList<RefRecordset> renglones;
    try {
        conexion_->AbrirRecordsetsPreparados(Remito::SentenciaRenglonesPreparada(), claves, renglones);
        if (renglones.size() == bloque.size())
            return renglones;
    } catch (const ::Falla& falla) {
        if (falla.Grave())
            throw CorridaDetenida{EnUnaLinea(falla.Descripcion())};
    }
    // Together they could not be read: each note alone, so that only a note whose lines
    // cannot be read says so.
    return LeerRenglones(bloque);
}

QList<RefRecordset> CorridaRegistro::LeerRenglones(const QList<Remito>& bloque) {
    const QString sql = Remito::SentenciaRenglonesPreparada();
    QList<RefRecordset> renglones(bloque.size());
    for (qsizetype i = 0; i < bloque.size(); ++i) {
        try {
            conexion_->AbrirRecordsetPreparado(sql, {bloque[i].tc, bloque[i].id}, renglones[i]);
        } catch (const ::Falla& falla) {
            renglones[i].reset();
            if (falla.Grave())
                throw CorridaDetenida{EnUnaLinea(falla.Descripcion())};
            ++resultado_->notasSinRenglones;
            Falla(QStringLiteral("*** %1: no se pudieron leer los renglones: %2")
                      .arg(bloque[i].documento, EnUnaLinea(falla.Descripcion())));
        }
    }
    return renglones;
}

void CorridaRegistro::ArmarMovimientos(Remito& remito) {
    // Every line's values are taken first; a line whose values cannot be (a field missing) is
    // skipped, and no other row goes in its place.
    if (RsInsumos->Bof())
        return;
    RsInsumos->MoveFirst();
    // Where the lines keep their values, once for all the note's lines.
    std::optional<Remito::ColumnasDeRenglon> columnas;
    QString sinColumnas = remito.faltaDeLaNota;
    if (sinColumnas.isEmpty()) {
        try {
            columnas = Remito::ColumnasDeRenglon::De(*RsInsumos);
        } catch (const ::Falla& falla) {
            sinColumnas = falla.Descripcion();
        }
    }
    remito.movimientos.reserve(RsInsumos->RecordCount());
    for (int Secuencia = 1; !RsInsumos->Eof(); ++Secuencia, RsInsumos->MoveNext()) {
        try {
            if (!sinColumnas.isEmpty())
                throw ::Falla(Errores::CampoInexistente, sinColumnas);
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
