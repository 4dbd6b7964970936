#pragma once

#include "Variant.h"

#include <QString>

class Recordset;

// One column of a recordset, seen at the recordset's current row. It reads the row when
// asked, so a field kept across MoveNext gives the value of the new row. It must not outlive
// its recordset.
class Field {
public:
    Field(Recordset* recordset, int indice) : recordset_(recordset), indice_(indice) {}

    QString Name() const;
    // Characters for text columns, bytes for fixed-size ones.
    long DefinedSize() const;
    Variant Value() const;
    // Changes the value of the current row (recordsets opened for update).
    void AsignarValor(const Variant& valor);

private:
    Recordset* recordset_;
    int indice_;
};
