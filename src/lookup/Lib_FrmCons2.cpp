#include "Lib_FrmCons2.h"

#include "Cadenas.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "Interaccion.h"
#include "ModeloLista.h"
#include "Rutina.h"
#include "Twips.h"
#include "Utilidades.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <cmath>

namespace {

// Rounded to the nearest whole number, halves to the even neighbour.
double RedondeoBancario(double valor) {
    return std::nearbyint(valor);
}

} // namespace

Lib_FrmCons2::Lib_FrmCons2(QWidget* padre)
    : QDialog(padre, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Lib_FrmCons2"));
    setWindowTitle(QStringLiteral("Consulta..."));
    setModal(true);
    setSizeGripEnabled(false);
    resize(Twips::APixelesX(7245, this), Twips::APixelesY(4410, this));

    picFields = new QWidget(this);
    picFields->setObjectName(QStringLiteral("picFields"));
    Ubicar(picFields, 0, 0, 7200, 3975);

    auto* etiqueta = new QLabel(picFields);
    etiqueta->setObjectName(QStringLiteral("lblFieldName"));
    etiqueta->setFont(QFont(QStringLiteral("Tahoma")));
    Ubicar(etiqueta, 0, 60, 1572, 252);
    lblFieldName << etiqueta;

    CmbSearch << NuevaCajaDeBusqueda();
    Ubicar(CmbSearch[0], 0, 0, 1815, 315);

    ListView1 = new ListView(picFields);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    Ubicar(ListView1, 0, 360, 7335, 3255);
    connect(ListView1, &ListView::ColumnClick, this,
            [this](int columna) { ListView1_ColumnClick(columna); });

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    Ubicar(HScroll1, 0, 3600, 7215, 255);
    HScroll1->setMinimum(0);
    HScroll1->setSingleStep(240);
    HScroll1->setPageStep(1440);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    Ubicar(Frame1, 1080, 3960, 4935, 255);

    CmdAceptar = new QPushButton(QStringLiteral("&Aceptar"), Frame1);
    CmdAceptar->setObjectName(QStringLiteral("CmdAceptar"));
    Ubicar(CmdAceptar, 120, 0, 1695, 255);
    CmdCancelar = new QPushButton(QStringLiteral("&Cancelar"), Frame1);
    CmdCancelar->setObjectName(QStringLiteral("CmdCancelar"));
    Ubicar(CmdCancelar, 3000, 0, 1695, 255);
    // Only "&Aceptar" answers Enter: a button that had the focus must not take it over.
    CmdAceptar->setAutoDefault(false);
    CmdCancelar->setAutoDefault(false);
    CmdAceptar->setDefault(true);
    connect(CmdCancelar, &QPushButton::clicked, this, [this] { CmdCancelar_Click(); });

    MNU_Emergente = new QMenu(QStringLiteral("MNU_Emergente"), this);
    MNU_Emergente->setObjectName(QStringLiteral("MNU_Emergente"));
    MNU_Llena = MNU_Emergente->addAction(QStringLiteral("Llenar Con Posibles Valores"));
    MNU_Llena->setObjectName(QStringLiteral("MNU_Llena"));
    MNU_Separador = MNU_Emergente->addSeparator();
    MNU_Separador->setObjectName(QStringLiteral("MNU_Separador"));
    MNU_Cancelar = MNU_Emergente->addAction(QStringLiteral("Cancelar"));
    MNU_Cancelar->setObjectName(QStringLiteral("MNU_Cancelar"));

    // The scroll bar lies over the panel's lower edge.
    HScroll1->raise();
}

Lib_FrmCons2::~Lib_FrmCons2() = default;

QComboBox* Lib_FrmCons2::NuevaCajaDeBusqueda() {
    auto* caja = new QComboBox(picFields);
    caja->setObjectName(QStringLiteral("CmbSearch"));
    caja->setEditable(true);
    // Enter in a box must not add its text to the drop-down list.
    caja->setInsertPolicy(QComboBox::NoInsert);
    if (!CmbSearch.isEmpty()) {
        caja->setFont(CmbSearch[0]->font());
        const QRectF m = Medidas(CmbSearch[0]);
        Ubicar(caja, m.left(), m.top(), m.width(), m.height());
    }
    return caja;
}

QRectF Lib_FrmCons2::Medidas(const QWidget* control) const {
    return medidas_.value(control);
}

void Lib_FrmCons2::Ubicar(QWidget* control, double izquierda, double arriba, double ancho,
                          double alto) {
    medidas_[control] = QRectF(izquierda, arriba, ancho, alto);
    control->setGeometry(Twips::APixelesX(int(std::lround(izquierda)), this),
                         Twips::APixelesY(int(std::lround(arriba)), this),
                         qMax(0, Twips::APixelesX(int(std::lround(ancho)), this)),
                         qMax(0, Twips::APixelesY(int(std::lround(alto)), this)));
}

void Lib_FrmCons2::AsignarIzquierda(QWidget* control, double izquierda) {
    const QRectF m = Medidas(control);
    Ubicar(control, izquierda, m.top(), m.width(), m.height());
}

void Lib_FrmCons2::AsignarArriba(QWidget* control, double arriba) {
    const QRectF m = Medidas(control);
    Ubicar(control, m.left(), arriba, m.width(), m.height());
}

void Lib_FrmCons2::AsignarAncho(QWidget* control, double ancho) {
    if (ancho < 0)
        throw Falla(380, QStringLiteral("El valor de la propiedad no es válido"));
    const QRectF m = Medidas(control);
    Ubicar(control, m.left(), m.top(), ancho, m.height());
}

void Lib_FrmCons2::AsignarAlto(QWidget* control, double alto) {
    if (alto < 0)
        throw Falla(380, QStringLiteral("El valor de la propiedad no es válido"));
    const QRectF m = Medidas(control);
    Ubicar(control, m.left(), m.top(), m.width(), alto);
}

QSize Lib_FrmCons2::Marco() const {
    // Borders and title bar, once the window system has put them on.
    const QRect exterior = frameGeometry();
    const QRect interior = geometry();
    return {exterior.width() - interior.width(), exterior.height() - interior.height()};
}

double Lib_FrmCons2::AnchoVentana() const {
    return Twips::DesdePixelesX(width() + Marco().width(), this);
}

double Lib_FrmCons2::AltoVentana() const {
    return Twips::DesdePixelesY(height() + Marco().height(), this);
}

void Lib_FrmCons2::AsignarAnchoVentana(double ancho) {
    const int pixeles = Twips::APixelesX(int(std::lround(ancho)), this) - Marco().width();
    resize(qMax(1, pixeles), height());
    // A hidden window gets its resize event only when shown; the layout follows at once.
    if (!isVisible())
        Form_Resize();
}

double Lib_FrmCons2::AnchoPantalla() const {
    const QScreen* pantalla = screen() ? screen() : QGuiApplication::primaryScreen();
    return pantalla ? Twips::DesdePixelesX(pantalla->geometry().width(), this) : 15360;
}

double Lib_FrmCons2::AnchoDeTexto(const QString& texto) const {
    return Twips::DesdePixelesX(QFontMetrics(font()).horizontalAdvance(texto), this);
}

void Lib_FrmCons2::MostrarModal() {
    if (!cargada_)
        Form_Load();
    exec();
}

void Lib_FrmCons2::Form_Load() {
    cargada_ = true;
    Rutina rutina(EstiloFallas::Informar, QStringLiteral("FORM_LOAD"));
    Conexion& conexion = Conexion::Instancia();
    double AnchoColumnas = 0;
    int n = 0;

    rutina.Paso([&] { Valores = NuevaCollection(); });
    rutina.Paso([&] { Cantidades = NuevaCollection(); });
    rutina.Paso([&] { ListView1->ListItems().Clear(); });
    rutina.Paso([&] { conexion.AbrirRecordset(SQL, RsConsulta, nullptr, 0, 1, -1); });
    rutina.Paso([&] { ListView1->AsignarCheckboxes(CheckBoxes); });
    rutina.Paso([&] { Encolumnar(); });
    rutina.Paso([&] { Leer(1, 0); });
    rutina.Paso([&] { n = ListView1->ColumnHeaders().Count() - (UsaCantidades ? 1 : 0); });
    rutina.Paso([&] {
        AnchoColumnas = 0;
        for (int i = 1; i <= n; ++i) {
            const ColumnHeader columna = ListView1->ColumnHeaders().Item(i);
            if (i - 1 >= CmbSearch.size())
                throw Falla::FueraDeIntervalo(QStringLiteral("CmbSearch(%1)").arg(i - 1));
            AsignarIzquierda(CmbSearch[i - 1], columna.Left);
            AsignarAncho(CmbSearch[i - 1], columna.Width - 50);
            AnchoColumnas += columna.Width;
        }
    });
    rutina.Paso([&] {
        if (UsaCantidades) {
            const int ultima = ListView1->ColumnHeaders().Count();
            AnchoColumnas += ListView1->ColumnHeaders().Item(ultima).Width;
        }
    });
    rutina.Paso([&] { AsignarAncho(ListView1, AnchoColumnas + 360); });
    rutina.Paso([&] { AsignarAncho(picFields, RedondeoBancario(AnchoColumnas) + 360); });
    rutina.Paso([&] { AsignarAncho(HScroll1, AnchoColumnas); });
    rutina.Paso([&] {
        const double panel = Medidas(picFields).width();
        if (panel > 32700) {
            HScroll1->setMaximum(32700);
        } else {
            const double maximo = RedondeoBancario((panel + 480) * 0.6);
            if (maximo > 32767)
                throw Falla::Desbordamiento();
            HScroll1->setMaximum(int(maximo));
        }
    });
    rutina.Paso([&] {
        const double lista = Medidas(ListView1).width();
        if (lista + 360 < AnchoPantalla())
            AsignarAnchoVentana(lista + 280);
        else
            AsignarAnchoVentana(AnchoPantalla() - 480);
    });
    rutina.Paso([&] { ListView1->AsignarSorted(true); });
    rutina.Paso([&] { Utilidades::Instancia().PrepararVentana(this, 0); });
    rutina.Paso([&] {
        if (!Cadenas::Recortar(FiltroInicial).isEmpty())
            CmbSearch.at(0)->setEditText(FiltroInicial);
    });
    rutina.Paso([&] {
        if (!RsConsulta)
            throw Falla::ObjetoNoEstablecido();
        conexion.CerrarRecordset(RsConsulta);
    });
    RsConsulta.reset();
}

void Lib_FrmCons2::Encolumnar() {
    try {
        if (!RsConsulta)
            throw Falla::ObjetoNoEstablecido();
        ListView1->ColumnHeaders().Clear();
        for (int f = 0; f < RsConsulta->FieldCount(); ++f) {
            Field campo = RsConsulta->Fields(f);
            long tamano = campo.DefinedSize();
            if (f != 0 && f >= CmbSearch.size())
                CmbSearch << NuevaCajaDeBusqueda();
            CmbSearch[f]->setVisible(true);
            CmbSearch[f]->setToolTip(campo.Name());
            if (tamano >= 1000)
                tamano = 1000;
            ListView1->ColumnHeaders().Add({}, campo.Name(),
                                           AnchoDeTexto(QString(int(qMax(0L, tamano)), u'X')));
        }
        if (UsaCantidades)
            ListView1->ColumnHeaders().Add(QStringLiteral("CANTIDAD"), QStringLiteral("**Cantidad**"),
                                           AnchoDeTexto(QStringLiteral("XXXXXXXXXX")));
    } catch (const Falla& falla) {
        Interaccion::Actual().Mensaje(falla.Descripcion(), Entorno::Titulo(),
                                      IconoMensaje::Ninguno);
    }
}

void Lib_FrmCons2::Leer(qint32, qint16) {
    Rutina rutina(EstiloFallas::Informar, QStringLiteral("FORM_LOAD"));
    ListView1->IniciarCarga();
    struct Fin {
        ListView* lista;
        ~Fin() { lista->TerminarCarga(); }
    } fin{ListView1};
    bool hayFilas = false;
    rutina.Paso([&] {
        if (!RsConsulta)
            throw Falla::ObjetoNoEstablecido();
        hayFilas = !RsConsulta->Bof();
    });
    if (!hayFilas)
        return;
    while (rutina.Activa()) {
        bool alFinal = true;
        if (!rutina.Paso([&] { alFinal = RsConsulta->Eof(); }) || alFinal)
            break;
        rutina.Paso([&] { AgregarFila(); });
        rutina.Paso([&] { RsConsulta->MoveNext(); });
    }
}

void Lib_FrmCons2::AgregarFila() {
    Utilidades& util = Utilidades::Instancia();
    ItemActual = ListView1->ListItems().Add();
    ItemActual.AsignarText(Cadenas::Recortar(util.ValorTexto(RsConsulta->Fields(0))));
    for (int k = 1; k < RsConsulta->FieldCount(); ++k)
        ItemActual.AsignarSubItems(k, util.FormatearTexto(util.ValorTexto(RsConsulta->Fields(k))));
}

void Lib_FrmCons2::ListView1_ColumnClick(int columna) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    bool ordenada = true;
    int clave = ListView1->SortKey();
    ListView::Orden orden = ListView1->SortOrder();
    rutina.Paso([&] { ordenada = true; });
    rutina.Paso([&] { clave = columna - 1; });
    rutina.Paso([&] {
        orden = orden == ListView::lvwAscending ? ListView::lvwDescending : ListView::lvwAscending;
    });
    // The three settings take effect together: one sort instead of three.
    rutina.Paso([&] {
        ListView1->AsignarSortKey(clave);
        ListView1->AsignarSortOrder(orden);
        ListView1->AsignarSorted(ordenada);
    });
}

qint16 Lib_FrmCons2::IndiceColumna(const QString& Columna) {
    qint16 resultado = 0;
    Rutina rutina(EstiloFallas::OmitirTodas);
    rutina.Paso([&] {
        const QStringView buscada = Cadenas::SinEspacios(Columna);
        const int cuantas = ListView1->ColumnHeaders().Count();
        for (int i = 1; i <= cuantas; ++i) {
            const QString texto = ListView1->ColumnHeaders().Item(i).Text;
            if (Cadenas::SinEspacios(texto).compare(buscada, Qt::CaseInsensitive) == 0) {
                resultado = qint16(i);
                return;
            }
        }
    });
    return resultado;
}

void Lib_FrmCons2::HScroll1_Change() {
    Rutina rutina(EstiloFallas::OmitirTodas);
    rutina.Paso([&] { AsignarIzquierda(picFields, -HScroll1->value()); });
}

qint32 Lib_FrmCons2::Busqueda(qint32 Clave, const QString& QueValor) {
    const QStringView valor = Cadenas::SinEspacios(QueValor);
    const ModeloLista& modelo = ListView1->Modelo();
    const int columna = Clave <= 0 ? 0 : Clave;
    if (columna >= modelo.CantidadColumnas())
        return 0;
    const int filas = modelo.CantidadFilas();
    for (int p = 0; p < filas; ++p) {
        const QStringView celda = Cadenas::SinEspacios(modelo.Celda(modelo.IdEn(p), columna));
        if (celda.size() >= valor.size() &&
            celda.left(valor.size()).compare(valor, Qt::CaseInsensitive) == 0)
            return p + 1;
    }
    return 0;
}

void Lib_FrmCons2::Form_Resize() {
    if (ajustando_)
        return;
    ajustando_ = true;
    Rutina rutina(EstiloFallas::OmitirTodas);
    const double ancho = AnchoVentana();
    const double alto = AltoVentana();
    const double altoMarco = Medidas(Frame1).height();
    rutina.Paso([&] { AsignarAlto(picFields, alto - altoMarco - 480); });
    rutina.Paso([&] { AsignarAlto(ListView1, Medidas(picFields).height() - altoMarco - 600); });
    rutina.Paso([&] { AsignarAncho(picFields, ancho - 120); });
    rutina.Paso([&] { AsignarAncho(ListView1, Medidas(picFields).width() - 20); });
    rutina.Paso([&] { AsignarArriba(Frame1, alto - altoMarco - 420); });
    rutina.Paso([&] {
        AsignarArriba(HScroll1, Medidas(picFields).height() - Medidas(HScroll1).height() - 120);
    });
    rutina.Paso([&] { AsignarAncho(HScroll1, ancho - 120); });
    rutina.Paso([&] { AsignarIzquierda(Frame1, ancho / 2 - Medidas(Frame1).width() / 2); });
    ajustando_ = false;
}

void Lib_FrmCons2::resizeEvent(QResizeEvent* evento) {
    QDialog::resizeEvent(evento);
    Form_Resize();
}

void Lib_FrmCons2::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    // The window system has framed the window now: the outer size is known.
    Form_Resize();
}

void Lib_FrmCons2::Form_Unload(qint16&) {
    try {
        ListView1->ListItems().Clear();
    } catch (const Falla& falla) {
        Interaccion::Actual().Mensaje(falla.Descripcion(), QStringLiteral("Aviso al Operador"),
                                      IconoMensaje::Critico);
    }
}

void Lib_FrmCons2::CmdCancelar_Click() {
    Rutina rutina(EstiloFallas::OmitirTodas);
    rutina.Paso([&] { ValorDevuelto = QString(); });
    rutina.Paso([&] { CmpsDevueltos.reset(); });
    rutina.Paso([&] { Valores.reset(); });
    rutina.Paso([&] { hide(); });
}

void Lib_FrmCons2::reject() {
    // Escape and the title bar's close box cancel: a caller is never left with half results.
    CmdCancelar_Click();
}
