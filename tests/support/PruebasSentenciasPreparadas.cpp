#include "Ayudas.h"
#include "Conexion.h"
#include "MotorEmbebido.h"
#include "Falla.h"
#include "Recordset.h"
#include "SentenciasPreparadas.h"

#include <QSqlDriver>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using L = SentenciasPreparadas::Literal;

TEST(SentenciasPreparadas, ASingleRowLiteralInsertIsSplitIntoShapeAndValues) {
    const auto forma = SentenciasPreparadas::Descomponer(
        "INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,SECUENCIA,CANTIDAD,COSTO,FECHA,CUENTA)  VALUES "
        "('RM','O''Higgins',-3,-2.50,1e3,NULL,'   1')");
    ASSERT_TRUE(forma.has_value());
    EXPECT_EQ(forma->texto, QByteArray("INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,SECUENCIA,CANTIDAD,"
                                       "COSTO,FECHA,CUENTA) VALUES (?,?,?,CAST(? AS REAL),CAST(? AS "
                                       "REAL),?,?)"));
    ASSERT_EQ(forma->valores.size(), 7);
    EXPECT_EQ(forma->valores[1].texto, QByteArray("O'Higgins"));
    EXPECT_EQ(forma->valores[2].tipo, L::Tipo::Entero);
    EXPECT_EQ(forma->valores[2].entero, -3);
    EXPECT_EQ(forma->valores[3].tipo, L::Tipo::Real);
    EXPECT_EQ(forma->valores[3].texto, QByteArray("-2.50"));
    EXPECT_EQ(forma->valores[5].tipo, L::Tipo::Nulo);
    EXPECT_EQ(forma->valores[6].texto, QByteArray("   1"));
}

TEST(SentenciasPreparadas, AnythingElseIsLeftAlone) {
    for (const char* sql :
         {"INSERT INTO T (A) VALUES (1), (2)", "INSERT INTO T (A) SELECT 1",
          "INSERT INTO T VALUES (1)", "INSERT INTO T (A,B) VALUES (1)",
          "INSERT INTO T (A) VALUES (1) -- comentario", "INSERT INTO T (A) VALUES (1); DELETE FROM T",
          "INSERT INTO \"T\" (A) VALUES (1)", "INSERT INTO T (A) VALUES (X'00')",
          "INSERT INTO T (A) VALUES (0x10)", "INSERT INTO T (A) VALUES ('sin cerrar)",
          "INSERT INTO T (A) VALUES (1+1)", "UPDATE T SET A = 1", "SELECT 1", ""})
        EXPECT_FALSE(SentenciasPreparadas::Descomponer(sql).has_value()) << sql;
}

// Every literal must mean through the kept statement exactly what it means in the text: the
// same kind and the same value, whatever the column's declared type.
TEST(SentenciasPreparadas, ValuesKeepTheMeaningOfTheirLiterals) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    const char* tipos[] = {"TEXT", "INTEGER", "NUMERIC", "DECIMAL(18,4)", "REAL", ""};
    const char* literales[] = {"5",      "-5",     "5.0",    "-2.50",  "0.1",
                               "1e3",    "1.5e-7", "12345678901234.5678",
                               "99999999999999999999", "-9223372036854775808", "'5'",
                               "'5.50'", "'texto'", "''",     "NULL",   "'ñandú ''x'''",
                               "123456789012345678", "-0.0", ".5"};
    for (const char* tipo : tipos) {
        c.Ejecutar(QStringLiteral("DROP TABLE IF EXISTS A"));
        c.Ejecutar(QStringLiteral("DROP TABLE IF EXISTS B"));
        c.Ejecutar(QStringLiteral("CREATE TABLE A (N INTEGER, V %1)").arg(QLatin1String(tipo)));
        c.Ejecutar(QStringLiteral("CREATE TABLE B (N INTEGER, V %1)").arg(QLatin1String(tipo)));
        sqlite3* h = static_cast<MotorEmbebido*>(c.MotorActual())->Manejador();
        int n = 0;
        for (const char* literal : literales) {
            ++n;
            // A: the engine parses the text; B: through the kept statement of its shape.
            const QByteArray texto = QByteArray("INSERT INTO A (N, V) VALUES (") +
                                     QByteArray::number(n) + ", " + literal + ")";
            ASSERT_EQ(sqlite3_exec(h, texto.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            c.Ejecutar(QStringLiteral("INSERT INTO B (N, V) VALUES (%1, %2)")
                           .arg(n)
                           .arg(QString::fromUtf8(literal)));
        }
        // B's rows did go through kept statements.
        int guardadas = 0;
        for (sqlite3_stmt* s = sqlite3_next_stmt(h, nullptr); s; s = sqlite3_next_stmt(h, s))
            if (QByteArray(sqlite3_sql(s)).startsWith("INSERT INTO B (N,V) VALUES (?,"))
                ++guardadas;
        EXPECT_GE(guardadas, 2) << tipo;
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT A.N AS N, typeof(A.V) || ':' || quote(A.V) AS "
                                        "UNO, typeof(B.V) || ':' || quote(B.V) AS OTRO FROM A "
                                        "JOIN B ON A.N = B.N ORDER BY A.N"),
                         rs);
        ASSERT_EQ(rs->RecordCount(), n);
        for (; !rs->Eof(); rs->MoveNext())
            EXPECT_EQ(rs->Fields(QStringLiteral("OTRO")).Value().Texto(),
                      rs->Fields(QStringLiteral("UNO")).Value().Texto())
                << "tipo " << tipo << ", literal "
                << literales[rs->Fields(QStringLiteral("N")).Value().Entero() - 1];
    }
}

TEST(SentenciasPreparadas, ARefusedRowCarriesTheEnginesMessageAndLeavesTheStatementReusable) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    const QString insert = QStringLiteral(
        "INSERT INTO TA_CONFIGURACION (GRUPO,CLAVE,VALOR) VALUES ('DATOS',%1,'1')");
    c.Ejecutar(insert.arg(QStringLiteral("'A'")));
    try {
        c.Ejecutar(insert.arg(QStringLiteral("'a'")));
        FAIL() << "la clave repetida no falló";
    } catch (const Falla& f) {
        EXPECT_TRUE(f.Descripcion().contains(QStringLiteral("UNIQUE"))) << f.what();
    }
    try {
        c.Ejecutar(insert.arg(QStringLiteral("NULL")));
        FAIL() << "la clave nula no falló";
    } catch (const Falla& f) {
        EXPECT_TRUE(f.Descripcion().contains(QStringLiteral("NOT NULL"))) << f.what();
    }
    c.Ejecutar(insert.arg(QStringLiteral("'B'")));
    // The kept statements neither hold locks nor stop the table from changing.
    c.Ejecutar(QStringLiteral("ALTER TABLE TA_CONFIGURACION ADD COLUMN NOTA VARCHAR(10)"));
    c.Ejecutar(insert.arg(QStringLiteral("'C'")));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION"), rs);
    EXPECT_EQ(rs->Fields(0).Value().Entero(), 3);
    sqlite3* h = static_cast<MotorEmbebido*>(c.MotorActual())->Manejador();
    for (sqlite3_stmt* s = sqlite3_next_stmt(h, nullptr); s; s = sqlite3_next_stmt(h, s))
        EXPECT_FALSE(sqlite3_stmt_busy(s));
    c.Ejecutar(QStringLiteral("DROP TABLE TA_CONFIGURACION"));
    EXPECT_THROW(c.Ejecutar(insert.arg(QStringLiteral("'D'"))), Falla);
    c.Desconectar();
}

} // namespace
