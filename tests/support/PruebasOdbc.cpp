// The connection layer against a real PostgreSQL server through unixODBC and psqlODBC.
#include "Ayudas.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Falla.h"
#include "Recordset.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString Q = QStringLiteral("'");
const QString N = QStringLiteral("@");

class Odbc : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIERE_POSTGRES();
        base = std::make_unique<Pruebas::BasePostgres>(QStringLiteral("remitos_soporte"));
        base->Conectar(c);
        BaseEmbebida::CrearEsquema(c);
    }
    Pruebas::CarpetaPrueba carpeta;
    std::unique_ptr<Pruebas::BasePostgres> base;
    Conexion c;
};

TEST_F(Odbc, DecimalsAndDatesMakeTheRoundTripUnchanged) {
    const Variant cantidad = Variant::Decimal(QStringLiteral("-12345678901234.5678"));
    const Variant fecha = Variant::Fecha(QDate(2003, 3, 1));
    const Variant conHora = Variant::Fecha(QDate(2024, 2, 29), QTime(23, 59, 58, 125));
    const Variant texto = QStringLiteral("O'Higgins — ñandú \\ 100%");
    for (const auto& [sec, f] : {std::pair{1, fecha}, std::pair{2, conHora}})
        c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Stock (TC,IDCOMPROBANTE,IDCOMPLEMENTO,"
                                  "SECUENCIA,FECHA,IDARTICULO,DESCRIPCION,CANTIDAD) VALUES "
                                  "('RM','X',0,%1,%2,'A1',%3,%4)")
                       .arg(c.ValorSQL(sec, N), c.ValorSQL(f, Q), c.ValorSQL(texto, Q),
                            c.ValorSQL(cantidad, N)));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM V_MV_Stock ORDER BY SECUENCIA"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("Fecha")).Value(), fecha);
    EXPECT_EQ(rs->Fields(QStringLiteral("DESCRIPCION")).Value(), texto);
    const Variant leida = rs->Fields(QStringLiteral("Cantidad")).Value();
    EXPECT_EQ(leida.tipo(), Variant::Tipo::Decimal);
    EXPECT_EQ(leida.Texto(), QStringLiteral("-12345678901234.5678"));
    rs->MoveNext();
    EXPECT_EQ(rs->Fields(QStringLiteral("FECHA")).Value(), conHora);
}

TEST_F(Odbc, DefinedSizeFollowsTheColumnTypes) {
    c.Ejecutar(QStringLiteral("CREATE TABLE TIPOS (V40 VARCHAR(40), C4 CHAR(4), I INTEGER, "
                              "S SMALLINT, B BIGINT, D DOUBLE PRECISION, N NUMERIC(18,4), "
                              "F TIMESTAMP, DT DATE)"));
    c.Ejecutar(QStringLiteral("INSERT INTO TIPOS VALUES ('a','b',1,2,3,0.5,1.25,'20030301',"
                              "'20030302')"));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS"), rs);
    const std::pair<const char*, long> esperados[] = {{"V40", 40}, {"C4", 4}, {"I", 4},
                                                      {"S", 2},    {"B", 8},  {"D", 8},
                                                      {"N", 18},   {"F", 16}, {"DT", 6}};
    for (const auto& [nombre, tamano] : esperados)
        EXPECT_EQ(rs->Fields(QString::fromLatin1(nombre)).DefinedSize(), tamano) << nombre;
    // Names come back in lower case from the server and are found in any case.
    EXPECT_EQ(rs->Fields(QStringLiteral("V40")).Name(), QStringLiteral("v40"));
    EXPECT_EQ(rs->Fields(QStringLiteral("C4")).Value().Texto(), QStringLiteral("b   "));
    EXPECT_EQ(rs->Fields(QStringLiteral("I")).Value(), Variant(qint64(1)));
    EXPECT_EQ(rs->Fields(QStringLiteral("D")).Value(), Variant(0.5));
    EXPECT_EQ(rs->Fields(QStringLiteral("DT")).Value(), Variant::Fecha(QDate(2003, 3, 2)));
}

TEST_F(Odbc, TheServerReadsTheCutoffLiteralDayFirst) {
    EXPECT_EQ(Pruebas::NotasDespuesDelCorte(c, {{"CORTE", "2003-03-01"},
                                               {"CORTE10", "2003-03-01 10:00"},
                                               {"FEBRERO", "2003-02-15"},
                                               {"DIASIG", "2003-03-02"}}),
              (QStringList{QStringLiteral("CORTE10"), QStringLiteral("DIASIG")}));
}

TEST_F(Odbc, ARefusedStatementCarriesTheServersMessage) {
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','1')"));
    try {
        c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','2')"));
        FAIL() << "la clave repetida no falló";
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::BaseDeDatos);
        EXPECT_TRUE(f.Descripcion().contains(QStringLiteral("duplicate key"))) << f.what();
    }
}

TEST_F(Odbc, InsideATransactionARefusedStatementUndoesOnlyItself) {
    c.BeginTrans();
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','1')"));
    EXPECT_THROW(c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','2')")),
                 Falla);
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','B','3')"));
    c.CommitTrans();
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT CLAVE, VALOR FROM TA_CONFIGURACION ORDER BY CLAVE"), rs);
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Fields(QStringLiteral("VALOR")).Value().Texto(), QStringLiteral("1"));

    c.BeginTrans();
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','C','4')"));
    c.RollbackTrans();
    c.AbrirRecordset(QStringLiteral("SELECT count(*) AS N FROM TA_CONFIGURACION"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("N")).Value().Entero(), 2);

    // The first statement of a transaction refused: the ones after it still count.
    c.BeginTrans();
    EXPECT_THROW(c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','5')")),
                 Falla);
    EXPECT_TRUE(c.TransaccionAbierta());
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','D','6')"));
    c.CommitTrans();
    c.AbrirRecordset(QStringLiteral("SELECT count(*) AS N FROM TA_CONFIGURACION"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("N")).Value().Entero(), 3);
}

TEST_F(Odbc, UpdatableRecordsetsWriteThroughTheServersPrimaryKey) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TA_CONFIGURACION WHERE CLAVE = 'K'"), rs,
                     nullptr, 2, 3, -1);
    rs->AddNew();
    rs->Fields(QStringLiteral("GRUPO")).AsignarValor(QStringLiteral("DATOS"));
    rs->Fields(QStringLiteral("CLAVE")).AsignarValor(QStringLiteral("K"));
    rs->Fields(QStringLiteral("VALOR")).AsignarValor(QStringLiteral("SI"));
    rs->Update();
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TA_CONFIGURACION WHERE CLAVE = 'K'"), rs,
                     nullptr, 2, 3, -1);
    rs->Fields(QStringLiteral("VALOR")).AsignarValor(QStringLiteral("NO"));
    rs->Update();
    EXPECT_EQ(c.ClavePrimaria(QStringLiteral("TA_CONFIGURACION")).size(), 2);
    c.AbrirRecordset(QStringLiteral("SELECT VALOR FROM TA_CONFIGURACION"), rs);
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields(QStringLiteral("VALOR")).Value().Texto(), QStringLiteral("NO"));
}

TEST_F(Odbc, AHostNameUsesTheDriverAndPortOfTheIniFile) {
    carpeta.Escribir(QStringLiteral("KD000pr.INI"),
                     QStringLiteral("[ODBC]\r\nDriver=PostgreSQL Unicode\r\nPuerto=%1\r\n")
                         .arg(qEnvironmentVariable("REMITOS_PG_PUERTO", QStringLiteral("5432"))));
    Conexion porHost;
    porHost.Servidor = QStringLiteral("127.0.0.1");
    porHost.BaseDatos = base->Nombre();
    porHost.Usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    porHost.Conectar(false, 3);
    ASSERT_TRUE(porHost.Conectada()) << porHost.UltimoError().toStdString();
    EXPECT_TRUE(porHost.CadenaConexion().startsWith(QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;")))
        << porHost.CadenaConexion().toStdString();
    RefRecordset rs;
    porHost.AbrirRecordset(QStringLiteral("SELECT current_database() AS BASE"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("base")).Value().Texto(), base->Nombre());
}

TEST_F(Odbc, ADatabaseThatDoesNotExistIsReportedWithTheDriversMessage) {
    Conexion otra;
    otra.Servidor = Pruebas::BasePostgres::Dsn();
    otra.BaseDatos = QStringLiteral("no_existe_esta_base");
    otra.Usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    otra.Conectar(false, 3);
    EXPECT_FALSE(otra.Conectada());
    EXPECT_TRUE(otra.UltimoError().contains(QStringLiteral("no_existe_esta_base")))
        << otra.UltimoError().toStdString();
}

TEST_F(Odbc, LongTextsAndNullsAreReadWhole) {
    c.Ejecutar(QStringLiteral("CREATE TABLE LARGOS (N INTEGER, T TEXT, V VARCHAR(10))"));
    const QString largo = QString(20000, u'ñ') + QStringLiteral("fin");
    c.Ejecutar(QStringLiteral("INSERT INTO LARGOS VALUES (1, %1, 'corto')").arg(c.ValorSQL(largo, Q)));
    c.Ejecutar(QStringLiteral("INSERT INTO LARGOS VALUES (2, NULL, NULL)"));
    for (int i = 3; i <= 200; ++i)
        c.Ejecutar(QStringLiteral("INSERT INTO LARGOS VALUES (%1, 'x', 'y')").arg(i));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM LARGOS ORDER BY N"), rs);
    EXPECT_EQ(rs->RecordCount(), 200);
    EXPECT_EQ(rs->Fields(QStringLiteral("T")).Value().Texto(), largo);
    EXPECT_EQ(rs->Fields(QStringLiteral("V")).Value().Texto(), QStringLiteral("corto"));
    rs->MoveNext();
    EXPECT_TRUE(rs->Fields(QStringLiteral("T")).Value().EsNulo());
    EXPECT_TRUE(rs->Fields(QStringLiteral("V")).Value().EsNulo());
    rs->MoveNext();
    EXPECT_EQ(rs->Fields(QStringLiteral("N")).Value(), Variant(qint64(3)));
}

TEST_F(Odbc, TheDemoDataLoadsOnTheServerToo) {
    const auto resumen = BaseEmbebida::CargarDemostracion(c, 40);
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT count(*) AS N FROM V_MV_Cpte WHERE TC = 'RM'"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("N")).Value().Entero(), resumen.notas);
    EXPECT_EQ(resumen.notas, 40);
}

// A server that takes connections and never says a word: a socket listening on 127.0.0.1
// whose connections the kernel completes but nobody reads.
class ServidorMudo {
public:
    ServidorMudo() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in direccion{};
        direccion.sin_family = AF_INET;
        direccion.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t largo = sizeof direccion;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&direccion), largo) == 0 &&
            ::listen(fd_, 8) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&direccion), &largo) == 0)
            puerto_ = ntohs(direccion.sin_port);
    }
    ~ServidorMudo() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Puerto() const { return puerto_; }

private:
    int fd_ = -1;
    int puerto_ = 0;
};

TEST(EsperaDeConexion, AServerThatNeverAnswersIsGivenUpAfterTheIniFilesTime) {
    REQUIERE_POSTGRES(); // for the driver's configuration
    Pruebas::CarpetaPrueba carpeta;
    ServidorMudo mudo;
    ASSERT_NE(mudo.Puerto(), 0);
    carpeta.Escribir(QStringLiteral("KD000pr.INI"),
                     QStringLiteral("[ODBC]\r\nPuerto=%1\r\nEsperaConexion=2\r\n").arg(mudo.Puerto()));
    Conexion c;
    c.Servidor = QStringLiteral("127.0.0.1");
    c.BaseDatos = QStringLiteral("remitos");
    c.Usuario = QStringLiteral("postgres");
    QElapsedTimer reloj;
    reloj.start();
    c.Conectar(false, 3);
    const qint64 ms = reloj.elapsed();
    EXPECT_FALSE(c.Conectada());
    // Two seconds asked for: the driver counts whole seconds, and the machine may be slow.
    EXPECT_GE(ms, 1000);
    EXPECT_LT(ms, 10000);
    EXPECT_TRUE(c.UltimoError().startsWith(QStringLiteral("No se puede conectar con el servidor 127.0.0.1: ")))
        << c.UltimoError().toStdString();
}

TEST(OrdenDeFechas, AServerThatCannotBeMadeToReadDatesDayFirstIsRefused) {
    REQUIERE_POSTGRES(); // for the drivers' configuration
    Pruebas::CarpetaPrueba carpeta;
    // An SQLite file reached through its ODBC driver: a server that has no day-first setting.
    const QString ruta = Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("otra.db"));
    carpeta.Escribir(QStringLiteral("KD000pr.INI"), QStringLiteral("[ODBC]\r\nDriver=SQLite3\r\n"));
    Conexion c;
    c.Servidor = QStringLiteral("localhost");
    c.BaseDatos = ruta;
    c.Conectar(false, 3);
    EXPECT_FALSE(c.Conectada());
    EXPECT_TRUE(c.UltimoError().startsWith(QStringLiteral("No se puede conectar con el servidor "
                                                          "localhost: el servidor no lee la fecha "
                                                          "'01/03/2003' como 1 de marzo de 2003")))
        << c.UltimoError().toStdString();
    EXPECT_THROW(c.Ejecutar(QStringLiteral("SELECT 1")), Falla);
}

} // namespace
