// Rows written through the engines: values bound to a prepared statement mean exactly what
// their literals mean; a group of rows behind its savepoint keeps what the database accepts
// and never runs a statement outside the transaction, whatever the engine did to it.
#include "Ayudas.h"
#include "Conexion.h"
#include "Falla.h"
#include "FormaInsercion.h"
#include "Motor.h"
#include "MotorEmbebido.h"
#include "PuntoDeGuardado.h"
#include "Recordset.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

namespace {

const QString Q = QStringLiteral("'");
const QString N = QStringLiteral("@");

qint64 Contar(Conexion& c, const QString& sql) {
    RefRecordset rs;
    c.AbrirRecordset(sql, rs);
    return rs->Fields(0).Value().Entero();
}

// Every value must mean through the bound statement exactly what its literal means in the
// statement's text: the same kind and the same value, whatever the column's declared type.
TEST(ValoresLigados, MeanWhatTheirLiteralsMean) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    const std::pair<Variant, QString> valores[] = {
        {Variant(qint64(5)), N},
        {Variant(qint64(-5)), N},
        {Variant::Decimal(QStringLiteral("5.0")), N},
        {Variant::Decimal(QStringLiteral("-2.50")), N},
        {Variant::Decimal(QStringLiteral("0.1")), N},
        {Variant(1e3), N},
        {Variant(1.5e-7), N},
        {Variant(0.1 + 0.2), N},
        {Variant::Decimal(QStringLiteral("12345678901234.5678")), N},
        {Variant::Decimal(QStringLiteral("99999999999999999999")), N},
        {Variant(std::numeric_limits<qint64>::min()), N},
        {Variant::Decimal(QStringLiteral("-0.0")), N},
        {Variant(QStringLiteral("5")), N},
        {Variant(QStringLiteral("5.50")), N},
        {Variant(true), N},
        {Variant(), N},
        {Variant::Nulo(), N},
        {Variant(QStringLiteral("texto")), Q},
        {Variant(QString()), Q},
        {Variant(QStringLiteral("ñandú 'x' \\ fin\\")), Q},
        {Variant(qint64(5)), Q},
        {Variant::Decimal(QStringLiteral("2.50")), Q},
        {Variant::Fecha(QDate(2024, 1, 2)), Q},
        {Variant::Fecha(QDate(2024, 1, 2), QTime(10, 11, 12, 345)), Q},
        {Variant::Nulo(), Q},
    };
    sqlite3* h = static_cast<MotorEmbebido*>(c.MotorActual())->Manejador();
    for (const char* tipo : {"TEXT", "INTEGER", "NUMERIC", "DECIMAL(18,4)", "REAL", ""}) {
        c.Ejecutar(QStringLiteral("DROP TABLE IF EXISTS A"));
        c.Ejecutar(QStringLiteral("DROP TABLE IF EXISTS B"));
        c.Ejecutar(QStringLiteral("CREATE TABLE A (N INTEGER, V %1)").arg(QLatin1String(tipo)));
        c.Ejecutar(QStringLiteral("CREATE TABLE B (N INTEGER, V %1)").arg(QLatin1String(tipo)));
        const FormaInsercion forma(QStringLiteral("INSERT INTO B (N,V) VALUES ("), QStringLiteral("B"),
                                   {QStringLiteral("N"), QStringLiteral("V")}, {N, Q});
        int n = 0;
        for (const auto& [valor, marca] : valores) {
            ++n;
            // A: the engine parses the literal; B: the value bound to the kept statement.
            const FormaInsercion literal(QStringLiteral("INSERT INTO A (N,V) VALUES ("), QStringLiteral("A"),
                                         {QStringLiteral("N"), QStringLiteral("V")}, {N, marca});
            const QByteArray texto = literal.Texto({qint64(n), valor}, Dialecto::Embebido).toUtf8();
            ASSERT_EQ(sqlite3_exec(h, texto.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << texto.constData();
            const FormaInsercion ligada(forma.Cabeza(), forma.Tabla(), forma.Columnas(), {N, marca});
            c.Insertar(ligada, {qint64(n), valor});
        }
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT A.N AS N, typeof(A.V) || ':' || quote(A.V) AS UNO, "
                                        "typeof(B.V) || ':' || quote(B.V) AS OTRO FROM A JOIN B ON "
                                        "A.N = B.N ORDER BY A.N"),
                         rs);
        ASSERT_EQ(rs->RecordCount(), n);
        for (; !rs->Eof(); rs->MoveNext())
            EXPECT_EQ(rs->Fields(QStringLiteral("OTRO")).Value().Texto(),
                      rs->Fields(QStringLiteral("UNO")).Value().Texto())
                << "tipo " << tipo << ", valor " << rs->Fields(QStringLiteral("N")).Value().Entero();
    }
}

TEST(ValoresLigados, AValueThatCannotBeWrittenAsItselfIsRefusedNotChanged) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    c.Ejecutar(QStringLiteral("CREATE TABLE F (V TEXT)"));
    const FormaInsercion forma(QStringLiteral("INSERT INTO F (V) VALUES ("), QStringLiteral("F"),
                               {QStringLiteral("V")}, {Q});
    const struct {
        Variant valor;
        const char* motivo;
    } casos[] = {{Variant(QDateTime()), "infinity"},
                 {Variant::Fecha(QDate(10000, 1, 1)), "entre los años 1 y 9999"},
                 {Variant::Fecha(QDate(-44, 3, 15)), "entre los años 1 y 9999"}};
    for (const auto& caso : casos) {
        try {
            c.Insertar(forma, {caso.valor});
            ADD_FAILURE() << "se escribió " << caso.motivo;
        } catch (const Falla& f) {
            EXPECT_FALSE(f.Grave());
            EXPECT_TRUE(f.Descripcion().contains(QString::fromUtf8(caso.motivo))) << f.what();
        }
    }
    EXPECT_EQ(Contar(c, QStringLiteral("SELECT count(*) FROM F")), 0);
}

// ---------------------------------------------------------------------------------------
// Groups of rows on both engines.

enum class Motor_ { Sqlite, Postgres };

class Grupo : public ::testing::TestWithParam<Motor_> {
protected:
    void SetUp() override {
        if (GetParam() == Motor_::Postgres) {
            REQUIERE_POSTGRES();
            pg = std::make_unique<Pruebas::BasePostgres>(QStringLiteral("remitos_grupo"));
            pg->Conectar(c);
        } else {
            Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
        }
        c.Ejecutar(QStringLiteral("CREATE TABLE G (K VARCHAR(10) PRIMARY KEY, V INTEGER)"));
    }
    void TearDown() override { c.Desconectar(); }

    GrupoDeFilas Filas(std::initializer_list<const char*> claves) const {
        GrupoDeFilas g;
        g.forma = &forma;
        int v = 0;
        for (const char* k : claves)
            g.filas << QList<Variant>{QString::fromLatin1(k), qint64(++v)};
        return g;
    }
    EscrituraDeGrupo Escribir(const GrupoDeFilas& g) {
        EscrituraDeGrupo r;
        c.EscribirGrupo(g, r);
        return r;
    }
    QStringList Claves() {
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT K FROM G ORDER BY K"), rs);
        QStringList claves;
        for (; !rs->Eof(); rs->MoveNext())
            claves << rs->Fields(0).Value().Texto();
        return claves;
    }

    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    std::unique_ptr<Pruebas::BasePostgres> pg;
    const FormaInsercion forma{QStringLiteral("INSERT INTO G (K,V) VALUES ("), QStringLiteral("G"),
                               {QStringLiteral("K"), QStringLiteral("V")}, {Q, N}};
};

TEST_P(Grupo, ARefusedRowUndoesOnlyItselfAndTheGroupEndsWhole) {
    c.BeginTrans();
    EXPECT_EQ(Escribir(Filas({"A"})).Escritas(), 1);
    const EscrituraDeGrupo r = Escribir(Filas({"B", "A", "C"}));
    EXPECT_TRUE(r.Entero());
    EXPECT_EQ(r.Escritas(), 2);
    EXPECT_TRUE(r.rechazos[0].isEmpty());
    EXPECT_FALSE(r.rechazos[1].isEmpty());
    // The caller may undo a group whose first row is refused, and only that group.
    GrupoDeFilas otra = Filas({"A", "D"});
    otra.abandonarSiSeRechazaLaPrimera = [] { return true; };
    EXPECT_TRUE(Escribir(otra).abandonado);
    EXPECT_TRUE(c.TransaccionAbierta());
    c.CommitTrans();
    EXPECT_EQ(Claves(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

TEST_P(Grupo, WithoutATransactionNothingIsWritten) {
    // A group outside a transaction would be a transaction of its own, committed on release.
    const EscrituraDeGrupo r = Escribir(Filas({"A", "B"}));
    EXPECT_TRUE(r.deshecho);
    EXPECT_EQ(r.Escritas(), 0);
    EXPECT_TRUE(Claves().isEmpty());
    EXPECT_FALSE(c.TransaccionAbierta());
    EXPECT_THROW(PuntoDeGuardado(*c.MotorActual(), QStringLiteral("p")), Falla);
}

TEST_P(Grupo, AConstraintCheckedAtCommitRefusesTheWholeGroupAndKeepsTheOthers) {
    // The embedded engine checks references only when asked to, on each connection.
    if (GetParam() == Motor_::Sqlite)
        c.Ejecutar(QStringLiteral("PRAGMA foreign_keys = ON"));
    c.Ejecutar(QStringLiteral("CREATE TABLE P (K VARCHAR(10) PRIMARY KEY)"));
    c.Ejecutar(QStringLiteral("CREATE TABLE H (K VARCHAR(10) REFERENCES P(K) DEFERRABLE INITIALLY DEFERRED)"));
    c.Ejecutar(QStringLiteral("INSERT INTO P VALUES ('A')"));
    const FormaInsercion hijos(QStringLiteral("INSERT INTO H (K) VALUES ("), QStringLiteral("H"),
                               {QStringLiteral("K")}, {Q});
    auto grupo = [&](std::initializer_list<const char*> claves) {
        GrupoDeFilas g;
        g.forma = &hijos;
        for (const char* k : claves)
            g.filas << QList<Variant>{QString::fromLatin1(k)};
        return g;
    };
    c.BeginTrans();
    EXPECT_EQ(Escribir(grupo({"A"})).Escritas(), 1);
    const EscrituraDeGrupo r = Escribir(grupo({"A", "X"}));
    EXPECT_FALSE(r.rechazoDelGrupo.isEmpty());
    EXPECT_EQ(r.Escritas(), 0);
    EXPECT_EQ(Escribir(grupo({"A"})).Escritas(), 1);
    // What stays commits: the constraints are still deferred as they were.
    c.CommitTrans();
    EXPECT_EQ(Contar(c, QStringLiteral("SELECT count(*) FROM H")), 2);
}

TEST_P(Grupo, AStorageOrConnectionFailureIsThrownAndNothingIsCounted) {
    if (GetParam() == Motor_::Postgres) {
        c.BeginTrans();
        Conexion otra;
        pg->Conectar(otra);
        Escribir(Filas({"A"}));
        otra.Ejecutar(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                     "datname = current_database() AND pid <> pg_backend_pid()"));
        try {
            Escribir(Filas({"B"}));
            FAIL() << "la conexión perdida no falló";
        } catch (const Falla& f) {
            EXPECT_EQ(f.Clase(), ClaseDeFalla::Conexion) << f.what();
        }
        EXPECT_FALSE(c.TransaccionAbierta());
        return;
    }
    // A database that cannot be written: the embedded file turned read-only under a
    // connection that opened it for reading only.
    c.Desconectar();
    c.Conectar(true, 1);
    ASSERT_TRUE(c.Conectada()) << c.UltimoError().toStdString();
    try {
        c.BeginTrans();
        Escribir(Filas({"A"}));
        FAIL() << "la base de sólo lectura no falló";
    } catch (const Falla& f) {
        EXPECT_EQ(f.Clase(), ClaseDeFalla::Almacenamiento) << f.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Motores, Grupo, ::testing::Values(Motor_::Sqlite, Motor_::Postgres),
                         [](const ::testing::TestParamInfo<Motor_>& info) {
                             return info.param == Motor_::Sqlite ? "Sqlite" : "Postgres";
                         });

// The engine undoes the whole transaction (a trigger's RAISE(ROLLBACK)): the group says so,
// and nothing after it runs by itself in autocommit.
TEST(GrupoEmbebido, ATransactionTheEngineUndidIsNeverWrittenOutsideOne) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    c.Ejecutar(QStringLiteral("CREATE TABLE G (K VARCHAR(10), V INTEGER)"));
    c.Ejecutar(QStringLiteral("CREATE TRIGGER deshacer BEFORE INSERT ON G WHEN NEW.K = 'X' BEGIN "
                              "SELECT RAISE(ROLLBACK, 'deshecho por la prueba'); END"));
    const FormaInsercion forma(QStringLiteral("INSERT INTO G (K,V) VALUES ("), QStringLiteral("G"),
                               {QStringLiteral("K"), QStringLiteral("V")}, {Q, N});
    GrupoDeFilas g;
    g.forma = &forma;
    for (const char* k : {"A", "X", "B", "C"})
        g.filas << QList<Variant>{QString::fromLatin1(k), qint64(1)};
    c.BeginTrans();
    GrupoDeFilas antes = g;
    antes.filas = {{QStringLiteral("P"), qint64(0)}};
    EscrituraDeGrupo r;
    c.EscribirGrupo(antes, r);
    c.EscribirGrupo(g, r);
    EXPECT_TRUE(r.deshecho);
    EXPECT_TRUE(r.rechazos[1].contains(QStringLiteral("deshecho por la prueba")));
    EXPECT_FALSE(c.TransaccionAbierta());
    // Neither the rows before nor the rows after the refused one stay.
    EXPECT_EQ(Contar(c, QStringLiteral("SELECT count(*) FROM G")), 0);
    EXPECT_THROW(c.CommitTrans(), Falla);
}

// ---------------------------------------------------------------------------------------

TEST(ClaseDeFalla, SqlStatesOfStorageAndConnectionStopTheWork) {
    const std::pair<const char*, ClaseDeFalla> casos[] = {
        {"08006", ClaseDeFalla::Conexion},       {"08S01", ClaseDeFalla::Conexion},
        {"57P01", ClaseDeFalla::Conexion},       {"57014", ClaseDeFalla::Conexion},
        {"HYT00", ClaseDeFalla::Conexion},       {"53100", ClaseDeFalla::Almacenamiento},
        {"58030", ClaseDeFalla::Almacenamiento}, {"25006", ClaseDeFalla::Almacenamiento},
        {"XX001", ClaseDeFalla::Almacenamiento}, {"23505", ClaseDeFalla::Rechazo},
        {"23502", ClaseDeFalla::Rechazo},        {"P0001", ClaseDeFalla::Rechazo},
        {"22007", ClaseDeFalla::Rechazo},        {"25P02", ClaseDeFalla::Rechazo},
        {"", ClaseDeFalla::Rechazo},
    };
    for (const auto& [estado, clase] : casos)
        EXPECT_EQ(Falla::ClaseDeEstado(QString::fromLatin1(estado)), clase) << estado;
}

// One run at a time per database file, whatever path names it: a link, a relative path and
// the full path meet the same lock.
TEST(BloqueoDeCorrida, FollowsTheFileNotThePathThatNamesIt) {
    Pruebas::CarpetaPrueba carpeta;
    const QString ruta = Pruebas::CrearBaseSqlite(carpeta);
    const QString enlace = carpeta.Archivo(QStringLiteral("enlace.db"));
    ASSERT_TRUE(QFile::link(ruta, enlace));
    QDir().mkpath(carpeta.Archivo(QStringLiteral("sub")));
    Conexion primera, porEnlace, relativa;
    Pruebas::ConectarSqlite(primera, ruta);
    Pruebas::ConectarSqlite(porEnlace, enlace);
    // Relative to the application folder, through a folder and back.
    Pruebas::ConectarSqlite(relativa, QStringLiteral("sub/../remitos.db"));
    ASSERT_TRUE(primera.TomarBloqueoDeCorrida(0));
    EXPECT_FALSE(porEnlace.TomarBloqueoDeCorrida(0));
    EXPECT_FALSE(relativa.TomarBloqueoDeCorrida(0));
    primera.SoltarBloqueoDeCorrida();
    EXPECT_TRUE(porEnlace.TomarBloqueoDeCorrida(0));
    EXPECT_FALSE(primera.TomarBloqueoDeCorrida(0));
}

} // namespace
