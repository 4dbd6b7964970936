#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One record of the lookup masks file: how to look up one table. 1202 bytes, Windows text,
// each field left-aligned, filled with blanks and cut at its width:
//   Nombre 0-99, Tabla 100-199, Campos 200-699 (columns between "|"), Filtro 700-1199
//   (a WHERE condition without the word), then CR LF.
struct MascaraConsulta {
    static constexpr int Largo = 1202;
    static constexpr int LargoNombre = 100;
    static constexpr int LargoTabla = 100;
    static constexpr int LargoCampos = 500;
    static constexpr int LargoFiltro = 500;

    QString Nombre;
    QString Tabla;
    QString Campos;
    QString Filtro;
    QByteArray FinDeLinea = QByteArrayLiteral("\r\n");

    QByteArray Codificar() const;
    // A record from its bytes; fields are read at their full width, blanks included.
    static MascaraConsulta Decodificar(QByteArrayView bytes);
    // The four records a new masks file holds, in file order.
    static QList<MascaraConsulta> PorDefecto();
};
