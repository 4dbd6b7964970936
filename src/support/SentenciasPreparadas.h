#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// Literal INSERTs on the embedded database without parsing each one anew.
//
// The registration sends one "INSERT INTO t (columns) VALUES (literals)" per line; parsing
// that text costs the engine more than writing the row. A statement of that form is split into
// its shape, with a parameter in place of each literal, and its values; the shape is prepared
// once and kept, and each statement binds its values and runs. The values keep the meaning the
// literals had: texts and whole numbers are bound as such, and other numbers go through the
// engine's own conversion (CAST(? AS REAL)), the one its parser applies to a literal. Any
// other statement, or one the shape cannot serve, is left to the caller to run as it stands.
class SentenciasPreparadas {
public:
    struct Literal {
        enum class Tipo { Nulo, Entero, Real, Texto } tipo = Tipo::Nulo;
        qint64 entero = 0;
        // The text of a text, or the digits of a number that is not whole: a view into the
        // statement, or into propio when doubled quotes had to be undone.
        QByteArrayView texto;
        QByteArray propio;
    };
    struct Forma {
        QByteArray fuente; // the statement as given: the literals' views point into it
        QByteArray texto;  // the statement with "?" for every literal
        QList<Literal> valores;
    };

    SentenciasPreparadas() = default;
    ~SentenciasPreparadas();
    SentenciasPreparadas(const SentenciasPreparadas&) = delete;
    SentenciasPreparadas& operator=(const SentenciasPreparadas&) = delete;

    // The connection whose statements are kept; a new one drops the old statements.
    void Usar(sqlite3* base);
    // Drops every kept statement (before the connection closes).
    void Vaciar();
    // Runs sql when it is a single-row literal INSERT; false, without running anything, when
    // it is not (the caller runs it as it stands). A refused row is a failure with the
    // engine's message.
    bool Ejecutar(const QByteArray& sql, int& cambios);

    // The shape and values of a single-row literal INSERT, or nothing for any other text.
    static std::optional<Forma> Descomponer(const QByteArray& sql);

private:
    sqlite3_stmt* Preparada(const QByteArray& forma);

    sqlite3* base_ = nullptr;
    QHash<QByteArray, sqlite3_stmt*> preparadas_;
};
