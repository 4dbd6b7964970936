#include "FormaInsercion.h"

#include "Falla.h"

FormaInsercion::FormaInsercion(QString cabeza, QString tabla, QStringList columnas,
                               QStringList marcas)
    : cabeza_(std::move(cabeza)), tabla_(std::move(tabla)), columnas_(std::move(columnas)),
      marcas_(std::move(marcas)) {
    if (columnas_.size() != marcas_.size())
        throw Falla::ArgumentoNoValido(QStringLiteral("cada columna necesita su marca"));
}

void FormaInsercion::Comprobar(const QList<Variant>& valores) const {
    if (valores.size() != marcas_.size())
        throw Falla::ArgumentoNoValido(QStringLiteral("la fila tiene %1 valores y la tabla %2 "
                                                      "columnas")
                                           .arg(valores.size())
                                           .arg(marcas_.size()));
}

QString FormaInsercion::Texto(const QList<Variant>& valores, Dialecto dialecto) const {
    Comprobar(valores);
    QString texto;
    texto.reserve(cabeza_.size() + 24 * valores.size());
    texto += cabeza_;
    for (qsizetype i = 0; i < valores.size(); ++i) {
        if (i)
            texto += u',';
        AgregarValorSQL(texto, valores[i], marcas_[i], dialecto);
    }
    texto += u')';
    return texto;
}

QList<ValorLigado> FormaInsercion::Ligados(const QList<Variant>& valores, Dialecto dialecto) const {
    Comprobar(valores);
    QList<ValorLigado> ligados;
    ligados.reserve(valores.size());
    for (qsizetype i = 0; i < valores.size(); ++i)
        ligados << Ligar(valores[i], marcas_[i], dialecto);
    return ligados;
}
