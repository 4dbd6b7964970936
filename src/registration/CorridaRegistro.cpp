#include "CorridaRegistro.h"

#include "AlSalir.h"
#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "RegistroDeCorrida.h"
#include "Rutina.h"
#include "Transaccion.h"
#include "Utilidades.h"

#include <QElapsedTimer>
#include <optional>
#include <utility>

namespace {

const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

} // namespace

QString CorridaRegistro::SentenciaSeleccion() {
    return QStringLiteral(
        "SELECT  v_mv_cpte.* FROM V_MV_Cpte LEFT OUTER JOIN V_MV_Stock ON "
        "V_MV_Cpte.IdComplemento = V_MV_Stock.IdComplemento AND V_MV_Cpte.TC = V_MV_Stock.TC AND "
        "V_MV_Cpte.IDCOMPROBANTE = V_MV_Stock.IDCOMPROBANTE WHERE (V_MV_Stock.TC IS NULL) AND "
        "V_MV_Cpte.TC = 'RM' AND (V_MV_Cpte.FECHA > '01/03/2003') AND (V_MV_Cpte.ANULADA = 0)");
}

QString CorridaRegistro::Documento(Recordset& nota) {
    const Utilidades& util = Utilidades::Instancia();
    return util.ValorTexto(nota.Fields(QStringLiteral("TC"))) +
           util.ValorTexto(nota.Fields(QStringLiteral("IDCOMPROBANTE")));
}

QString CorridaRegistro::SentenciaRenglones(const QString& tc, const QString& idComprobante) {
    return QStringLiteral("Select * from V_Mv_CpteInsumos where tc = '") +
           Cadenas::DuplicarComillas(tc) + QStringLiteral("' and idcomprobante = '") +
           Cadenas::DuplicarComillas(idComprobante) + u'\'';
}

QString CorridaRegistro::SentenciaInsert(Recordset& nota, Recordset& renglon, int secuencia) {
    const Conexion& c = Conexion::Instancia();
    QString sentencia;
    sentencia.reserve(640);
    sentencia.append(QLatin1StringView(
        "INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,"
        "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,"
        "CUENTAPROVEEDOR)  VALUES ("));
    auto valor = [&](const Variant& v, const QString& marca, bool ultimo = false) {
        c.AgregarValorSQL(sentencia, v, marca);
        sentencia += ultimo ? u')' : u',';
    };
    valor(nota.Fields(QStringLiteral("TC")).Value(), Comilla);
    valor(nota.Fields(QStringLiteral("IDCOMPROBANTE")).Value(), Comilla);
    valor(nota.Fields(QStringLiteral("IdComplemento")).Value(), Numero);
    valor(secuencia, Numero);
    valor(nota.Fields(QStringLiteral("Fecha")).Value(), Comilla);
    valor(renglon.Fields(QStringLiteral("idarticulo")).Value(), Comilla);
    valor(renglon.Fields(QStringLiteral("Descripcion")).Value(), Comilla);
    valor(renglon.Fields(QStringLiteral("idunidad")).Value(), Comilla);
    valor(renglon.Fields(QStringLiteral("Cantidad")).Value().Negado(), Numero);
    valor(renglon.Fields(QStringLiteral("Costo")).Value(), Numero);
    valor(renglon.Fields(QStringLiteral("Importe")).Value(), Numero);
    valor(renglon.Fields(QStringLiteral("CLASEPRECIO")).Value(), Numero);
    valor(QStringLiteral("   1"), Comilla);
    valor(QStringLiteral("   1"), Comilla);
    valor(nota.Fields(QStringLiteral("Cuenta")).Value(), Comilla, true);
    return sentencia;
}

QString CorridaRegistro::SentenciaRenglonesPreparada() {
    return QStringLiteral("Select * from V_Mv_CpteInsumos where tc = ? and idcomprobante = ?");
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
                         .arg(RegistroDeCorrida::EnUnaLinea(rutina.UltimaFalla()->Descripcion())));
    }
    if (!simular_)
        rutina.Paso([&] { ModGlobal::GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"),
                                                          QStringLiteral("SI")); });
    rutina.Paso([&] { avance.Mostrar(QStringLiteral("Procesando Datos... Por Favor Espere...")); });
    rutina.Paso([&] { avance.ProcesarEventos(); });
    if (Seleccionar(rutina)) {
        avance.Inicio(int(RsComprobantes->RecordCount()));
        if (RecorrerNotas() && !simular_)
            ConfirmarLote();
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
    if (resultado_ && !simular_)
        ConfirmarLote();
}

bool CorridaRegistro::TomarBloqueo(ResultadoCorrida& resultado) {
    try {
        bloqueada_ = conexion_->TomarBloqueoDeCorrida(espera_);
        resultado.otraCorridaEnCurso = !bloqueada_;
        return bloqueada_;
    } catch (const Falla& falla) {
        // Two runs at once stay safe without it: each note goes in whole, and a note the
        // other run registered first is left alone.
        resultado.bloqueoFallido = true;
        AnotarFalla(QStringLiteral("*** No se pudo tomar el bloqueo de la corrida: %1")
                        .arg(RegistroDeCorrida::EnUnaLinea(falla.Descripcion())));
        return true;
    }
}

void CorridaRegistro::Terminar() {
    // The program may be ending during the run (Salir), its connection gone already.
    const bool conConexion = Conexion::InstanciaCreada() && &Conexion::Instancia() == conexion_;
    if (transaccion_ && !conConexion)
        transaccion_->Abandonar();
    transaccion_.reset();
    lote_.clear();
    if (bloqueada_ && conConexion)
        conexion_->SoltarBloqueoDeCorrida();
    bloqueada_ = false;
    resultado_ = nullptr;
}

bool CorridaRegistro::Seleccionar(Rutina& rutina) {
    QString Sentencia;
    rutina.Paso([&] { Sentencia = SentenciaSeleccion(); });
    rutina.Paso([&] { conexion_->AbrirRecordset(Sentencia, RsComprobantes, nullptr, 0, 1, -1); });
    if (!rutina.UltimaFalla() && RsComprobantes && RsComprobantes->Abierto())
        return true;
    // Nothing to go through: the run goes on to its end.
    resultado_->seleccionFallida = true;
    AnotarFalla(QStringLiteral("*** No se pudieron leer los remitos pendientes: %1")
                    .arg(RegistroDeCorrida::EnUnaLinea(rutina.UltimaFalla() ? rutina.UltimaFalla()->Descripcion()
                                                          : QString())));
    return false;
}

bool CorridaRegistro::RecorrerNotas() {
    Rutina rutina(EstiloFallas::OmitirTodas);
    Utilidades& util = Utilidades::Instancia();
    ResultadoCorrida& resultado = *resultado_;
    Recordset& notas = *RsComprobantes;
    const int total = int(notas.RecordCount());
    if (!notas.Bof())
        notas.MoveFirst();
    while (!notas.Eof()) {
        rutina.Paso([&] { avance_->ProcesarEventos(); });
        QString documento;
        rutina.Paso([&] { documento = Documento(notas); });
        rutina.Paso([&] { avance_->Mostrar(QStringLiteral("Procesando... ") + documento); });
        rutina.Paso([&] { Anotar(documento); });
        const int fallasAntes = resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones;
        NotaEnCurso n{notas, documento, {}, {}, {}, {}, false};
        if (conexion_->AdmiteBloques()) {
            const auto tc = notas.ValorAdelante(1, QStringLiteral("TC"));
            const auto id = notas.ValorAdelante(1, QStringLiteral("IDCOMPROBANTE"));
            n.haySiguiente = tc && id;
            if (n.haySiguiente) {
                n.tcSiguiente = util.ValorTexto(*tc);
                n.idSiguiente = util.ValorTexto(*id);
            }
        }
        RegistrarNota(n);
        if (LoteVencido())
            ConfirmarLote();
        ++resultado.notas;
        avance_->Nota(resultado.notas, resultado);
        notas.MoveNext();
        const bool fallo =
            resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones != fallasAntes;
        // Once the server is gone every later note would fail the same way.
        if (fallo && conexion_->ConexionPerdida()) {
            PerderLote(QStringLiteral("se perdió la conexión con la base de datos"));
            resultado.notasSinProcesar = total - resultado.notas;
            AnotarFalla(resultado.notasSinProcesar == 1
                            ? QStringLiteral("*** Se perdió la conexión con la base de datos: "
                                             "queda 1 remito sin procesar")
                            : QStringLiteral("*** Se perdió la conexión con la base de datos: "
                                             "quedan %1 remitos sin procesar")
                                  .arg(resultado.notasSinProcesar));
            return false;
        }
    }
    return true;
}

void CorridaRegistro::RegistrarNota(NotaEnCurso& n) {
    if (!LeerRenglones(n))
        return;
    const QList<Movimiento> movimientos = ArmarMovimientos(n);
    if (movimientos.isEmpty())
        return;
    if (AbrirLote(n.documento)) {
        EnviarEnLote(n, movimientos);
        return;
    }
    // Without a transaction the lines still go, each on its own, and nothing is left to
    // confirm.
    NotaEscrita escrita{n.documento, {}};
    EnviarUnoPorUno(n, movimientos, escrita, false);
    Contar(escrita);
}

bool CorridaRegistro::LeerRenglones(NotaEnCurso& n) {
    Utilidades& util = Utilidades::Instancia();
    try {
        n.tc = util.ValorTexto(n.nota.Fields(QStringLiteral("TC")));
        n.id = util.ValorTexto(n.nota.Fields(QStringLiteral("IDCOMPROBANTE")));
        const QString clave = n.tc + u'\n' + n.id;
        if (adelantados_ && adelantadosDe_ == clave) {
            // Read already, with the rows of the note before.
            std::swap(RsInsumos, adelantados_);
        } else if (conexion_->AdmiteBloques()) {
            // Through the PostgreSQL driver a prepared statement inside a transaction costs a
            // round trip more than the text itself.
            conexion_->AbrirRecordset(SentenciaRenglones(n.tc, n.id), RsInsumos, nullptr, 0, 1, -1);
        } else {
            // Prepared once for the whole run.
            conexion_->AbrirRecordsetPreparado(SentenciaRenglonesPreparada(), {n.tc, n.id}, RsInsumos);
        }
        adelantadosDe_.clear();
    } catch (const Falla& falla) {
        ++resultado_->notasSinRenglones;
        AnotarFalla(QStringLiteral("*** %1: no se pudieron leer los renglones: %2")
                        .arg(n.documento, RegistroDeCorrida::EnUnaLinea(falla.Descripcion())));
        return false;
    }
    return true;
}

QList<CorridaRegistro::Movimiento> CorridaRegistro::ArmarMovimientos(NotaEnCurso& n) {
    // Every line's statement is put together first; a line whose statement cannot be is
    // skipped, and no other statement goes in its place.
    QList<Movimiento> movimientos;
    if (RsInsumos->Bof())
        return movimientos;
    RsInsumos->MoveFirst();
    for (int Secuencia = 1; !RsInsumos->Eof(); ++Secuencia, RsInsumos->MoveNext()) {
        try {
            movimientos.append({Secuencia, SentenciaInsert(n.nota, *RsInsumos, Secuencia)});
        } catch (const Falla& falla) {
            ++resultado_->renglonesIncompletos;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: no se pudo armar el movimiento: %3")
                            .arg(n.documento)
                            .arg(Secuencia)
                            .arg(RegistroDeCorrida::EnUnaLinea(falla.Descripcion())));
        }
    }
    return movimientos;
}

void CorridaRegistro::EnviarEnLote(NotaEnCurso& n, const QList<Movimiento>& movimientos) {
    NotaEscrita escrita{n.documento, {}};
    if (conexion_->AdmiteBloques()) {
        // A server that takes the note in one message saves a round trip per line.
        if (EnviarEnBloque(n, movimientos, escrita))
            return;
    } else {
        Intentar(QStringLiteral("SAVEPOINT nota"));
    }
    EnviarUnoPorUno(n, movimientos, escrita, true);
}

bool CorridaRegistro::EnviarEnBloque(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                                     NotaEscrita& escrita) {
    QStringList bloque{QStringLiteral("SAVEPOINT nota")};
    for (const Movimiento& m : movimientos)
        bloque << m.sentencia;
    // The next note's lines travel in the same message, inside the savepoint: when they
    // cannot be read, the message fails as a whole and everything goes again the long way.
    if (n.haySiguiente)
        bloque << SentenciaRenglones(n.tcSiguiente, n.idSiguiente);
    bloque << QStringLiteral("RELEASE SAVEPOINT nota");
    try {
        if (n.haySiguiente) {
            conexion_->EjecutarEnBloqueYLeer(bloque, adelantados_);
            adelantadosDe_ = n.tcSiguiente + u'\n' + n.idSiguiente;
        } else {
            conexion_->EjecutarEnBloque(bloque);
        }
        for (const Movimiento& m : movimientos)
            escrita.sentencias << m.sentencia;
        Escrita(escrita);
        return true;
    } catch (const Falla&) {
        // The server stopped at the refused row: back to the note's start, where the lines
        // go again one by one, so that the refused ones are known and the others kept.
        Intentar(QStringLiteral("ROLLBACK TO SAVEPOINT nota"));
    }
    if (!RegistradaPorOtraCorrida(n))
        return false;
    Intentar(QStringLiteral("RELEASE SAVEPOINT nota"));
    AnotarDeOtraCorrida(n);
    return true;
}

void CorridaRegistro::EnviarUnoPorUno(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                                      NotaEscrita& escrita, bool enLote) {
    ResultadoCorrida& resultado = *resultado_;
    for (qsizetype i = 0; i < movimientos.size(); ++i) {
        const Movimiento& m = movimientos[i];
        try {
            conexion_->Ejecutar(m.sentencia);
            escrita.sentencias << m.sentencia;
            continue;
        } catch (const Falla& falla) {
            if (i == 0 && RegistradaPorOtraCorrida(n)) {
                if (enLote) {
                    Intentar(QStringLiteral("ROLLBACK TO SAVEPOINT nota"));
                    Intentar(QStringLiteral("RELEASE SAVEPOINT nota"));
                }
                AnotarDeOtraCorrida(n);
                return;
            }
            // A refused row undoes only itself; the later lines are still sent.
            ++resultado.renglonesRechazados;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: %3")
                            .arg(n.documento)
                            .arg(m.secuencia)
                            .arg(RegistroDeCorrida::EnUnaLinea(falla.Descripcion())));
        }
        if (enLote && !transaccion_->Abierta()) {
            // The database undid the whole transaction by itself: this note's rows are gone,
            // and its later ones must not go in one by one outside a transaction.
            resultado.renglonesRechazados +=
                int(escrita.sentencias.size() + movimientos.size() - i - 1);
            AnotarFalla(QStringLiteral("*** %1: la base de datos deshizo el remito; no se "
                                       "registró ninguno de sus renglones")
                            .arg(n.documento));
            RehacerLote();
            return;
        }
    }
    if (!enLote)
        return;
    Intentar(QStringLiteral("RELEASE SAVEPOINT nota"));
    Escrita(escrita);
}

bool CorridaRegistro::RegistradaPorOtraCorrida(NotaEnCurso& n) {
    // It was pending when selected and has stock rows now. Asked only after a refusal, so it
    // costs nothing when all goes well.
    try {
        RefRecordset filas;
        conexion_->AbrirRecordset(
            QStringLiteral("SELECT count(*) FROM V_MV_Stock WHERE TC = '") +
                Cadenas::DuplicarComillas(n.tc) + QStringLiteral("' AND IDCOMPROBANTE = '") +
                Cadenas::DuplicarComillas(n.id) + QStringLiteral("' AND IDCOMPLEMENTO = ") +
                conexion_->ValorSQL(n.nota.Fields(QStringLiteral("IdComplemento")), Numero),
            filas);
        return filas->Fields(0).Value().Entero() > 0;
    } catch (const Falla&) {
        return false;
    }
}

void CorridaRegistro::AnotarDeOtraCorrida(NotaEnCurso& n) {
    ++resultado_->notasDeOtraCorrida;
    AnotarFalla(QStringLiteral("*** %1: lo registró otra corrida al mismo tiempo; no se "
                               "escribió ninguno de sus renglones")
                    .arg(n.documento));
}

void CorridaRegistro::AnotarFalla(const QString& linea) {
    Anotar(linea);
    avance_->Falla(linea);
}

void CorridaRegistro::Anotar(const QString& linea) {
    if (simular_)
        avance_->LineaDeRegistro(linea);
    else
        Log.Registra(linea);
}

void CorridaRegistro::Escrita(const NotaEscrita& escrita) {
    if (!escrita.sentencias.isEmpty())
        lote_ << escrita;
    Contar(escrita);
}

void CorridaRegistro::Contar(const NotaEscrita& escrita) {
    if (simular_)
        for (const QString& sentencia : escrita.sentencias)
            avance_->Fila(sentencia);
    resultado_->renglonesEscritos += int(escrita.sentencias.size());
}

bool CorridaRegistro::Intentar(const QString& sentencia) {
    try {
        conexion_->Ejecutar(sentencia);
        return true;
    } catch (const Falla&) {
        return false;
    }
}

bool CorridaRegistro::AbrirLote(const QString& documento) {
    if (transaccion_)
        return true;
    try {
        transaccion_.emplace(*conexion_);
        edadDelLote_.start();
        // A simulation must see the refusals a server keeps for the commit, which it never
        // reaches.
        if (simular_ && conexion_->AdmiteBloques())
            Intentar(QStringLiteral("SET CONSTRAINTS ALL IMMEDIATE"));
        return true;
    } catch (const Falla& falla) {
        AnotarFalla(QStringLiteral("*** %1: no se pudo abrir una transacción: %2")
                        .arg(documento, RegistroDeCorrida::EnUnaLinea(falla.Descripcion())));
        return false;
    }
}

bool CorridaRegistro::LoteVencido() const {
    // A simulation keeps its one transaction to the end, where it is undone.
    return !simular_ && transaccion_ &&
           (lote_.size() >= notasPorLote_ || edadDelLote_.elapsed() >= milisegundosPorLote_);
}

void CorridaRegistro::ConfirmarLote() {
    if (!transaccion_)
        return;
    const QList<NotaEscrita> notas = std::exchange(lote_, {});
    try {
        transaccion_->Confirmar();
        transaccion_.reset();
        return;
    } catch (const Falla& falla) {
        transaccion_.reset();
        // Nothing of the transaction stayed. Each note goes again in a transaction of its
        // own, so that only a note the database refuses stays out.
        for (const NotaEscrita& nota : notas) {
            if (conexion_->ConexionPerdida()) {
                NoConfirmada(nota, falla.Descripcion());
                continue;
            }
            try {
                Transaccion propia(*conexion_);
                Reescribir(nota);
                propia.Confirmar();
            } catch (const Falla& otra) {
                NoConfirmada(nota, otra.Descripcion());
            }
        }
    }
}

void CorridaRegistro::RehacerLote() {
    transaccion_.reset();
    const QList<NotaEscrita> notas = std::exchange(lote_, {});
    if (notas.isEmpty())
        return;
    if (!AbrirLote(notas.first().documento)) {
        for (const NotaEscrita& nota : notas)
            NoConfirmada(nota, QStringLiteral("no se pudo abrir otra transacción"));
        return;
    }
    for (const NotaEscrita& nota : notas) {
        try {
            conexion_->Ejecutar(QStringLiteral("SAVEPOINT nota"));
            Reescribir(nota);
            conexion_->Ejecutar(QStringLiteral("RELEASE SAVEPOINT nota"));
            lote_ << nota;
        } catch (const Falla& falla) {
            Intentar(QStringLiteral("ROLLBACK TO SAVEPOINT nota"));
            Intentar(QStringLiteral("RELEASE SAVEPOINT nota"));
            NoConfirmada(nota, falla.Descripcion());
        }
    }
}

void CorridaRegistro::PerderLote(const QString& motivo) {
    transaccion_.reset();
    const QList<NotaEscrita> notas = std::exchange(lote_, {});
    for (const NotaEscrita& nota : notas)
        NoConfirmada(nota, motivo);
}

void CorridaRegistro::Reescribir(const NotaEscrita& nota) {
    if (conexion_->AdmiteBloques()) {
        conexion_->EjecutarEnBloque(nota.sentencias);
        return;
    }
    for (const QString& sentencia : nota.sentencias)
        conexion_->Ejecutar(sentencia);
}

void CorridaRegistro::NoConfirmada(const NotaEscrita& nota, const QString& motivo) {
    const int renglones = int(nota.sentencias.size());
    resultado_->renglonesEscritos -= renglones;
    resultado_->renglonesRechazados += renglones;
    AnotarFalla(QStringLiteral("*** %1: no se confirmaron sus %2 renglones: %3")
                    .arg(nota.documento)
                    .arg(renglones)
                    .arg(RegistroDeCorrida::EnUnaLinea(motivo)));
}

QString CorridaRegistro::MensajeFinal(const ResultadoCorrida& r, const QString& archivoLog) {
    if (r.otraCorridaEnCurso)
        return QStringLiteral("Otra corrida está registrando remitos en esta base de datos: no se "
                              "hizo nada. Vuelva a intentarlo cuando termine.");
    const QString fin = QStringLiteral("Proceso Finalizado!");
    if (r.SinFallas())
        return fin;
    QStringList partes;
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
    if (r.notasSinProcesar)
        partes << (r.notasSinProcesar == 1
                       ? QStringLiteral("Se perdió la conexión: quedó 1 remito sin procesar.")
                       : QStringLiteral("Se perdió la conexión: quedaron %1 remitos sin procesar.")
                             .arg(r.notasSinProcesar));
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
