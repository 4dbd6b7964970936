#include "Recordset.h"

#include "Conexion.h"
#include "Falla.h"

#include <QRegularExpression>
#include <QStringList>

void Recordset::Cargar(QList<Columna> columnas, Celdas celdas, Conexion* conexion,
                       QString sql, bool actualizable) {
    columnas_ = std::move(columnas);
    celdas_ = std::move(celdas);
    celdas_.Ajustar();
    filaLeida_ = -1;
    indicePorNombre_.clear();
    if (columnas_.size() > 32) {
        for (int i = 0; i < columnas_.size(); ++i) {
            const QString clave = columnas_[i].nombre.toCaseFolded();
            if (!indicePorNombre_.contains(clave))
                indicePorNombre_.insert(clave, i);
        }
    }
    nombresVistos_.clear();
    posicion_ = 0;
    bof_ = Filas() == 0;
    abierto_ = true;
    conexion_ = conexion;
    sql_ = std::move(sql);
    actualizable_ = actualizable;
    agregando_ = false;
    original_.clear();
    cambiada_.clear();
}

void Recordset::Close() {
    ComprobarAbierto();
    abierto_ = false;
    columnas_.clear();
    celdas_.Vaciar();
    celdas_.Ajustar();
    filaLeida_ = -1;
    indicePorNombre_.clear();
    agregando_ = false;
}

void Recordset::SoltarFilasLeidas() {
    if (!Eof() || agregando_)
        return;
    celdas_.Vaciar();
    celdas_.Ajustar();
    fila_.clear();
    filaLeida_ = -1;
    posicion_ = 0;
}

void Recordset::ComprobarAbierto() const {
    if (!abierto_)
        throw Falla::ObjetoCerrado();
}

qsizetype Recordset::Filas() const {
    return columnas_.isEmpty() ? 0 : celdas_.Cantidad() / columnas_.size();
}

int Recordset::FieldCount() const {
    ComprobarAbierto();
    return int(columnas_.size());
}

long Recordset::RecordCount() const {
    ComprobarAbierto();
    return long(Filas());
}

bool Recordset::Bof() const {
    ComprobarAbierto();
    return bof_;
}

bool Recordset::Eof() const {
    ComprobarAbierto();
    return posicion_ >= Filas();
}

void Recordset::MoveFirst() {
    ComprobarAbierto();
    agregando_ = false;
    if (Filas() == 0)
        throw Falla::SinRegistroActual();
    posicion_ = 0;
    bof_ = false;
}

void Recordset::MoveNext() {
    ComprobarAbierto();
    agregando_ = false;
    if (Eof())
        throw Falla::SinRegistroActual();
    ++posicion_;
    bof_ = false;
}

int Recordset::IndiceDe(const QString& nombre) const {
    // Callers ask for the same names row after row, mostly through literals whose text never
    // moves: a name already asked for is known by where its text lies. The cache keeps its
    // own reference to each text, so a text it knows cannot be freed and its place reused.
    for (const auto& [conocido, indice] : nombresVistos_)
        if (conocido.constData() == nombre.constData() && conocido.size() == nombre.size())
            return indice;
    const int indice = BuscarIndice(nombre);
    if (nombresVistos_.size() < 64)
        nombresVistos_.append({nombre, indice});
    return indice;
}

int Recordset::BuscarIndice(QStringView nombre) const {
    // Statements have few columns: comparing in place beats folding the name for a hash.
    if (columnas_.size() <= 32) {
        for (int i = 0; i < columnas_.size(); ++i)
            if (QStringView(columnas_[i].nombre).compare(nombre, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    return indicePorNombre_.value(nombre.toString().toCaseFolded(), -1);
}

Field Recordset::Fields(const QString& nombre) {
    ComprobarAbierto();
    const int indice = IndiceDe(nombre);
    if (indice < 0)
        throw Falla::CampoInexistente(nombre);
    return Field(this, indice);
}

int Recordset::PosicionDe(const QString& nombre) {
    ComprobarAbierto();
    const int indice = IndiceDe(nombre);
    if (indice < 0)
        throw Falla::CampoInexistente(nombre);
    return indice;
}

Field Recordset::Fields(int indice) {
    ComprobarAbierto();
    if (indice < 0 || indice >= columnas_.size())
        throw Falla::CampoInexistente(QString::number(indice));
    return Field(this, indice);
}

const Columna& Recordset::ColumnaEn(int indice) const {
    ComprobarAbierto();
    return columnas_.at(indice);
}

std::optional<Variant> Recordset::ValorAdelante(qsizetype filas, const QString& nombre) const {
    ComprobarAbierto();
    const qsizetype fila = posicion_ + filas;
    const int indice = IndiceDe(nombre);
    if (indice < 0)
        throw Falla::CampoInexistente(nombre);
    if (bof_ || fila < 0 || fila >= Filas())
        return std::nullopt;
    return celdas_.Valor(fila * columnas_.size() + indice);
}

void Recordset::ComprobarFilaActual() const {
    ComprobarAbierto();
    if (agregando_)
        return;
    if (bof_ || posicion_ >= Filas())
        throw Falla::SinRegistroActual();
}

const std::vector<Variant>& Recordset::FilaActual() const {
    // A row's fields are read many times while it is current (a note's, for every one of its
    // lines): its values are built once.
    if (filaLeida_ != posicion_) {
        const qsizetype base = posicion_ * columnas_.size();
        fila_.resize(size_t(columnas_.size()));
        for (qsizetype i = 0; i < columnas_.size(); ++i)
            fila_[size_t(i)] = celdas_.Valor(base + i);
        filaLeida_ = posicion_;
    }
    return fila_;
}

Variant Recordset::ValorEn(int indice) const {
    ComprobarFilaActual();
    if (agregando_)
        return original_[size_t(indice)];
    return FilaActual()[size_t(indice)];
}

bool Recordset::TextoEn(int indice, QStringView& vista) const {
    ComprobarFilaActual();
    if (agregando_ || indice < 0 || indice >= columnas_.size())
        return false;
    return celdas_.Texto(posicion_ * columnas_.size() + indice, vista);
}

void Recordset::AsignarEn(int indice, const Variant& valor) {
    ComprobarFilaActual();
    if (!actualizable_)
        throw Falla::BaseDeDatos(
            QStringLiteral("El conjunto de registros es de solo lectura: no se puede modificar"));
    if (cambiada_.empty()) {
        original_ = FilaActual();
        cambiada_.assign(size_t(columnas_.size()), false);
    }
    if (agregando_) {
        original_[size_t(indice)] = valor;
    } else {
        celdas_.Asignar(posicion_ * columnas_.size() + indice, valor);
        filaLeida_ = -1;
    }
    cambiada_[size_t(indice)] = true;
}

void Recordset::AddNew() {
    ComprobarAbierto();
    if (!actualizable_)
        throw Falla::BaseDeDatos(
            QStringLiteral("El conjunto de registros es de solo lectura: no se puede agregar"));
    agregando_ = true;
    original_.assign(size_t(columnas_.size()), Variant::Nulo());
    cambiada_.assign(size_t(columnas_.size()), false);
}

namespace {
// The single table a "SELECT ... FROM table ..." statement reads.
QString TablaDeLaSentencia(const QString& sql) {
    static const QRegularExpression patron(
        QStringLiteral(R"(^\s*select\s.+?\sfrom\s+([A-Za-z_][A-Za-z0-9_.]*)\s*(where\s.*)?$)"),
        QRegularExpression::CaseInsensitiveOption |
            QRegularExpression::DotMatchesEverythingOption);
    const auto coincidencia = patron.match(sql);
    if (!coincidencia.hasMatch())
        throw Falla::BaseDeDatos(
            QStringLiteral("No se puede actualizar: la sentencia no lee una sola tabla"));
    return coincidencia.captured(1);
}
} // namespace

void Recordset::Update() {
    ComprobarAbierto();
    if (!actualizable_ || !conexion_)
        throw Falla::BaseDeDatos(QStringLiteral("El conjunto de registros es de solo lectura"));
    if (cambiada_.empty())
        return;
    const QString tabla = TablaDeLaSentencia(sql_);
    const QString comilla = QStringLiteral("'");
    auto literal = [&](int i, const Variant& v) {
        const bool numero = columnas_[i].tipo == TipoDato::Entero ||
                            columnas_[i].tipo == TipoDato::Doble ||
                            columnas_[i].tipo == TipoDato::Decimal;
        return conexion_->ValorSQL(v, numero && !v.EsVacio() ? QStringLiteral("@") : comilla);
    };

    if (agregando_) {
        QStringList nombres, valores;
        for (int i = 0; i < columnas_.size(); ++i) {
            if (!cambiada_[size_t(i)])
                continue;
            nombres << columnas_[i].nombre;
            valores << literal(i, original_[size_t(i)]);
        }
        conexion_->Ejecutar(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(tabla, nombres.join(u','), valores.join(u',')));
        for (const Variant& v : original_)
            celdas_.Agregar(v);
        posicion_ = Filas() - 1;
        filaLeida_ = -1;
        bof_ = false;
    } else {
        QStringList cambios, condiciones;
        const qsizetype base = posicion_ * columnas_.size();
        for (int i = 0; i < columnas_.size(); ++i)
            if (cambiada_[size_t(i)])
                cambios << columnas_[i].nombre + u'=' + literal(i, celdas_.Valor(base + i));
        QStringList clave = conexion_->ClavePrimaria(tabla);
        if (clave.isEmpty())
            for (const Columna& c : columnas_)
                clave << c.nombre;
        for (const QString& nombre : clave) {
            const int indice = IndiceDe(nombre);
            if (indice < 0)
                throw Falla::BaseDeDatos(
                    QStringLiteral("No se puede actualizar: falta la columna clave %1").arg(nombre));
            const Variant& antes = original_[size_t(indice)];
            condiciones << (antes.EsNulo() ? nombre + QStringLiteral(" IS NULL")
                                           : nombre + u'=' + literal(indice, antes));
        }
        const int filas =
            conexion_->EjecutarContando(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                            .arg(tabla, cambios.join(u','),
                                                 condiciones.join(QStringLiteral(" AND "))));
        if (filas == 0)
            throw Falla::BaseDeDatos(QStringLiteral(
                "No se encuentra la fila para actualizar: otro la cambió después de leerla"));
    }
    agregando_ = false;
    original_.clear();
    cambiada_.clear();
}
