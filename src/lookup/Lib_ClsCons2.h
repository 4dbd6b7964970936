#pragma once

#include "Collection.h"
#include "MascaraConsulta.h"
#include "Variant.h"

#include <QString>
#include <memory>

class Utilidades;

// A lookup request: a caller sets what it wants, calls ConsultaSearch, which shows the lookup
// window modally, and reads what the person chose. A bare table name becomes a SELECT through
// the lookup masks file.
class Lib_ClsCons2 {
public:
    Lib_ClsCons2();
    ~Lib_ClsCons2();

    RefCollection CmpsDevueltos;
    RefCollection Valores;
    RefCollection Cantidades;
    bool Checks = false;
    Variant ValorDevuelto;
    QString gConnString;
    QString gRutaMascaraConsultas;
    bool gUsarMascarasConsultas = false;
    bool UsaCantidades = false;
    QString CampoDevuelto;
    // For a program with nobody to ask: a failure while loading the window ends the lookup
    // without showing it, and FallaDeCarga says what it was (empty when loading went well).
    bool FallasAlLlamador = false;
    QString FallaDeCarga;

    // Runs one lookup. SQL is a table the masks file knows, or a whole SELECT statement;
    // CmpsDevueltos the fields to return from the chosen row (emptied and set to null on
    // return); Clave the first search box's initial text; CampoBusqueda the search column,
    // filled from the mask when it comes in empty. Nothing leaves it as a failure.
    void ConsultaSearch(QString SQL, RefCollection& CmpsDevueltos, QString& Clave,
                        QString& CampoBusqueda);

    // The masks step alone: the statement a table name stands for, and its search column.
    // Nothing changes when masks are off, the file is missing or unreadable, or no record
    // names the table.
    void AplicarMascara(QString& SQL, QString& CampoBusqueda);

    // Writes the four default records to the masks file, creating it; a record goes after the
    // last whole record the file holds. The file is written whole or not at all.
    void GrabarMascarasPorDefecto();

    // Why a table name finds no record: the masks file is there but shorter than one record,
    // and what to do about it. Empty otherwise.
    QString MascarasSinRegistros() const;

private:
    void AgregarMascara(QByteArray& contenido);
    Utilidades& Util();

    MascaraConsulta MascaraActual;
    std::unique_ptr<Utilidades> utilidades_;
};
