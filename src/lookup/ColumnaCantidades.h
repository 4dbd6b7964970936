#pragma once

#include <QString>
#include <functional>
#include <utility>

class ListItem;
class Rutina;

// The quantities column of a lookup with quantities: one number per row, in the row's
// sub-item of that column. A row with a quantity is checked; taking away to zero or below
// unchecks it and shows "0.00".
class ColumnaCantidades {
public:
    explicit ColumnaCantidades(int subItem) : subItem_(subItem) {}

    // Insert: one more.
    void SumarUno(ListItem& fila) const;
    // Delete: one less; then, as a step of its own, a row with nothing left is emptied.
    void RestarUno(ListItem& fila) const;
    void VaciarSiNoQueda(ListItem& fila) const;
    // The answer to Shift+Insert's question: a number in the user's way of writing them (a
    // blank answer is 0); any other text, "nan", "inf" and a decimal separator that is not
    // the locale's included, is a type mismatch (13) that says why, and changes nothing.
    void Asignar(ListItem& fila, const QString& respuesta) const;
    // What the row has now, as its question offers it.
    QString Actual(const ListItem& fila) const;

    // A quantity key on the selected row: Shift+Insert asks for the quantity (a cancelled
    // question changes nothing), Insert adds one, Delete takes one away; other keys and
    // modifiers do nothing. Each step runs under the caller's routine; elegida gives the row
    // and its column when the first step runs.
    static void Tecla(Rutina& rutina, qint16 codigo, qint16 Shift,
                      const std::function<std::pair<ListItem, ColumnaCantidades>()>& elegida);

private:
    int subItem_;
};
