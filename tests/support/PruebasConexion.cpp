#include "Ayudas.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "Recordset.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

TEST(ConexionEmbebida, AMissingFileIsAFailureAndIsNeverCreated) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    c.BaseDatos = QStringLiteral("no-existe.db");
    c.Conectar(true, 3);
    EXPECT_FALSE(c.Conectada());
    EXPECT_TRUE(c.UltimoError().contains(carpeta.Archivo(QStringLiteral("no-existe.db"))))
        << c.UltimoError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(carpeta.Archivo(QStringLiteral("no-existe.db"))));
}

TEST(ConexionEmbebida, AFileThatIsNoDatabaseIsReportedWithTheEnginesMessage) {
    Pruebas::CarpetaPrueba carpeta;
    carpeta.Escribir(QStringLiteral("roto.db"), QString(4096, u'x'));
    Conexion c;
    c.BaseDatos = QStringLiteral("roto.db");
    c.Conectar(true, 3);
    EXPECT_FALSE(c.Conectada());
    EXPECT_TRUE(c.UltimoError().contains(QStringLiteral("not a database")))
        << c.UltimoError().toStdString();
}

TEST(ConexionEmbebida, NamesAreRelativeToTheApplicationFolderAndBlankMeansTheDefaultFile) {
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    Conexion c;
    c.BaseDatos = QStringLiteral("   ");
    c.Conectar(true, 3);
    ASSERT_TRUE(c.Conectada()) << c.UltimoError().toStdString();
    EXPECT_EQ(c.DialectoSQL(), Dialecto::Embebido);
    EXPECT_TRUE(c.CadenaConexion().contains(carpeta.Archivo(Conexion::ArchivoPorDefecto())));
    EXPECT_EQ(Conexion::RutaEmbebida(QStringLiteral("sub/x.db")), carpeta.Archivo(QStringLiteral("sub/x.db")));
    EXPECT_EQ(Conexion::RutaEmbebida(QStringLiteral("/abs/x.db")), QStringLiteral("/abs/x.db"));
}

// A database in WAL mode on a file system mounted read-only: one closed cleanly (nothing
// beside it), and one copied while its last change still waited in its WAL file.
TEST(ConexionEmbebida, OnAReadOnlyFileSystemItIsReadAndWritingIsRefusedSayingWhy) {
    Pruebas::CarpetaPrueba carpeta;
    const QString montada = carpeta.Archivo(QStringLiteral("ro"));
    Pruebas::Montaje montaje(montada, "size=4m,mode=0755");
    REQUIERE_MONTAJE(montaje);
    const QString fila = QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','1')");
    {
        Conexion c;
        Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("ro/limpia.db")));
        c.Ejecutar(fila);
    }
    const QString origen = Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("pendiente.db"));
    sqlite3* base = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(origen).constData(), &base), SQLITE_OK);
    sqlite3_exec(base, "PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr);
    ASSERT_EQ(sqlite3_exec(base, fila.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    for (const char* parte : {"", "-wal", "-shm"})
        ASSERT_TRUE(QFile::copy(origen + QLatin1String(parte),
                                montada + QStringLiteral("/pendiente.db") + QLatin1String(parte)));
    sqlite3_close(base);
    ASSERT_GT(QFileInfo(montada + QStringLiteral("/pendiente.db-wal")).size(), 0);
    ASSERT_TRUE(montaje.Remontar("size=4m", true)) << montaje.Error().toStdString();

    const QString soloLectura = QStringLiteral("es de sólo lectura");
    EXPECT_TRUE(Entorno::PorQueNoSePuedeEscribir(montada + QStringLiteral("/limpia.db")).contains(soloLectura));
    EXPECT_TRUE(Entorno::PorQueNoSePuedeEscribir(montada + QStringLiteral("/nuevo.log")).contains(soloLectura));
    for (const char* nombre : {"limpia.db", "pendiente.db"}) {
        Conexion lectora;
        lectora.BaseDatos = montada + u'/' + QLatin1String(nombre);
        lectora.Conectar(true, 1);
        ASSERT_TRUE(lectora.Conectada()) << nombre << ": " << lectora.UltimoError().toStdString();
        RefRecordset rs;
        lectora.AbrirRecordset(QStringLiteral("SELECT COUNT(*) AS N FROM TA_CONFIGURACION"), rs);
        EXPECT_EQ(rs->Fields(0).Value().Texto(), QStringLiteral("1")) << nombre;

        Conexion escritora;
        escritora.BaseDatos = lectora.BaseDatos;
        escritora.Conectar(true, 3);
        EXPECT_FALSE(escritora.Conectada()) << nombre;
        EXPECT_TRUE(escritora.UltimoError().contains(soloLectura)) << escritora.UltimoError().toStdString();
    }
}

TEST(ConexionEmbebida, ARefusedStatementCarriesTheEnginesMessageAndChangesAreCounted) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','A','1')"));
    try {
        c.Ejecutar(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('DATOS','a','2')"));
        FAIL() << "la clave repetida no falló";
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::BaseDeDatos);
        EXPECT_TRUE(f.Descripcion().contains(QStringLiteral("UNIQUE"))) << f.what();
    }
    EXPECT_EQ(c.EjecutarContando(QStringLiteral("UPDATE TA_CONFIGURACION SET VALOR = '3'")), 1);
}

TEST(ConexionEmbebida, WithoutAConnectionEveryStatementFails) {
    Conexion c;
    RefRecordset rs;
    EXPECT_THROW(c.Ejecutar(QStringLiteral("SELECT 1")), Falla);
    EXPECT_THROW(c.AbrirRecordset(QStringLiteral("SELECT 1"), rs), Falla);
    EXPECT_THROW(c.BeginTrans(), Falla);
}

TEST(ConexionEmbebida, TheDemoDatabaseHoldsPlausibleNotes) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("demo.db"), 300));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral(
        "SELECT (SELECT count(*) FROM V_MV_Cpte WHERE TC = 'RM') AS NOTAS,"
        " (SELECT count(*) FROM V_MV_Cpte WHERE TC = 'RM' AND ANULADA <> 0) AS ANULADAS,"
        " (SELECT count(*) FROM V_MV_Cpte WHERE TC = 'RM' AND NOT (FECHA > '01/03/2003')) AS VIEJAS,"
        " (SELECT count(DISTINCT IDCOMPROBANTE) FROM V_MV_Stock) AS EN_STOCK,"
        " (SELECT count(*) FROM V_MV_Cpte WHERE TC <> 'RM') AS OTRAS,"
        " (SELECT max(n) FROM (SELECT count(*) AS n FROM V_Mv_CpteInsumos GROUP BY TC, IDCOMPROBANTE, IDCOMPLEMENTO)) AS MAXIMO,"
        " (SELECT min(n) FROM (SELECT count(*) AS n FROM V_Mv_CpteInsumos GROUP BY TC, IDCOMPROBANTE, IDCOMPLEMENTO)) AS MINIMO,"
        " (SELECT count(*) FROM VT_CLIENTES) AS CLIENTES"),
                     rs);
    auto n = [&](const char* campo) { return rs->Fields(QString::fromLatin1(campo)).Value().Entero(); };
    EXPECT_EQ(n("NOTAS"), 300);
    EXPECT_GT(n("ANULADAS"), 0);
    EXPECT_GT(n("VIEJAS"), 0);
    EXPECT_GT(n("EN_STOCK"), 0);
    EXPECT_GT(n("OTRAS"), 0);
    EXPECT_EQ(n("MINIMO"), 1);
    EXPECT_LE(n("MAXIMO"), 9);
    EXPECT_GT(n("CLIENTES"), 0);
}

TEST(ConexionEmbebida, CreatingOverAnExistingFileIsRefusedAndLeavesItAlone) {
    Pruebas::CarpetaPrueba carpeta;
    carpeta.Escribir(QStringLiteral("ocupado.db"), QStringLiteral("datos valiosos"));
    EXPECT_THROW(Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("ocupado.db")), Falla);
    QFile f(carpeta.Archivo(QStringLiteral("ocupado.db")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("datos valiosos"));
}

} // namespace
