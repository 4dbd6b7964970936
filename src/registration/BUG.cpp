#include "BUG.h"

#include "Archivos.h"
#include "BotonComando.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "Interaccion.h"
#include "ModGlobal.h"
#include "Rutina.h"
#include "Twips.h"
#include "Utilidades.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QPalette>

namespace {
const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

// A value put between quotes in a statement: its quotes doubled.
QString Literal(const QString& texto) {
    QString resultado = texto;
    return resultado.replace(u'\'', QStringLiteral("''"));
}

// A message of the database on one line of the log.
QString EnUnaLinea(const QString& texto) {
    return texto.simplified();
}
} // namespace

BUG::BUG(QWidget* padre) : QWidget(padre, Qt::Window | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("BUG"));
    setWindowTitle(QStringLiteral("USO INTERNO - SOLO EL ADMINISTRADOR"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowIcon(QIcon(QStringLiteral(":/iconos/1")));
    setFixedSize(Twips::APixelesX(5730, this), Twips::APixelesY(3090, this));

    Label2 = new QLabel(
        QStringLiteral("Control de Registro de Remitos en Stock.    Proceso para Trigalia."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setWordWrap(true);
    Ubicar(Label2, 240, 240, 5295, 615);

    CmdEjecutar = new BotonComando(QStringLiteral("&Ejecutar"), this);
    CmdEjecutar->setObjectName(QStringLiteral("CmdEjecutar"));
    Ubicar(CmdEjecutar, 2880, 1320, 2775, 495);

    CmdSalir = new BotonComando(QStringLiteral("Salir"), this);
    CmdSalir->setObjectName(QStringLiteral("CmdSalir"));
    Ubicar(CmdSalir, 2880, 2160, 2775, 495);

    LblMensaje = new QLabel(this);
    LblMensaje->setObjectName(QStringLiteral("LblMensaje"));
    LblMensaje->setTextFormat(Qt::PlainText);
    LblMensaje->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LblMensaje->setAutoFillBackground(true);
    QPalette paleta = LblMensaje->palette();
    paleta.setColor(QPalette::Window, QColor(192, 255, 255));
    LblMensaje->setPalette(paleta);
    Ubicar(LblMensaje, 0, 2760, 5775, 255);

    connect(CmdEjecutar, &QPushButton::clicked, this, [this] { CmdEjecutar_Click(); });
    connect(CmdSalir, &QPushButton::clicked, this, [this] { CmdSalir_Click(); });

    // The labels take no focus, so the tab order is the two buttons in this order.
    setTabOrder(CmdEjecutar, CmdSalir);
    CmdEjecutar->setFocus(Qt::OtherFocusReason);
}

void BUG::Ubicar(QWidget* control, int izquierda, int arriba, int ancho, int alto) {
    control->setGeometry(Twips::APixelesX(izquierda, this), Twips::APixelesY(arriba, this),
                         Twips::APixelesX(ancho, this), Twips::APixelesY(alto, this));
}

void BUG::Form_Load() {
    Utilidades::Instancia().PrepararVentana(this, 0);
    ModGlobal::ConfigurarFormulario(this);
    ModGlobal::IniciarSesion();
}

void BUG::Registra(const QString& Mensaje) {
    try {
        Archivos::EscribirLinea(NumeroArchivo, Mensaje);
    } catch (const Falla&) {
        // The log is a record of the run, never a reason to stop it.
        ++lineasPerdidas_;
    }
}

void BUG::CmdSalir_Click() {
    ModGlobal::LiberarObjetos();
    Interaccion::Actual().TerminarPrograma(0);
}

QString BUG::SentenciaSeleccion() {
    return QStringLiteral(
        "SELECT  v_mv_cpte.* FROM V_MV_Cpte LEFT OUTER JOIN V_MV_Stock ON "
        "V_MV_Cpte.IdComplemento = V_MV_Stock.IdComplemento AND V_MV_Cpte.TC = V_MV_Stock.TC AND "
        "V_MV_Cpte.IDCOMPROBANTE = V_MV_Stock.IDCOMPROBANTE WHERE (V_MV_Stock.TC IS NULL) AND "
        "V_MV_Cpte.TC = 'RM' AND (V_MV_Cpte.FECHA > '01/03/2003') AND (V_MV_Cpte.ANULADA = 0)");
}

void BUG::Mostrar(const QString& texto) {
    LblMensaje->setText(texto);
}

void BUG::AnotarFalla(const QString& texto) {
    Registra(texto);
    if (avance_)
        avance_->Falla(texto);
}

void BUG::CmdEjecutar_Click() {
    // A click while a run is handling the window's events is not a second run.
    if (enCorrida_)
        return;
    enCorrida_ = true;
    cierrePedido_ = false;
    struct Guardia {
        bool& enCorrida;
        ~Guardia() { enCorrida = false; }
    } guardia{enCorrida_};

    QElapsedTimer reloj;
    reloj.start();
    ResultadoCorrida resultado;
    Rutina rutina(EstiloFallas::OmitirTodas);
    Conexion& conexion = Conexion::Instancia();
    Utilidades& util = Utilidades::Instancia();
    Interaccion& interaccion = Interaccion::Actual();

    rutina.Paso([&] { NumeroArchivo = Archivos::NumeroLibre(); });
    rutina.Paso([&] { ArchivoLog = Entorno::CarpetaDelPrograma(); });
    rutina.Paso([&] { ArchivoLog = util.AgregarBarra(ArchivoLog); });
    rutina.Paso([&] { ArchivoLog += NombreArchivoLog(); });
    rutina.Paso([&] { Archivos::AbrirParaAnexar(NumeroArchivo, ArchivoLog); });
    lineasPerdidas_ = 0;
    if (rutina.UltimaFalla()) {
        resultado.registroFallido = true;
        if (avance_)
            avance_->Falla(QStringLiteral("*** No se pudo abrir el registro: %1")
                               .arg(EnUnaLinea(rutina.UltimaFalla()->Descripcion())));
    }
    rutina.Paso([&] { ModGlobal::GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"),
                                                      QStringLiteral("SI")); });
    rutina.Paso([&] { Mostrar(QStringLiteral("Procesando Datos... Por Favor Espere...")); });
    rutina.Paso([&] { interaccion.ProcesarEventos(); });
    AtenderCierrePedido();

    QString Sentencia;
    rutina.Paso([&] { Sentencia = SentenciaSeleccion(); });
    rutina.Paso([&] { conexion.AbrirRecordset(Sentencia, RsComprobantes, nullptr, 0, 1, -1); });
    const bool seleccionAbierta =
        !rutina.UltimaFalla() && RsComprobantes && RsComprobantes->Abierto();
    if (!seleccionAbierta) {
        // Nothing to go through: the run goes on to its end.
        resultado.seleccionFallida = true;
        AnotarFalla(QStringLiteral("*** No se pudieron leer los remitos pendientes: %1")
                        .arg(EnUnaLinea(rutina.UltimaFalla() ? rutina.UltimaFalla()->Descripcion()
                                                              : QString())));
    }
    if (seleccionAbierta) {
        const int total = int(RsComprobantes->RecordCount());
        if (avance_)
            avance_->Inicio(total);
        RecorrerNotas(*RsComprobantes, total, resultado);
    }

    rutina.Paso([&] { Mostrar(QString()); });
    rutina.Paso([&] { Archivos::Cerrar(NumeroArchivo); });
    if (!resultado.registroFallido)
        resultado.lineasDeRegistroPerdidas = lineasPerdidas_;
    resultado.segundos = reloj.nsecsElapsed() / 1e9;
    ultima_ = resultado;
    if (avance_)
        avance_->Fin(resultado);
    rutina.Paso([&] {
        interaccion.Mensaje(MensajeFinal(resultado), ModGlobal::TituloPrograma(),
                            IconoMensaje::Ninguno);
    });
    AtenderCierrePedido();
}

bool BUG::RecorrerNotas(Recordset& notas, int total, ResultadoCorrida& resultado) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    Utilidades& util = Utilidades::Instancia();
    Interaccion& interaccion = Interaccion::Actual();
    if (!notas.Bof())
        notas.MoveFirst();
    while (!notas.Eof()) {
        rutina.Paso([&] { interaccion.ProcesarEventos(); });
        AtenderCierrePedido();
        QString documento;
        rutina.Paso([&] {
            documento = util.ValorTexto(notas.Fields(QStringLiteral("TC"))) +
                        util.ValorTexto(notas.Fields(QStringLiteral("IDCOMPROBANTE")));
        });
        rutina.Paso([&] { Mostrar(QStringLiteral("Procesando... ") + documento); });
        rutina.Paso([&] { Registra(documento); });
        const int fallasAntes = resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones;
        RegistrarNota(notas, documento, resultado);
        ++resultado.notas;
        if (avance_)
            avance_->Nota(resultado.notas, resultado);
        notas.MoveNext();
        const bool fallo =
            resultado.RenglonesNoRegistrados() + resultado.notasSinRenglones != fallasAntes;
        // Once the server is gone every later note would fail the same way.
        if (fallo && Conexion::Instancia().ConexionPerdida()) {
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

QString BUG::SentenciaRenglones(const QString& tc, const QString& idComprobante) {
    return QStringLiteral("Select * from V_Mv_CpteInsumos where tc = '") + Literal(tc) +
           QStringLiteral("' and idcomprobante = '") + Literal(idComprobante) + u'\'';
}

void BUG::RegistrarNota(Recordset& nota, const QString& documento, ResultadoCorrida& resultado) {
    Conexion& conexion = Conexion::Instancia();
    Utilidades& util = Utilidades::Instancia();
    QString tc, id;
    try {
        tc = util.ValorTexto(nota.Fields(QStringLiteral("TC")));
        id = util.ValorTexto(nota.Fields(QStringLiteral("IDCOMPROBANTE")));
        conexion.AbrirRecordset(SentenciaRenglones(tc, id), RsInsumos, nullptr, 0, 1, -1);
    } catch (const Falla& falla) {
        ++resultado.notasSinRenglones;
        AnotarFalla(QStringLiteral("*** %1: no se pudieron leer los renglones: %2")
                        .arg(documento, EnUnaLinea(falla.Descripcion())));
        return;
    }
    if (RsInsumos->Bof())
        return;
    RsInsumos->MoveFirst();

    // Every line's statement is put together first; a line whose statement cannot be is
    // skipped, and no other statement goes in its place.
    struct Movimiento {
        int secuencia;
        QString sentencia;
    };
    QList<Movimiento> movimientos;
    for (int Secuencia = 1; !RsInsumos->Eof(); ++Secuencia, RsInsumos->MoveNext()) {
        try {
            movimientos.append({Secuencia, SentenciaInsert(nota, *RsInsumos, Secuencia)});
        } catch (const Falla& falla) {
            ++resultado.renglonesIncompletos;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: no se pudo armar el movimiento: %3")
                            .arg(documento)
                            .arg(Secuencia)
                            .arg(EnUnaLinea(falla.Descripcion())));
        }
    }
    if (movimientos.isEmpty())
        return;

    // Whether another run registered the note since this one selected it: it was pending
    // then and has stock rows now. Asked only after a refusal, so it costs nothing when all
    // goes well.
    auto registradaPorOtraCorrida = [&]() -> bool {
        try {
            RefRecordset filas;
            conexion.AbrirRecordset(
                QStringLiteral("SELECT count(*) FROM V_MV_Stock WHERE TC = '") + Literal(tc) +
                    QStringLiteral("' AND IDCOMPROBANTE = '") + Literal(id) +
                    QStringLiteral("' AND IDCOMPLEMENTO = ") +
                    conexion.ValorSQL(nota.Fields(QStringLiteral("IdComplemento")), Numero),
                filas);
            return filas->Fields(0).Value().Entero() > 0;
        } catch (const Falla&) {
            return false;
        }
    };
    // Undoes the note's open transaction; a failure to undo leaves nothing more to do, since
    // the server discards an unfinished transaction by itself.
    auto deshacer = [&] {
        try {
            conexion.RollbackTrans();
        } catch (const Falla&) {
        }
    };
    auto anotarDeOtraCorrida = [&] {
        ++resultado.notasDeOtraCorrida;
        AnotarFalla(QStringLiteral("*** %1: lo registró otra corrida al mismo tiempo; no se "
                                   "escribió ninguno de sus renglones")
                        .arg(documento));
    };

    // The note's rows go in together or not at all: a program ended or a connection lost in
    // the middle of a note leaves none of them, and the next run registers the note whole.
    // A server that takes them in one message saves a round trip per line; when it refuses
    // one, nothing of the message stays and the lines go again one by one, so that the
    // refused ones are known and the others kept.
    if (conexion.AdmiteBloques() && movimientos.size() > 1) {
        QStringList sentencias;
        for (const Movimiento& m : movimientos)
            sentencias << m.sentencia;
        try {
            conexion.EjecutarEnBloque(sentencias);
            resultado.renglonesEscritos += int(movimientos.size());
            return;
        } catch (const Falla&) {
            if (registradaPorOtraCorrida()) {
                anotarDeOtraCorrida();
                return;
            }
        }
    }

    bool enTransaccion = true;
    try {
        conexion.BeginTrans();
    } catch (const Falla& falla) {
        enTransaccion = false;
        AnotarFalla(QStringLiteral("*** %1: no se pudo abrir una transacción: %2")
                        .arg(documento, EnUnaLinea(falla.Descripcion())));
    }
    int escritos = 0;
    for (qsizetype i = 0; i < movimientos.size(); ++i) {
        const Movimiento& m = movimientos[i];
        try {
            conexion.Ejecutar(m.sentencia);
            ++escritos;
        } catch (const Falla& falla) {
            if (escritos == 0 && i == 0 && registradaPorOtraCorrida()) {
                if (enTransaccion)
                    deshacer();
                anotarDeOtraCorrida();
                return;
            }
            // A refused row undoes only itself; the later lines are still sent.
            ++resultado.renglonesRechazados;
            AnotarFalla(QStringLiteral("*** %1 renglón %2: %3")
                            .arg(documento)
                            .arg(m.secuencia)
                            .arg(EnUnaLinea(falla.Descripcion())));
            if (enTransaccion && !conexion.TransaccionAbierta()) {
                // The database undid the whole note by itself: the rows written so far are
                // gone, and the later ones must not go in one by one outside a transaction.
                const int sinEnviar = int(movimientos.size() - i - 1);
                resultado.renglonesRechazados += escritos + sinEnviar;
                AnotarFalla(QStringLiteral("*** %1: la base de datos deshizo el remito; no "
                                           "se registró ninguno de sus renglones")
                                .arg(documento));
                escritos = 0;
                deshacer();
                enTransaccion = false;
                break;
            }
        }
    }
    if (enTransaccion) {
        try {
            conexion.CommitTrans();
        } catch (const Falla& falla) {
            AnotarFalla(QStringLiteral("*** %1: no se confirmaron sus %2 renglones: %3")
                            .arg(documento)
                            .arg(escritos)
                            .arg(EnUnaLinea(falla.Descripcion())));
            resultado.renglonesRechazados += escritos;
            escritos = 0;
            deshacer();
        }
    }
    resultado.renglonesEscritos += escritos;
}

QString BUG::SentenciaInsert(Recordset& nota, Recordset& renglon, int secuencia) {
    const Conexion& c = Conexion::Instancia();
    QString sentencia;
    sentencia.reserve(640);
    sentencia.append(QLatin1StringView(
        "INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,"
        "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,"
        "CUENTAPROVEEDOR)  VALUES ("));
    // Every value is rendered before the statement is used: a value that cannot be rendered
    // fails the whole line.
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

namespace {
// "1 remito", "3 remitos": a count with its noun in the right number.
QString Cantidad(int n, const char* singular, const char* plural) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? singular : plural));
}
} // namespace

QString BUG::MensajeFinal(const ResultadoCorrida& r) const {
    const QString fin = QStringLiteral("Proceso Finalizado!");
    if (r.SinFallas())
        return fin;
    QStringList partes;
    if (const int n = r.RenglonesNoRegistrados())
        partes << (n == 1 ? QStringLiteral("No se registró 1 renglón.")
                          : QStringLiteral("No se registraron %1 renglones.").arg(n));
    if (r.notasSinRenglones)
        partes << QStringLiteral("No se pudieron leer los renglones de %1.")
                      .arg(Cantidad(r.notasSinRenglones, "remito", "remitos"));
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
        partes << QStringLiteral("No se pudo abrir el registro %1.").arg(ArchivoLog);
    else if (r.lineasDeRegistroPerdidas)
        partes << (r.lineasDeRegistroPerdidas == 1
                       ? QStringLiteral("No se pudo escribir 1 línea en el registro %1.").arg(ArchivoLog)
                       : QStringLiteral("No se pudieron escribir %1 líneas en el registro %2.")
                             .arg(r.lineasDeRegistroPerdidas)
                             .arg(ArchivoLog));
    else
        partes << QStringLiteral("Detalle en %1.").arg(ArchivoLog);
    return fin + u'\n' + partes.join(u' ');
}

void BUG::closeEvent(QCloseEvent* evento) {
    // During a run the window only gets its events between notes: a close asked for there is
    // a "Salir" at that point, so the program does not go on invisibly to the end.
    if (enCorrida_) {
        evento->ignore();
        cierrePedido_ = true;
        return;
    }
    QWidget::closeEvent(evento);
}

void BUG::AtenderCierrePedido() {
    if (cierrePedido_)
        CmdSalir_Click();
}
