#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// The rows of a report-style list: every cell a text, a check mark per row, and an order of
// display that sorting changes. A row keeps its number (its id) for its whole life, so its
// check mark and its selection go with it wherever sorting places it.
class ModeloLista : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Columna {
        QString texto;
        QString clave;
        double ancho = 0; // twips
    };

    explicit ModeloLista(QObject* padre = nullptr);

    int AgregarColumna(const QString& clave, const QString& texto, double ancho);
    void QuitarColumnas();
    int CantidadColumnas() const { return int(columnas_.size()); }
    const Columna& ColumnaEn(int columna) const { return columnas_.at(columna); }

    // A new row with empty cells: at the end, or where the sort order puts it when sorted.
    int AgregarFila();
    void QuitarFilas();
    int CantidadFilas() const { return int(orden_.size()); }
    int IdEn(int posicion) const { return orden_.at(size_t(posicion)); }
    int PosicionDe(int id) const { return posicion_.at(size_t(id)); }

    const QString& Celda(int id, int columna) const;
    // The cells of a column in the present order of display.
    QStringList ValoresDeColumna(int columna) const;
    void AsignarCelda(int id, int columna, const QString& texto);
    bool Marcada(int id) const { return marcadas_.at(size_t(id)) != 0; }
    void Marcar(int id, bool marcada);

    bool Casillas() const { return casillas_; }
    void AsignarCasillas(bool casillas);
    // Only the first column's text can be edited in place, and only if the list allows it.
    void AsignarEdicionDeEtiquetas(bool edicion) { edicion_ = edicion; }

    // Stable, by the column's text without regard to case.
    void Ordenar(int columna, bool descendente);
    void AsignarOrden(bool ordenado, int columna, bool descendente);

    // While loading many rows, views are told once at the end instead of row by row.
    void IniciarCarga();
    void TerminarCarga();

    int rowCount(const QModelIndex& padre = {}) const override;
    int columnCount(const QModelIndex& padre = {}) const override;
    QVariant data(const QModelIndex& indice, int rol) const override;
    bool setData(const QModelIndex& indice, const QVariant& valor, int rol) override;
    QVariant headerData(int seccion, Qt::Orientation orientacion, int rol) const override;
    Qt::ItemFlags flags(const QModelIndex& indice) const override;

Q_SIGNALS:
    // The person changed a row's check mark.
    void MarcaCambiada(int id);
    // The person finished editing a row's text: the handler may refuse the new text.
    void EtiquetaEditada(int id, QString texto);

private:
    bool Antes(int a, int b) const;
    void Renumerar(size_t desde);

    QList<Columna> columnas_;
    std::vector<std::vector<QString>> celdas_; // by column, then by row id
    std::vector<char> marcadas_;
    std::vector<int> orden_;    // position -> id
    std::vector<int> posicion_; // id -> position
    std::vector<QString> claves_; // folded texts of the sort column while sorting
    bool casillas_ = false;
    bool edicion_ = false;
    bool ordenado_ = false;
    int columnaOrden_ = 0;
    bool descendente_ = false;
    bool cargando_ = false;
};
