// PostgreSQL through its own client library reads what the ODBC driver reads, column by column
// and value by value, and is the engine a data source of that driver opens.
#include "AlSalir.h"
#include "Ayudas.h"
#include "Conexion.h"
#include "MotorOdbc.h"
#include "MotorPostgres.h"
#include "Recordset.h"

#include <gtest/gtest.h>

namespace {

// The same database opened through the ODBC driver, as the setting forces it.
void ConectarPorOdbc(const Pruebas::BasePostgres& base, Conexion& conexion) {
    qputenv("REMITOS_POSTGRESQL_POR_ODBC", "1");
    AlSalir quitar([] { qunsetenv("REMITOS_POSTGRESQL_POR_ODBC"); });
    base.Conectar(conexion);
}

TEST(MotorPostgres, ADataSourceOfTheDriverOpensTheNativeEngineUnlessOdbcIsForced) {
    REQUIERE_POSTGRES();
    if (Conexion::PostgresPorOdbc())
        GTEST_SKIP() << "esta corrida de las pruebas fuerza ODBC";
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::BasePostgres base(QStringLiteral("remitos_motor"));
    Conexion nativa, porOdbc;
    base.Conectar(nativa);
    ConectarPorOdbc(base, porOdbc);
    EXPECT_NE(dynamic_cast<MotorPostgres*>(nativa.MotorActual()), nullptr);
    EXPECT_NE(dynamic_cast<MotorOdbc*>(porOdbc.MotorActual()), nullptr);
    // The INI file's setting forces it as well.
    carpeta.Escribir(QStringLiteral("KD000pr.INI"), QStringLiteral("[ODBC]\r\nPostgreSQLPorODBC=1\r\n"));
    Conexion porIni;
    base.Conectar(porIni);
    EXPECT_NE(dynamic_cast<MotorOdbc*>(porIni.MotorActual()), nullptr);
}

TEST(MotorPostgres, ReadsEveryColumnAsTheOdbcDriverDoes) {
    REQUIERE_POSTGRES();
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::BasePostgres base(QStringLiteral("remitos_lectura"));
    Conexion nativa, porOdbc;
    base.Conectar(nativa);
    ConectarPorOdbc(base, porOdbc);
    nativa.Ejecutar(QStringLiteral(
        "CREATE TABLE T (N INTEGER, B BOOLEAN, TX TEXT, V VARCHAR, V7 VARCHAR(7), C3 CHAR(3), "
        "NU NUMERIC, N184 NUMERIC(18,4), I2 SMALLINT, I8 BIGINT, F4 REAL, F8 DOUBLE PRECISION, "
        "D DATE, TS TIMESTAMP(6), TM TIME, BY BYTEA, U UUID)"));
    nativa.Ejecutar(QStringLiteral(
        "INSERT INTO T VALUES (1, true, 'ñandú ''x'' \\ fin', 'v', 'siete77', 'ab', "
        "123456789012345678901234.123456789, -2.5, -32768, 9223372036854775807, 0.1, 0.1, "
        "'2024-02-29', '2024-02-29 23:59:58.987654', '10:11:12.5', '\\x00ff41', "
        "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'), (2, false, '', '', '', '', 0, 0, 0, 0, "
        "-1e-30, 1e300, '0001-01-01', 'infinity', '00:00:00', '', NULL), (3, NULL, NULL, NULL, "
        "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"));
    RefRecordset a, b;
    nativa.AbrirRecordset(QStringLiteral("SELECT * FROM T ORDER BY N"), a);
    porOdbc.AbrirRecordset(QStringLiteral("SELECT * FROM T ORDER BY N"), b);
    ASSERT_EQ(a->FieldCount(), b->FieldCount());
    for (int i = 0; i < a->FieldCount(); ++i) {
        const Columna& x = a->ColumnaEn(i);
        const Columna& y = b->ColumnaEn(i);
        EXPECT_EQ(x.nombre, y.nombre);
        EXPECT_EQ(x.tamano, y.tamano) << x.nombre.toStdString();
        EXPECT_EQ(int(x.tipo), int(y.tipo)) << x.nombre.toStdString();
    }
    ASSERT_EQ(a->RecordCount(), b->RecordCount());
    for (; !a->Eof(); a->MoveNext(), b->MoveNext())
        for (int i = 0; i < a->FieldCount(); ++i) {
            const Variant x = a->Fields(i).Value();
            const Variant y = b->Fields(i).Value();
            EXPECT_EQ(int(x.tipo()), int(y.tipo())) << a->ColumnaEn(i).nombre.toStdString();
            EXPECT_EQ(x, y) << a->ColumnaEn(i).nombre.toStdString() << " fila "
                            << a->Fields(0).Value().Entero();
        }
}

} // namespace
