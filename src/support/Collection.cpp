#include "Collection.h"

#include "Falla.h"

void Collection::Comprobar(int posicion) const {
    if (posicion < 1 || posicion > Count())
        throw Falla::FueraDeIntervalo(QString::number(posicion));
}

const Variant& Collection::Item(int posicion) const {
    Comprobar(posicion);
    return valores_[posicion - 1];
}

void Collection::Remove(int posicion) {
    Comprobar(posicion);
    valores_.removeAt(posicion - 1);
}
