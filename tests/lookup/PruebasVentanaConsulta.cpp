#include "Ayudas.h"
#include "Conexion.h"
#include "Lib_FrmCons2.h"
#include "ModeloLista.h"
#include "Twips.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class VentanaConsulta : public ::testing::Test {
protected:
    void SetUp() override {
        Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
        c.Ejecutar(QStringLiteral("CREATE TABLE ITEMS (CODIGO VARCHAR(10), NOMBRE VARCHAR(2000), "
                                  "CANT INTEGER)"));
        for (const auto& [codigo, nombre, cant] :
             {std::tuple{"9", "nueve\tcon tabulador ", 9}, std::tuple{"  10 ", " Diez", 10},
              std::tuple{"b", "bebe", 2}, std::tuple{"A", "alfa", 1}})
            c.Ejecutar(QStringLiteral("INSERT INTO ITEMS VALUES ('%1','%2',%3)")
                           .arg(QLatin1String(codigo), QLatin1String(nombre))
                           .arg(cant));
    }
    void Cargar(const QString& sql = QStringLiteral("SELECT * FROM ITEMS")) {
        ventana.SQL = sql;
        ventana.Form_Load();
    }
    QStringList Columna(int k) {
        QStringList textos;
        for (int i = 1; i <= ventana.ListView1->ListItems().Count(); ++i) {
            ListItem item = ventana.ListView1->ListItems().Item(i);
            textos << (k == 0 ? item.Text() : item.SubItems(k));
        }
        return textos;
    }
    double AnchoX(int letras) {
        return Twips::DesdePixelesX(QFontMetrics(ventana.font()).horizontalAdvance(QString(letras, u'X')),
                                    &ventana);
    }
    void ClickEnEncabezado(int columna) {
        QHeaderView* h = ventana.ListView1->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(columna - 1) + 5, h->height() / 2));
    }

    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Conexion& c = Conexion::Instancia();
    Lib_FrmCons2 ventana;
};

TEST_F(VentanaConsulta, OneColumnAndOneSearchBoxPerFieldAndTheQuantityColumnLast) {
    ventana.UsaCantidades = true;
    Cargar();
    ListView* lista = ventana.ListView1;
    ASSERT_EQ(lista->ColumnHeaders().Count(), 4);
    EXPECT_EQ(lista->ColumnHeaders().Item(1).Text, QStringLiteral("CODIGO"));
    EXPECT_EQ(lista->ColumnHeaders().Item(4).Text, QStringLiteral("**Cantidad**"));
    EXPECT_EQ(lista->ColumnHeaders().Item(4).Key, QStringLiteral("CANTIDAD"));
    ASSERT_EQ(ventana.CmbSearch.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const ColumnHeader columna = lista->ColumnHeaders().Item(i + 1);
        EXPECT_EQ(ventana.Medidas(ventana.CmbSearch[i]).left(), columna.Left);
        EXPECT_EQ(ventana.Medidas(ventana.CmbSearch[i]).width(), columna.Width - 50);
        EXPECT_EQ(ventana.CmbSearch[i]->toolTip(), columna.Text);
        EXPECT_TRUE(ventana.CmbSearch[i]->isVisibleTo(&ventana));
    }
    // Widths: the declared size in letters "X", at most 1000; the quantity column ten.
    EXPECT_DOUBLE_EQ(lista->ColumnHeaders().Item(1).Width, AnchoX(10));
    EXPECT_DOUBLE_EQ(lista->ColumnHeaders().Item(2).Width, AnchoX(1000));
    EXPECT_DOUBLE_EQ(lista->ColumnHeaders().Item(3).Width, AnchoX(4));
    EXPECT_DOUBLE_EQ(lista->ColumnHeaders().Item(4).Width, AnchoX(10));
    EXPECT_EQ(lista->ListItems().Count(), 4);
    EXPECT_TRUE(ventana.Valores && ventana.Valores->Count() == 0);
    EXPECT_TRUE(ventana.Cantidades && ventana.Cantidades->Count() == 0);
    EXPECT_TRUE(guion.errores.isEmpty());
    EXPECT_TRUE(guion.mensajes.isEmpty());
}

TEST_F(VentanaConsulta, OnlyTheFirstColumnIsTrimmedAndRowsAreSortedByTheirText) {
    Cargar();
    // The design sort: the first column, ascending, by text.
    EXPECT_EQ(Columna(0), (QStringList{"10", "9", "A", "b"}));
    EXPECT_EQ(Columna(1), (QStringList{" Diez", "nueve con tabulador ", "alfa", "bebe"}));
    EXPECT_EQ(Columna(2), (QStringList{"10", "9", "1", "2"}));
}

TEST_F(VentanaConsulta, HeaderClicksToggleTheOrderAndCheckMarksFollowTheirRows) {
    ventana.CheckBoxes = true;
    Cargar();
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ventana));
    ListView* lista = ventana.ListView1;
    EXPECT_TRUE(lista->Checkboxes());
    lista->ListItems().Item(3).AsignarChecked(true); // "A"
    // A first click on a new column switches the order too: it sorts descending.
    ClickEnEncabezado(3);
    EXPECT_EQ(Columna(2), (QStringList{"9", "2", "10", "1"}));
    ClickEnEncabezado(3);
    EXPECT_EQ(Columna(2), (QStringList{"1", "10", "2", "9"}));
    EXPECT_TRUE(lista->ListItems().Item(1).Checked());
    EXPECT_EQ(lista->ListItems().Item(1).Text(), QStringLiteral("A"));
    EXPECT_EQ(lista->SortKey(), 2);
}

TEST_F(VentanaConsulta, AnEmptyResultHasItsColumnsAndBoxesButNoRows) {
    Cargar(QStringLiteral("SELECT * FROM ITEMS WHERE 1 = 0"));
    EXPECT_EQ(ventana.ListView1->ColumnHeaders().Count(), 3);
    EXPECT_EQ(ventana.CmbSearch.size(), 3);
    EXPECT_EQ(ventana.ListView1->ListItems().Count(), 0);
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(VentanaConsulta, ColumnsAreFoundByHeaderTextWithoutRegardToCaseOrBlanks) {
    ventana.UsaCantidades = true;
    Cargar();
    EXPECT_EQ(ventana.IndiceColumna(QStringLiteral(" **cantidad** ")), 4);
    EXPECT_EQ(ventana.IndiceColumna(QStringLiteral("nombre")), 2);
    EXPECT_EQ(ventana.IndiceColumna(QStringLiteral("NO ES")), 0);
}

TEST_F(VentanaConsulta, TheScrollRangeEndsWhereThePanelsRightEdgeComesIntoView) {
    // Columns that fit: nothing to scroll.
    Cargar(QStringLiteral("SELECT CODIGO, CANT FROM ITEMS"));
    EXPECT_EQ(ventana.HScroll1->maximum(), 0);

    // Four columns of a thousand letters: wider than the screen.
    Lib_FrmCons2 ancha;
    ancha.SQL = QStringLiteral("SELECT NOMBRE AS A, NOMBRE AS B, NOMBRE AS C, NOMBRE AS D FROM ITEMS");
    ancha.Form_Load();
    ancha.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ancha));
    EXPECT_NEAR(ancha.AnchoVentana(), ancha.AnchoPantalla() - 480, 16);
    ancha.HScroll1->setValue(600);
    EXPECT_EQ(ancha.Medidas(ancha.picFields).left(), -600);
    EXPECT_EQ(ancha.picFields->x(), Twips::APixelesX(-600, &ancha));
    // At the end of the range the panel's right edge, just past the last box, is the
    // window's: the last box whole and no blank strip after it.
    for (int ancho : {900, 1200}) {
        ancha.resize(ancho, ancha.height());
        ancha.HScroll1->setValue(ancha.HScroll1->maximum());
        const QRect panel = ancha.picFields->geometry();
        EXPECT_NEAR(panel.right() + 1, ancha.width(), 1) << ancho;
        const QComboBox* ultima = ancha.CmbSearch.last();
        EXPECT_LE(panel.x() + ultima->geometry().right(), ancha.width()) << ancho;
    }
}

TEST_F(VentanaConsulta, ANarrowResultOpensWideEnoughForBothButtonsAndTheCaption) {
    const QString seis = QStringLiteral("SELECT CODIGO AS A, CODIGO AS B, CODIGO AS C, CODIGO AS D, "
                                        "CODIGO AS E, CODIGO AS F FROM ITEMS");
    for (const auto& [sql, columnas] : {std::pair{QStringLiteral("SELECT CANT FROM ITEMS"), 4},
                                        std::pair{QStringLiteral("SELECT CODIGO, CANT FROM ITEMS"), 14},
                                        std::pair{seis, 60}}) {
        Lib_FrmCons2 v;
        v.SQL = sql;
        v.Form_Load();
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        // As wide as the columns when that is enough, never narrower than the buttons.
        const double lista = AnchoX(columnas) + 360;
        const double minimo = 4935 + 240;
        if (lista + 280 > minimo)
            EXPECT_NEAR(v.AnchoVentana(), lista + 280, 16) << sql.toStdString();
        else
            EXPECT_GE(v.AnchoVentana(), minimo) << sql.toStdString();
        for (const QPushButton* boton : {v.CmdAceptar, v.CmdCancelar}) {
            const QRect r(boton->mapTo(&v, QPoint(0, 0)), boton->size());
            EXPECT_TRUE(v.rect().contains(r)) << sql.toStdString();
        }
    }
}

TEST_F(VentanaConsulta, TheButtonsStayCentredAtTheBottom) {
    Cargar(QStringLiteral("SELECT CODIGO, CANT FROM ITEMS"));
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ventana));
    ventana.resize(Twips::APixelesX(9000, &ventana), Twips::APixelesY(6000, &ventana));
    const double ancho = ventana.AnchoVentana();
    const double alto = ventana.AltoVentana();
    EXPECT_NEAR(ventana.Medidas(ventana.Frame1).left(), ancho / 2 - 4935.0 / 2, 0.5);
    EXPECT_NEAR(ventana.Medidas(ventana.Frame1).top(), alto - 255 - 420, 0.5);
    EXPECT_NEAR(ventana.Medidas(ventana.picFields).width(), ancho - 120, 0.5);
    EXPECT_NEAR(ventana.Medidas(ventana.ListView1).height(), alto - 255 - 480 - 255 - 600, 0.5);
    EXPECT_NEAR(ventana.Medidas(ventana.HScroll1).width(), ancho - 120, 0.5);
}

TEST_F(VentanaConsulta, CancelLeavesNoResultsAndHidesTheWindow) {
    ventana.CmpsDevueltos = NuevaCollection();
    ventana.CmpsDevueltos->Add(QStringLiteral("CODIGO"));
    ventana.SQL = QStringLiteral("SELECT * FROM ITEMS");
    bool visible = false;
    QTimer::singleShot(0, &ventana, [&] {
        visible = ventana.isVisible();
        QTest::mouseClick(ventana.CmdCancelar, Qt::LeftButton);
    });
    ventana.MostrarModal();
    EXPECT_TRUE(visible);
    EXPECT_FALSE(ventana.isVisible());
    EXPECT_EQ(ventana.ValorDevuelto, Variant(QString()));
    EXPECT_FALSE(ventana.Valores);
    EXPECT_FALSE(ventana.CmpsDevueltos);
    ASSERT_TRUE(ventana.Cantidades);
    EXPECT_EQ(ventana.Cantidades->Count(), 0);
}

TEST_F(VentanaConsulta, EscapeAndTheCloseBoxCancelToo) {
    ventana.SQL = QStringLiteral("SELECT * FROM ITEMS");
    QTimer::singleShot(0, &ventana, [&] { QTest::keyClick(ventana.ListView1, Qt::Key_Escape); });
    ventana.MostrarModal();
    EXPECT_FALSE(ventana.Valores);
    ventana.Valores = NuevaCollection();
    QTimer::singleShot(0, &ventana, [&] { ventana.close(); });
    ventana.MostrarModal();
    EXPECT_FALSE(ventana.Valores);
    EXPECT_FALSE(ventana.isVisible());
}

TEST_F(VentanaConsulta, AStatementTheDatabaseRefusesIsReportedAndShowsNothing) {
    guion.respuestaErrorPorDefecto = 5; // skip and go on, as the person may answer
    Cargar(QStringLiteral("SELECT * FROM NO_EXISTE"));
    ASSERT_FALSE(guion.errores.isEmpty());
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("FORM_LOAD"));
    EXPECT_TRUE(guion.errores[0].descripcion.contains(QStringLiteral("no such table")));
    // The columns could not be built: said in a message box with the program's title.
    ASSERT_FALSE(guion.mensajes.isEmpty());
    EXPECT_EQ(guion.mensajes[0].titulo, QStringLiteral("remitos"));
    EXPECT_EQ(ventana.ListView1->ColumnHeaders().Count(), 0);
    EXPECT_EQ(ventana.ListView1->ListItems().Count(), 0);
}

TEST_F(VentanaConsulta, AnAnswerOtherThanSkipEndsTheLoadingThere) {
    guion.respuestasError = {3};
    Cargar(QStringLiteral("SELECT * FROM NO_EXISTE"));
    EXPECT_EQ(guion.errores.size(), 1);
    EXPECT_TRUE(guion.mensajes.isEmpty());
    EXPECT_FALSE(ventana.ListView1->Sorted());
}

TEST_F(VentanaConsulta, TheInitialFilterGoesIntoTheFirstBox) {
    ventana.FiltroInicial = QStringLiteral("bebe");
    Cargar();
    EXPECT_EQ(ventana.CmbSearch[0]->currentText(), QStringLiteral("bebe"));
    Lib_FrmCons2 otra;
    otra.FiltroInicial = QStringLiteral("   ");
    otra.SQL = QStringLiteral("SELECT * FROM ITEMS");
    otra.Form_Load();
    EXPECT_EQ(otra.CmbSearch[0]->currentText(), QString());
}

TEST_F(VentanaConsulta, SearchFindsTheFirstRowBeginningWithTheText) {
    c.Ejecutar(QStringLiteral("INSERT INTO ITEMS VALUES ('Abc', ' abc', 5), ('ABD', 'abd', 6)"));
    Cargar();
    auto texto = [&](int posicion) {
        return ventana.ListView1->ListItems().Item(posicion).Text();
    };
    EXPECT_EQ(texto(ventana.Busqueda(0, QStringLiteral("ab"))), QStringLiteral("Abc"));
    EXPECT_EQ(texto(ventana.Busqueda(0, QStringLiteral("  abd "))), QStringLiteral("ABD"));
    EXPECT_EQ(ventana.Busqueda(0, QStringLiteral("bc")), 0);
    EXPECT_EQ(ventana.Busqueda(0, QString()), 1);
    // A cell with a leading blank still matches; the sub-item of the column is searched.
    EXPECT_EQ(texto(ventana.Busqueda(1, QStringLiteral("ab"))), QStringLiteral("Abc"));
    EXPECT_EQ(ventana.Busqueda(7, QStringLiteral("a")), 0);
}

TEST_F(VentanaConsulta, UnloadingRemovesTheRows) {
    Cargar();
    qint16 cancelar = 0;
    ventana.Form_Unload(cancelar);
    EXPECT_EQ(ventana.ListView1->ListItems().Count(), 0);
    EXPECT_TRUE(guion.mensajes.isEmpty());
}

} // namespace
