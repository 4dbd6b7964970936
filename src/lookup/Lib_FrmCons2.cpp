#include "Lib_FrmCons2.h"

#include "AlSalir.h"
#include "Cadenas.h"
#include "CodigosTecla.h"
#include "Colacion.h"
#include "ColumnaCantidades.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "Interaccion.h"
#include "ModeloLista.h"
#include "Rutina.h"
#include "Twips.h"
#include "Utilidades.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The title bar and borders the layout's heights were made for, in twips.
constexpr double MarcoPrevisto = 360;

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
    medidas_.Ubicar(picFields, 0, 0, 7200, 3975);

    auto* etiqueta = new QLabel(picFields);
    etiqueta->setObjectName(QStringLiteral("lblFieldName"));
    etiqueta->setFont(QFont(QStringLiteral("Tahoma")));
    medidas_.Ubicar(etiqueta, 0, 60, 1572, 252);
    lblFieldName << etiqueta;

    CmbSearch << NuevaCajaDeBusqueda();
    medidas_.Ubicar(CmbSearch[0], 0, 0, 1815, 315);

    ListView1 = new ListView(picFields);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    medidas_.Ubicar(ListView1, 0, 360, 7335, 3255);
    connect(ListView1, &ListView::ColumnClick, this,
            [this](int columna) { ListView1_ColumnClick(columna); });
    connect(ListView1, &ListView::KeyDown, this,
            [this](qint16& codigo, qint16 mascara) { ListView1_KeyDown(codigo, mascara); });
    connect(ListView1, &ListView::DblClick, this, [this] { ListView1_DblClick(); });
    connect(ListView1, &ListView::BeforeLabelEdit, this,
            [this](qint16& cancelar) { ListView1_BeforeLabelEdit(cancelar); });
    connect(ListView1, &ListView::AfterLabelEdit, this,
            [this](qint16& cancelar, QString& texto) { ListView1_AfterLabelEdit(cancelar, texto); });

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    medidas_.Ubicar(HScroll1, 0, 3600, 7215, 255);
    HScroll1->setMinimum(0);
    HScroll1->setSingleStep(240);
    HScroll1->setPageStep(1440);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    medidas_.Ubicar(Frame1, 1080, 3960, 4935, 255);

    CmdAceptar = new QPushButton(QStringLiteral("&Aceptar"), Frame1);
    CmdAceptar->setObjectName(QStringLiteral("CmdAceptar"));
    medidas_.Ubicar(CmdAceptar, 120, 0, 1695, 255);
    CmdCancelar = new QPushButton(QStringLiteral("&Cancelar"), Frame1);
    CmdCancelar->setObjectName(QStringLiteral("CmdCancelar"));
    medidas_.Ubicar(CmdCancelar, 3000, 0, 1695, 255);
    // "&Aceptar" answers Enter while no button has the focus; a button that has it takes
    // Enter itself, so Enter on a focused "&Cancelar" cancels.
    CmdAceptar->setAutoDefault(true);
    CmdCancelar->setAutoDefault(true);
    CmdAceptar->setDefault(true);
    connect(CmdCancelar, &QPushButton::clicked, this, [this] { CmdCancelar_Click(); });
    connect(CmdAceptar, &QPushButton::clicked, this, [this] { CmdAceptar_Click(); });

    MNU_Emergente = new QMenu(QStringLiteral("MNU_Emergente"), this);
    MNU_Emergente->setObjectName(QStringLiteral("MNU_Emergente"));
    MNU_Llena = MNU_Emergente->addAction(QStringLiteral("Llenar Con Posibles Valores"));
    MNU_Llena->setObjectName(QStringLiteral("MNU_Llena"));
    MNU_Separador = MNU_Emergente->addSeparator();
    MNU_Separador->setObjectName(QStringLiteral("MNU_Separador"));
    MNU_Cancelar = MNU_Emergente->addAction(QStringLiteral("Cancelar"));
    MNU_Cancelar->setObjectName(QStringLiteral("MNU_Cancelar"));
    connect(MNU_Llena, &QAction::triggered, this, [this] { MNU_Llena_Click(); });

    // The scroll bar lies over the panel's lower edge.
    HScroll1->raise();
    // Never so narrow that the buttons or the caption are cut.
    setMinimumWidth(Twips::APixelesX(int(AnchoMinimo()), this));
}

double Lib_FrmCons2::AnchoMinimo() const {
    // Both buttons with a margin, and the caption with room for the title bar's own buttons.
    return std::max(Medidas(Frame1).width() + 240, medidas_.AnchoDeTexto(windowTitle()) + 1800);
}

Lib_FrmCons2::~Lib_FrmCons2() = default;

QComboBox* Lib_FrmCons2::NuevaCajaDeBusqueda() {
    const qint16 indice = qint16(CmbSearch.size());
    auto* caja = new QComboBox(picFields);
    caja->setObjectName(QStringLiteral("CmbSearch"));
    caja->setProperty("Index", indice);
    caja->setEditable(true);
    // Enter in a box must not add its text to the drop-down list.
    caja->setInsertPolicy(QComboBox::NoInsert);
    // The box searches the text as typed: an editable box would otherwise complete it from
    // its list by itself, and the search would go to another row than the one typed.
    caja->setCompleter(nullptr);
    caja->installEventFilter(this);
    caja->lineEdit()->setProperty("Index", indice);
    caja->lineEdit()->installEventFilter(this);
    connect(caja, &QComboBox::editTextChanged, this, [this, indice] { CmbSearch_Change(indice); });
    connect(caja, &QComboBox::activated, this, [this, indice] { CmbSearch_Click(indice); });
    if (!CmbSearch.isEmpty()) {
        caja->setFont(CmbSearch[0]->font());
        const QRectF m = Medidas(CmbSearch[0]);
        medidas_.Ubicar(caja, m.left(), m.top(), m.width(), m.height());
    }
    return caja;
}

QRectF Lib_FrmCons2::Medidas(const QWidget* control) const {
    return medidas_.De(control);
}

void Lib_FrmCons2::AsignarAnchoVentana(double ancho) {
    medidas_.AsignarAnchoExterior(ancho);
    // A hidden window gets its resize event only when shown; the layout follows at once.
    if (!isVisible())
        Form_Resize();
}

void Lib_FrmCons2::MostrarModal() {
    if (!cargada_)
        Form_Load();
    // A loading failure the caller is to hear of is not shown.
    if (!FallaDeCarga.isEmpty())
        return;
    exec();
}

void Lib_FrmCons2::Form_Load() {
    cargada_ = true;
    Rutina rutina(EstiloDeCarga(), QStringLiteral("FORM_LOAD"));
    Conexion& conexion = Conexion::Instancia();

    rutina.Paso([&] { Valores = NuevaCollection(); });
    rutina.Paso([&] { Cantidades = NuevaCollection(); });
    rutina.Paso([&] { ListView1->ListItems().Clear(); });
    rutina.Paso([&] { conexion.AbrirRecordset(SQL, RsConsulta, nullptr, 0, 1, -1); });
    rutina.Paso([&] { ListView1->AsignarCheckboxes(CheckBoxes); });
    rutina.Paso([&] { Encolumnar(); });
    rutina.Paso([&] { Leer(1, 0); });
    MedirColumnas(rutina);
    rutina.Paso([&] { ListView1->AsignarSorted(true); });
    // The list control selects its first row once it has rows: Enter and the quantity keys
    // work on it at once.
    rutina.Paso([&] {
        if (ListView1->SelectedItem().EsNulo() && ListView1->ListItems().Count() > 0)
            ListView1->AsignarSelectedItem(ListView1->ListItems().Item(1));
    });
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
    if (FallasAlLlamador && rutina.UltimaFalla())
        FallaDeCarga = rutina.UltimaFalla()->Descripcion();
}

EstiloFallas Lib_FrmCons2::EstiloDeCarga() const {
    return FallasAlLlamador ? EstiloFallas::Abandonar : EstiloFallas::Informar;
}

void Lib_FrmCons2::MedirColumnas(Rutina& rutina) {
    double AnchoColumnas = 0;
    int n = 0;
    rutina.Paso([&] { n = ListView1->ColumnHeaders().Count() - (UsaCantidades ? 1 : 0); });
    // Each box is a step of its own: skipping one that fails leaves the others in place.
    for (int i = 1; i <= n && rutina.Activa(); ++i) {
        ColumnHeader columna;
        rutina.Paso([&] {
            columna = ListView1->ColumnHeaders().Item(i);
            AnchoColumnas += columna.Width;
        });
        rutina.Paso([&] {
            if (i - 1 >= CmbSearch.size())
                throw Falla::FueraDeIntervalo(QStringLiteral("CmbSearch(%1)").arg(i - 1));
            medidas_.AsignarIzquierda(CmbSearch[i - 1], columna.Left);
            // A column with no width (an expression empty in every row) gets a box with none.
            medidas_.AsignarAncho(CmbSearch[i - 1], std::max(0.0, columna.Width - 50));
        });
    }
    rutina.Paso([&] {
        if (UsaCantidades)
            AnchoColumnas += ListView1->ColumnHeaders().Item(ListView1->ColumnHeaders().Count()).Width;
    });
    rutina.Paso([&] { medidas_.AsignarAncho(ListView1, AnchoColumnas + 360); });
    rutina.Paso([&] {
        anchoPanel_ = RedondeoBancario(AnchoColumnas) + 360;
        medidas_.AsignarAncho(picFields, anchoPanel_);
    });
    rutina.Paso([&] { medidas_.AsignarAncho(HScroll1, AnchoColumnas); });
    rutina.Paso([&] { AjustarDesplazamiento(); });
    rutina.Paso([&] {
        const double lista = Medidas(ListView1).width();
        const double ancho = lista + 360 < AnchoPantalla() ? lista + 280 : AnchoPantalla() - 480;
        AsignarAnchoVentana(std::max(ancho, AnchoMinimo()));
    });
}

void Lib_FrmCons2::AjustarDesplazamiento() {
    // The panel scrolls until its right edge, just past the last column and its box, reaches
    // the window's right edge: never further, which would leave a blank strip.
    const double visible = Twips::DesdePixelesX(width(), this);
    const double maximo = std::max(0.0, Medidas(picFields).width() - visible);
    HScroll1->setPageStep(std::max(1, int(visible)));
    HScroll1->setMaximum(int(std::min(maximo, double(std::numeric_limits<int>::max() / 2))));
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
                                           medidas_.AnchoDeTexto(QString(int(qMax(0L, tamano)), u'X')));
        }
        if (UsaCantidades)
            ListView1->ColumnHeaders().Add(QStringLiteral("CANTIDAD"), QStringLiteral("**Cantidad**"),
                                           medidas_.AnchoDeTexto(QStringLiteral("XXXXXXXXXX")));
    } catch (const Falla& falla) {
        if (FallasAlLlamador)
            throw;
        Interaccion::Actual().Mensaje(falla.Descripcion(), Entorno::Titulo(),
                                      IconoMensaje::Ninguno);
    }
}

void Lib_FrmCons2::Leer(qint32, qint16) {
    Rutina rutina(EstiloDeCarga(), QStringLiteral("FORM_LOAD"));
    {
        ListView1->IniciarCarga();
        AlSalir finDeLaCarga([this] { ListView1->TerminarCarga(); });
        bool hayFilas = false;
        rutina.Paso([&] {
            if (!RsConsulta)
                throw Falla::ObjetoNoEstablecido();
            hayFilas = !RsConsulta->Bof();
            if (hayFilas)
                ListView1->Modelo().ReservarFilas(ListView1->ListItems().Count() + int(RsConsulta->RecordCount()));
        });
        while (hayFilas && rutina.Activa()) {
            bool alFinal = true;
            if (!rutina.Paso([&] { alFinal = RsConsulta->Eof(); }) || alFinal)
                break;
            rutina.Paso([&] { AgregarFila(); });
            rutina.Paso([&] { RsConsulta->MoveNext(); });
        }
        // The list has its own copy of every text: the recordset's goes back before the sort.
        if (hayFilas)
            rutina.Paso([&] { RsConsulta->SoltarFilasLeidas(); });
    }
    // A failure the caller is to hear of goes on to the loading, which stops there.
    if (FallasAlLlamador && rutina.UltimaFalla())
        throw *rutina.UltimaFalla();
}

void Lib_FrmCons2::AgregarFila() {
    const int campos = RsConsulta->FieldCount();
    textosFila_.resize(size_t(campos));
    vistasFila_.resize(size_t(campos));
    for (int k = 0; k < campos; ++k) {
        // A text (the usual cell) is taken where the recordset keeps it, without a copy.
        // FormatearTexto changes only line ends and tabs, which the first column keeps.
        QStringView texto;
        if (!RsConsulta->TextoEn(k, texto) || (k > 0 && Utilidades::CambiaAlFormatear(texto))) {
            QString& propio = textosFila_[size_t(k)];
            propio = Utilidades::Instancia().ValorTexto(RsConsulta->Fields(k));
            if (k > 0 && Utilidades::CambiaAlFormatear(propio))
                propio = Utilidades::Instancia().FormatearTexto(propio);
            texto = propio;
        }
        vistasFila_[size_t(k)] = k == 0 ? Cadenas::SinEspacios(texto) : texto;
    }
    ItemActual = ListItem(ListView1, ListView1->Modelo().AgregarFilaCargada(vistasFila_));
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
            if (Colacion::Actual().Iguales(Cadenas::SinEspacios(texto), buscada)) {
                resultado = qint16(i);
                return;
            }
        }
    });
    return resultado;
}

void Lib_FrmCons2::HScroll1_Change() {
    Rutina rutina(EstiloFallas::OmitirTodas);
    rutina.Paso([&] { medidas_.AsignarIzquierda(picFields, -HScroll1->value()); });
}

qint32 Lib_FrmCons2::Busqueda(qint32 Clave, const QString& QueValor) {
    return ListView1->Modelo().Buscar(Clave <= 0 ? 0 : Clave, Cadenas::SinEspacios(QueValor)) + 1;
}

void Lib_FrmCons2::Form_Resize() {
    if (ajustando_)
        return;
    ajustando_ = true;
    Rutina rutina(EstiloFallas::OmitirTodas);
    const double ancho = AnchoVentana();
    // The heights below count on a title bar and borders of at most MarcoPrevisto twips, as
    // the family's windows have; a taller title bar must not push the buttons out of the
    // window, so no more than that is counted.
    const double alto = std::min(AltoVentana(), Twips::DesdePixelesY(height(), this) + MarcoPrevisto);
    const double altoMarco = Medidas(Frame1).height();
    rutina.Paso([&] { medidas_.AsignarAlto(picFields, alto - altoMarco - 480); });
    rutina.Paso([&] { medidas_.AsignarAlto(ListView1, Medidas(picFields).height() - altoMarco - 600); });
    // The panel is never narrower than its columns: the scroll bar brings the rest in view.
    rutina.Paso([&] { medidas_.AsignarAncho(picFields, std::max(ancho - 120, anchoPanel_)); });
    rutina.Paso([&] { medidas_.AsignarAncho(ListView1, Medidas(picFields).width() - 20); });
    rutina.Paso([&] { medidas_.AsignarArriba(Frame1, alto - altoMarco - 420); });
    rutina.Paso([&] {
        medidas_.AsignarArriba(HScroll1, Medidas(picFields).height() - Medidas(HScroll1).height() - 120);
    });
    rutina.Paso([&] { medidas_.AsignarAncho(HScroll1, ancho - 120); });
    rutina.Paso([&] { medidas_.AsignarIzquierda(Frame1, ancho / 2 - Medidas(Frame1).width() / 2); });
    rutina.Paso([&] { AjustarDesplazamiento(); });
    ajustando_ = false;
}

void Lib_FrmCons2::resizeEvent(QResizeEvent* evento) {
    QDialog::resizeEvent(evento);
    Form_Resize();
}

void Lib_FrmCons2::moveEvent(QMoveEvent* evento) {
    QDialog::moveEvent(evento);
    // The window system moves the window into its frame when it frames it.
    medidas_.AplicarAnchoPendiente();
}

void Lib_FrmCons2::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    // The window system has framed the window now, or is about to: the outer size is known.
    medidas_.AplicarAnchoPendiente();
    QTimer::singleShot(0, this, [this] { medidas_.AplicarAnchoPendiente(); });
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

bool Lib_FrmCons2::eventFilter(QObject* objeto, QEvent* evento) {
    const QVariant indice = objeto->property("Index");
    if (indice.isValid()) {
        if (evento->type() == QEvent::FocusIn) {
            CmbSearch_GotFocus(qint16(indice.toInt()));
        } else if (evento->type() == QEvent::KeyPress && objeto == QApplication::focusWidget()) {
            // The box and its text field may both see the same key: the one with the focus
            // handles it.
            const auto* tecla = static_cast<QKeyEvent*>(evento);
            const qint16 codigo = CodigosTecla::Codigo(*tecla);
            if (codigo)
                CmbSearch_KeyDown(qint16(indice.toInt()), codigo,
                                  CodigosTecla::Mascara(tecla->modifiers()));
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

void Lib_FrmCons2::CmbSearch_GotFocus(qint16 Index) {
    IndiceBusqueda = Index;
}

void Lib_FrmCons2::CmbSearch_Change(qint16 Index) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    qint32 selector = 0;
    QString texto;
    qint32 p = 0;
    rutina.Paso([&] { selector = Utilidades::Instancia().TextoAEntero(QString::number(Index)); });
    rutina.Paso([&] { texto = Cadenas::Recortar(CmbSearch.at(Index)->currentText()); });
    rutina.Paso([&] { p = Busqueda(selector, texto); });
    if (p == 0)
        return;
    rutina.Paso([&] { ListView1->AsignarSelectedItem(ListView1->ListItems().Item(p)); });
    rutina.Paso([&] { ListView1->SelectedItem().EnsureVisible(); });
}

void Lib_FrmCons2::CmbSearch_Click(qint16 Index) {
    CmbSearch_Change(Index);
}

void Lib_FrmCons2::CmbSearch_KeyDown(qint16 Index, qint16 KeyCode, qint16) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    if (KeyCode == CodigosTecla::F5) {
        rutina.Paso([&] { ModoLlenar.clear(); });
        rutina.Paso([&] { Interaccion::Actual().ElegirEnMenu(*MNU_Emergente, QCursor::pos()); });
        if (!Cadenas::IgualesSinMayusculas(ModoLlenar, u"-1"))
            return;
        QComboBox* caja = nullptr;
        QStringList valores;
        rutina.Paso([&] { caja = CmbSearch.at(Index); });
        rutina.Paso([&] { valores = ListView1->Modelo().ValoresDeColumna(Index); });
        rutina.Paso([&] {
            // Filling the drop-down list leaves the box's text as it was: no search runs.
            const QSignalBlocker bloqueo(caja);
            const QString texto = caja->currentText();
            caja->clear();
            caja->addItems(valores);
            caja->setCurrentIndex(-1);
            caja->setEditText(texto);
        });
        return;
    }
    if (KeyCode == CodigosTecla::Abajo || KeyCode == CodigosTecla::Arriba ||
        KeyCode == CodigosTecla::AvPag || KeyCode == CodigosTecla::RePag) {
        rutina.Paso([&] {
            qint16 codigo = KeyCode;
            ListView1_KeyDown(codigo, 0);
        });
        rutina.Paso([&] { ListView1->setFocus(Qt::OtherFocusReason); });
    }
}

void Lib_FrmCons2::MNU_Llena_Click() {
    ModoLlenar = QStringLiteral("-1");
}

int Lib_FrmCons2::SubItemCantidad() {
    return IndiceColumna(QStringLiteral("**Cantidad**")) - 1;
}

QString Lib_FrmCons2::ValorDeColumna(const ListItem& fila, int c) {
    if (c < 1)
        throw Falla::FueraDeIntervalo(QStringLiteral("columna %1").arg(c));
    return c == 1 ? fila.Text() : fila.SubItems(c - 1);
}

void Lib_FrmCons2::AgregarAlBuscador(const QString& texto) {
    QComboBox* caja = CmbSearch.at(IndiceBusqueda);
    caja->setEditText(caja->currentText() + texto);
    caja->setFocus(Qt::OtherFocusReason);
}

void Lib_FrmCons2::ListView1_KeyDown(qint16& KeyCode, qint16 Shift) {
    Rutina rutina(EstiloFallas::Informar, QStringLiteral("ListView1_KeyDown"));
    const qint16 codigo = KeyCode;
    if (codigo == CodigosTecla::Intro) {
        // Acceptance, once: the key goes no further, so the default button does not take it
        // as well.
        KeyCode = 0;
        rutina.Paso([&] { CmdAceptar_Click(); });
        return;
    }
    if (UsaCantidades && (codigo == CodigosTecla::Insertar || codigo == CodigosTecla::Suprimir)) {
        TeclaDeCantidades(rutina, codigo, Shift);
        return;
    }
    const bool letraODigito = (codigo >= 48 && codigo <= 57) || (codigo >= 65 && codigo <= 90) ||
                              codigo == CodigosTecla::Espacio;
    // The keypad's digits are digits too: each types its own.
    const bool digitoDelTeclado = codigo >= 96 && codigo <= 105;
    if (letraODigito || digitoDelTeclado) {
        KeyCode = 0;
        const QChar caracter = digitoDelTeclado ? QChar(u'0' + (codigo - 96)) : QChar(codigo);
        rutina.Paso([&] { AgregarAlBuscador(caracter); });
        return;
    }
    if (codigo == CodigosTecla::Retroceso) {
        // Backspace takes the last character back, and the search runs again.
        KeyCode = 0;
        rutina.Paso([&] {
            QComboBox* caja = CmbSearch.at(IndiceBusqueda);
            caja->setEditText(caja->currentText().chopped(qMin<qsizetype>(1, caja->currentText().size())));
            caja->setFocus(Qt::OtherFocusReason);
        });
    }
}

void Lib_FrmCons2::TeclaDeCantidades(Rutina& rutina, qint16 codigo, qint16 Shift) {
    ColumnaCantidades::Tecla(rutina, codigo, Shift, [this] {
        return std::pair{ListView1->SelectedItem(), ColumnaCantidades(SubItemCantidad())};
    });
}

void Lib_FrmCons2::ListView1_BeforeLabelEdit(qint16& Cancel) {
    Cancel = 1;
}

void Lib_FrmCons2::ListView1_AfterLabelEdit(qint16& Cancel, QString&) {
    Cancel = 1;
}

void Lib_FrmCons2::ListView1_DblClick() {
    CmdAceptar_Click();
}

void Lib_FrmCons2::CmdAceptar_Click() {
    Rutina rutina(EstiloFallas::Informar, QStringLiteral("CmdAceptar_Click"));
    if (CheckBoxes) {
        rutina.Paso([&] {
            if (CampoDevuelto.isEmpty())
                CampoDevuelto = ListView1->ColumnHeaders().Item(1).Text;
        });
        int filas = 0;
        rutina.Paso([&] { filas = ListView1->ListItems().Count(); });
        for (int i = 1; i <= filas && rutina.Activa(); ++i) {
            bool marcada = false;
            if (!rutina.Paso([&] { marcada = ListView1->ListItems().Item(i).Checked(); }) || !marcada)
                continue;
            int c = 0;
            QString valor;
            rutina.Paso([&] { c = IndiceColumna(CampoDevuelto); });
            rutina.Paso([&] { valor = ValorDeColumna(ListView1->ListItems().Item(i), c); });
            rutina.Paso([&] {
                if (!Valores)
                    throw Falla::ObjetoNoEstablecido();
                Valores->Add(valor);
            });
            if (UsaCantidades)
                rutina.Paso([&] {
                    if (!Cantidades)
                        throw Falla::ObjetoNoEstablecido();
                    Cantidades->Add(ListView1->ListItems().Item(i).SubItems(SubItemCantidad()));
                });
        }
    } else {
        ListItem fila;
        rutina.Paso([&] { fila = ListView1->SelectedItem(); });
        if (!fila.EsNulo()) {
            // A name that names no column gives an empty text, never another column's value.
            auto valorDe = [&](const QString& nombre) {
                const int c = IndiceColumna(nombre);
                return c == 0 ? QString() : ValorDeColumna(fila, c);
            };
            QString valor;
            if (CmpsDevueltos) {
                for (int j = 1; j <= CmpsDevueltos->Count() && rutina.Activa(); ++j) {
                    rutina.Paso([&] {
                        valor = valorDe(CmpsDevueltos->Item(j).Texto());
                        if (!Valores)
                            throw Falla::ObjetoNoEstablecido();
                        Valores->Add(valor);
                    });
                }
            }
            rutina.Paso([&] {
                if (!Cadenas::Recortar(CampoDevuelto).isEmpty())
                    valor = valorDe(CampoDevuelto);
            });
            rutina.Paso([&] { ValorDevuelto = valor; });
            if (UsaCantidades)
                rutina.Paso([&] {
                    if (!Cantidades)
                        throw Falla::ObjetoNoEstablecido();
                    Cantidades->Add(fila.SubItems(SubItemCantidad()));
                });
        }
    }
    // Leaving on an error keeps the window shown, with what was added so far.
    if (rutina.Activa())
        hide();
}
