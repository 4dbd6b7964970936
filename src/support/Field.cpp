#include "Field.h"

#include "Recordset.h"

QString Field::Name() const {
    return recordset_->ColumnaEn(indice_).nombre;
}

long Field::DefinedSize() const {
    return recordset_->ColumnaEn(indice_).tamano;
}

Variant Field::Value() const {
    return recordset_->ValorEn(indice_);
}

void Field::AsignarValor(const Variant& valor) {
    recordset_->AsignarEn(indice_, valor);
}
