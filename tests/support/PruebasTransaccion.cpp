// A transaction object on both engines: undone unless confirmed, a confirmation the engine
// cannot honour reported, and nothing thrown while undoing on a connection that is gone.
#include "Ayudas.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Falla.h"
#include "Recordset.h"
#include "Transaccion.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

enum class Desenlace {
    SinConfirmar,   // the scope is left without confirming
    Confirmada,     // confirmed: the row stays
    DeshechaPorElMotor, // the engine undid the transaction by itself before the confirmation
    ConexionMuerta, // the server ended the connection before the confirmation
};

struct Caso {
    const char* nombre;
    bool postgres;
    Desenlace desenlace;
};

class Transacciones : public ::testing::TestWithParam<Caso> {
protected:
    void SetUp() override {
        if (GetParam().postgres) {
            REQUIERE_POSTGRES();
            pg = std::make_unique<Pruebas::BasePostgres>(QStringLiteral("remitos_transaccion"));
            pg->Conectar(c);
        } else {
            Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("t.db")));
        }
        c.Ejecutar(QStringLiteral("CREATE TABLE T (N INTEGER NOT NULL)"));
    }
    qint64 Filas() {
        // Through another connection: the program's own may be the one that died.
        Conexion otra;
        if (pg)
            pg->Conectar(otra);
        else
            Pruebas::ConectarSqlite(otra, carpeta.Archivo(QStringLiteral("t.db")));
        RefRecordset rs;
        otra.AbrirRecordset(QStringLiteral("SELECT count(*) FROM T"), rs);
        return rs->Fields(0).Value().Entero();
    }
    void DeshacerDesdeElMotor() {
        if (pg) {
            // A constraint checked at the commit refuses it; the server undoes everything.
            c.Ejecutar(QStringLiteral(
                "CREATE FUNCTION rehusar() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                "'rehusado al confirmar'; END $$ LANGUAGE plpgsql"));
            c.Ejecutar(QStringLiteral("CREATE CONSTRAINT TRIGGER rehusar AFTER INSERT ON T "
                                      "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE "
                                      "FUNCTION rehusar()"));
        } else {
            c.Ejecutar(QStringLiteral("CREATE TRIGGER rehusar AFTER INSERT ON T BEGIN SELECT "
                                      "RAISE(ROLLBACK, 'deshecho por el motor'); END"));
        }
    }
    void MatarLaConexion() {
        Conexion otra;
        pg->Conectar(otra);
        otra.Ejecutar(QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                                     "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    }

    Pruebas::CarpetaPrueba carpeta;
    std::unique_ptr<Pruebas::BasePostgres> pg;
    Conexion c;
};

TEST_P(Transacciones, LeaveNothingUnlessConfirmedAndReportWhatCouldNotBe) {
    const Desenlace desenlace = GetParam().desenlace;
    if (desenlace == Desenlace::DeshechaPorElMotor)
        DeshacerDesdeElMotor();
    bool confirmada = false;
    long falla = 0;
    {
        Transaccion t(c);
        EXPECT_TRUE(t.Abierta());
        const long alInsertar =
            Pruebas::NumeroDeFalla([&] { c.Ejecutar(QStringLiteral("INSERT INTO T VALUES (1)")); });
        // Only the embedded engine's trigger undoes the transaction at the statement itself.
        EXPECT_EQ(alInsertar != 0, desenlace == Desenlace::DeshechaPorElMotor && !pg);
        if (desenlace == Desenlace::ConexionMuerta)
            MatarLaConexion();
        if (desenlace != Desenlace::SinConfirmar) {
            falla = Pruebas::NumeroDeFalla([&] { t.Confirmar(); });
            confirmada = falla == 0;
        }
        // Leaving the scope undoes what was not confirmed, and never throws.
    }
    EXPECT_EQ(confirmada, desenlace == Desenlace::Confirmada);
    if (desenlace == Desenlace::DeshechaPorElMotor || desenlace == Desenlace::ConexionMuerta) {
        EXPECT_NE(falla, 0) << "la confirmación imposible no se informó";
    }
    EXPECT_EQ(Filas(), confirmada ? 1 : 0);
    EXPECT_FALSE(c.TransaccionAbierta());
}

const Caso Casos[] = {
    {"Sqlite_SinConfirmar", false, Desenlace::SinConfirmar},
    {"Sqlite_Confirmada", false, Desenlace::Confirmada},
    {"Sqlite_DeshechaPorElMotor", false, Desenlace::DeshechaPorElMotor},
    {"Postgres_SinConfirmar", true, Desenlace::SinConfirmar},
    {"Postgres_Confirmada", true, Desenlace::Confirmada},
    {"Postgres_RehusadaAlConfirmar", true, Desenlace::DeshechaPorElMotor},
    {"Postgres_ConexionMuerta", true, Desenlace::ConexionMuerta},
};

INSTANTIATE_TEST_SUITE_P(Motores, Transacciones, ::testing::ValuesIn(Casos),
                         [](const ::testing::TestParamInfo<Caso>& info) {
                             return std::string(info.param.nombre);
                         });

} // namespace
