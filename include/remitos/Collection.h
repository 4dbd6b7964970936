#pragma once

#include "Variant.h"

#include <QList>
#include <memory>

// An ordered list of values with positions counted from 1. Callers hold it by reference
// (RefCollection), so two holders see the same values; a null reference is allowed.
class Collection {
public:
    void Add(const Variant& valor) { valores_.append(valor); }
    int Count() const { return int(valores_.size()); }
    // The value at position (1 .. Count); any other position is refused.
    const Variant& Item(int posicion) const;
    void Remove(int posicion);

private:
    void Comprobar(int posicion) const;
    QList<Variant> valores_;
};

using RefCollection = std::shared_ptr<Collection>;

inline RefCollection NuevaCollection() {
    return std::make_shared<Collection>();
}
