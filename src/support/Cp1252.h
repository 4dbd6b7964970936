#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit Windows code page of the files the family shares (run log, masks file, INI file).
namespace Cp1252 {

// Characters outside the code page become "?".
QByteArray Codificar(QStringView texto);
QString Decodificar(QByteArrayView bytes);

} // namespace Cp1252
