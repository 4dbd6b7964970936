#pragma once

// The family's lookup, for programs that show it: the one header a caller includes.
//
//     QApplication app(argc, argv);
//     SesionConsulta sesion(QStringLiteral("@DbName=/var/lib/remitos/remitos.db;"));
//     if (!sesion.Abierta())
//         return fallar(sesion.Falla());
//     Lib_ClsCons2& consulta = sesion.Consulta();
//     RefCollection campos;                  // none: the value of CampoDevuelto comes back
//     QString clave, campoBusqueda;
//     consulta.CampoDevuelto = QStringLiteral("COD_ARTICULO");
//     consulta.ConsultaSearch(QStringLiteral("v_ma_articulos"), campos, clave, campoBusqueda);
//     if (!consulta.ValorDevuelto.EsVacio()) ...  // the chosen article's code
//
// Link with the library libremitos-consulta (CMake: find_package(RemitosConsulta) and the
// target Remitos::Consulta; pkg-config: remitos-consulta). Everything here runs on the thread
// of the QApplication, which the caller creates before the session.

#include "Collection.h"
#include "Variant.h"

#include <QString>
#include <memory>

#define REMITOS_CONSULTA_VERSION "0.1.0"

// A lookup request: the caller sets what it wants, calls ConsultaSearch, which shows the lookup
// window modally, and reads what the person chose. A bare table name becomes a SELECT through
// the lookup masks file. A request made by SesionConsulta::Consulta (or given to
// SesionConsulta::Preparar) already knows the connection and the masks file.
class Lib_ClsCons2 {
public:
    Lib_ClsCons2();
    ~Lib_ClsCons2();
    Lib_ClsCons2(const Lib_ClsCons2&) = delete;
    Lib_ClsCons2& operator=(const Lib_ClsCons2&) = delete;

    // The field names whose values come back from the chosen row (see ConsultaSearch).
    RefCollection CmpsDevueltos;
    // After the lookup: with check boxes, one value per marked row (of CampoDevuelto, or of
    // each field asked for); without, the values of the fields asked for from the chosen row.
    RefCollection Valores;
    // After the lookup with UsaCantidades: the quantity of each value, in the same order.
    RefCollection Cantidades;
    // Check boxes in every row: the person marks any number of rows. Reset after each lookup.
    bool Checks = false;
    // After the lookup without check boxes: the chosen row's value of CampoDevuelto; empty
    // when the lookup was cancelled or nothing was chosen.
    Variant ValorDevuelto;
    // The connection string, as the family passes it around (the window uses the session's
    // connection).
    QString gConnString;
    // The masks file (consultas.zvr) and whether bare table names go through it.
    QString gRutaMascaraConsultas;
    bool gUsarMascarasConsultas = false;
    // A quantities column: Insert adds 1, Delete takes 1, Shift+Insert asks for the quantity.
    bool UsaCantidades = false;
    // The column whose value ValorDevuelto (or Valores, with check boxes) takes. Emptied after
    // each lookup.
    QString CampoDevuelto;
    // For a program with nobody to ask: a failure while loading the window (a statement the
    // database refuses, a column that is not there) ends the lookup without showing it, and
    // FallaDeCarga says what it was (empty when loading went well). Otherwise the failure is
    // shown to the person in a message box.
    bool FallasAlLlamador = false;
    QString FallaDeCarga;

    // Runs one lookup. SQL is a table the masks file knows, or a whole SELECT statement;
    // CmpsDevueltos the fields to return from the chosen row (emptied and set to null on
    // return); Clave the first search box's initial text; CampoBusqueda the search column,
    // filled from the mask when it comes in empty. Nothing leaves it as an exception.
    void ConsultaSearch(QString SQL, RefCollection& CmpsDevueltos, QString& Clave,
                        QString& CampoBusqueda);

    // The masks step alone: the statement a table name stands for, and its search column.
    // Nothing changes when masks are off, the file is missing or unreadable, or no record
    // names the table.
    void AplicarMascara(QString& SQL, QString& CampoBusqueda);

    // Writes the four default records to the masks file, creating it; a record goes after the
    // last whole record the file holds. The file is written whole or not at all; a failure is
    // thrown as a std::exception whose what() says why.
    void GrabarMascarasPorDefecto();

    // Why a table name finds no record: the masks file is there but shorter than one record,
    // and what to do about it. Empty otherwise.
    QString MascarasSinRegistros() const;

    // Why a statement is no query the lookup may show (it would write, or it is more than one
    // statement): empty for a query that only reads.
    static QString PorQueNoEsConsulta(const QString& SQL);

private:
    struct Detalle;
    std::unique_ptr<Detalle> d_;
};

// What a program needs around the lookup, for as long as it lives: the connection opened from
// the family's keys, the masks file of the application folder (written with the default
// records when missing), Qt's texts in Spanish and the questions asked in Qt's dialogs.
// Everything is released when it is destroyed, before the QApplication is. One session at a
// time per program.
class SesionConsulta {
public:
    struct Opciones {
        // The keys read strictly: an unknown key, other text, a value without its ";" or a key
        // given twice open nothing (see ErrorDeClaves). Otherwise the family's rule: other
        // text is ignored, a missing key is empty.
        bool clavesEstrictas = false;
        // The lookup only reads; a program that writes through the same connection opens it
        // for reading and writing.
        bool soloLectura = true;
    };

    // claves: the family's keys ("@Server=...;@DbName=...;@Usuario=...;@Password=...;"):
    // without @Server, @DbName is the embedded database file; with it, a PostgreSQL or SQL
    // Server database. carpeta: the application folder (the masks file consultas.zvr and the
    // INI file); empty for the folder of the program file.
    explicit SesionConsulta(const QString& claves, const QString& carpeta = QString());
    SesionConsulta(const QString& claves, const QString& carpeta, const Opciones& opciones);
    ~SesionConsulta();
    SesionConsulta(const SesionConsulta&) = delete;
    SesionConsulta& operator=(const SesionConsulta&) = delete;

    // Whether the connection is open: the lookup can be shown.
    bool Abierta() const;
    // What went wrong, for a person to read (the database that could not be opened and why, a
    // masks file that could not be written); empty when everything went well.
    QString Falla() const;
    // The database as a person names it: the file, or the server and the database.
    QString Base() const;

    // The session's own request, prepared.
    Lib_ClsCons2& Consulta();
    // Gives another request the session's connection string and masks file.
    void Preparar(Lib_ClsCons2& consulta) const;

    // Why the keys would be refused when read strictly; empty when they are well formed.
    static QString ErrorDeClaves(const QString& claves);

private:
    struct Detalle;
    std::unique_ptr<Detalle> d_;
};
