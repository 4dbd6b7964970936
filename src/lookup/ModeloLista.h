#pragma once

#include "TextosColumna.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// The rows of a report-style list: every cell a text, a check mark per row, and an order of
// display that sorting changes. A row keeps its number (its id) for its whole life, so its
// check mark and its selection go with it wherever sorting places it.
//
// A column's texts are kept together (TextosColumna). Sorting by a column works out once each
// row's place in the column's order (Colacion) and keeps it until a cell of the column
// changes, so that sorting again, or the other way, only reorders whole numbers.
class ModeloLista : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Columna {
        QString texto;
        QString clave;
        double ancho = 0; // twips
    };

    explicit ModeloLista(QObject* padre = nullptr);
    ~ModeloLista() override;

    int AgregarColumna(const QString& clave, const QString& texto, double ancho);
    void QuitarColumnas();
    int CantidadColumnas() const { return int(columnas_.size()); }
    const Columna& ColumnaEn(int columna) const { return columnas_.at(columna); }

    // A new row with empty cells: at the end, or where the sort order puts it when sorted.
    int AgregarFila();
    // Room for that many rows in all: a load of a known size grows nothing.
    void ReservarFilas(int filas);
    // While loading: a new row at the end with its cells' texts (columns past them empty).
    int AgregarFilaCargada(const std::vector<QStringView>& textos);
    void QuitarFilas();
    int CantidadFilas() const { return int(orden_.size()); }
    int IdEn(int posicion) const { return orden_.at(size_t(posicion)); }
    int PosicionDe(int id) const { return posicion_.at(size_t(id)); }

    QString Celda(int id, int columna) const { return VistaCelda(id, columna).toString(); }
    // Valid until the column changes.
    QStringView VistaCelda(int id, int columna) const;
    // The cells of a column in the present order of display.
    QStringList ValoresDeColumna(int columna) const;
    void AsignarCelda(int id, int columna, const QString& texto);
    bool Marcada(int id) const { return marcadas_.at(size_t(id)) != 0; }
    void Marcar(int id, bool marcada);

    bool Casillas() const { return casillas_; }
    void AsignarCasillas(bool casillas);
    // Only the first column's text can be edited in place, and only if the list allows it.
    void AsignarEdicionDeEtiquetas(bool edicion) { edicion_ = edicion; }

    // Stable, by the column's text in the user's locale without regard to case.
    void Ordenar(int columna, bool descendente);
    // The position of the first row, in the present order, whose cell of the column, without
    // its outer spaces, begins with the text (compared as sorting compares); -1 when none.
    // The text comes without outer spaces.
    int Buscar(int columna, QStringView texto) const;
    void AsignarOrden(bool ordenado, int columna, bool descendente);

    // While loading many rows, views are told once at the end instead of row by row.
    void IniciarCarga();
    void TerminarCarga();
    // Whether every column's order is worked out (in the background after a load) so that a
    // search in any column halves the rows; waits up to that many milliseconds for it.
    bool EsperarOrdenes(int milisegundos);

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
    // A column's places in its order, worked out when first needed.
    struct Rangos {
        std::vector<std::uint32_t> deFila; // by row id; empty: not worked out
        // The order came from the collation table and no cell begins with a space: a search
        // in the column can halve the rows instead of reading them all.
        bool binaria = false;
        // The row ids in the column's order, for searching the column while the list is in
        // another order; empty: not worked out.
        std::vector<int> porOrden;
    };
    // After a load, every column's order is worked out on a thread of its own, reading the
    // cells while nothing changes them: whatever changes the rows or the cells stops it first.
    void OrdenarColumnasDeFondo();
    void DetenerOrdenesDeFondo();
    void RecibirOrdenes(quint64 generacion, const QString& local, std::vector<Rangos> rangos);
    int BuscarEnOrdenDeColumna(int columna, QStringView texto) const;
    const Rangos& RangosDe(int columna);
    void Renumerar(size_t desde);
    int BuscarPorMitades(int columna, QStringView texto) const;
    int BuscarRecorriendo(int columna, QStringView texto) const;

    QList<Columna> columnas_;
    std::vector<TextosColumna> celdas_; // by column
    std::vector<Rangos> rangos_;        // by column
    std::vector<char> marcadas_;
    std::vector<int> orden_;    // position -> id
    std::vector<int> posicion_; // id -> position
    // The present order is that of the sort column (nothing changed it since).
    bool ordenVigente_ = false;
    bool casillas_ = false;
    bool edicion_ = false;
    bool ordenado_ = false;
    int columnaOrden_ = 0;
    bool descendente_ = false;
    bool cargando_ = false;
    std::thread fondo_;
    std::atomic<bool> detenerFondo_{false};
    // Counts every change of rows or cells: orders worked out before the last one are old.
    quint64 generacion_ = 0;
    bool ordenesListas_ = false;
};
