#pragma once

#include <Qt>

class QKeyEvent;

// Keys as the family's windows see them: a 16-bit virtual-key code and a modifier mask
// (1 Shift, 2 Ctrl, 4 Alt).
namespace CodigosTecla {

constexpr qint16 Retroceso = 8;
constexpr qint16 Tabulador = 9;
constexpr qint16 Intro = 13;
constexpr qint16 Escape = 27;
constexpr qint16 Espacio = 32;
constexpr qint16 RePag = 33;
constexpr qint16 AvPag = 34;
constexpr qint16 Fin = 35;
constexpr qint16 Inicio = 36;
constexpr qint16 Izquierda = 37;
constexpr qint16 Arriba = 38;
constexpr qint16 Derecha = 39;
constexpr qint16 Abajo = 40;
constexpr qint16 Insertar = 45;
constexpr qint16 Suprimir = 46;
constexpr qint16 F1 = 112;
constexpr qint16 F5 = 116;

constexpr qint16 MascaraMayusculas = 1;
constexpr qint16 MascaraControl = 2;
constexpr qint16 MascaraAlt = 4;

// The virtual-key code of a Qt key; the keypad's keys (KeypadModifier) have codes of their
// own. 0 for a key without one.
qint16 Codigo(int tecla, Qt::KeyboardModifiers modificadores);
// The virtual-key code of a key event. The digit keys of the top row give their digit's code
// by their place on the keyboard, whatever the layout makes of them and with any modifier:
// Shift+1 is 49 (not "!"), and so is the "&" key of a French layout.
qint16 Codigo(const QKeyEvent& evento);
// The modifier mask of Qt's modifiers.
qint16 Mascara(Qt::KeyboardModifiers modificadores);

} // namespace CodigosTecla
