#include "CodigosTecla.h"

#include <QKeyEvent>

namespace CodigosTecla {

namespace {

// The digit of a top-row key by its scan code, or -1: the keyboard's own codes on Windows,
// the X and Wayland key codes (evdev + 8) elsewhere.
int DigitoPorPosicion(quint32 codigo) {
#ifdef Q_OS_WIN
    constexpr quint32 Uno = 2;
#else
    constexpr quint32 Uno = 10;
#endif
    if (codigo >= Uno && codigo < Uno + 10)
        return int((codigo - Uno + 1) % 10);
    return -1;
}

} // namespace

qint16 Codigo(const QKeyEvent& evento) {
    const int digito = DigitoPorPosicion(evento.nativeScanCode());
    if (digito >= 0 && !evento.modifiers().testFlag(Qt::KeypadModifier))
        return qint16(48 + digito);
    return Codigo(evento.key(), evento.modifiers());
}

qint16 Codigo(int tecla, Qt::KeyboardModifiers modificadores) {
    const bool teclado = modificadores.testFlag(Qt::KeypadModifier);
    if (teclado) {
        // The numeric keypad: digits 96-105 and operators 106-111 with NumLock on; with it
        // off the same keys arrive as navigation keys and keep those codes.
        if (tecla >= Qt::Key_0 && tecla <= Qt::Key_9)
            return qint16(96 + (tecla - Qt::Key_0));
        switch (tecla) {
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 110;
        case Qt::Key_Slash:
            return 111;
        case Qt::Key_Enter:
            return Intro;
        default:
            break;
        }
    }
    if (tecla >= Qt::Key_0 && tecla <= Qt::Key_9)
        return qint16(48 + (tecla - Qt::Key_0));
    if (tecla >= Qt::Key_A && tecla <= Qt::Key_Z)
        return qint16(65 + (tecla - Qt::Key_A));
    if (tecla >= Qt::Key_F1 && tecla <= Qt::Key_F24)
        return qint16(F1 + (tecla - Qt::Key_F1));
    switch (tecla) {
    case Qt::Key_Backspace:
        return Retroceso;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return Tabulador;
    case Qt::Key_Clear:
        return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Intro;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return Escape;
    case Qt::Key_Space:
        return Espacio;
    case Qt::Key_PageUp:
        return RePag;
    case Qt::Key_PageDown:
        return AvPag;
    case Qt::Key_End:
        return Fin;
    case Qt::Key_Home:
        return Inicio;
    case Qt::Key_Left:
        return Izquierda;
    case Qt::Key_Up:
        return Arriba;
    case Qt::Key_Right:
        return Derecha;
    case Qt::Key_Down:
        return Abajo;
    case Qt::Key_Print:
        return 44;
    case Qt::Key_Insert:
        return Insertar;
    case Qt::Key_Delete:
        return Suprimir;
    case Qt::Key_Meta:
        return 91;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    // The punctuation keys, where a US keyboard has them.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
    case Qt::Key_Ntilde:
        return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return 222;
    default:
        return 0;
    }
}

qint16 Mascara(Qt::KeyboardModifiers modificadores) {
    qint16 mascara = 0;
    if (modificadores.testFlag(Qt::ShiftModifier))
        mascara |= MascaraMayusculas;
    if (modificadores.testFlag(Qt::ControlModifier))
        mascara |= MascaraControl;
    if (modificadores.testFlag(Qt::AltModifier))
        mascara |= MascaraAlt;
    return mascara;
}

} // namespace CodigosTecla
