#include "CorridaRegistro.h"

#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "Rutina.h"
#include "Transaccion.h"
#include "Utilidades.h"

#include <QElapsedTimer>
#include <optional>

namespace {

const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

// A message of the database on one line of the log.
QString EnUnaLinea(const QString& texto) {
    return texto.simplified();
}

} // namespace

QString CorridaRegistro::SentenciaSeleccion() {
    return QStringLiteral(
        "SELECT  v_mv_cpte.* FROM V_MV_Cpte LEFT OUTER JOIN V_MV_Stock ON "
        "V_MV_Cpte.IdComplemento = V_MV_Stock.IdComplemento AND V_MV_Cpte.TC = V_MV_Stock.TC AND "
        "V_MV_Cpte.IDCOMPROBANTE = V_MV_Stock.IDCOMPROBANTE WHERE (V_MV_Stock.TC IS NULL) AND "
        "V_MV_Cpte.TC = 'RM' AND (V_MV_Cpte.FECHA > '01/03/2003') AND (V_MV_Cpte.ANULADA = 0)");
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

ResultadoCorrida CorridaRegistro::Ejecutar(AvanceCorrida& avance) {
    QElapsedTimer reloj;
    reloj.start();
    ResultadoCorrida resultado;
    Rutina rutina(EstiloFallas::OmitirTodas);
    conexion_ = &Conexion::Instancia();
    avance_ = &avance;

    Log.Abrir(rutina);
    if (rutina.UltimaFalla()) {
        resultado.registroFallido = true;
        avance.Falla(QStringLiteral("*** No se pudo abrir el registro: %1")
                         .arg(EnUnaLinea(rutina.UltimaFalla()->Descripcion())));
    }
    rutina.Paso([&] { ModGlobal::GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"),
                                                      QStringLiteral("SI")); });
    rutina.Paso([&] { avance.Mostrar(QStringLiteral("Procesando Datos... Por Favor Espere...")); });
    rutina.Paso([&] { avance.ProcesarEventos(); });
    if (Seleccionar(rutina, resultado)) {
        avance.Inicio(int(RsComprobantes->RecordCount()));
        RecorrerNotas(resultado);
    }
    rutina.Paso([&] { avance.Mostrar(QString()); });
    rutina.Paso([&] { Log.Cerrar(); });
    if (!resultado.registroFallido)
        resultado.lineasDeRegistroPerdidas = Log.LineasPerdidas();
    resultado.segundos = reloj.nsecsElapsed() / 1e9;
    avance.Fin(resultado);
    return resultado;
}

bool CorridaRegistro::Seleccionar(Rutina& rutina, ResultadoCorrida& resultado) {
    QString Sentencia;
    rutina.Paso([&] { Sentencia = SentenciaSeleccion(); });
    rutina.Paso([&] { conexion_->AbrirRecordset(Sentencia, RsComprobantes, nullptr, 0, 1, -1); });
    if (!rutina.UltimaFalla() && RsComprobantes && RsComprobantes->Abierto())
        return true;
    // Nothing to go through: the run goes on to its end.
    resultado.seleccionFallida = true;
    AnotarFalla(QStringLiteral("*** No se pudieron leer los remitos pendientes: %1")
                    .arg(EnUnaLinea(rutina.UltimaFalla() ? rutina.UltimaFalla()->Descripcion()
                                                          : QString())));
    return false;
}

bool CorridaRegistro::RecorrerNotas(ResultadoCorrida& resultado) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    Utilidades& util = Utilidades::Instancia();
    Recordset& notas = *RsComprobantes;
    const int total = int(notas.RecordCount());
    if (!notas.Bof())
        notas.MoveFirst();
    while (!notas.Eof()) {
        rutina.Paso([&] { avance_->ProcesarEventos(); });
        QString documento;
        rutina.Paso([&] {
            documento = util.ValorTexto(notas.Fields(QStringLiteral("TC"))) +
                        util.ValorTexto(notas.Fields(QStringLiteral("IDCOMPROBANTE")));
        });
        rutina.Paso([&] { avance_->Mostrar(QStringLiteral("Procesando... ") + documento); });
        rutina.Paso([&] { Log.Registra(documento); });
        const int fallasAntes = resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones;
        NotaEnCurso n{notas, documento, {}, {}};
        RegistrarNota(n, resultado);
        ++resultado.notas;
        avance_->Nota(resultado.notas, resultado);
        notas.MoveNext();
        const bool fallo =
            resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones != fallasAntes;
        // Once the server is gone every later note would fail the same way.
        if (fallo && conexion_->ConexionPerdida()) {
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

void CorridaRegistro::RegistrarNota(NotaEnCurso& n, ResultadoCorrida& resultado) {
    if (!LeerRenglones(n, resultado))
        return;
    const QList<Movimiento> movimientos = ArmarMovimientos(n, resultado);
    if (movimientos.isEmpty())
        return;
    // A server that takes the rows in one message saves a round trip per line; when it
    // refuses one, nothing of the message stays and the lines go again one by one, so that
    // the refused ones are known and the others kept.
    if (conexion_->AdmiteBloques() && movimientos.size() > 1 &&
        EnviarEnBloque(n, movimientos, resultado))
        return;
    EnviarUnoPorUno(n, movimientos, resultado);
}

bool CorridaRegistro::LeerRenglones(NotaEnCurso& n, ResultadoCorrida& resultado) {
    Utilidades& util = Utilidades::Instancia();
    try {
        n.tc = util.ValorTexto(n.nota.Fields(QStringLiteral("TC")));
        n.id = util.ValorTexto(n.nota.Fields(QStringLiteral("IDCOMPROBANTE")));
        conexion_->AbrirRecordset(SentenciaRenglones(n.tc, n.id), RsInsumos, nullptr, 0, 1, -1);
    } catch (const Falla& falla) {
        ++resultado.notasSinRenglones;
        AnotarFalla(QStringLiteral("*** %1: no se pudieron leer los renglones: %2")
                        .arg(n.documento, EnUnaLinea(falla.Descripcion())));
        return false;
    }
    return true;
}

QList<CorridaRegistro::Movimiento> CorridaRegistro::ArmarMovimientos(NotaEnCurso& n,
                                                                     ResultadoCorrida& resultado) {
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
            ++resultado.renglonesIncompletos;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: no se pudo armar el movimiento: %3")
                            .arg(n.documento)
                            .arg(Secuencia)
                            .arg(EnUnaLinea(falla.Descripcion())));
        }
    }
    return movimientos;
}

bool CorridaRegistro::EnviarEnBloque(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                                     ResultadoCorrida& resultado) {
    QStringList sentencias;
    for (const Movimiento& m : movimientos)
        sentencias << m.sentencia;
    try {
        conexion_->EjecutarEnBloque(sentencias);
        resultado.renglonesEscritos += int(movimientos.size());
        return true;
    } catch (const Falla&) {
        if (!RegistradaPorOtraCorrida(n))
            return false;
    }
    AnotarDeOtraCorrida(n, resultado);
    return true;
}

void CorridaRegistro::EnviarUnoPorUno(NotaEnCurso& n, const QList<Movimiento>& movimientos,
                                      ResultadoCorrida& resultado) {
    std::optional<Transaccion> transaccion;
    try {
        transaccion.emplace(*conexion_);
    } catch (const Falla& falla) {
        AnotarFalla(QStringLiteral("*** %1: no se pudo abrir una transacción: %2")
                        .arg(n.documento, EnUnaLinea(falla.Descripcion())));
    }
    int escritos = 0;
    for (qsizetype i = 0; i < movimientos.size(); ++i) {
        const Movimiento& m = movimientos[i];
        try {
            conexion_->Ejecutar(m.sentencia);
            ++escritos;
            continue;
        } catch (const Falla& falla) {
            if (i == 0 && RegistradaPorOtraCorrida(n)) {
                transaccion.reset();
                AnotarDeOtraCorrida(n, resultado);
                return;
            }
            // A refused row undoes only itself; the later lines are still sent.
            ++resultado.renglonesRechazados;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: %3")
                            .arg(n.documento)
                            .arg(m.secuencia)
                            .arg(EnUnaLinea(falla.Descripcion())));
        }
        if (transaccion && !transaccion->Abierta()) {
            // The database undid the whole note by itself: the rows written so far are gone,
            // and the later ones must not go in one by one outside a transaction.
            resultado.renglonesRechazados += escritos + int(movimientos.size() - i - 1);
            AnotarFalla(QStringLiteral("*** %1: la base de datos deshizo el remito; no se "
                                       "registró ninguno de sus renglones")
                            .arg(n.documento));
            return;
        }
    }
    if (transaccion) {
        try {
            transaccion->Confirmar();
        } catch (const Falla& falla) {
            AnotarFalla(QStringLiteral("*** %1: no se confirmaron sus %2 renglones: %3")
                            .arg(n.documento)
                            .arg(escritos)
                            .arg(EnUnaLinea(falla.Descripcion())));
            resultado.renglonesRechazados += escritos;
            return;
        }
    }
    resultado.renglonesEscritos += escritos;
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

void CorridaRegistro::AnotarDeOtraCorrida(NotaEnCurso& n, ResultadoCorrida& resultado) {
    ++resultado.notasDeOtraCorrida;
    AnotarFalla(QStringLiteral("*** %1: lo registró otra corrida al mismo tiempo; no se "
                               "escribió ninguno de sus renglones")
                    .arg(n.documento));
}

void CorridaRegistro::AnotarFalla(const QString& linea) {
    Log.Registra(linea);
    avance_->Falla(linea);
}

QString CorridaRegistro::MensajeFinal(const ResultadoCorrida& r, const QString& archivoLog) {
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
        partes << QStringLiteral("No se pudo abrir el registro %1.").arg(archivoLog);
    else if (r.lineasDeRegistroPerdidas == 1)
        partes << QStringLiteral("No se pudo escribir 1 línea en el registro %1.").arg(archivoLog);
    else if (r.lineasDeRegistroPerdidas)
        partes << QStringLiteral("No se pudieron escribir %1 líneas en el registro %2.")
                      .arg(r.lineasDeRegistroPerdidas)
                      .arg(archivoLog);
    else
        partes << QStringLiteral("Detalle en %1.").arg(archivoLog);
    return fin + u'\n' + partes.join(u' ');
}
