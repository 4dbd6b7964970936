#include "Motor.h"

#include "Falla.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlIndex>

Motor::Motor(QString nombreQt) : nombreQt_(std::move(nombreQt)) {}

Motor::~Motor() {
    {
        QSqlDatabase base = QSqlDatabase::database(nombreQt_, false);
        base.close();
    }
    QSqlDatabase::removeDatabase(nombreQt_);
}

QSqlDatabase Motor::Base() const {
    return QSqlDatabase::database(nombreQt_, false);
}

bool Motor::Abierto() const {
    return Base().isOpen();
}

QString Motor::MensajeDe(const QSqlError& error) {
    QString texto = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (texto.isEmpty())
        texto = driver;
    else if (!driver.isEmpty() && !texto.contains(driver))
        texto += QStringLiteral(" (") + driver + u')';
    return texto.isEmpty() ? QStringLiteral("Error desconocido de la base de datos") : texto;
}

void Motor::EjecutarEnBloque(const QStringList&) {
    throw Falla::ArgumentoNoValido(QStringLiteral("este motor no admite bloques de sentencias"));
}

void Motor::EjecutarEnBloqueYLeer(const QStringList&, QList<Columna>&, Celdas&) {
    throw Falla::ArgumentoNoValido(QStringLiteral("este motor no admite bloques de sentencias"));
}

void Motor::Comenzar() {
    QSqlDatabase base = Base();
    if (!base.transaction())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
}

void Motor::Confirmar() {
    QSqlDatabase base = Base();
    if (!base.commit())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
}

void Motor::Deshacer() {
    QSqlDatabase base = Base();
    if (!base.rollback())
        throw Falla::BaseDeDatos(MensajeDe(base.lastError()));
}

QStringList Motor::ClavePrimaria(const QString& tabla) const {
    const QSqlIndex indice = Base().primaryIndex(tabla);
    QStringList nombres;
    for (int i = 0; i < indice.count(); ++i)
        nombres << indice.fieldName(i);
    return nombres;
}
