// A lookup for a program that only reads: the statements it refuses before the database sees
// them, and a connection opened read-only that refuses to write on its own.
#include "Ayudas.h"
#include "Conexion.h"
#include "Falla.h"
#include "SentenciaDeLectura.h"

#include <gtest/gtest.h>

namespace {

TEST(SentenciaDeLectura, OnlyASingleQueryWithoutWritingWordsReads) {
    struct Caso {
        const char* sentencia;
        const char* motivo; // "" when it only reads
    };
    const Caso casos[] = {
        {"SELECT * FROM V_MA_ARTICULOS WHERE SUSPENDIDO = 0", ""},
        {"  select descripcion from t order by 1;  ", ""},
        {"WITH x AS (SELECT 1 AS A) SELECT A FROM x", ""},
        {"VALUES (1), (2)", ""},
        // Writing words inside texts, quoted names and comments are no words.
        {"SELECT 'DELETE FROM T; INSERT' AS \"into\", [update] FROM T -- drop table T", ""},
        {"SELECT 'it''s; DROP' /* ; DELETE */ FROM T", ""},
        {"SELECT REPLACE(NOMBRE, 'a', 'b') FROM T", ""},
        {"DELETE FROM T", "empieza con DELETE"},
        {"update T set A = 1", "empieza con UPDATE"},
        {"INSERT INTO T VALUES (1)", "empieza con INSERT"},
        {"PRAGMA journal_mode = DELETE", "empieza con PRAGMA"},
        {"SELECT 1; DELETE FROM T", "más de una sentencia"},
        {"SELECT 1;;", "más de una sentencia"},
        {"WITH d AS (DELETE FROM T RETURNING *) SELECT * FROM d", "(DELETE)"},
        {"SELECT * INTO COPIA FROM T", "(INTO)"},
        {"SELECT * FROM T FOR UPDATE", "(UPDATE)"},
        {"", "no hay sentencia"},
        {"-- nada", "no hay sentencia"},
    };
    for (const Caso& caso : casos) {
        const QString motivo = SentenciaDeLectura::PorQueEscribe(QString::fromUtf8(caso.sentencia));
        if (*caso.motivo == 0) {
            EXPECT_TRUE(motivo.isEmpty()) << caso.sentencia << ": " << motivo.toStdString();
        } else {
            EXPECT_TRUE(motivo.contains(QString::fromUtf8(caso.motivo)))
                << caso.sentencia << ": " << motivo.toStdString();
        }
    }
}

// Opened read-only, the connection reads and every write fails, leaving the rows as they were.
void CompruebaSoloLectura(Conexion& lectora, Conexion& escritora) {
    RefRecordset rs;
    lectora.AbrirRecordset(QStringLiteral("SELECT COUNT(*) AS N FROM T"), rs);
    EXPECT_EQ(rs->Fields(0).Value().Texto(), QStringLiteral("2"));
    for (const char* sql : {"DELETE FROM T", "INSERT INTO T VALUES ('c')", "UPDATE T SET A = 'x'",
                            "CREATE TABLE U (A INTEGER)"})
        EXPECT_NE(Pruebas::NumeroDeFalla([&] { lectora.Ejecutar(QString::fromUtf8(sql)); }), 0) << sql;
    RefRecordset cuenta;
    escritora.AbrirRecordset(QStringLiteral("SELECT COUNT(*) AS N FROM T"), cuenta);
    EXPECT_EQ(cuenta->Fields(0).Value().Texto(), QStringLiteral("2"));
}

TEST(ConexionDeSoloLectura, TheEmbeddedDatabaseRefusesToWrite) {
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::NuevoGuion();
    Conexion& escritora = Conexion::Instancia();
    Pruebas::ConectarSqlite(escritora, Pruebas::CrearBaseSqlite(carpeta));
    escritora.Ejecutar(QStringLiteral("CREATE TABLE T (A VARCHAR(10))"));
    escritora.Ejecutar(QStringLiteral("INSERT INTO T VALUES ('a'), ('b')"));
    Conexion lectora;
    lectora.BaseDatos = escritora.BaseDatos;
    lectora.Conectar(true, 1);
    ASSERT_TRUE(lectora.Conectada()) << lectora.UltimoError().toStdString();
    CompruebaSoloLectura(lectora, escritora);
}

TEST(ConexionDeSoloLectura, APostgreSqlSessionRefusesToWrite) {
    REQUIERE_POSTGRES();
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::NuevoGuion();
    Pruebas::BasePostgres base(QStringLiteral("sololectura"));
    Conexion& escritora = Conexion::Instancia();
    base.Conectar(escritora);
    escritora.Ejecutar(QStringLiteral("CREATE TABLE T (A VARCHAR(10))"));
    escritora.Ejecutar(QStringLiteral("INSERT INTO T VALUES ('a'), ('b')"));
    Conexion lectora;
    lectora.Servidor = escritora.Servidor;
    lectora.BaseDatos = escritora.BaseDatos;
    lectora.Usuario = escritora.Usuario;
    lectora.Conectar(false, 1);
    ASSERT_TRUE(lectora.Conectada()) << lectora.UltimoError().toStdString();
    CompruebaSoloLectura(lectora, escritora);
}

} // namespace
