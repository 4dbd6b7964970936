#include "Ayudas.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "Recordset.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace ModGlobal;

class Configuracion : public ::testing::Test {
protected:
    void SetUp() override {
        Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto()));
    }
    void Fila(const char* grupo, const char* clave, const char* valor) {
        c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES (%1,%2,%3)")
                       .arg(c.ValorSQL(QString::fromUtf8(grupo), QStringLiteral("'")),
                            c.ValorSQL(QString::fromUtf8(clave), QStringLiteral("'")),
                            valor ? c.ValorSQL(QString::fromUtf8(valor), QStringLiteral("'"))
                                  : QStringLiteral("NULL")));
    }
    QList<QStringList> Filas() {
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT GRUPO, CLAVE, VALOR FROM TA_CONFIGURACION "
                                        "ORDER BY GRUPO, CLAVE"),
                         rs);
        QList<QStringList> filas;
        for (; !rs->Eof(); rs->MoveNext())
            filas << QStringList{rs->Fields(0).Value().Texto(), rs->Fields(1).Value().Texto(),
                                 rs->Fields(2).Value().EsNulo() ? QStringLiteral("<null>")
                                                                : rs->Fields(2).Value().Texto()};
        return filas;
    }
    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Conexion& c = Conexion::Instancia();
};

TEST_F(Configuracion, AnAbsentKeyReadsAsASingleSpace) {
    Fila("DATOS", "CantidadDecimales", "2");
    Fila("DATOS", "Nula", nullptr);
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("  CantidadDecimales ")), QStringLiteral("2"));
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("NoEsta")), QStringLiteral(" "));
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("Nula")), QString());
    // A quote in the key stays inside the literal.
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("x' OR '1'='1")), QStringLiteral(" "));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Configuracion, WritingAKeyInsertsItOnceThenUpdatesTheSameRow) {
    GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"), QStringLiteral("SI"));
    EXPECT_EQ(Filas(), (QList<QStringList>{{QStringLiteral("DATOS"), QStringLiteral("DescargaStockRemitos"),
                                            QStringLiteral("SI")}}));
    GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"), QStringLiteral("  NO  "));
    EXPECT_EQ(Filas(), (QList<QStringList>{{QStringLiteral("DATOS"), QStringLiteral("DescargaStockRemitos"),
                                            QStringLiteral("NO")}}));
    GrabarConfiguracion(QStringLiteral("Cuota'Rara"), qint64(12));
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("Cuota'Rara")), QStringLiteral("12"));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Configuracion, AnExistingRowMovesToTheDatosGroupAndOnlyTheFirstOfSeveralChanges) {
    Fila("OTROS", "Clave", "viejo");
    Fila("ZZZ", "Clave", "otro");
    GrabarConfiguracion(QStringLiteral("Clave"), QStringLiteral("nuevo"));
    EXPECT_EQ(Filas(), (QList<QStringList>{
                           {QStringLiteral("DATOS"), QStringLiteral("Clave"), QStringLiteral("nuevo")},
                           {QStringLiteral("ZZZ"), QStringLiteral("Clave"), QStringLiteral("otro")}}));
}

TEST_F(Configuracion, AFailureToWriteIsReportedAndTheAnswerDecides) {
    c.Ejecutar(QStringLiteral("ALTER TABLE TA_CONFIGURACION RENAME TO TA_GUARDADA"));
    guion.respuestasError = {3};
    GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"), QStringLiteral("SI"));
    ASSERT_EQ(guion.errores.size(), 1);
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("GrabaDfg"));
    EXPECT_TRUE(guion.errores[0].descripcion.contains(QStringLiteral("TA_CONFIGURACION")));

    // The answer "retry" runs the failing step again; here the table is back by then.
    guion.errores.clear();
    guion.respuestasError = {4};
    Conexion* conexion = &c;
    guion.alInformarError = [conexion] {
        conexion->Ejecutar(QStringLiteral("ALTER TABLE TA_GUARDADA RENAME TO TA_CONFIGURACION"));
    };
    GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"), QStringLiteral("SI"));
    EXPECT_EQ(guion.errores.size(), 1);
    EXPECT_EQ(LeerConfiguracion(QStringLiteral("DescargaStockRemitos")), QStringLiteral("SI"));
}

TEST_F(Configuracion, FlagsFollowTheirRules) {
    Fila("DATOS", "MostrarStockenConsultas", "si");
    Fila("DATOS", "TituloClientes", "  Clientes  ");
    Fila("DATOS", "EXIGECLAVECONSULTALIKEARTICULOS", "SI ");
    Fila("DATOS", "UsaConsultaLike", "Si");
    Fila("DATOS", "UsaMultilesMonedas", "NO");
    Fila("DATOS", "CFondo", "2.5");
    Fila("DATOS", "CLetra", "3.5");
    Fila("DATOS", "ModuloOrdenDeTrabajo", " no ");
    CargarConfiguracion(carpeta.Ruta());
    EXPECT_TRUE(sesion.gMostrarStockEnConsultas);
    EXPECT_EQ(sesion.gTituloClientes, QStringLiteral("Clientes"));
    EXPECT_EQ(sesion.gTituloProveedores, QString());
    EXPECT_EQ(sesion.gRutaDocTareas, carpeta.Archivo(QStringLiteral("ZVDOCTareas.zvr")));
    EXPECT_FALSE(sesion.gExigeClaveConsultaLikeArticulos); // not trimmed: "SI " is not "SI"
    EXPECT_TRUE(sesion.gUsaConsultaLike);
    EXPECT_EQ(sesion.gCantidadDecimales, QStringLiteral(" "));
    EXPECT_FALSE(sesion.gUsaMultilesMonedas);
    EXPECT_EQ(sesion.gColorFondo, 2); // halves go to the even neighbour
    EXPECT_EQ(sesion.gColorLetra, 4);
    EXPECT_FALSE(sesion.gModuloOrdenDeTrabajo); // trimmed: " no " is "NO"
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Configuracion, AbsentColoursAndABlackBackgroundGiveTheFamilysDefaults) {
    CargarConfiguracion(carpeta.Ruta());
    EXPECT_EQ(sesion.gColorFondo, 0xFFFF00);
    EXPECT_EQ(sesion.gColorLetra, 0);
    EXPECT_TRUE(sesion.gModuloOrdenDeTrabajo);
    Fila("DATOS", "CFondo", "0");
    Fila("DATOS", "CLetra", "255");
    CargarConfiguracion(carpeta.Ruta());
    EXPECT_EQ(sesion.gColorFondo, 0xFFFF00);
    EXPECT_EQ(sesion.gColorLetra, 255);
}

TEST_F(Configuracion, AColourThatDoesNotFitEndsTheLoadingWhereItHappens) {
    Fila("DATOS", "CFondo", "99999999999");
    Fila("DATOS", "CLetra", "255");
    Fila("DATOS", "ModuloOrdenDeTrabajo", "NO");
    sesion.gColorLetra = 7;
    EXPECT_THROW(CargarConfiguracion(carpeta.Ruta()), Falla);
    EXPECT_EQ(sesion.gColorLetra, 7);
    EXPECT_FALSE(sesion.gModuloOrdenDeTrabajo);
    EXPECT_EQ(sesion.gCantidadDecimales, QStringLiteral(" "));
}

TEST_F(Configuracion, AFailingDatabaseAsksOncePerKeyAndLeavesItsValueEmpty) {
    c.Ejecutar(QStringLiteral("DROP TABLE TA_CONFIGURACION"));
    guion.respuestaErrorPorDefecto = 3;
    CargarConfiguracion(carpeta.Ruta());
    EXPECT_EQ(guion.errores.size(), 10);
    for (const auto& e : guion.errores)
        EXPECT_EQ(e.origen, QStringLiteral("Cfg"));
    EXPECT_EQ(sesion.gCantidadDecimales, QString());
    EXPECT_EQ(sesion.gColorFondo, 0xFFFF00);
    EXPECT_TRUE(sesion.gModuloOrdenDeTrabajo);
}

TEST_F(Configuracion, TheSessionStartLoadsTheFlagsLast) {
    Fila("DATOS", "CFondo", "255");
    Fila("DATOS", "UsaConsultaLike", "SI");
    c.Desconectar();
    EstablecerLineaDeComandos(QString());
    IniciarSesion();
    EXPECT_EQ(sesion.gColorFondo, 255);
    EXPECT_TRUE(sesion.gUsaConsultaLike);
}

// Two runs started together both find the key absent and both add it: the one that loses
// the race writes over the other's row instead of reporting a failure.
TEST(ConfiguracionCompartida, AKeyAddedByAnotherProgramMeanwhileIsWrittenOver) {
    REQUIERE_POSTGRES();
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Pruebas::BasePostgres pg(QStringLiteral("remitos_configuracion"));
    Conexion& c = Conexion::Instancia();
    pg.Conectar(c);
    BaseEmbebida::CrearEsquema(c);
    // This program's insert waits long enough for the other one to add the key first.
    c.Ejecutar(QStringLiteral(
        "CREATE FUNCTION demora() RETURNS trigger AS $$ BEGIN IF NEW.VALOR = 'SI' THEN "
        "PERFORM pg_sleep(1.5); END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
    c.Ejecutar(QStringLiteral("CREATE TRIGGER demora BEFORE INSERT ON TA_CONFIGURACION FOR EACH "
                              "ROW EXECUTE FUNCTION demora()"));
    // The other program's connection lives in its own thread, as the driver requires.
    std::thread otroPrograma([&pg] {
        Conexion otra;
        pg.Conectar(otra);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        otra.Ejecutar(QStringLiteral(
            "INSERT INTO TA_CONFIGURACION VALUES ('DATOS', 'DescargaStockRemitos', 'OTRO')"));
        otra.Desconectar();
    });
    GrabarConfiguracion(QStringLiteral("DescargaStockRemitos"), QStringLiteral("SI"));
    otroPrograma.join();
    EXPECT_TRUE(guion.errores.isEmpty()) << guion.errores.value(0).descripcion.toStdString();
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT GRUPO, VALOR FROM TA_CONFIGURACION WHERE CLAVE = "
                                    "'DescargaStockRemitos'"),
                     rs);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields(1).Value().Texto(), QStringLiteral("SI"));
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    rs.reset();
    c.Desconectar();
}

} // namespace
