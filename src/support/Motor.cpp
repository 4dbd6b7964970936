#include "Motor.h"

#include "Falla.h"
#include "PuntoDeGuardado.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QDate>
#include <QSqlIndex>

namespace {

// What the registration's date literal must mean on every server.
constexpr auto LiteralDeCorte = "01/03/2003";
const QDate FechaDeCorte(2003, 3, 1);

} // namespace

Motor::Motor(QString nombreQt) : nombreQt_(std::move(nombreQt)) {}

Motor::~Motor() {
    if (nombreQt_.isEmpty())
        return;
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

QString Motor::FijarSesionDeServidor(bool postgres, bool sqlServer) {
    // The server's own defaults are never trusted: PostgreSQL's initdb reads month first unless
    // told otherwise, and so does a SQL Server login whose language is English; a PostgreSQL
    // database may still read a backslash in a text as the start of an escape, and a
    // description ending in one would then swallow the rest of the statement.
    try {
        if (postgres)
            Ejecutar(QStringLiteral("SET DateStyle TO 'ISO, DMY';SET standard_conforming_strings TO on"));
        else if (sqlServer)
            Ejecutar(QStringLiteral("SET DATEFORMAT dmy"));
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo fijar cómo lee el servidor las fechas y los textos: %1")
            .arg(falla.Descripcion());
    }
    QList<Columna> definicion;
    Celdas celdas;
    try {
        Leer(postgres ? QStringLiteral("SELECT CAST('%1' AS DATE), current_setting('DateStyle'), "
                                           "current_setting('standard_conforming_strings')")
                                .arg(QLatin1String(LiteralDeCorte))
                          : QStringLiteral("SELECT CAST('%1' AS DATE)").arg(QLatin1String(LiteralDeCorte)),
             definicion, celdas);
    } catch (const Falla& falla) {
        return QStringLiteral("no se pudo comprobar cómo lee el servidor las fechas y los textos: %1")
            .arg(falla.Descripcion());
    }
    if (postgres) {
        QString estilo = celdas.Cantidad() == 3 ? celdas.Valor(1).Texto() : QString();
        const QString barras = celdas.Cantidad() == 3 ? celdas.Valor(2).Texto() : QString();
        if (estilo.remove(u' ').compare(QLatin1String("ISO,DMY"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("el servidor no conservó DateStyle = 'ISO, DMY' (tiene «%1»)")
                .arg(celdas.Cantidad() == 3 ? celdas.Valor(1).Texto() : QString());
        if (barras.compare(QLatin1String("on"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("el servidor no conservó standard_conforming_strings = on (tiene "
                                  "«%1»): leería las barras invertidas de los textos como escapes")
                .arg(barras);
    }
    // Whatever the server, the literal the selection sends must read as 1 March 2003.
    const Variant leida = celdas.Cantidad() >= 1 ? celdas.Valor(0) : Variant();
    if (leida.tipo() == Variant::Tipo::Fecha && leida.Fecha().date() == FechaDeCorte)
        return {};
    // A driver that hands dates over as text: only the unambiguous ISO form counts.
    if (leida.tipo() == Variant::Tipo::Texto &&
        leida.Texto().trimmed().startsWith(FechaDeCorte.toString(Qt::ISODate)))
        return {};
    const QString comoLaLee = leida.tipo() == Variant::Tipo::Fecha
                                  ? leida.Fecha().date().toString(QStringLiteral("d/M/yyyy"))
                              : leida.EsVacio() || leida.EsNulo() ? QStringLiteral("nada")
                                                                  : leida.Texto();
    return QStringLiteral("el servidor no lee la fecha '%1' como 1 de marzo de 2003 (da %2); "
                          "configure la base de datos para que lea las fechas con el día primero")
        .arg(QLatin1String(LiteralDeCorte), comoLaLee);
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

void Motor::EscribirGruposYLeer(const QList<GrupoDeFilas>& grupos, const QString& sql,
                                const QList<QList<Variant>>& valores,
                                const std::function<void(QList<Lectura>&)>& mientras,
                                QList<EscrituraDeGrupo>& resultados) {
    QList<Lectura> lecturas;
    if (!valores.isEmpty()) {
        try {
            LeerPreparadaVarias(sql, valores, lecturas);
        } catch (const Falla& falla) {
            if (falla.Grave())
                throw;
            lecturas.clear();
        }
    }
    mientras(lecturas);
    EscribirGrupos(grupos, resultados);
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
