#pragma once

class QWidget;

// Lengths of window elements are given in twips (1/1440 inch); the screen's logical DPI turns
// them into pixels (15 twips to a pixel at 96 DPI).
namespace Twips {

int APixelesX(int twips, const QWidget* referencia = nullptr);
int APixelesY(int twips, const QWidget* referencia = nullptr);
int DesdePixelesX(int pixeles, const QWidget* referencia = nullptr);
int DesdePixelesY(int pixeles, const QWidget* referencia = nullptr);

} // namespace Twips
