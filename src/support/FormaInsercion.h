#pragma once

#include "ValorSQL.h"
#include "Variant.h"

#include <QList>
#include <QString>
#include <QStringList>

// An INSERT of one row into a table, its values given apart from it. The engines bind the
// values to a statement they prepare once; the statement's text, every value written as a
// literal, is what people read (the run log, a preview, a failure message) and what an engine
// that only takes text is sent.
class FormaInsercion {
public:
    // cabeza: the statement's text up to its first value, "INSERT INTO T (A,B) VALUES (";
    // columnas: the columns it names, in order; marcas: how each value is written, "'" a quoted
    // text or date, "@" a number.
    FormaInsercion(QString cabeza, QString tabla, QStringList columnas, QStringList marcas);

    const QString& Cabeza() const { return cabeza_; }
    const QString& Tabla() const { return tabla_; }
    const QStringList& Columnas() const { return columnas_; }
    int CantidadDeValores() const { return int(marcas_.size()); }
    const QString& Marca(int i) const { return marcas_[i]; }

    // The statement with every value written as a literal for that engine: the head, the
    // values joined by "," and a closing ")". A value that cannot be written is a failure.
    QString Texto(const QList<Variant>& valores, Dialecto dialecto) const;
    // The values as an engine binds them, in order.
    QList<ValorLigado> Ligados(const QList<Variant>& valores, Dialecto dialecto) const;

private:
    void Comprobar(const QList<Variant>& valores) const;

    QString cabeza_;
    QString tabla_;
    QStringList columnas_;
    QStringList marcas_;
};
