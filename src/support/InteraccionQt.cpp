#include "InteraccionQt.h"

#include "Falla.h"

#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

namespace {
QWidget* VentanaActiva() {
    return QApplication::activeWindow();
}
} // namespace

int InteraccionQt::InformarError(const Falla& falla, const QString& origen) {
    QMessageBox caja(QMessageBox::Critical, origen,
                     QStringLiteral("Error %1\n%2").arg(falla.Numero()).arg(falla.Descripcion()),
                     QMessageBox::NoButton, VentanaActiva());
    QPushButton* anular = caja.addButton(QStringLiteral("&Anular"), QMessageBox::RejectRole);
    QPushButton* reintentar =
        caja.addButton(QStringLiteral("&Reintentar"), QMessageBox::AcceptRole);
    QPushButton* omitir = caja.addButton(QStringLiteral("&Omitir"), QMessageBox::DestructiveRole);
    caja.setDefaultButton(anular);
    caja.setEscapeButton(anular);
    caja.exec();
    if (caja.clickedButton() == reintentar)
        return 4;
    if (caja.clickedButton() == omitir)
        return 5;
    return 3;
}

void InteraccionQt::Mensaje(const QString& texto, const QString& titulo, IconoMensaje icono) {
    QMessageBox::Icon forma = QMessageBox::NoIcon;
    switch (icono) {
    case IconoMensaje::Ninguno:
        break;
    case IconoMensaje::Informacion:
        forma = QMessageBox::Information;
        break;
    case IconoMensaje::Advertencia:
        forma = QMessageBox::Warning;
        break;
    case IconoMensaje::Critico:
        forma = QMessageBox::Critical;
        break;
    }
    QMessageBox caja(forma, titulo, texto, QMessageBox::Ok, VentanaActiva());
    caja.exec();
}

std::optional<QString> InteraccionQt::PedirTexto(const QString& indicacion, const QString& titulo,
                                                 const QString& inicial) {
    bool aceptado = false;
    const QString texto = QInputDialog::getText(VentanaActiva(), titulo, indicacion,
                                                QLineEdit::Normal, inicial, &aceptado);
    if (!aceptado)
        return std::nullopt;
    return texto;
}

int InteraccionQt::ElegirEnMenu(QMenu& menu, const QPoint& posicion) {
    QAction* elegida = menu.exec(posicion);
    return elegida ? int(menu.actions().indexOf(elegida)) : -1;
}

void InteraccionQt::ProcesarEventos() {
    QCoreApplication::processEvents();
}

void InteraccionQt::TerminarPrograma(int estado) {
    std::fflush(nullptr);
    std::_Exit(estado);
}
