#pragma once

#include <QString>
#include <QTreeView>

class ListView;
class ModeloLista;

// A column of the list as its header describes it; sizes in twips.
struct ColumnHeader {
    int Index = 0; // 1-based
    QString Text;
    QString Key;
    double Width = 0;
    double Left = 0;
};

// A row of the list. It stays the same row wherever sorting moves it.
class ListItem {
public:
    ListItem() = default;
    ListItem(ListView* lista, int id) : lista_(lista), id_(id) {}

    bool EsNulo() const { return !lista_ || id_ < 0; }
    int Id() const { return id_; }

    // Column 1.
    QString Text() const;
    void AsignarText(const QString& texto);
    // Column k + 1, for k from 1.
    QString SubItems(int k) const;
    void AsignarSubItems(int k, const QString& texto);
    bool Checked() const;
    void AsignarChecked(bool marcado);
    // The 1-based position of the row in the list's present order.
    int Index() const;
    // Scrolls the list so that the row can be seen.
    void EnsureVisible() const;

    bool operator==(const ListItem& otro) const { return lista_ == otro.lista_ && id_ == otro.id_; }

private:
    ModeloLista& Modelo() const;

    ListView* lista_ = nullptr;
    int id_ = -1;
};

// A report-style list: column headers, one line per row, an optional check box per row,
// sorting by a column's text, and the keyboard and mouse events of the family's list control.
// Cells are never edited in place; a label edit of a row's own text is offered to the handlers
// of BeforeLabelEdit and AfterLabelEdit, which may cancel it.
class ListView : public QTreeView {
    Q_OBJECT
public:
    enum Orden { lvwAscending = 0, lvwDescending = 1 };

    // The column headers: ListView1.ColumnHeaders.
    class Encabezados {
    public:
        explicit Encabezados(ListView* lista) : lista_(lista) {}
        int Count() const;
        ColumnHeader Item(int indice) const; // 1-based
        ColumnHeader Add(const QString& clave, const QString& texto, double anchoTwips);
        void Clear();

    private:
        ListView* lista_;
    };

    // The rows in their present order: ListView1.ListItems.
    class Elementos {
    public:
        explicit Elementos(ListView* lista) : lista_(lista) {}
        int Count() const;
        ListItem Item(int indice) const; // 1-based position
        ListItem Add();
        void Clear();

    private:
        ListView* lista_;
    };

    explicit ListView(QWidget* padre = nullptr);

    Encabezados ColumnHeaders() { return Encabezados(this); }
    Elementos ListItems() { return Elementos(this); }

    ListItem SelectedItem() const;
    void AsignarSelectedItem(const ListItem& item);

    bool Checkboxes() const;
    void AsignarCheckboxes(bool casillas);
    bool Sorted() const { return ordenada_; }
    void AsignarSorted(bool ordenada);
    int SortKey() const { return columnaOrden_; }
    void AsignarSortKey(int columna);
    Orden SortOrder() const { return orden_; }
    void AsignarSortOrder(Orden orden);

    // Loading many rows: the view is told once, at the end.
    void IniciarCarga();
    void TerminarCarga();

    ModeloLista& Modelo() const { return *modelo_; }

Q_SIGNALS:
    // A header was clicked (its 1-based position).
    void ColumnClick(int columna);
    // A key was pressed: virtual-key code and modifier mask. A handler that sets the code to
    // 0 keeps the list from handling the key itself.
    void KeyDown(qint16& KeyCode, qint16 Shift);
    void DblClick();
    // An edit of a row's text is about to start, and has ended; a handler that sets Cancel
    // to a non-zero value stops it.
    void BeforeLabelEdit(qint16& Cancel);
    void AfterLabelEdit(qint16& Cancel, QString& NewString);
    // The person changed a row's check mark.
    void ItemCheck(ListItem item);

protected:
    void keyPressEvent(QKeyEvent* evento) override;
    void mouseDoubleClickEvent(QMouseEvent* evento) override;
    bool edit(const QModelIndex& indice, EditTrigger disparador, QEvent* evento) override;

private:
    void Reordenar();
    void AnchoDeColumna(int columna);

    ModeloLista* modelo_;
    bool ordenada_ = false;
    int columnaOrden_ = 0;
    Orden orden_ = lvwAscending;
};
