#include "ModeloLista.h"

#include "Falla.h"

#include <algorithm>
#include <numeric>

namespace {
const QString Vacio;
}

ModeloLista::ModeloLista(QObject* padre) : QAbstractTableModel(padre) {}

int ModeloLista::AgregarColumna(const QString& clave, const QString& texto, double ancho) {
    const int columna = int(columnas_.size());
    if (!cargando_)
        beginInsertColumns({}, columna, columna);
    columnas_.append({texto, clave, ancho});
    celdas_.emplace_back(marcadas_.size());
    if (!cargando_)
        endInsertColumns();
    return columna;
}

void ModeloLista::QuitarColumnas() {
    if (!cargando_)
        beginResetModel();
    // Rows without columns keep their place and check marks; new columns get empty cells.
    columnas_.clear();
    celdas_.clear();
    if (!cargando_)
        endResetModel();
}

int ModeloLista::AgregarFila() {
    const int id = int(marcadas_.size());
    for (auto& columna : celdas_)
        columna.emplace_back();
    marcadas_.push_back(0);
    posicion_.push_back(0);
    // An empty row sorts first in ascending order and last in descending order.
    size_t donde = orden_.size();
    if (ordenado_ && !cargando_) {
        if (!descendente_) {
            donde = 0;
            while (donde < orden_.size() && Celda(orden_[donde], columnaOrden_).isEmpty())
                ++donde;
        }
    }
    if (!cargando_)
        beginInsertRows({}, int(donde), int(donde));
    orden_.insert(orden_.begin() + qsizetype(donde), id);
    Renumerar(donde);
    if (!cargando_)
        endInsertRows();
    return id;
}

void ModeloLista::QuitarFilas() {
    if (!cargando_)
        beginResetModel();
    for (auto& columna : celdas_) {
        columna.clear();
        columna.shrink_to_fit();
    }
    marcadas_.clear();
    orden_.clear();
    posicion_.clear();
    if (!cargando_)
        endResetModel();
}

void ModeloLista::Renumerar(size_t desde) {
    for (size_t p = desde; p < orden_.size(); ++p)
        posicion_[size_t(orden_[p])] = int(p);
}

const QString& ModeloLista::Celda(int id, int columna) const {
    if (columna < 0 || columna >= int(celdas_.size()) || id < 0 || id >= int(marcadas_.size()))
        return Vacio;
    return celdas_[size_t(columna)][size_t(id)];
}

QStringList ModeloLista::ValoresDeColumna(int columna) const {
    QStringList valores;
    valores.reserve(CantidadFilas());
    for (int p = 0; p < CantidadFilas(); ++p)
        valores << Celda(IdEn(p), columna);
    return valores;
}

void ModeloLista::AsignarCelda(int id, int columna, const QString& texto) {
    if (columna < 0 || columna >= int(celdas_.size()))
        throw Falla::FueraDeIntervalo(QStringLiteral("columna %1").arg(columna));
    if (id < 0 || id >= int(marcadas_.size()))
        throw Falla::FueraDeIntervalo(QStringLiteral("fila %1").arg(id));
    celdas_[size_t(columna)][size_t(id)] = texto;
    if (!cargando_) {
        const QModelIndex i = index(PosicionDe(id), columna);
        Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
    }
}

void ModeloLista::Marcar(int id, bool marcada) {
    if (id < 0 || id >= int(marcadas_.size()))
        throw Falla::FueraDeIntervalo(QStringLiteral("fila %1").arg(id));
    marcadas_[size_t(id)] = marcada ? 1 : 0;
    if (!cargando_ && !columnas_.isEmpty()) {
        const QModelIndex i = index(PosicionDe(id), 0);
        Q_EMIT dataChanged(i, i, {Qt::CheckStateRole});
    }
}

void ModeloLista::AsignarCasillas(bool casillas) {
    if (casillas == casillas_)
        return;
    casillas_ = casillas;
    if (!orden_.empty() && !columnas_.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

bool ModeloLista::Antes(int a, int b) const {
    return claves_[size_t(a)] < claves_[size_t(b)];
}

void ModeloLista::Ordenar(int columna, bool descendente) {
    if (columna < 0 || columna >= int(celdas_.size()) || orden_.size() < 2)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistentes = persistentIndexList();
    std::vector<int> ids;
    ids.reserve(size_t(persistentes.size()));
    for (const QModelIndex& i : persistentes)
        ids.push_back(IdEn(i.row()));

    // Each text folded once, not at every comparison.
    const auto& textos = celdas_[size_t(columna)];
    claves_.resize(textos.size());
    for (size_t id = 0; id < textos.size(); ++id)
        claves_[id] = textos[id].toCaseFolded();
    if (descendente)
        std::stable_sort(orden_.begin(), orden_.end(), [this](int a, int b) { return Antes(b, a); });
    else
        std::stable_sort(orden_.begin(), orden_.end(), [this](int a, int b) { return Antes(a, b); });
    claves_.clear();
    claves_.shrink_to_fit();
    Renumerar(0);

    QModelIndexList nuevos;
    nuevos.reserve(persistentes.size());
    for (qsizetype k = 0; k < persistentes.size(); ++k)
        nuevos << index(PosicionDe(ids[size_t(k)]), persistentes[k].column());
    changePersistentIndexList(persistentes, nuevos);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ModeloLista::AsignarOrden(bool ordenado, int columna, bool descendente) {
    ordenado_ = ordenado;
    columnaOrden_ = columna;
    descendente_ = descendente;
    if (ordenado_ && !cargando_)
        Ordenar(columnaOrden_, descendente_);
}

void ModeloLista::IniciarCarga() {
    if (cargando_)
        return;
    beginResetModel();
    cargando_ = true;
}

void ModeloLista::TerminarCarga() {
    if (!cargando_)
        return;
    cargando_ = false;
    endResetModel();
    if (ordenado_)
        Ordenar(columnaOrden_, descendente_);
}

int ModeloLista::rowCount(const QModelIndex& padre) const {
    return padre.isValid() || cargando_ ? 0 : int(orden_.size());
}

int ModeloLista::columnCount(const QModelIndex& padre) const {
    return padre.isValid() ? 0 : int(columnas_.size());
}

QVariant ModeloLista::data(const QModelIndex& indice, int rol) const {
    if (!indice.isValid() || indice.row() >= int(orden_.size()))
        return {};
    const int id = orden_[size_t(indice.row())];
    switch (rol) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return Celda(id, indice.column());
    case Qt::CheckStateRole:
        if (casillas_ && indice.column() == 0)
            return Marcada(id) ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool ModeloLista::setData(const QModelIndex& indice, const QVariant& valor, int rol) {
    if (!indice.isValid() || indice.row() >= int(orden_.size()))
        return false;
    const int id = orden_[size_t(indice.row())];
    if (rol == Qt::CheckStateRole && casillas_ && indice.column() == 0) {
        Marcar(id, valor.toInt() == Qt::Checked);
        Q_EMIT MarcaCambiada(id);
        return true;
    }
    if (rol == Qt::EditRole && edicion_ && indice.column() == 0) {
        Q_EMIT EtiquetaEditada(id, valor.toString());
        return true;
    }
    return false;
}

QVariant ModeloLista::headerData(int seccion, Qt::Orientation orientacion, int rol) const {
    if (orientacion != Qt::Horizontal || rol != Qt::DisplayRole || seccion < 0 ||
        seccion >= columnas_.size())
        return {};
    return columnas_[seccion].texto;
}

Qt::ItemFlags ModeloLista::flags(const QModelIndex& indice) const {
    if (!indice.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (indice.column() == 0) {
        if (casillas_)
            f |= Qt::ItemIsUserCheckable;
        if (edicion_)
            f |= Qt::ItemIsEditable;
    }
    return f;
}
