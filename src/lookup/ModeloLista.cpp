#include "ModeloLista.h"

#include "Cadenas.h"
#include "Colacion.h"
#include "Falla.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace {

// Below this many rows reading them all is quick enough: no thread is started.
constexpr size_t FilasParaOrdenarDeFondo = 8192;

// The ids ordered by their places, lugar(id) below lugares; ids of one place keep the order
// they are given in (a counting sort).
template <class Lugar>
std::vector<int> PorLugares(const std::vector<int>& ids, std::uint32_t lugares, Lugar lugar) {
    std::vector<std::uint32_t> desde(size_t(lugares) + 1, 0);
    for (int id : ids)
        ++desde[lugar(id)];
    std::uint32_t suma = 0;
    for (auto& d : desde)
        suma += std::exchange(d, suma);
    std::vector<int> ordenados(ids.size());
    for (int id : ids)
        ordenados[desde[lugar(id)]++] = id;
    return ordenados;
}

std::uint32_t Lugares(const std::vector<std::uint32_t>& rangos) {
    return rangos.empty() ? 0 : *std::max_element(rangos.begin(), rangos.end()) + 1;
}

} // namespace

ModeloLista::ModeloLista(QObject* padre) : QAbstractTableModel(padre) {}

ModeloLista::~ModeloLista() {
    DetenerOrdenesDeFondo();
}

int ModeloLista::AgregarColumna(const QString& clave, const QString& texto, double ancho) {
    DetenerOrdenesDeFondo();
    const int columna = int(columnas_.size());
    if (!cargando_)
        beginInsertColumns({}, columna, columna);
    columnas_.append({texto, clave, ancho});
    celdas_.emplace_back().AgregarVacias(marcadas_.size());
    rangos_.emplace_back();
    if (!cargando_)
        endInsertColumns();
    return columna;
}

void ModeloLista::QuitarColumnas() {
    DetenerOrdenesDeFondo();
    if (!cargando_)
        beginResetModel();
    // Rows without columns keep their place and check marks; new columns get empty cells.
    columnas_.clear();
    celdas_.clear();
    rangos_.clear();
    ordenVigente_ = false;
    if (!cargando_)
        endResetModel();
}

int ModeloLista::AgregarFila() {
    DetenerOrdenesDeFondo();
    const int id = int(marcadas_.size());
    for (auto& columna : celdas_)
        columna.Agregar({});
    for (auto& r : rangos_) {
        r.deFila.clear();
        r.porOrden.clear();
    }
    marcadas_.push_back(0);
    posicion_.push_back(0);
    // An empty row sorts first in ascending order and last in descending order.
    size_t donde = orden_.size();
    if (ordenado_ && !cargando_) {
        if (!descendente_) {
            donde = 0;
            while (donde < orden_.size() && VistaCelda(orden_[donde], columnaOrden_).isEmpty())
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

void ModeloLista::ReservarFilas(int filas) {
    DetenerOrdenesDeFondo();
    const size_t n = size_t(std::max(filas, 0));
    for (auto& columna : celdas_)
        columna.Reservar(n);
    marcadas_.reserve(n);
    orden_.reserve(n);
    posicion_.reserve(n);
}

int ModeloLista::AgregarFilaCargada(const std::vector<QStringView>& textos) {
    if (!cargando_)
        throw Falla::ArgumentoNoValido(QStringLiteral("la lista no se está cargando"));
    const int id = int(marcadas_.size());
    for (size_t c = 0; c < celdas_.size(); ++c)
        celdas_[c].Agregar(c < textos.size() ? textos[c] : QStringView());
    marcadas_.push_back(0);
    posicion_.push_back(int(orden_.size()));
    orden_.push_back(id);
    return id;
}

void ModeloLista::QuitarFilas() {
    DetenerOrdenesDeFondo();
    if (!cargando_)
        beginResetModel();
    for (auto& columna : celdas_)
        columna.Vaciar();
    for (auto& r : rangos_)
        r = {};
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

QStringView ModeloLista::VistaCelda(int id, int columna) const {
    if (columna < 0 || columna >= int(celdas_.size()) || id < 0 || id >= int(marcadas_.size()))
        return {};
    return celdas_[size_t(columna)].Vista(size_t(id));
}

QStringList ModeloLista::ValoresDeColumna(int columna) const {
    QStringList valores;
    valores.reserve(CantidadFilas());
    for (int p = 0; p < CantidadFilas(); ++p)
        valores << Celda(IdEn(p), columna);
    return valores;
}

void ModeloLista::AsignarCelda(int id, int columna, const QString& texto) {
    DetenerOrdenesDeFondo();
    if (columna < 0 || columna >= int(celdas_.size()))
        throw Falla::FueraDeIntervalo(QStringLiteral("columna %1").arg(columna));
    if (id < 0 || id >= int(marcadas_.size()))
        throw Falla::FueraDeIntervalo(QStringLiteral("fila %1").arg(id));
    celdas_[size_t(columna)].Asignar(size_t(id), texto);
    rangos_[size_t(columna)] = {};
    if (columna == columnaOrden_)
        ordenVigente_ = false;
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

const ModeloLista::Rangos& ModeloLista::RangosDe(int columna) {
    Rangos& r = rangos_[size_t(columna)];
    if (r.deFila.size() != marcadas_.size()) {
        const TextosColumna& textos = celdas_[size_t(columna)];
        Colacion::Orden orden = Colacion::Actual().Ordenar(textos);
        r.deFila = std::move(orden.rangos);
        r.binaria = orden.porTabla;
        for (size_t id = 0; id < textos.Cantidad() && r.binaria; ++id)
            r.binaria = !textos.Vista(id).startsWith(u' ');
    }
    return r;
}

void ModeloLista::Ordenar(int columna, bool descendente) {
    if (columna < 0 || columna >= int(celdas_.size()))
        return;
    if (orden_.size() < 2) {
        ordenVigente_ = true;
        return;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistentes = persistentIndexList();
    std::vector<int> ids;
    ids.reserve(size_t(persistentes.size()));
    for (const QModelIndex& i : persistentes)
        ids.push_back(IdEn(i.row()));

    // Rows of one place keep the order they had.
    const std::vector<std::uint32_t>& rangos = RangosDe(columna).deFila;
    const std::uint32_t lugares = Lugares(rangos);
    orden_ = PorLugares(orden_, lugares, [&](int id) {
        return descendente ? lugares - 1 - rangos[size_t(id)] : rangos[size_t(id)];
    });
    Renumerar(0);
    ordenVigente_ = true;

    QModelIndexList nuevos;
    nuevos.reserve(persistentes.size());
    for (qsizetype k = 0; k < persistentes.size(); ++k)
        nuevos << index(PosicionDe(ids[size_t(k)]), persistentes[k].column());
    changePersistentIndexList(persistentes, nuevos);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ModeloLista::Buscar(int columna, QStringView texto) const {
    if (columna < 0 || columna >= int(celdas_.size()) || orden_.empty())
        return -1;
    const Colacion& colacion = Colacion::Actual();
    const Rangos& r = rangos_[size_t(columna)];
    const bool porMitades = r.binaria && colacion.TablaEnUso() && colacion.EnTabla(texto);
    if (porMitades && ordenado_ && ordenVigente_ && columna == columnaOrden_ &&
        r.deFila.size() == marcadas_.size())
        return BuscarPorMitades(columna, texto);
    if (porMitades && r.porOrden.size() == marcadas_.size())
        return BuscarEnOrdenDeColumna(columna, texto);
    return BuscarRecorriendo(columna, texto);
}

// The rows whose first letters are the text's lie together in the column's order: found by
// halving, then read in order for the first whose accents agree too.
int ModeloLista::BuscarPorMitades(int columna, QStringView texto) const {
    const Colacion& colacion = Colacion::Actual();
    const TextosColumna& textos = celdas_[size_t(columna)];
    const int signo = descendente_ ? -1 : 1;
    auto comparar = [&](size_t posicion) {
        return signo * colacion.PrimerosComparados(textos.Vista(size_t(orden_[posicion])), texto);
    };
    auto limite = [&](bool incluirIguales) {
        size_t bajo = 0, alto = orden_.size();
        while (bajo < alto) {
            const size_t medio = bajo + (alto - bajo) / 2;
            const int c = comparar(medio);
            if (c < 0 || (incluirIguales && c == 0))
                bajo = medio + 1;
            else
                alto = medio;
        }
        return bajo;
    };
    const size_t desde = limite(false), hasta = limite(true);
    const Colacion::Prefijo prefijo = colacion.Preparar(texto);
    for (size_t p = desde; p < hasta; ++p)
        if (colacion.EmpiezaSinEspaciosCon(textos.Vista(size_t(orden_[p])), prefijo))
            return int(p);
    return -1;
}

// The list is in another order: the rows whose first letters are the text's lie together in
// the column's own order, found by halving; of those, the one nearest the top wins. Rows near
// the top are tried first, where a short text usually finds its row.
int ModeloLista::BuscarEnOrdenDeColumna(int columna, QStringView texto) const {
    const Colacion& colacion = Colacion::Actual();
    const TextosColumna& textos = celdas_[size_t(columna)];
    const std::vector<int>& porOrden = rangos_[size_t(columna)].porOrden;
    const Colacion::Prefijo prefijo = colacion.Preparar(texto);
    constexpr size_t Primeras = 256;
    for (size_t p = 0; p < std::min(orden_.size(), Primeras); ++p)
        if (colacion.EmpiezaSinEspaciosCon(textos.Vista(size_t(orden_[p])), prefijo))
            return int(p);
    auto limite = [&](bool incluirIguales) {
        size_t bajo = 0, alto = porOrden.size();
        while (bajo < alto) {
            const size_t medio = bajo + (alto - bajo) / 2;
            const int c = colacion.PrimerosComparados(textos.Vista(size_t(porOrden[medio])), texto);
            if (c < 0 || (incluirIguales && c == 0))
                bajo = medio + 1;
            else
                alto = medio;
        }
        return bajo;
    };
    int mejor = -1;
    for (size_t k = limite(false), hasta = limite(true); k < hasta; ++k) {
        const int id = porOrden[k];
        if ((mejor >= 0 && posicion_[size_t(id)] >= mejor) ||
            !colacion.EmpiezaSinEspaciosCon(textos.Vista(size_t(id)), prefijo))
            continue;
        mejor = posicion_[size_t(id)];
    }
    return mejor;
}

// Rows near the top are read in their order; the rest in the order they are kept, which is
// the order memory holds them in, keeping the match nearest the top.
int ModeloLista::BuscarRecorriendo(int columna, QStringView texto) const {
    const Colacion& colacion = Colacion::Actual();
    const TextosColumna& textos = celdas_[size_t(columna)];
    const Colacion::Prefijo prefijo = colacion.Preparar(texto);
    auto coincide = [&](int id) { return colacion.EmpiezaSinEspaciosCon(textos.Vista(size_t(id)), prefijo); };
    constexpr size_t Primeras = 4096;
    const size_t filas = orden_.size();
    for (size_t p = 0; p < std::min(filas, Primeras); ++p)
        if (coincide(orden_[p]))
            return int(p);
    int mejor = -1;
    for (size_t id = 0; id < filas; ++id) {
        if (posicion_[id] < int(Primeras) || (mejor >= 0 && posicion_[id] >= mejor) || !coincide(int(id)))
            continue;
        mejor = posicion_[id];
        if (mejor == int(Primeras))
            break;
    }
    return mejor;
}

void ModeloLista::AsignarOrden(bool ordenado, int columna, bool descendente) {
    ordenado_ = ordenado;
    columnaOrden_ = columna;
    descendente_ = descendente;
    if (ordenado_ && !cargando_)
        Ordenar(columnaOrden_, descendente_);
}

void ModeloLista::IniciarCarga() {
    DetenerOrdenesDeFondo();
    if (cargando_)
        return;
    beginResetModel();
    cargando_ = true;
    // The rows about to be added leave every column's places out of date.
    for (auto& r : rangos_)
        r.deFila.clear();
}

void ModeloLista::TerminarCarga() {
    if (!cargando_)
        return;
    cargando_ = false;
    endResetModel();
    if (ordenado_)
        Ordenar(columnaOrden_, descendente_);
    OrdenarColumnasDeFondo();
}

void ModeloLista::OrdenarColumnasDeFondo() {
    DetenerOrdenesDeFondo();
    if (marcadas_.size() < FilasParaOrdenarDeFondo || celdas_.empty())
        return;
    const quint64 generacion = generacion_;
    const QLocale local = Colacion::LocalActual();
    fondo_ = std::thread([this, generacion, local] {
        const Colacion colacion(local);
        std::vector<Rangos> rangos(celdas_.size());
        for (size_t c = 0; c < celdas_.size(); ++c) {
            if (detenerFondo_)
                return;
            const TextosColumna& textos = celdas_[c];
            Colacion::Orden orden = colacion.Ordenar(textos);
            Rangos& r = rangos[c];
            r.binaria = orden.porTabla;
            for (size_t id = 0; id < textos.Cantidad() && r.binaria; ++id)
                r.binaria = !textos.Vista(id).startsWith(u' ');
            std::vector<int> ids(textos.Cantidad());
            std::iota(ids.begin(), ids.end(), 0);
            r.porOrden = PorLugares(ids, Lugares(orden.rangos),
                                    [&](int id) { return orden.rangos[size_t(id)]; });
            r.deFila = std::move(orden.rangos);
        }
        if (detenerFondo_)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generacion, nombre = local.bcp47Name(), rangos = std::move(rangos)]() mutable {
                RecibirOrdenes(generacion, nombre, std::move(rangos));
            },
            Qt::QueuedConnection);
    });
}

void ModeloLista::DetenerOrdenesDeFondo() {
    ++generacion_;
    ordenesListas_ = false;
    if (fondo_.joinable()) {
        detenerFondo_ = true;
        fondo_.join();
    }
    detenerFondo_ = false;
}

void ModeloLista::RecibirOrdenes(quint64 generacion, const QString& local, std::vector<Rangos> rangos) {
    // The thread handed these over as its last step.
    if (fondo_.joinable())
        fondo_.join();
    if (generacion != generacion_ || local != Colacion::LocalActual().bcp47Name() ||
        rangos.size() != rangos_.size())
        return;
    rangos_ = std::move(rangos);
    ordenesListas_ = true;
}

bool ModeloLista::EsperarOrdenes(int milisegundos) {
    QDeadlineTimer plazo(milisegundos);
    while (!ordenesListas_ && fondo_.joinable() && !plazo.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return ordenesListas_;
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
