#include "Estacion.h"

#include "Falla.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSysInfo>
#include <QWidget>
#include <pwd.h>
#include <unistd.h>

QString Estacion::NombreEquipo() const {
    return QSysInfo::machineHostName();
}

QString Estacion::NombreUsuario() const {
    if (const passwd* cuenta = getpwuid(geteuid()); cuenta && cuenta->pw_name)
        return QString::fromLocal8Bit(cuenta->pw_name);
    return qEnvironmentVariable("USER");
}

void Estacion::AjustarFormulario(QWidget* formulario) const {
    if (!formulario)
        throw Falla::ObjetoNoEstablecido();
    QScreen* pantalla =
        formulario->screen() ? formulario->screen() : QGuiApplication::primaryScreen();
    if (!pantalla)
        return;
    const QRect disponible = pantalla->availableGeometry();
    const QRect marco = formulario->frameGeometry();
    QPoint esquina = marco.topLeft();
    if (marco.right() > disponible.right())
        esquina.setX(disponible.right() - marco.width() + 1);
    if (marco.bottom() > disponible.bottom())
        esquina.setY(disponible.bottom() - marco.height() + 1);
    esquina.setX(qMax(esquina.x(), disponible.left()));
    esquina.setY(qMax(esquina.y(), disponible.top()));
    if (esquina != marco.topLeft())
        formulario->move(esquina);
}
