#pragma once

#include <QString>
#include <QStringView>

// Whether a lookup's statement only reads: one SELECT (or WITH ... SELECT, or VALUES), with
// no word that writes, creates or locks anywhere outside its quoted texts and comments
// (INSERT, UPDATE, DELETE, INTO, CREATE, ...), and nothing after a ";". A program that must
// only read refuses any other statement before the database sees it; the connection opened
// read-only is the second guard, for what words cannot show (a function that writes).
namespace SentenciaDeLectura {

// Empty when the statement only reads; otherwise why not, in a few words.
QString PorQueEscribe(QStringView sentencia);

} // namespace SentenciaDeLectura
