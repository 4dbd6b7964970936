#pragma once

#include <QPushButton>

// A command button as the family's windows have them: Enter or Return pressed while it has
// the focus presses it, whether or not it is the window's default button.
class BotonComando : public QPushButton {
    Q_OBJECT
public:
    explicit BotonComando(const QString& texto, QWidget* padre = nullptr);

protected:
    void keyPressEvent(QKeyEvent* evento) override;
};
