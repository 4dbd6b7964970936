#pragma once

#include "Collection.h"
#include "ListView.h"
#include "MedidasTwips.h"
#include "Recordset.h"
#include "Rutina.h"
#include "Variant.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QRectF>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;

// The family's lookup window: the rows of a statement in a sortable list, one search box per
// column above it, "&Aceptar" and "&Cancelar" centred at the bottom. The lookup request fills
// its public fields, shows it modally and reads the results back once it hides itself.
//
// Lengths are twips, as the family's windows measure them (MedidasTwips).
class Lib_FrmCons2 : public QDialog {
    Q_OBJECT
public:
    explicit Lib_FrmCons2(QWidget* padre = nullptr);
    ~Lib_FrmCons2() override;

    // Set by the request before the window loads.
    QString SQL;
    QString CampoDevuelto;
    RefCollection CmpsDevueltos;
    bool CheckBoxes = false;
    QString gConnString;
    QString FiltroInicial;
    QString CampoBusqueda;
    bool UsaCantidades = false;
    // Loading failures are not asked about: loading stops at the first one, which is kept in
    // FallaDeCarga, and the window is not shown (a program that prints the choice says it on
    // its own). Otherwise each failure is asked about as it happens.
    bool FallasAlLlamador = false;
    // Results.
    QString FallaDeCarga;
    Variant ValorDevuelto;
    RefCollection Valores;
    RefCollection Cantidades;

    // Controls.
    QWidget* picFields;
    QList<QComboBox*> CmbSearch;
    QList<QLabel*> lblFieldName;
    ListView* ListView1;
    QScrollBar* HScroll1;
    QFrame* Frame1;
    QPushButton* CmdAceptar;
    QPushButton* CmdCancelar;
    QMenu* MNU_Emergente;
    QAction* MNU_Llena;
    QAction* MNU_Separador;
    QAction* MNU_Cancelar;

    // Loads the window (once) and shows it modally until it hides itself.
    void MostrarModal();
    bool Cargada() const { return cargada_; }

    void Form_Load();
    void Form_Resize();
    void Form_Unload(qint16& Cancel);
    void CmdCancelar_Click();

    void CmdAceptar_Click();
    void ListView1_DblClick();

    void Encolumnar();
    void Leer(qint32 Cdesde, qint16 Cuantas);
    void ListView1_ColumnClick(int columna);
    qint16 IndiceColumna(const QString& Columna);
    void HScroll1_Change();
    // The 1-based position of the first row, in list order, whose column (0 or less: the
    // row's text, k: its sub-item k) begins with the text, without regard to case and to
    // surrounding blanks; 0 when none does.
    qint32 Busqueda(qint32 Clave, const QString& QueValor);

    // Search boxes.
    void CmbSearch_GotFocus(qint16 Index);
    void CmbSearch_Change(qint16 Index);
    void CmbSearch_Click(qint16 Index);
    void CmbSearch_KeyDown(qint16 Index, qint16 KeyCode, qint16 Shift);
    void MNU_Llena_Click();

    // List keys and quantities.
    void ListView1_KeyDown(qint16& KeyCode, qint16 Shift);
    void ListView1_BeforeLabelEdit(qint16& Cancel);
    void ListView1_AfterLabelEdit(qint16& Cancel, QString& NewString);

    qint16 IndiceBusquedaActual() const { return IndiceBusqueda; }

    // The twips a control was given (or the window's outer size).
    QRectF Medidas(const QWidget* control) const;
    double AnchoVentana() const { return medidas_.AnchoVentana(); }
    double AltoVentana() const { return medidas_.AltoVentana(); }
    // The screen's width in twips.
    double AnchoPantalla() const { return medidas_.AnchoPantalla(); }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void resizeEvent(QResizeEvent* evento) override;
    void moveEvent(QMoveEvent* evento) override;
    void showEvent(QShowEvent* evento) override;
    void reject() override;

private:
    void AgregarFila();
    // The value of column c (1-based) of a row: its text for column 1, else sub-item c - 1.
    QString ValorDeColumna(const ListItem& fila, int c);
    // The sub-item that holds the quantities.
    int SubItemCantidad();
    void AgregarAlBuscador(const QString& texto);
    QComboBox* NuevaCajaDeBusqueda();
    // Insert, Shift+Insert and Delete on a list with quantities.
    void TeclaDeCantidades(Rutina& rutina, qint16 codigo, qint16 Shift);
    void AsignarAnchoVentana(double ancho);
    // The narrowest the window may be: both buttons and the caption whole.
    double AnchoMinimo() const;
    // Steps 8 to 15 of loading: boxes under their columns, widths, scroll range.
    void MedirColumnas(Rutina& rutina);
    // The scroll bar's range: up to where the panel's right edge is in view.
    void AjustarDesplazamiento();
    EstiloFallas EstiloDeCarga() const;

    ListItem ItemActual;
    // The texts of the row being loaded, kept from one row to the next.
    std::vector<QString> textosFila_;
    std::vector<QStringView> vistasFila_;
    RefRecordset RsConsulta;
    QString ModoLlenar;
    qint16 IndiceBusqueda = 0;

    MedidasTwips medidas_{this};
    bool cargada_ = false;
    bool ajustando_ = false;
    double anchoPanel_ = 0;     // twips: the columns' width + 360, as loading made it
};
