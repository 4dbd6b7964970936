// Faults that strike twice, or at the edges of a lote: whatever happens, the stock table, the
// run log and the summary say the same thing, no note is written twice, and a simulation
// writes nothing and says what the run would do.
#include "Corrida.h"
#include "MotorEmbebido.h"
#include "ProxyQueCorta.h"

#include <QHash>
#include <QRegularExpression>
#include <sqlite3.h>

namespace {

using namespace PruebasCorrida;

constexpr int RenglonesPorNota = 3;

// When the embedded engine is to undo the whole transaction: a function of the test that a
// trigger on the stock table asks before every row, which counts its calls where a
// transaction's rollback cannot undo the count.
struct Deshacer {
    // Undo the n-th attempt (from 1) of a row (note, line), or every attempt from desde on.
    QHash<QString, QList<int>> intentos;
    QHash<QString, int> desde;
    QHash<QString, int> hechos;
    // Undo one row every cadaCuantas rows sent, whatever they are (0: never).
    int cadaCuantas = 0;
    int llamadas = 0;

    bool Ahora(const QString& fila) {
        const int intento = ++hechos[fila];
        if (cadaCuantas && ++llamadas % cadaCuantas == 0)
            return true;
        return intentos.value(fila).contains(intento) ||
               (desde.contains(fila) && intento >= desde.value(fila));
    }
};

void FuncionDeshacer(sqlite3_context* contexto, int, sqlite3_value** valores) {
    auto* d = static_cast<Deshacer*>(sqlite3_user_data(contexto));
    const QString fila = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(valores[0]))) +
                         u'/' + QString::number(sqlite3_value_int(valores[1]));
    sqlite3_result_int(contexto, d->Ahora(fila) ? 1 : 0);
}

// How a run meets the database: for real, simulated on the database itself (one transaction
// never committed), or simulated on a private copy.
enum class Forma { Real, SimuladaEnLaBase, SimuladaEnUnaCopia };

const char* Nombre(Forma f) {
    return f == Forma::Real ? "Real" : f == Forma::SimuladaEnLaBase ? "SimuladaEnLaBase" : "SimuladaEnUnaCopia";
}

class FallaCompuesta : public CorridaBase {
protected:
    void SetUp() override {
        Preparar(TipoDeBase::Sqlite);
        // Every note of these tests in one transaction, so that the engine's rollback takes
        // the notes before it.
        corrida.EstablecerLote(1000, 600000);
    }

    void SinClavePrimaria() {
        c.Ejecutar(QStringLiteral("ALTER TABLE V_MV_Stock RENAME TO V_MV_Stock_viejo"));
        c.Ejecutar(QStringLiteral("CREATE TABLE V_MV_Stock AS SELECT * FROM V_MV_Stock_viejo WHERE 0"));
        c.Ejecutar(QStringLiteral("DROP TABLE V_MV_Stock_viejo"));
    }

    // The connection the run uses, as the form asks, with the test's function on it and the
    // trigger that calls it.
    void Disponer(Forma forma) {
        c.Ejecutar(QStringLiteral("CREATE TRIGGER deshacer BEFORE INSERT ON V_MV_Stock WHEN "
                                  "deshacer(NEW.IDCOMPROBANTE, NEW.SECUENCIA) BEGIN SELECT "
                                  "RAISE(ROLLBACK, 'deshecho por la prueba'); END"));
        if (forma == Forma::SimuladaEnUnaCopia) {
            c.Desconectar();
            c.BaseDatos = rutaSqlite;
            c.Conectar(true, Conexion::ModoCopiaPrivada);
            ASSERT_TRUE(c.Conectada()) << c.UltimoError().toStdString();
        }
        sqlite3* h = static_cast<MotorEmbebido*>(c.MotorActual())->Manejador();
        ASSERT_EQ(sqlite3_create_function(h, "deshacer", 2, SQLITE_UTF8, &deshacer, FuncionDeshacer,
                                          nullptr, nullptr),
                  SQLITE_OK);
        corrida.EstablecerSimulacion(forma != Forma::Real);
    }

    // What the database itself holds, through a connection of its own.
    qint64 FilasEnLaBase() {
        Conexion otra;
        Pruebas::ConectarSqlite(otra, rutaSqlite);
        RefRecordset rs;
        otra.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock"), rs);
        return rs->Fields(0).Value().Entero();
    }

    // The log's note lines, or in a simulation the lines it says the log would get.
    QStringList Lineas(Forma forma) { return forma == Forma::Real ? Log() : avance.lineasDeRegistro; }

    Deshacer deshacer;
};

struct CasoDeReversion {
    const char* nombre;
    bool clavePrimaria;
    Forma forma;
};

class DobleReversion : public FallaCompuesta, public ::testing::WithParamInterface<CasoDeReversion> {};

// R3 makes the engine undo the transaction; while R1 and R2 are written again, R1 makes it
// undo that one too. Each then goes alone: R1 stays out, R2 is committed, and the run goes
// on with R4 to R6.
TEST_P(DobleReversion, TheNotesBeforeGoAgainOnceThenOneByOneAndTheSummaryIsWhatTheTableHolds) {
    const CasoDeReversion& caso = GetParam();
    Notas(6, RenglonesPorNota);
    if (!caso.clavePrimaria)
        SinClavePrimaria();
    deshacer.intentos[QStringLiteral("R3/2")] = {1};
    deshacer.desde[QStringLiteral("R1/1")] = 2;
    Disponer(caso.forma);

    Correr();
    const ResultadoCorrida r = UltimaCorrida();
    EXPECT_EQ(r.renglonesEscritos, 4 * RenglonesPorNota);
    EXPECT_EQ(r.renglonesRechazados, 2 * RenglonesPorNota);
    EXPECT_EQ(r.notas, 6);
    EXPECT_FALSE(r.detenida);
    const QStringList lineas = Lineas(caso.forma);
    EXPECT_EQ(lineas.filter(QRegularExpression(QStringLiteral("^RM"))),
              (QStringList{QStringLiteral("RMR1"), QStringLiteral("RMR2"), QStringLiteral("RMR3"),
                           QStringLiteral("RMR4"), QStringLiteral("RMR5"), QStringLiteral("RMR6")}))
        << lineas.join(u'\n').toStdString();
    EXPECT_EQ(lineas.filter(QStringLiteral("la base de datos deshizo el remito")).size(), 2)
        << lineas.join(u'\n').toStdString();
    EXPECT_EQ(lineas.filter(QStringLiteral("volvió a deshacer la transacción")).size(), 1);

    if (caso.forma != Forma::Real) {
        // Nothing reached the database, and the rows told are the rows the run would write.
        EXPECT_EQ(FilasEnLaBase(), 0);
        EXPECT_EQ(avance.filas.size(), 4 * RenglonesPorNota);
        return;
    }
    EXPECT_EQ(FilasEnLaBase(), r.renglonesEscritos);
    EXPECT_TRUE(Stock(QStringLiteral("R1")).isEmpty());
    EXPECT_TRUE(Stock(QStringLiteral("R3")).isEmpty());
    for (const char* id : {"R2", "R4", "R5", "R6"})
        EXPECT_EQ(Stock(QString::fromLatin1(id)).size(), RenglonesPorNota) << id;
}

const CasoDeReversion CasosDeReversion[] = {
    {"ConClave", true, Forma::Real},
    {"SinClave", false, Forma::Real},
    {"SinClaveSimuladaEnLaBase", false, Forma::SimuladaEnLaBase},
    {"SinClaveSimuladaEnUnaCopia", false, Forma::SimuladaEnUnaCopia},
};

INSTANTIATE_TEST_SUITE_P(Casos, DobleReversion, ::testing::ValuesIn(CasosDeReversion),
                         [](const ::testing::TestParamInfo<CasoDeReversion>& info) {
                             return std::string(info.param.nombre);
                         });

// A rollback every few rows, again and again, in the rewrites too: whatever the engine undid,
// the table holds exactly what the summary and the log say, each note whole or absent.
TEST_F(FallaCompuesta, RollbacksOverAndOverNeverWriteANoteTwice) {
    constexpr int notas = 60;
    Notas(notas, RenglonesPorNota);
    SinClavePrimaria();
    deshacer.cadaCuantas = 7;
    corrida.EstablecerLote(25, 600000);
    Disponer(Forma::Real);

    Correr();
    const ResultadoCorrida r = UltimaCorrida();
    EXPECT_GT(r.renglonesRechazados, 0);
    EXPECT_EQ(r.renglonesEscritos + r.renglonesRechazados, notas * RenglonesPorNota);
    EXPECT_EQ(FilasEnLaBase(), r.renglonesEscritos);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM (SELECT DISTINCT IDCOMPROBANTE, "
                                    "SECUENCIA FROM V_MV_Stock)")),
              r.renglonesEscritos);
    // Every note is whole or absent, and the log names a note with rows exactly once.
    const QStringList log = Log();
    for (int i = 1; i <= notas; ++i) {
        const QString id = QStringLiteral("R%1").arg(i);
        const qsizetype filas = Stock(id).size();
        EXPECT_TRUE(filas == 0 || filas == RenglonesPorNota) << id.toStdString() << ": " << filas;
        EXPECT_EQ(log.count(QStringLiteral("RM") + id), 1) << id.toStdString();
    }
}

// Another program holds the file past the time a statement may wait: nothing is written
// outside a transaction, the run stops and says so; a simulation on a private copy reads a
// snapshot and goes on.
class EscritorQueNoSuelta : public FallaCompuesta, public ::testing::WithParamInterface<Forma> {};

TEST_P(EscritorQueNoSuelta, NothingIsWrittenWithoutTheTransaction) {
    Notas(4, RenglonesPorNota);
    Disponer(GetParam());
    Conexion otra;
    Pruebas::ConectarSqlite(otra, rutaSqlite);
    otra.BeginTrans();
    c.ConexionAdo().EstablecerCommandTimeout(1);

    Correr();
    const ResultadoCorrida r = UltimaCorrida();
    otra.RollbackTrans();
    EXPECT_EQ(FilasEnLaBase(), 0);
    if (GetParam() == Forma::SimuladaEnUnaCopia) {
        EXPECT_TRUE(r.SinFallas()) << UltimoMensaje().toStdString();
        EXPECT_EQ(r.renglonesEscritos, 4 * RenglonesPorNota);
        return;
    }
    EXPECT_TRUE(r.detenida);
    EXPECT_EQ(r.renglonesEscritos, 0);
    EXPECT_EQ(r.RenglonesNoRegistrados(), 0);
    EXPECT_EQ(r.notasSinProcesar, 4);
    EXPECT_TRUE(r.motivoDetencion.contains(QStringLiteral("locked"))) << r.motivoDetencion.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formas, EscritorQueNoSuelta,
                         ::testing::Values(Forma::Real, Forma::SimuladaEnLaBase, Forma::SimuladaEnUnaCopia),
                         [](const ::testing::TestParamInfo<Forma>& info) { return std::string(Nombre(info.param)); });

// ---------------------------------------------------------------------------------------
// On the server.

class FallaEnServidor : public CorridaBase {
protected:
    void SetUp() override { Preparar(TipoDeBase::Postgres); }

    qint64 FilasEnLaBase() {
        Conexion otra;
        pg->Conectar(otra);
        RefRecordset rs;
        otra.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock"), rs);
        return rs->Fields(0).Value().Entero();
    }
};

// A database that reads backslashes in texts as escapes: the session is set to read them as
// they are, so every text is stored as it was read.
TEST_F(FallaEnServidor, BackslashesAreStoredAsTheyAreWhateverTheDatabaseSays) {
    c.Ejecutar(QStringLiteral("ALTER DATABASE %1 SET standard_conforming_strings = off").arg(pg->Nombre()));
    Reconectar();
    const QStringList descripciones = {QStringLiteral("Tubo 1\\2 pulgadas \\n"), QStringLiteral("Codo \\"),
                                       QStringLiteral("O'Higgins \\' \\\\ fin")};
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 1)));
    for (int i = 0; i < descripciones.size(); ++i)
        Renglon(QStringLiteral("R1"), i + 1, QStringLiteral("A%1").arg(i), "1", descripciones[i]);
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    const QList<FilaDeStock> filas = Stock(QStringLiteral("R1"));
    ASSERT_EQ(filas.size(), descripciones.size());
    for (int i = 0; i < descripciones.size(); ++i)
        EXPECT_EQ(filas[i].descripcion, descripciones[i]);
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT current_setting('standard_conforming_strings')"), rs);
    EXPECT_EQ(rs->Fields(0).Value().Texto(), QStringLiteral("on"));
}

// A note dated infinity has no day to write its rows under: its lines are refused with the
// reason, never written under another date.
TEST_F(FallaEnServidor, ANoteDatedInfinityIsRefusedNotWrittenUnderAnotherDate) {
    Notas(2, RenglonesPorNota);
    c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,CUENTA,ANULADA) "
                              "VALUES ('RM','INF',0,'infinity','C1',0)"));
    for (int r = 1; r <= RenglonesPorNota; ++r)
        Renglon(QStringLiteral("INF"), r, QStringLiteral("A%1").arg(r), "1");
    Correr();
    const ResultadoCorrida r = UltimaCorrida();
    EXPECT_EQ(r.renglonesRechazados, RenglonesPorNota);
    EXPECT_EQ(r.renglonesEscritos, 2 * RenglonesPorNota);
    EXPECT_TRUE(Stock(QStringLiteral("INF")).isEmpty());
    const QStringList fallas = Log().filter(QStringLiteral("*** RMINF renglón"));
    ASSERT_EQ(fallas.size(), RenglonesPorNota);
    EXPECT_TRUE(fallas[0].contains(QStringLiteral("infinity"))) << fallas[0].toStdString();
}

// A constraint the server checks at commit: the simulation refuses the same note whole as the
// run does, and says the same.
TEST_F(FallaEnServidor, AConstraintCheckedAtCommitIsForeseenBySimulation) {
    Notas(5, RenglonesPorNota);
    c.Ejecutar(QStringLiteral("CREATE FUNCTION rehusar() RETURNS trigger AS $$ BEGIN IF "
                              "NEW.idcomprobante = 'R3' AND NEW.secuencia = 2 THEN RAISE EXCEPTION "
                              "'rehusado por la prueba'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
    c.Ejecutar(QStringLiteral("CREATE CONSTRAINT TRIGGER rehusar AFTER INSERT ON V_MV_Stock "
                              "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION rehusar()"));
    corrida.EstablecerSimulacion(true);
    Correr();
    const ResultadoCorrida simulada = UltimaCorrida();
    const QStringList anunciadas = avance.lineasDeRegistro;
    EXPECT_EQ(FilasEnLaBase(), 0);
    corrida.EstablecerSimulacion(false);
    Correr();
    const ResultadoCorrida real = UltimaCorrida();
    EXPECT_EQ(real.renglonesRechazados, RenglonesPorNota);
    EXPECT_EQ(simulada.renglonesRechazados, real.renglonesRechazados);
    EXPECT_EQ(simulada.renglonesEscritos, real.renglonesEscritos);
    EXPECT_EQ(simulada.notas, real.notas);
    EXPECT_EQ(anunciadas, Log());
    EXPECT_EQ(FilasEnLaBase(), real.renglonesEscritos);
}

// The server commits and the answer never arrives: the run asks the database, over a new
// connection, which notes it holds, and says exactly that; when it cannot ask, it says the
// outcome is unknown.
class RespuestaPerdida : public FallaEnServidor, public ::testing::WithParamInterface<bool> {};

TEST_P(RespuestaPerdida, TheDatabaseIsAskedWhatItHolds) {
    const bool puedeVolver = GetParam();
    constexpr int notas = 8;
    Notas(notas, RenglonesPorNota);
    ProxyQueCorta proxy(qEnvironmentVariableIntValue("REMITOS_PG_PUERTO"));
    ASSERT_NE(proxy.Puerto(), 0);
    carpeta.Escribir(QStringLiteral("KD000pr.INI"),
                     QStringLiteral("[ODBC]\r\nDriver=PostgreSQL Unicode\r\nPuerto=%1\r\n").arg(proxy.Puerto()));
    c.Desconectar();
    c.Servidor = QStringLiteral("127.0.0.1");
    c.BaseDatos = pg->Nombre();
    c.Usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    c.Conectar(false, 3);
    ASSERT_TRUE(c.Conectada()) << c.UltimoError().toStdString();
    corrida.EstablecerLote(1000, 600000);
    proxy.CortarEnElProximoCommit();
    if (!puedeVolver)
        guion.alProcesarEventos = [&, puntos = 0]() mutable {
            if (++puntos == notas + 1)
                proxy.RechazarConexiones();
        };

    Correr();
    ASSERT_TRUE(proxy.Corto());
    const ResultadoCorrida r = UltimaCorrida();
    EXPECT_TRUE(r.detenida);
    EXPECT_TRUE(r.motivoDetencion.startsWith(QStringLiteral("se perdió la respuesta")))
        << r.motivoDetencion.toStdString();
    EXPECT_EQ(r.RenglonesNoRegistrados(), 0);
    // The server did commit.
    EXPECT_EQ(FilasEnLaBase(), notas * RenglonesPorNota);
    const QStringList log = Log();
    if (puedeVolver) {
        EXPECT_EQ(r.renglonesEscritos, notas * RenglonesPorNota);
        EXPECT_EQ(r.notas, notas);
        EXPECT_EQ(r.notasInciertas, 0);
        EXPECT_EQ(log.filter(QRegularExpression(QStringLiteral("^RMR"))).size(), notas);
    } else {
        EXPECT_EQ(r.renglonesEscritos, 0);
        EXPECT_EQ(r.notasInciertas, notas);
        EXPECT_TRUE(log.filter(QRegularExpression(QStringLiteral("^RMR"))).isEmpty());
        EXPECT_EQ(log.filter(QStringLiteral("No se sabe si quedaron registrados 8 remitos")).size(), 1)
            << log.join(u'\n').toStdString();
        EXPECT_TRUE(UltimoMensaje().contains(QStringLiteral("remitos --revisar")));
    }
    // The next run finds nothing left to do either way.
    c.Desconectar();
    pg->Conectar(c);
    guion.alProcesarEventos = nullptr;
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    EXPECT_EQ(UltimaCorrida().notas, 0);
}

INSTANTIATE_TEST_SUITE_P(Reconexion, RespuestaPerdida, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "VuelveAConectar" : "NoPuedeVolver";
                         });

} // namespace
