#include "Motor.h"

#include "Falla.h"
#include "PuntoDeGuardado.h"

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

int EscrituraDeGrupo::Escritas() const {
    if (!Entero())
        return 0;
    int escritas = 0;
    for (const QString& rechazo : rechazos)
        escritas += rechazo.isEmpty() ? 1 : 0;
    return escritas;
}

void Motor::EscribirGrupo(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado) {
    resultado = EscrituraDeGrupo{};
    resultado.rechazos = QStringList(grupo.filas.size());
    if (!TransaccionAbierta()) {
        resultado.deshecho = true;
        return;
    }
    if (EscribirGrupoEnUnMensaje(grupo, resultado))
        return;
    resultado = EscrituraDeGrupo{};
    resultado.rechazos = QStringList(grupo.filas.size());
    EscribirFilaPorFila(grupo, resultado);
}

bool Motor::EscribirGrupoEnUnMensaje(const GrupoDeFilas&, EscrituraDeGrupo&) {
    return false;
}

void Motor::EscribirGrupos(const QList<GrupoDeFilas>& grupos, QList<EscrituraDeGrupo>& resultados) {
    resultados.clear();
    for (const GrupoDeFilas& grupo : grupos) {
        resultados.emplaceBack();
        EscribirGrupo(grupo, resultados.last());
        if (resultados.last().deshecho)
            return;
    }
}

void Motor::LeerPreparadaVarias(const QString& sql, const QList<QList<Variant>>& valores,
                                QList<Lectura>& lecturas) {
    lecturas.clear();
    for (const QList<Variant>& v : valores) {
        lecturas.emplaceBack();
        LeerPreparada(sql, v, lecturas.last().definicion, lecturas.last().celdas);
    }
}

void Motor::EscribirFilaPorFila(const GrupoDeFilas& grupo, EscrituraDeGrupo& resultado) {
    // The engine is asked before every statement: once it has undone the transaction, a
    // statement would take effect on its own, outside any transaction.
    auto sigueAbierta = [&] {
        if (!TransaccionAbierta())
            resultado.deshecho = true;
        return !resultado.deshecho;
    };
    if (!sigueAbierta())
        return;
    PuntoDeGuardado punto(*this, PuntoDelGrupo());
    for (qsizetype i = 0; i < grupo.filas.size(); ++i) {
        if (!sigueAbierta())
            return;
        try {
            Insertar(*grupo.forma, grupo.filas[i]);
            continue;
        } catch (const Falla& falla) {
            // Storage or connection: nothing more can go; the savepoint undoes the group.
            if (falla.Grave())
                throw;
            resultado.rechazos[i] = falla.Descripcion();
        }
        if (!sigueAbierta())
            return;
        if (i == 0 && grupo.abandonarSiSeRechazaLaPrimera && grupo.abandonarSiSeRechazaLaPrimera()) {
            punto.Deshacer();
            resultado.abandonado = true;
            return;
        }
    }
    if (!sigueAbierta())
        return;
    resultado.rechazoDelGrupo = DiferidasIncumplidas();
    if (!resultado.rechazoDelGrupo.isEmpty()) {
        punto.Deshacer();
        return;
    }
    punto.Confirmar();
}

void Motor::Guardar(const QString& nombre) {
    Ejecutar(QStringLiteral("SAVEPOINT ") + nombre);
}

void Motor::VolverA(const QString& nombre) {
    Ejecutar(QStringLiteral("ROLLBACK TO SAVEPOINT ") + nombre);
}

void Motor::Liberar(const QString& nombre) {
    Ejecutar(QStringLiteral("RELEASE SAVEPOINT ") + nombre);
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
