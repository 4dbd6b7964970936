#include "Ayudas.h"
#include "ColacionFecha.h"
#include "Conexion.h"
#include "Recordset.h"

#include <QSqlQuery>
#include <gtest/gtest.h>

namespace {

int Comparar(const char* a, const char* b) {
    return ColacionFecha::Comparar(a, int(strlen(a)), b, int(strlen(b)));
}

TEST(ColacionFecha, DayFirstLiteralsAndIsoTextDenoteTheSameDay) {
    EXPECT_EQ(Comparar("2003-03-01", "01/03/2003"), 0);
    EXPECT_EQ(Comparar("2003-03-01 00:00:00", "01/03/2003"), 0);
    EXPECT_EQ(Comparar("20030301", "1/3/2003"), 0);
    EXPECT_EQ(Comparar("2003-03-01T00:00:00.000", "01-03-2003"), 0);
    EXPECT_EQ(Comparar("01.03.03", "2003-03-01"), 0);
    EXPECT_EQ(Comparar("01/03/99", "1999-03-01"), 0);
    EXPECT_GT(Comparar("2003-03-02", "01/03/2003"), 0);
    // Read month first, '01/03/2003' would be 3 January and February would come after it.
    EXPECT_LT(Comparar("2003-02-15", "01/03/2003"), 0);
    EXPECT_GT(Comparar("2003-03-01 10:00:00", "01/03/2003"), 0);
    EXPECT_GT(Comparar("2003-03-01 00:00:00.001", "01/03/2003"), 0);
    EXPECT_LT(Comparar("2002-12-31 23:59:59", "01/03/2003"), 0);
}

TEST(ColacionFecha, TextsThatAreNoDateSortAfterEveryDateInATotalOrder) {
    const char* muestras[] = {"2003-03-01", "01/03/2003", "2003-02-30", "31/04/2003", "",
                              "abc",        "2003-03-01 25:00", "9999-12-31 23:59:59",
                              "0001-01-01", "2003-3-1", "  2003-03-01  ", "2003-03-01x",
                              "ABC",        "01/13/2003", "2003-03-01 10:00"};
    for (const char* a : muestras)
        for (const char* b : muestras) {
            EXPECT_EQ(Comparar(a, b), -Comparar(b, a)) << a << " | " << b;
            for (const char* c : muestras) {
                if (Comparar(a, b) <= 0 && Comparar(b, c) <= 0) {
                    EXPECT_LE(Comparar(a, c), 0) << a << " | " << b << " | " << c;
                }
            }
        }
    EXPECT_GT(Comparar("2003-02-30", "9999-12-31"), 0);
    EXPECT_GT(Comparar("abc", "01/03/2003"), 0);
    EXPECT_FALSE(ColacionFecha::Instante("31/04/2003", 10).has_value());
    EXPECT_FALSE(ColacionFecha::Instante("2004-02-30", 10).has_value());
    EXPECT_TRUE(ColacionFecha::Instante("2004-02-29", 10).has_value());
}

TEST(ColacionFecha, TheSelectionCutoffComparesChronologicallyInTheEmbeddedDatabase) {
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
    Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
    EXPECT_EQ(Pruebas::NotasDespuesDelCorte(
                  c, {{"CORTE", "2003-03-01"}, {"CORTE10", "2003-03-01 10:00:00"},
                      {"DIASIG", "2003-03-02"}, {"FEBRERO", "2003-02-15"},
                      {"ENERO4", "2003-01-04"}, {"ANTERIOR", "2002-12-31"},
                      {"RECIENTE", "2026-11-30 08:00:00"}}),
              (QStringList{QStringLiteral("CORTE10"), QStringLiteral("DIASIG"),
                           QStringLiteral("RECIENTE")}));
}

TEST(ColacionFecha, ConvertsToARealDate) {
    const auto f = ColacionFecha::LeerFecha(QStringLiteral("2003-03-01 10:20:30.5"));
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->date(), QDate(2003, 3, 1));
    EXPECT_EQ(f->time(), QTime(10, 20, 30, 500));
    EXPECT_EQ(ColacionFecha::LeerFecha(QStringLiteral("0001-01-01"))->date(), QDate(1, 1, 1));
    EXPECT_FALSE(ColacionFecha::LeerFecha(QStringLiteral("mañana")).has_value());
}

} // namespace
