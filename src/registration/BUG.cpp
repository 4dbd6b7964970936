#include "BUG.h"

#include "AlSalir.h"
#include "BotonComando.h"
#include "Interaccion.h"
#include "ModGlobal.h"
#include "Rutina.h"
#include "Twips.h"
#include "Utilidades.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPalette>

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

void BUG::CmdSalir_Click() {
    // During a run, what it wrote so far is made durable before the program ends.
    corrida_.ConfirmarLoHecho();
    ModGlobal::LiberarObjetos();
    Interaccion::Actual().TerminarPrograma(0);
}

void BUG::CmdEjecutar_Click() {
    if (enCorrida_)
        return;
    enCorrida_ = true;
    cierrePedido_ = false;
    AlSalir finDeLaCorrida([this] { enCorrida_ = false; });
    ultima_ = corrida_.Ejecutar(*this);
    Rutina rutina(EstiloFallas::OmitirTodas);
    rutina.Paso([&] {
        Interaccion::Actual().Mensaje(CorridaRegistro::MensajeFinal(ultima_, ArchivoLog),
                                      ModGlobal::TituloPrograma(), IconoMensaje::Ninguno);
    });
    if (cierrePedido_)
        CmdSalir_Click();
}

void BUG::Mostrar(const QString& texto) {
    LblMensaje->setText(texto);
}

void BUG::ProcesarEventos() {
    Interaccion::Actual().ProcesarEventos();
    if (cierrePedido_)
        CmdSalir_Click();
}

void BUG::closeEvent(QCloseEvent* evento) {
    if (enCorrida_) {
        evento->ignore();
        cierrePedido_ = true;
        return;
    }
    QWidget::closeEvent(evento);
}
