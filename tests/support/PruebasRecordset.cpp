#include "Ayudas.h"
#include "Conexion.h"
#include "MotorEmbebido.h"
#include "Falla.h"
#include "Recordset.h"

#include <QSqlDriver>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using Pruebas::NumeroDeFalla;

class Recordsets : public ::testing::Test {
protected:
    void SetUp() override {
        Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
        c.Ejecutar(QStringLiteral(
            "CREATE TABLE TIPOS (V40 VARCHAR(40), C4 CHAR(4), T TEXT, I INTEGER, S SMALLINT, "
            "B BIGINT, D DOUBLE, R REAL, N DECIMAL(18,4), F DATETIME TEXT COLLATE FECHA_DMY, "
            "DT DATE)"));
        c.Ejecutar(QStringLiteral("INSERT INTO TIPOS VALUES ('uno','ab',NULL,1,2,3,0.5,1.5,"
                                  "'123456789.1234','2003-03-01 10:00:00','2003-03-02')"));
        c.Ejecutar(QStringLiteral("INSERT INTO TIPOS (V40, I) VALUES ('dos', 2)"));
    }
    sqlite3* Manejador() {
        return static_cast<MotorEmbebido*>(c.MotorActual())->Manejador();
    }
    Pruebas::CarpetaPrueba carpeta;
    Conexion c;
};

TEST_F(Recordsets, AnEmptyRecordsetIsAtBofAndEofAndHasNoCurrentRow) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS WHERE 1 = 0"), rs);
    EXPECT_TRUE(rs->Bof());
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(NumeroDeFalla([&] { rs->MoveFirst(); }), Errores::SinRegistroActual);
    EXPECT_EQ(NumeroDeFalla([&] { rs->MoveNext(); }), Errores::SinRegistroActual);
    EXPECT_EQ(NumeroDeFalla([&] { rs->Fields(QStringLiteral("V40")).Value(); }),
              Errores::SinRegistroActual);
    EXPECT_EQ(rs->FieldCount(), 11);
}

TEST_F(Recordsets, MovingThroughRowsFollowsTheUsualRules) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS ORDER BY I"), rs);
    EXPECT_FALSE(rs->Bof());
    EXPECT_FALSE(rs->Eof());
    Field v40 = rs->Fields(QStringLiteral("v40"));
    EXPECT_EQ(v40.Name(), QStringLiteral("V40"));
    EXPECT_EQ(v40.Value().Texto(), QStringLiteral("uno"));
    rs->MoveNext();
    // A field kept across a move reads the new current row.
    EXPECT_EQ(v40.Value().Texto(), QStringLiteral("dos"));
    EXPECT_TRUE(rs->Fields(QStringLiteral("T")).Value().EsNulo());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(NumeroDeFalla([&] { rs->MoveNext(); }), Errores::SinRegistroActual);
    EXPECT_EQ(NumeroDeFalla([&] { v40.Value(); }), Errores::SinRegistroActual);
    rs->MoveFirst();
    EXPECT_EQ(v40.Value().Texto(), QStringLiteral("uno"));
    EXPECT_EQ(NumeroDeFalla([&] { rs->Fields(QStringLiteral("NO_EXISTE")); }),
              Errores::CampoInexistente);
    rs->Close();
    EXPECT_EQ(NumeroDeFalla([&] { rs->Eof(); }), Errores::ObjetoCerrado);
}

// The lookup reads texts where the recordset keeps them, and gives the rows back once it has
// gone through them: the fields stay, no row can be reached any more.
TEST_F(Recordsets, TextsReadInPlaceAndRowsGivenBackAtTheEnd) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT V40, T, I FROM TIPOS ORDER BY I"), rs);
    QStringView vista;
    ASSERT_TRUE(rs->TextoEn(0, vista));
    EXPECT_EQ(vista, u"uno");
    ASSERT_TRUE(rs->TextoEn(1, vista)); // null reads as empty
    EXPECT_TRUE(vista.isEmpty());
    EXPECT_FALSE(rs->TextoEn(2, vista)); // a number is not a text
    rs->SoltarFilasLeidas(); // not at the end: nothing happens
    EXPECT_EQ(rs->Fields(0).Value().Texto(), QStringLiteral("uno"));
    rs->MoveNext();
    rs->MoveNext();
    ASSERT_TRUE(rs->Eof());
    rs->SoltarFilasLeidas();
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->FieldCount(), 3);
    EXPECT_EQ(rs->Fields(1).Name(), QStringLiteral("T"));
    EXPECT_EQ(NumeroDeFalla([&] { rs->Fields(0).Value(); }), Errores::SinRegistroActual);
    EXPECT_EQ(NumeroDeFalla([&] { rs->TextoEn(0, vista); }), Errores::SinRegistroActual);
    EXPECT_EQ(NumeroDeFalla([&] { rs->MoveFirst(); }), Errores::SinRegistroActual);
}

TEST_F(Recordsets, DefinedSizeIsCharactersForTextsAndBytesForFixedSizes) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS"), rs);
    const std::pair<const char*, long> esperados[] = {
        {"V40", 40}, {"C4", 4}, {"I", 4},  {"S", 2},  {"B", 8},
        {"D", 8},    {"R", 4},  {"N", 18}, {"F", 16}, {"DT", 6}};
    for (const auto& [nombre, tamano] : esperados)
        EXPECT_EQ(rs->Fields(QString::fromLatin1(nombre)).DefinedSize(), tamano) << nombre;
    EXPECT_GT(rs->Fields(QStringLiteral("T")).DefinedSize(), 255);
}

TEST_F(Recordsets, ValuesComeBackAsTheirKind) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS ORDER BY I"), rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("I")).Value(), Variant(qint64(1)));
    EXPECT_EQ(rs->Fields(QStringLiteral("D")).Value(), Variant(0.5));
    const Variant n = rs->Fields(QStringLiteral("N")).Value();
    EXPECT_EQ(n.tipo(), Variant::Tipo::Decimal);
    EXPECT_EQ(n.Texto(), QStringLiteral("123456789.1234"));
    EXPECT_EQ(rs->Fields(QStringLiteral("F")).Value(),
              Variant::Fecha(QDate(2003, 3, 1), QTime(10, 0)));
    EXPECT_EQ(rs->Fields(QStringLiteral("DT")).Value(), Variant::Fecha(QDate(2003, 3, 2)));
    // An expression has no declared type: its kind comes from its values.
    c.AbrirRecordset(QStringLiteral("SELECT count(*) AS CUANTAS, 'x' || V40 AS TEXTO FROM TIPOS"),
                     rs);
    EXPECT_EQ(rs->Fields(QStringLiteral("CUANTAS")).Value(), Variant(qint64(2)));
    EXPECT_EQ(rs->Fields(QStringLiteral("TEXTO")).DefinedSize(), 4);
}

TEST_F(Recordsets, OpeningLeavesNoStatementOpenAndReplacesAnOpenRecordset) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TIPOS"), rs);
    auto ningunaEnCurso = [&] {
        for (sqlite3_stmt* s = sqlite3_next_stmt(Manejador(), nullptr); s;
             s = sqlite3_next_stmt(Manejador(), s))
            if (sqlite3_stmt_busy(s))
                return false;
        return true;
    };
    EXPECT_TRUE(ningunaEnCurso());
    Recordset* primero = rs.get();
    c.AbrirRecordset(QStringLiteral("SELECT V40 FROM TIPOS WHERE I = 2"), rs);
    EXPECT_EQ(rs.get(), primero);
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields(QStringLiteral("V40")).Value().Texto(), QStringLiteral("dos"));
    EXPECT_TRUE(ningunaEnCurso());
    // Rows read up front: a write after opening does not change what the recordset holds.
    c.Ejecutar(QStringLiteral("DELETE FROM TIPOS"));
    EXPECT_EQ(rs->Fields(QStringLiteral("V40")).Value().Texto(), QStringLiteral("dos"));
}

TEST_F(Recordsets, AStatementTheDatabaseRefusesCarriesItsMessage) {
    RefRecordset rs;
    try {
        c.AbrirRecordset(QStringLiteral("SELECT * FROM NO_HAY_TABLA"), rs);
        FAIL() << "no falló";
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::BaseDeDatos);
        EXPECT_TRUE(f.Descripcion().contains(QStringLiteral("no such table"))) << f.what();
    }
}

TEST_F(Recordsets, UpdatableRecordsetsAddAndChangeRowsByKey) {
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT * FROM TA_CONFIGURACION WHERE CLAVE = 'K'"), rs,
                     nullptr, 2, 3, -1);
    ASSERT_TRUE(rs->Bof());
    rs->AddNew();
    rs->Fields(QStringLiteral("Grupo")).AsignarValor(QStringLiteral("OTRO"));
    rs->Fields(QStringLiteral("Clave")).AsignarValor(QStringLiteral("K"));
    rs->Fields(QStringLiteral("Valor")).AsignarValor(QStringLiteral("uno"));
    rs->Update();

    c.AbrirRecordset(QStringLiteral("SELECT * FROM TA_CONFIGURACION WHERE CLAVE = 'K'"), rs,
                     nullptr, 2, 3, -1);
    ASSERT_FALSE(rs->Bof());
    rs->Fields(QStringLiteral("Grupo")).AsignarValor(QStringLiteral("DATOS"));
    rs->Fields(QStringLiteral("Valor")).AsignarValor(QStringLiteral("dos"));
    rs->Update();

    RefRecordset leido;
    c.AbrirRecordset(QStringLiteral("SELECT GRUPO, VALOR FROM TA_CONFIGURACION WHERE CLAVE = 'K'"),
                     leido);
    EXPECT_EQ(leido->RecordCount(), 1);
    EXPECT_EQ(leido->Fields(QStringLiteral("GRUPO")).Value().Texto(), QStringLiteral("DATOS"));
    EXPECT_EQ(leido->Fields(QStringLiteral("VALOR")).Value().Texto(), QStringLiteral("dos"));
    EXPECT_EQ(NumeroDeFalla([&] {
                  leido->Fields(QStringLiteral("VALOR")).AsignarValor(QStringLiteral("tres"));
              }),
              Errores::BaseDeDatos);
}

} // namespace
