#include "ListView.h"

#include "CodigosTecla.h"
#include "Falla.h"
#include "ModeloLista.h"
#include "Twips.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

ModeloLista& ListItem::Modelo() const {
    if (EsNulo())
        throw Falla::ObjetoNoEstablecido();
    return lista_->Modelo();
}

QString ListItem::Text() const {
    return Modelo().Celda(id_, 0);
}

void ListItem::AsignarText(const QString& texto) {
    Modelo().AsignarCelda(id_, 0, texto);
}

QString ListItem::SubItems(int k) const {
    if (k < 1 || k >= Modelo().CantidadColumnas())
        throw Falla::FueraDeIntervalo(QStringLiteral("SubItems(%1)").arg(k));
    return Modelo().Celda(id_, k);
}

void ListItem::AsignarSubItems(int k, const QString& texto) {
    if (k < 1 || k >= Modelo().CantidadColumnas())
        throw Falla::FueraDeIntervalo(QStringLiteral("SubItems(%1)").arg(k));
    Modelo().AsignarCelda(id_, k, texto);
}

bool ListItem::Checked() const {
    return Modelo().Marcada(id_);
}

void ListItem::AsignarChecked(bool marcado) {
    Modelo().Marcar(id_, marcado);
}

int ListItem::Index() const {
    return Modelo().PosicionDe(id_) + 1;
}

void ListItem::EnsureVisible() const {
    Modelo();
    lista_->scrollTo(lista_->model()->index(Index() - 1, 0));
}

int ListView::Encabezados::Count() const {
    return lista_->Modelo().CantidadColumnas();
}

ColumnHeader ListView::Encabezados::Item(int indice) const {
    const ModeloLista& m = lista_->Modelo();
    if (indice < 1 || indice > m.CantidadColumnas())
        throw Falla::FueraDeIntervalo(QStringLiteral("ColumnHeaders(%1)").arg(indice));
    ColumnHeader c;
    c.Index = indice;
    c.Text = m.ColumnaEn(indice - 1).texto;
    c.Key = m.ColumnaEn(indice - 1).clave;
    c.Width = m.ColumnaEn(indice - 1).ancho;
    for (int i = 0; i < indice - 1; ++i)
        c.Left += m.ColumnaEn(i).ancho;
    return c;
}

ColumnHeader ListView::Encabezados::Add(const QString& clave, const QString& texto,
                                        double anchoTwips) {
    ModeloLista& m = lista_->Modelo();
    if (!clave.isEmpty())
        for (int i = 0; i < m.CantidadColumnas(); ++i)
            if (m.ColumnaEn(i).clave == clave)
                throw Falla(35602, QStringLiteral("La clave no es única en la colección: %1").arg(clave));
    const int columna = m.AgregarColumna(clave, texto, anchoTwips);
    lista_->AnchoDeColumna(columna);
    return Item(columna + 1);
}

void ListView::Encabezados::Clear() {
    lista_->Modelo().QuitarColumnas();
}

int ListView::Elementos::Count() const {
    return lista_->Modelo().CantidadFilas();
}

ListItem ListView::Elementos::Item(int indice) const {
    const ModeloLista& m = lista_->Modelo();
    if (indice < 1 || indice > m.CantidadFilas())
        throw Falla::FueraDeIntervalo(QStringLiteral("ListItems(%1)").arg(indice));
    return ListItem(lista_, m.IdEn(indice - 1));
}

ListItem ListView::Elementos::Add() {
    return ListItem(lista_, lista_->Modelo().AgregarFila());
}

void ListView::Elementos::Clear() {
    lista_->Modelo().QuitarFilas();
}

ListView::ListView(QWidget* padre) : QTreeView(padre), modelo_(new ModeloLista(this)) {
    setModel(modelo_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);
    // Editing a row's text starts as in the family's list: F2, or a click on the selected row.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    modelo_->AsignarEdicionDeEtiquetas(true);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int seccion) { Q_EMIT ColumnClick(seccion + 1); });
    connect(modelo_, &ModeloLista::MarcaCambiada, this,
            [this](int id) { Q_EMIT ItemCheck(ListItem(this, id)); });
    connect(modelo_, &ModeloLista::EtiquetaEditada, this, [this](int id, QString texto) {
        qint16 cancelar = 0;
        Q_EMIT AfterLabelEdit(cancelar, texto);
        if (!cancelar)
            modelo_->AsignarCelda(id, 0, texto);
    });
}

void ListView::AnchoDeColumna(int columna) {
    header()->resizeSection(columna,
                            Twips::APixelesX(int(std::lround(modelo_->ColumnaEn(columna).ancho)), this));
}

ListItem ListView::SelectedItem() const {
    const QModelIndexList elegidas = selectionModel()->selectedRows();
    if (elegidas.isEmpty())
        return {};
    return ListItem(const_cast<ListView*>(this), modelo_->IdEn(elegidas.first().row()));
}

void ListView::AsignarSelectedItem(const ListItem& item) {
    if (item.EsNulo()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex indice = modelo_->index(item.Index() - 1, 0);
    selectionModel()->setCurrentIndex(indice, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
}

bool ListView::Checkboxes() const {
    return modelo_->Casillas();
}

void ListView::AsignarCheckboxes(bool casillas) {
    modelo_->AsignarCasillas(casillas);
}

void ListView::Reordenar() {
    modelo_->AsignarOrden(ordenada_, columnaOrden_, orden_ == lvwDescending);
}

void ListView::AsignarSorted(bool ordenada) {
    ordenada_ = ordenada;
    Reordenar();
}

void ListView::AsignarSortKey(int columna) {
    columnaOrden_ = columna;
    if (ordenada_)
        Reordenar();
}

void ListView::AsignarSortOrder(Orden orden) {
    orden_ = orden;
    if (ordenada_)
        Reordenar();
}

void ListView::IniciarCarga() {
    modelo_->IniciarCarga();
}

void ListView::TerminarCarga() {
    modelo_->TerminarCarga();
    for (int c = 0; c < modelo_->CantidadColumnas(); ++c)
        AnchoDeColumna(c);
}

void ListView::keyPressEvent(QKeyEvent* evento) {
    qint16 codigo = CodigosTecla::Codigo(*evento);
    const qint16 mascara = CodigosTecla::Mascara(evento->modifiers());
    if (codigo != 0) {
        Q_EMIT KeyDown(codigo, mascara);
        if (codigo == 0) {
            evento->accept();
            return;
        }
    }
    QTreeView::keyPressEvent(evento);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* evento) {
    QTreeView::mouseDoubleClickEvent(evento);
    if (evento->button() == Qt::LeftButton)
        Q_EMIT DblClick();
}

bool ListView::edit(const QModelIndex& indice, EditTrigger disparador, QEvent* evento) {
    if (disparador == QAbstractItemView::EditKeyPressed ||
        disparador == QAbstractItemView::SelectedClicked ||
        disparador == QAbstractItemView::DoubleClicked) {
        // A click on a row's check box marks it, selected or not: the delegate sees the
        // event first, and no label edit starts for it.
        if (evento && QTreeView::edit(indice, QAbstractItemView::NoEditTriggers, evento))
            return true;
        if (!indice.isValid() || !(modelo_->flags(indice) & Qt::ItemIsEditable))
            return false;
        qint16 cancelar = 0;
        Q_EMIT BeforeLabelEdit(cancelar);
        if (cancelar)
            return false;
        // Only the row's own text is its label.
        return QTreeView::edit(modelo_->index(indice.row(), 0), disparador, evento);
    }
    return QTreeView::edit(indice, disparador, evento);
}
