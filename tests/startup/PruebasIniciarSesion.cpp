#include "Ayudas.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Estacion.h"
#include "ModGlobal.h"

#include <gtest/gtest.h>

namespace {

using namespace ModGlobal;

class IniciarSesionPrueba : public ::testing::Test {
protected:
    // Runs the session start with a command line; true when the program was ended.
    bool Iniciar(const QString& linea, LecturaDeClaves lectura = LecturaDeClaves::Familia) {
        EstablecerLineaDeComandos(linea, lectura);
        try {
            IniciarSesion();
        } catch (const FinDelPrograma& fin) {
            estadoFinal = fin.estado;
            return true;
        }
        return false;
    }
    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    int estadoFinal = -1;
};

TEST_F(IniciarSesionPrueba, TheCommandLineFillsTheSessionAndOpensTheNamedDatabase) {
    Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("empresa.db"));
    ASSERT_FALSE(Iniciar(QStringLiteral(
        "@ParametroAdicional=X1;@Menu=Stock;@DbName=empresa.db;@Usuario=juan;@Password=p=w;"
        "@UsuarioLogeado=ana;@Caja=1=2;")));
    Conexion& c = Conexion::Instancia();
    EXPECT_TRUE(c.Conectada());
    EXPECT_EQ(c.BaseDatos, QStringLiteral("empresa.db"));
    EXPECT_EQ(c.Usuario, QStringLiteral("juan"));
    EXPECT_EQ(c.Password, QStringLiteral("pw"));
    EXPECT_EQ(c.Servidor, QString());
    EXPECT_EQ(c.ConexionAdo().CommandTimeout(), 360);
    EXPECT_EQ(sesion.gParametroAdicional, QStringLiteral("X1"));
    EXPECT_EQ(sesion.gMenu, QStringLiteral("Stock"));
    EXPECT_EQ(sesion.gUsuarioLogeado, QStringLiteral("ana"));
    EXPECT_EQ(sesion.gCaja, QStringLiteral("12"));
    EXPECT_EQ(sesion.gCadenaDSN, QStringLiteral("DSN=empresa.db; UID=juan; PWD=pw"));
    EXPECT_EQ(Entorno::Instancia().RutaAplicacion, carpeta.Ruta());
    // The configuration stage ran last: no colours in the table give the family's defaults.
    EXPECT_EQ(sesion.gColorFondo, 0xFFFF00);
    EXPECT_EQ(sesion.gColorLetra, 0);
    EXPECT_EQ(sesion.gCantidadDecimales, QStringLiteral(" "));
    const Estacion& e = Estacion::Instancia();
    EXPECT_EQ(sesion.gSeccionEstacion, e.NombreEquipo().toUpper() + u'|' + e.NombreUsuario().toUpper());
    EXPECT_EQ(sesion.gFlatToolbars, Variant(qint64(1)));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(IniciarSesionPrueba, AnEmptyCommandLineOpensTheDefaultDatabase) {
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    ASSERT_FALSE(Iniciar(QString()));
    EXPECT_TRUE(Conexion::Instancia().Conectada());
    EXPECT_EQ(sesion.gCadenaDSN, QStringLiteral("DSN=; UID=; PWD="));
}

TEST_F(IniciarSesionPrueba, AValueWithNoSemicolonAfterItIsEmpty) {
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    ASSERT_FALSE(Iniciar(QStringLiteral("@Caja=3;@DbName=EMPRESA")));
    EXPECT_EQ(Conexion::Instancia().BaseDatos, QString());
    EXPECT_TRUE(Conexion::Instancia().Conectada());
    EXPECT_EQ(sesion.gCaja, QStringLiteral("3"));
}

TEST_F(IniciarSesionPrueba, AStrictLineGivesEachKeyItsOwnValueAndABadOneOpensNothing) {
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("empresa.db"));
    // By the family's rule "@DbName" is first found inside the menu's value, and is empty.
    ASSERT_FALSE(Iniciar(QStringLiteral("@Menu=ver @DbName;@DbName=empresa.db;"), LecturaDeClaves::Estricta));
    EXPECT_EQ(Conexion::Instancia().BaseDatos, QStringLiteral("empresa.db"));
    EXPECT_EQ(sesion.gMenu, QStringLiteral("ver @DbName"));

    Conexion::Instancia().Desconectar();
    RestablecerSesion();
    ASSERT_FALSE(Iniciar(QStringLiteral("@Sever=empresa;"), LecturaDeClaves::Estricta));
    EXPECT_FALSE(Conexion::Instancia().Conectada());
    EXPECT_TRUE(guion.mensajes.isEmpty());
}

TEST_F(IniciarSesionPrueba, WithoutADatabaseTheProgramEndsSayingWhy) {
    EXPECT_TRUE(Iniciar(QStringLiteral("@DbName=no-existe.db;")));
    EXPECT_EQ(estadoFinal, 1);
    ASSERT_EQ(guion.mensajes.size(), 1);
    EXPECT_TRUE(guion.mensajes[0].texto.contains(QStringLiteral("no-existe.db")));
    EXPECT_EQ(guion.mensajes[0].icono, IconoMensaje::Critico);
    // The later steps never ran.
    EXPECT_EQ(sesion.gCadenaDSN, QString());
    EXPECT_EQ(Entorno::Instancia().RutaAplicacion, QString());
}

TEST_F(IniciarSesionPrueba, AServerNameGoesToOdbcAndItsFailureEndsTheProgram) {
    guion.muestraVentanas = false;
    EXPECT_TRUE(Iniciar(QStringLiteral("@Server = SRV 01 ;@DbName=EMPRESA;")));
    EXPECT_EQ(estadoFinal, 1);
    EXPECT_EQ(Conexion::Instancia().Servidor, QStringLiteral("SRV 01"));
    EXPECT_EQ(Conexion::Instancia().BaseDatos, QStringLiteral("EMPRESA"));
    EXPECT_FALSE(Conexion::Instancia().UltimoError().isEmpty());
    EXPECT_TRUE(guion.mensajes.isEmpty()); // no window: standard error only
}

TEST_F(IniciarSesionPrueba, AnOpenConnectionKeepsItsParametersAndTheCommandLineIsIgnored) {
    Pruebas::ConectarSqlite(Conexion::Instancia(), Pruebas::CrearBaseSqlite(carpeta));
    Conexion::Instancia().Usuario = QStringLiteral("previo");
    ASSERT_FALSE(Iniciar(QStringLiteral("@DbName=otra.db;@Usuario=juan;@Caja=5;")));
    EXPECT_EQ(Conexion::Instancia().Usuario, QStringLiteral("previo"));
    EXPECT_EQ(Conexion::Instancia().ConexionAdo().CommandTimeout(), 30);
    EXPECT_EQ(sesion.gCaja, QString());
    EXPECT_TRUE(sesion.gCadenaDSN.contains(QStringLiteral("UID=previo")));
    EXPECT_EQ(Entorno::Instancia().RutaAplicacion, carpeta.Ruta());
}

TEST_F(IniciarSesionPrueba, TheToolbarStyleComesFromTheWorkstationsSection) {
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    const Estacion& e = Estacion::Instancia();
    const QString seccion = e.NombreEquipo().toLower() + u'|' + e.NombreUsuario();
    const std::pair<const char*, qint64> casos[] = {{"0", 0}, {"abc", 0}, {" 2 ", 2}, {"", 0},
                                                    {"3x", 3}};
    for (const auto& [texto, esperado] : casos) {
        carpeta.Escribir(QStringLiteral("KD000pr.INI"),
                         QStringLiteral("[%1]\r\nFlatToolbars=%2\r\n").arg(seccion, QLatin1String(texto)));
        ASSERT_FALSE(Iniciar(QString()));
        EXPECT_EQ(sesion.gFlatToolbars, Variant(esperado)) << texto;
        Conexion::Instancia().Desconectar();
    }
}

} // namespace
