#include "Ayudas.h"
#include "Conexion.h"
#include "Falla.h"
#include "Recordset.h"

#include <gtest/gtest.h>

namespace {

using Pruebas::NumeroDeFalla;

const QString Q = QStringLiteral("'");
const QString N = QStringLiteral("@");

TEST(ValorSQL, TextsAreQuotedWithInnerQuotesDoubled) {
    Conexion c;
    EXPECT_EQ(c.ValorSQL(QStringLiteral("D'Angelo y 'Cía'"), Q),
              QStringLiteral("'D''Angelo y ''Cía'''"));
    EXPECT_EQ(c.ValorSQL(QStringLiteral("   1"), Q), QStringLiteral("'   1'"));
    EXPECT_EQ(c.ValorSQL(QString(), Q), QStringLiteral("''"));
    EXPECT_EQ(c.ValorSQL(Variant::Nulo(), Q), QStringLiteral("NULL"));
    EXPECT_EQ(c.ValorSQL(Variant::Nulo(), N), QStringLiteral("NULL"));
}

TEST(ValorSQL, NumbersKeepEveryDigitWithAPeriod) {
    Conexion c;
    EXPECT_EQ(c.ValorSQL(Variant::Decimal(QStringLiteral("-12345678901234.5678")), N),
              QStringLiteral("-12345678901234.5678"));
    EXPECT_EQ(c.ValorSQL(Variant::Decimal(QStringLiteral("0.1000")), N), QStringLiteral("0.1000"));
    EXPECT_EQ(c.ValorSQL(qint64(3), N), QStringLiteral("3"));
    EXPECT_EQ(c.ValorSQL(0.1, N), QStringLiteral("0.1"));
    EXPECT_EQ(c.ValorSQL(QStringLiteral(" +2.50 "), N), QStringLiteral("2.50"));
    EXPECT_EQ(c.ValorSQL(Variant(), N), QStringLiteral("0"));
}

TEST(ValorSQL, ANonNumberUnderTheNumericMarkIsRefused) {
    Conexion c;
    for (const QString& texto : {QStringLiteral("1,5"), QStringLiteral("abc"), QString(),
                                 QStringLiteral("1; DROP TABLE V_MV_Stock"),
                                 QStringLiteral("0x10"), QStringLiteral("1e")})
        EXPECT_EQ(NumeroDeFalla([&] { c.ValorSQL(texto, N); }), Errores::TiposNoCoinciden)
            << texto.toStdString();
    EXPECT_EQ(NumeroDeFalla([&] { c.ValorSQL(std::numeric_limits<double>::infinity(), N); }),
              Errores::Desbordamiento);
    EXPECT_EQ(NumeroDeFalla([&] { c.ValorSQL(Variant::Fecha(QDate(2003, 3, 1)), N); }),
              Errores::TiposNoCoinciden);
    EXPECT_EQ(NumeroDeFalla([&] { c.ValorSQL(qint64(1), QStringLiteral("#")); }),
              Errores::ArgumentoNoValido);
}

TEST(ValorSQL, DatesOverOdbcCannotBeMisread) {
    Conexion sinConectar; // renders as for a server
    EXPECT_EQ(sinConectar.ValorSQL(Variant::Fecha(QDate(2003, 3, 1)), Q),
              QStringLiteral("'20030301'"));
    EXPECT_EQ(sinConectar.ValorSQL(Variant::Fecha(QDate(2003, 3, 1), QTime(14, 5, 9)), Q),
              QStringLiteral("'2003-03-01T14:05:09'"));
    EXPECT_EQ(sinConectar.ValorSQL(Variant::Fecha(QDate(2003, 3, 1), QTime(14, 5, 9, 250)), Q),
              QStringLiteral("'2003-03-01T14:05:09.250'"));
}

TEST(ValorSQL, ADateWhoseYearDoesNotFitFourDigitsIsRefusedNotMisspelled) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion sinConectar; // renders as for a server
    Conexion embebida;
    Pruebas::ConectarSqlite(embebida, Pruebas::CrearBaseSqlite(carpeta));
    // Written with four digits, 12345 would name 1 March 2345 and -44 a malformed literal.
    for (const QDate& dia : {QDate(12345, 3, 1), QDate(10000, 1, 1), QDate(-44, 3, 15),
                             QDate(-8404929, 9, 5)}) {
        for (const Variant& fecha :
             {Variant::Fecha(dia), Variant::Fecha(dia, QTime(0, 12, 11, 274))}) {
            EXPECT_EQ(NumeroDeFalla([&] { sinConectar.ValorSQL(fecha, Q); }),
                      Errores::Desbordamiento)
                << dia.year();
            EXPECT_EQ(NumeroDeFalla([&] { embebida.ValorSQL(fecha, Q); }),
                      Errores::Desbordamiento)
                << dia.year();
        }
    }
    EXPECT_EQ(NumeroDeFalla([&] { sinConectar.ValorSQL(Variant(QDateTime()), Q); }),
              Errores::Desbordamiento);
    // The edges of the range still render.
    EXPECT_EQ(sinConectar.ValorSQL(Variant::Fecha(QDate(1, 1, 1)), Q), QStringLiteral("'00010101'"));
    EXPECT_EQ(embebida.ValorSQL(Variant::Fecha(QDate(9999, 12, 31)), Q),
              QStringLiteral("'9999-12-31'"));
}

TEST(ValorSQL, DatesOnTheEmbeddedDatabaseAreIsoTextAndRoundTrip) {
    Pruebas::CarpetaPrueba carpeta;
    const QString ruta = Pruebas::CrearBaseSqlite(carpeta);
    Conexion c;
    Pruebas::ConectarSqlite(c, ruta);
    const Variant fecha = Variant::Fecha(QDate(2003, 3, 1));
    const Variant conHora = Variant::Fecha(QDate(2024, 12, 31), QTime(23, 59, 58));
    EXPECT_EQ(c.ValorSQL(fecha, Q), QStringLiteral("'2003-03-01'"));
    EXPECT_EQ(c.ValorSQL(conHora, Q), QStringLiteral("'2024-12-31 23:59:58'"));

    const Variant descripcion = QStringLiteral("Tornillo 1/2\" de 'acero' — ñ");
    const Variant cantidad = Variant::Decimal(QStringLiteral("-1234567.125"));
    c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Stock (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,"
                              "FECHA,IDARTICULO,DESCRIPCION,CANTIDAD) VALUES ('RM','X',0,1,%1,"
                              "'A1',%2,%3)")
                   .arg(c.ValorSQL(conHora, Q), c.ValorSQL(descripcion, Q),
                        c.ValorSQL(cantidad, N)));
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT FECHA, DESCRIPCION, CANTIDAD FROM V_MV_Stock"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("fecha")).Value(), conHora);
    EXPECT_EQ(rs->Fields(QStringLiteral("Descripcion")).Value(), descripcion);
    EXPECT_EQ(rs->Fields(QStringLiteral("CANTIDAD")).Value().Texto(), cantidad.Texto());
}

} // namespace
