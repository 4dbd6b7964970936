#include "BotonComando.h"

#include <QKeyEvent>

BotonComando::BotonComando(const QString& texto, QWidget* padre) : QPushButton(texto, padre) {
    setAutoDefault(false);
}

void BotonComando::keyPressEvent(QKeyEvent* evento) {
    const bool intro = evento->key() == Qt::Key_Return || evento->key() == Qt::Key_Enter;
    const bool sinModificadores = (evento->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (intro && sinModificadores) {
        evento->accept();
        if (!evento->isAutoRepeat())
            click();
        return;
    }
    QPushButton::keyPressEvent(evento);
}
