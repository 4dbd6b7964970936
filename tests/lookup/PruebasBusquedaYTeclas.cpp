// The lookup window worked from the keyboard and the mouse: incremental search, the list's
// keys and quantities, and acceptance.
#include "Ayudas.h"
#include "Conexion.h"
#include "Lib_FrmCons2.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class Consulta : public ::testing::Test {
protected:
    void SetUp() override {
        Pruebas::ConectarSqlite(c, Pruebas::CrearBaseSqlite(carpeta));
        c.Ejecutar(QStringLiteral("CREATE TABLE ITEMS (CODIGO VARCHAR(10), NOMBRE VARCHAR(30), "
                                  "RUBRO VARCHAR(10))"));
        for (const auto& [codigo, nombre, rubro] :
             {std::tuple{"1", "Abc", "X"}, std::tuple{"2", "ABD", ""}, std::tuple{"3", " abx", "X"},
              std::tuple{"4", "Zeta", "Y"}})
            c.Ejecutar(QStringLiteral("INSERT INTO ITEMS VALUES ('%1','%2','%3')")
                           .arg(QLatin1String(codigo), QLatin1String(nombre), QLatin1String(rubro)));
    }
    void Abrir(const QString& sql = QStringLiteral("SELECT * FROM ITEMS")) {
        ventana.SQL = sql;
        ventana.Form_Load();
        ventana.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    }
    QString Elegida() {
        const ListItem item = ventana.ListView1->SelectedItem();
        return item.EsNulo() ? QStringLiteral("<ninguna>") : item.Text();
    }
    QComboBox* Caja(int i) { return ventana.CmbSearch.at(i); }
    void Escribir(int caja, const QString& texto) {
        Caja(caja)->setFocus();
        QTest::keyClicks(Caja(caja), texto);
    }
    void EnLaLista(Qt::Key tecla, Qt::KeyboardModifiers mods = {}) {
        ventana.ListView1->setFocus();
        QTest::keyClick(ventana.ListView1, tecla, mods);
    }
    ListItem Fila(int posicion) { return ventana.ListView1->ListItems().Item(posicion); }
    QString Cantidad(int posicion) { return Fila(posicion).SubItems(3); }
    QStringList Desplegable(int caja) {
        QStringList entradas;
        for (int i = 0; i < Caja(caja)->count(); ++i)
            entradas << Caja(caja)->itemText(i);
        return entradas;
    }

    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Conexion& c = Conexion::Instancia();
    Lib_FrmCons2 ventana;
};

TEST_F(Consulta, TypingSelectsTheFirstRowBeginningWithTheText) {
    Abrir(QStringLiteral("SELECT NOMBRE, CODIGO FROM ITEMS"));
    Escribir(0, QStringLiteral("ab"));
    EXPECT_EQ(Elegida(), QStringLiteral("Abc")); // in list order: Abc, ABD, abx, Zeta
    QTest::keyClick(Caja(0), Qt::Key_D);
    EXPECT_EQ(Elegida(), QStringLiteral("ABD"));
    // Only prefixes match; a text that matches nothing leaves the selection where it was.
    Caja(0)->setEditText(QStringLiteral("bd"));
    EXPECT_EQ(Elegida(), QStringLiteral("ABD"));
    Caja(0)->setEditText(QStringLiteral("  abx "));
    EXPECT_EQ(Elegida(), QStringLiteral("abx"));
    // Erasing the text selects the first row.
    Caja(0)->clearEditText();
    EXPECT_EQ(Elegida(), Fila(1).Text());
    // The focus stays in the box while searching.
    EXPECT_EQ(QApplication::focusWidget(), Caja(0));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Consulta, TheOtherBoxesSearchTheirColumns) {
    Abrir();
    Escribir(2, QStringLiteral("y"));
    EXPECT_EQ(Elegida(), QStringLiteral("4"));
    EXPECT_EQ(ventana.IndiceBusquedaActual(), 2);
}

TEST_F(Consulta, WithNoRowsTypingSelectsNothingAndSaysNothing) {
    Abrir(QStringLiteral("SELECT * FROM ITEMS WHERE 1 = 0"));
    Escribir(0, QStringLiteral("ab"));
    EXPECT_EQ(Elegida(), QStringLiteral("<ninguna>"));
    EXPECT_TRUE(guion.errores.isEmpty());
    EXPECT_TRUE(guion.mensajes.isEmpty());
}

TEST_F(Consulta, F5FillsTheDropDownWithTheColumnsValuesAndPickingOneSearches) {
    Abrir();
    Escribir(2, QStringLiteral("Z"));
    guion.eleccionesMenu = {0}; // "Llenar Con Posibles Valores"
    QTest::keyClick(Caja(2), Qt::Key_F5);
    ASSERT_EQ(guion.menusMostrados, QList<int>{3});
    // Every row gives an entry, in list order, duplicates and empty values kept.
    EXPECT_EQ(Desplegable(2), (QStringList{"X", "", "X", "Y"}));
    EXPECT_EQ(Caja(2)->currentText(), QStringLiteral("Z"));

    // "Cancelar", or a menu dismissed, changes nothing.
    c.Ejecutar(QStringLiteral("DELETE FROM ITEMS"));
    guion.eleccionesMenu = {2, -1};
    QTest::keyClick(Caja(2), Qt::Key_F5);
    QTest::keyClick(Caja(2), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(Desplegable(2), (QStringList{"X", "", "X", "Y"}));

    // Picking an entry searches as typing it would.
    ventana.ListView1->AsignarSelectedItem(Fila(2));
    Caja(2)->setCurrentIndex(3);
    Q_EMIT Caja(2)->activated(3);
    EXPECT_EQ(Elegida(), QStringLiteral("4"));
}

// A box whose drop-down F5 filled still searches the text as typed: nothing completes it
// from the entries.
TEST_F(Consulta, ABoxFilledByF5KeepsTheTypedText) {
    Abrir(QStringLiteral("SELECT NOMBRE, CODIGO FROM ITEMS"));
    guion.eleccionesMenu = {0};
    QTest::keyClick(Caja(0), Qt::Key_F5);
    ASSERT_EQ(Desplegable(0).size(), 4);
    Caja(0)->clearEditText();
    Escribir(0, QStringLiteral("aB"));
    EXPECT_EQ(Caja(0)->currentText(), QStringLiteral("aB"));
    EXPECT_EQ(Caja(0)->lineEdit()->selectedText(), QString());
    EXPECT_EQ(Elegida(), QStringLiteral("Abc"));
    QTest::keyClick(Caja(0), Qt::Key_D);
    EXPECT_EQ(Caja(0)->currentText(), QStringLiteral("aBd"));
    EXPECT_EQ(Elegida(), QStringLiteral("ABD"));
}

TEST_F(Consulta, TheNavigationKeysTakeTheFocusToTheList) {
    Abrir();
    for (Qt::Key tecla : {Qt::Key_Down, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_PageUp}) {
        Caja(1)->setFocus();
        QTest::keyClick(Caja(1), tecla);
        EXPECT_EQ(QApplication::focusWidget(), ventana.ListView1) << tecla;
    }
    Caja(1)->setFocus();
    QTest::keyClick(Caja(1), Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget(), Caja(1));
}

TEST_F(Consulta, InsertAndDeleteCountTheQuantityAndNeverGoBelowZero) {
    ventana.UsaCantidades = true;
    Abrir();
    ventana.ListView1->AsignarSelectedItem(Fila(1));
    EnLaLista(Qt::Key_Insert);
    EXPECT_EQ(Cantidad(1), QStringLiteral("1.0"));
    EXPECT_TRUE(Fila(1).Checked());
    EnLaLista(Qt::Key_Insert);
    EXPECT_EQ(Cantidad(1), QStringLiteral("2.0"));
    EnLaLista(Qt::Key_Delete);
    EXPECT_EQ(Cantidad(1), QStringLiteral("1.0"));
    EXPECT_TRUE(Fila(1).Checked());
    EnLaLista(Qt::Key_Delete);
    EXPECT_EQ(Cantidad(1), QStringLiteral("0.00"));
    EXPECT_FALSE(Fila(1).Checked());
    EnLaLista(Qt::Key_Delete);
    EXPECT_EQ(Cantidad(1), QStringLiteral("0.00"));
    EXPECT_FALSE(Fila(1).Checked());
    // With Ctrl, Alt, or Shift on Delete, the keys change nothing.
    EnLaLista(Qt::Key_Insert, Qt::ControlModifier);
    EnLaLista(Qt::Key_Delete, Qt::ShiftModifier);
    EnLaLista(Qt::Key_Insert, Qt::AltModifier);
    EXPECT_EQ(Cantidad(1), QStringLiteral("0.00"));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Consulta, ShiftInsertAsksForTheQuantityOfferingTheCurrentOne) {
    ventana.UsaCantidades = true;
    Abrir();
    ventana.ListView1->AsignarSelectedItem(Fila(2));
    guion.respuestasTexto = {QStringLiteral("3"), std::nullopt, QStringLiteral("0"),
                             QStringLiteral("tres")};
    EnLaLista(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Cantidad(2), QStringLiteral("3.00"));
    EXPECT_TRUE(Fila(2).Checked());
    ASSERT_EQ(guion.textosPedidos.size(), 1);
    EXPECT_EQ(guion.textosPedidos[0], QStringLiteral("Ingrese la Cantidad del Articulo..."));
    EXPECT_EQ(guion.valoresPropuestos[0], QString());
    // A cancelled input box changes nothing.
    EnLaLista(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(guion.valoresPropuestos[1], QStringLiteral("3.00"));
    EXPECT_EQ(Cantidad(2), QStringLiteral("3.00"));
    EXPECT_TRUE(Fila(2).Checked());
    // Zero takes the row out, as Delete reaching zero does.
    EnLaLista(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Cantidad(2), QStringLiteral("0.00"));
    EXPECT_FALSE(Fila(2).Checked());
    // A text that is no number is an error, reported with the handler's name.
    guion.respuestaErrorPorDefecto = 3;
    EnLaLista(Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(guion.errores.size(), 1);
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("ListView1_KeyDown"));
    EXPECT_EQ(Cantidad(2), QStringLiteral("0.00"));
}

TEST_F(Consulta, QuantityKeysWithoutASelectedRowAreReportedAndWithoutQuantitiesDoNothing) {
    ventana.UsaCantidades = true;
    Abrir();
    guion.respuestaErrorPorDefecto = 3;
    ventana.ListView1->AsignarSelectedItem({});
    EnLaLista(Qt::Key_Insert);
    ASSERT_EQ(guion.errores.size(), 1);
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("ListView1_KeyDown"));

    Lib_FrmCons2 sinCantidades;
    sinCantidades.SQL = QStringLiteral("SELECT * FROM ITEMS");
    sinCantidades.Form_Load();
    sinCantidades.ListView1->AsignarSelectedItem(sinCantidades.ListView1->ListItems().Item(1));
    QTest::keyClick(sinCantidades.ListView1, Qt::Key_Insert);
    QTest::keyClick(sinCantidades.ListView1, Qt::Key_Delete);
    EXPECT_EQ(guion.errores.size(), 1);
    EXPECT_FALSE(sinCantidades.ListView1->ListItems().Item(1).Checked());
}

TEST_F(Consulta, InACommaLocaleTheQuantityStopsAtTheComma) {
    const QLocale antes;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    ventana.UsaCantidades = true;
    Abrir();
    Fila(1).AsignarSubItems(3, QStringLiteral("2,50"));
    ventana.ListView1->AsignarSelectedItem(Fila(1));
    EnLaLista(Qt::Key_Insert);
    EXPECT_EQ(Cantidad(1), QStringLiteral("3,0"));
    guion.respuestasTexto = {QStringLiteral("1,5")};
    EnLaLista(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Cantidad(1), QStringLiteral("1,50"));
    QLocale::setDefault(antes);
}

TEST_F(Consulta, TypingInTheListGoesToTheLastSearchBoxUsed) {
    Abrir();
    // Before any box had the focus, typing goes to the first one.
    EnLaLista(Qt::Key_Z);
    EXPECT_EQ(Caja(0)->currentText(), QStringLiteral("Z"));
    EXPECT_EQ(QApplication::focusWidget(), Caja(0));

    Caja(1)->setFocus();
    EnLaLista(Qt::Key_A, Qt::ShiftModifier);
    EnLaLista(Qt::Key_B);
    EXPECT_EQ(Caja(1)->currentText(), QStringLiteral("AB"));
    EXPECT_EQ(QApplication::focusWidget(), Caja(1));
    EXPECT_EQ(Elegida(), QStringLiteral("1")); // "Abc", the first in list order
    EnLaLista(Qt::Key_D);
    EXPECT_EQ(Elegida(), QStringLiteral("2")); // "ABD"
    EnLaLista(Qt::Key_Backspace);
    EnLaLista(Qt::Key_Space);
    EXPECT_EQ(Caja(1)->currentText(), QStringLiteral("AB "));

    // Backspace takes a character back and searches again; the keypad types its digits.
    EnLaLista(Qt::Key_Backspace);
    EnLaLista(Qt::Key_Backspace);
    EXPECT_EQ(Caja(1)->currentText(), QStringLiteral("A"));
    EXPECT_EQ(Elegida(), QStringLiteral("1"));
    EnLaLista(Qt::Key_7, Qt::KeypadModifier);
    EXPECT_EQ(Caja(1)->currentText(), QStringLiteral("A7"));
    // Other keys of that group type nothing.
    EnLaLista(Qt::Key_F1);
    EnLaLista(Qt::Key_Slash);
    EnLaLista(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Caja(1)->currentText(), QStringLiteral("A7"));
}

TEST_F(Consulta, RowTextsCannotBeEditedInPlace) {
    Abrir();
    ventana.ListView1->AsignarSelectedItem(Fila(1));
    EnLaLista(Qt::Key_F2);
    EXPECT_EQ(ventana.ListView1->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(Fila(1).Text(), QStringLiteral("1"));
}

TEST_F(Consulta, CheckBoxModeReturnsTheMarkedRowsValuesAndQuantities) {
    ventana.CheckBoxes = true;
    ventana.UsaCantidades = true;
    ventana.CampoDevuelto = QStringLiteral(" nombre ");
    ventana.ValorDevuelto = QStringLiteral("antes");
    Abrir();
    Fila(1).AsignarChecked(true);
    Fila(3).AsignarChecked(true);
    Fila(1).AsignarSubItems(3, QStringLiteral("2.0"));
    QTest::mouseClick(ventana.CmdAceptar, Qt::LeftButton);
    EXPECT_FALSE(ventana.isVisible());
    EXPECT_EQ(ventana.Valores->Count(), 2);
    EXPECT_EQ(ventana.Valores->Item(1).Texto(), QStringLiteral("Abc"));
    EXPECT_EQ(ventana.Valores->Item(2).Texto(), QStringLiteral(" abx"));
    EXPECT_EQ(ventana.Cantidades->Count(), 2);
    EXPECT_EQ(ventana.Cantidades->Item(1).Texto(), QStringLiteral("2.0"));
    EXPECT_EQ(ventana.Cantidades->Item(2).Texto(), QString());
    EXPECT_EQ(ventana.ValorDevuelto, Variant(QStringLiteral("antes")));
}

TEST_F(Consulta, CheckBoxModeWithoutAFieldReturnsTheFirstColumnAndRemembersIt) {
    ventana.CheckBoxes = true;
    Abrir();
    Fila(4).AsignarChecked(true);
    ventana.CmdAceptar_Click();
    EXPECT_EQ(ventana.CampoDevuelto, QStringLiteral("CODIGO"));
    ASSERT_EQ(ventana.Valores->Count(), 1);
    EXPECT_EQ(ventana.Valores->Item(1).Texto(), QStringLiteral("4"));
}

TEST_F(Consulta, CheckBoxModeWithAnUnknownFieldAsksAndStaysOpenWhenLeft) {
    ventana.CheckBoxes = true;
    ventana.CampoDevuelto = QStringLiteral("NO_HAY");
    Abrir();
    Fila(1).AsignarChecked(true);
    guion.respuestasError = {3};
    ventana.CmdAceptar_Click();
    ASSERT_EQ(guion.errores.size(), 1);
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("CmdAceptar_Click"));
    EXPECT_TRUE(ventana.isVisible());
    guion.respuestasError = {5, 5};
    ventana.CmdAceptar_Click();
    EXPECT_FALSE(ventana.isVisible());
    EXPECT_EQ(ventana.Valores->Count(), 1);
}

TEST_F(Consulta, SingleRowModeReturnsTheNamedFieldsInTheirOrder) {
    ventana.CmpsDevueltos = NuevaCollection();
    ventana.CmpsDevueltos->Add(QStringLiteral("NOMBRE"));
    ventana.CmpsDevueltos->Add(QStringLiteral("codigo"));
    ventana.CmpsDevueltos->Add(QStringLiteral("NO_HAY"));
    ventana.UsaCantidades = true;
    Abrir();
    ventana.ListView1->AsignarSelectedItem(Fila(2));
    QTest::mouseDClick(ventana.ListView1->viewport(), Qt::LeftButton, {},
                       ventana.ListView1->visualRect(ventana.ListView1->model()->index(1, 1)).center());
    EXPECT_FALSE(ventana.isVisible());
    ASSERT_EQ(ventana.Valores->Count(), 3);
    EXPECT_EQ(ventana.Valores->Item(1).Texto(), QStringLiteral("ABD"));
    EXPECT_EQ(ventana.Valores->Item(2).Texto(), QStringLiteral("2"));
    // A name that names no column gives an empty text, never another column's value.
    EXPECT_EQ(ventana.Valores->Item(3).Texto(), QString());
    EXPECT_EQ(ventana.ValorDevuelto, Variant(QString()));
    EXPECT_EQ(ventana.Cantidades->Count(), 1);
}

TEST_F(Consulta, SingleRowModeGivesTheReturnedFieldOrTheLastNamedOne) {
    ventana.CmpsDevueltos = NuevaCollection();
    ventana.CmpsDevueltos->Add(QStringLiteral("CODIGO"));
    ventana.CmpsDevueltos->Add(QStringLiteral("NOMBRE"));
    Abrir();
    ventana.ListView1->AsignarSelectedItem(Fila(1));
    ventana.CmdAceptar_Click();
    EXPECT_EQ(ventana.ValorDevuelto, Variant(QStringLiteral("Abc")));

    Lib_FrmCons2 otra;
    otra.CampoDevuelto = QStringLiteral("RUBRO");
    otra.SQL = QStringLiteral("SELECT * FROM ITEMS");
    otra.Form_Load();
    otra.ListView1->AsignarSelectedItem(otra.ListView1->ListItems().Item(4));
    otra.CmdAceptar_Click();
    EXPECT_EQ(otra.ValorDevuelto, Variant(QStringLiteral("Y")));
    EXPECT_EQ(otra.Valores->Count(), 0);
}

TEST_F(Consulta, WithNoSelectedRowNothingIsReturnedAndTheWindowHides) {
    ventana.CampoDevuelto = QStringLiteral("CODIGO");
    Abrir(QStringLiteral("SELECT * FROM ITEMS WHERE 1 = 0"));
    ventana.CmdAceptar_Click();
    EXPECT_FALSE(ventana.isVisible());
    EXPECT_EQ(ventana.Valores->Count(), 0);
    EXPECT_TRUE(ventana.ValorDevuelto.EsVacio());
}

TEST_F(Consulta, EnterAcceptsOnceFromTheListAndFromASearchBox) {
    ventana.CmpsDevueltos = NuevaCollection();
    ventana.CmpsDevueltos->Add(QStringLiteral("CODIGO"));
    ventana.SQL = QStringLiteral("SELECT * FROM ITEMS");
    QTimer::singleShot(0, &ventana, [&] {
        ventana.ListView1->AsignarSelectedItem(ventana.ListView1->ListItems().Item(1));
        ventana.ListView1->setFocus();
        QTest::keyClick(ventana.ListView1, Qt::Key_Return);
    });
    ventana.MostrarModal();
    EXPECT_EQ(ventana.Valores->Count(), 1);

    Lib_FrmCons2 otra;
    otra.CmpsDevueltos = NuevaCollection();
    otra.CmpsDevueltos->Add(QStringLiteral("CODIGO"));
    otra.SQL = QStringLiteral("SELECT * FROM ITEMS");
    QTimer::singleShot(0, &otra, [&] {
        otra.CmbSearch[0]->setFocus();
        QTest::keyClicks(otra.CmbSearch[0], QStringLiteral("3"));
        QTest::keyClick(otra.CmbSearch[0], Qt::Key_Enter, Qt::KeypadModifier);
    });
    otra.MostrarModal();
    ASSERT_EQ(otra.Valores->Count(), 1);
    EXPECT_EQ(otra.Valores->Item(1).Texto(), QStringLiteral("3"));
}

} // namespace

namespace {

// A key as the window system delivers it: its place on the keyboard (the X key code) with
// whatever the layout made of it.
void TeclaFisica(QWidget* destino, int tecla, Qt::KeyboardModifiers mods, quint32 codigo,
                 const QString& texto) {
    QKeyEvent pulsada(QEvent::KeyPress, tecla, mods, codigo, 0, 0, texto);
    QApplication::sendEvent(destino, &pulsada);
    QKeyEvent soltada(QEvent::KeyRelease, tecla, mods, codigo, 0, 0, texto);
    QApplication::sendEvent(destino, &soltada);
}

TEST_F(Consulta, DigitKeysTypeTheirDigitByTheirPlaceWhateverTheLayoutOrShift) {
    struct Caso {
        const char* como;
        int tecla;
        Qt::KeyboardModifiers mods;
        quint32 codigo;
        const char* texto;
        const char* escrito;
    };
    const Caso casos[] = {
        {"1", Qt::Key_1, {}, 10, "1", "1"},
        {"Shift+1 (US)", Qt::Key_Exclam, Qt::ShiftModifier, 10, "!", "1"},
        {"Shift+9 (US)", Qt::Key_ParenLeft, Qt::ShiftModifier, 18, "(", "9"},
        {"1 (AZERTY: &)", Qt::Key_Ampersand, {}, 10, "&", "1"},
        {"2 (AZERTY: é)", Qt::Key_Eacute, {}, 11, "é", "2"},
        {"0 (AZERTY: à)", Qt::Key_Agrave, {}, 19, "à", "0"},
        {"Shift+A", Qt::Key_A, Qt::ShiftModifier, 38, "A", "A"},
        {"7 del teclado numérico", Qt::Key_7, Qt::KeypadModifier, 79, "7", "7"},
    };
    Abrir();
    for (const Caso& caso : casos) {
        Caja(0)->clearEditText();
        ventana.ListView1->setFocus();
        TeclaFisica(ventana.ListView1, caso.tecla, caso.mods, caso.codigo, QString::fromUtf8(caso.texto));
        EXPECT_EQ(Caja(0)->currentText(), QString::fromUtf8(caso.escrito)) << caso.como;
        EXPECT_EQ(QApplication::focusWidget(), Caja(0)) << caso.como;
    }
}

TEST_F(Consulta, EnterPressesTheFocusedButtonAndOtherwiseAccepts) {
    struct Caso {
        const char* foco;
        bool acepta;
    };
    for (const Caso& caso : {Caso{"lista", true}, Caso{"caja", true}, Caso{"aceptar", true},
                             Caso{"cancelar", false}}) {
        Lib_FrmCons2 v;
        v.SQL = QStringLiteral("SELECT * FROM ITEMS");
        v.CampoDevuelto = QStringLiteral("NOMBRE");
        QTimer::singleShot(0, &v, [&] {
            const QString foco = QString::fromUtf8(caso.foco);
            QWidget* destino = foco == u"lista"  ? static_cast<QWidget*>(v.ListView1)
                               : foco == u"caja" ? static_cast<QWidget*>(v.CmbSearch[1])
                               : foco == u"aceptar" ? static_cast<QWidget*>(v.CmdAceptar)
                                                    : static_cast<QWidget*>(v.CmdCancelar);
            destino->setFocus(Qt::TabFocusReason);
            QTest::keyClick(destino, Qt::Key_Return);
        });
        v.MostrarModal();
        EXPECT_FALSE(v.isVisible()) << caso.foco;
        EXPECT_EQ(bool(v.Valores), caso.acepta) << caso.foco;
        // The first row is selected from the start: accepting returns it.
        if (caso.acepta) {
            EXPECT_EQ(v.ValorDevuelto, Variant(QStringLiteral("Abc"))) << caso.foco;
        }
    }
}

TEST_F(Consulta, AfterLoadingTheFirstRowIsSelectedForTheQuantityKeys) {
    ventana.UsaCantidades = true;
    Abrir();
    EXPECT_EQ(ventana.ListView1->SelectedItem(), Fila(1));
    EnLaLista(Qt::Key_Insert);
    EXPECT_EQ(Cantidad(1), QStringLiteral("1.0"));
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(Consulta, AQuantityAnswerThatIsNoNumberInTheLocalesWayChangesNothingAndSaysWhy) {
    struct Caso {
        QLocale::Language idioma;
        const char* respuesta;
        const char* celda; // nullptr: refused
        const char* dice;
    };
    const Caso casos[] = {
        {QLocale::English, "3", "3.00", ""},
        {QLocale::English, " -1.5 ", "-1.50", ""},
        {QLocale::English, ".5", "0.50", ""},
        {QLocale::English, "", "0.00", ""},
        {QLocale::English, "1,5", nullptr, "los decimales se escriben con «.»"},
        {QLocale::English, "1,000", nullptr, "los decimales se escriben con «.»"},
        {QLocale::English, "nan", nullptr, "«nan» no es una cantidad"},
        {QLocale::English, "inf", nullptr, "«inf» no es una cantidad"},
        {QLocale::English, "-", nullptr, "no es una cantidad"},
        {QLocale::English, "1e3", nullptr, "no es una cantidad"},
        {QLocale::Spanish, "2,5", "2,50", ""},
        {QLocale::Spanish, "2.5", nullptr, "los decimales se escriben con «,»"},
    };
    const QLocale antes;
    for (const Caso& caso : casos) {
        QLocale::setDefault(QLocale(caso.idioma, caso.idioma == QLocale::Spanish ? QLocale::Argentina
                                                                                 : QLocale::UnitedStates));
        Lib_FrmCons2 v;
        v.UsaCantidades = true;
        v.SQL = QStringLiteral("SELECT * FROM ITEMS");
        v.Form_Load();
        ListItem fila = v.ListView1->ListItems().Item(1);
        fila.AsignarSubItems(3, QStringLiteral("7"));
        guion.errores.clear();
        guion.respuestaErrorPorDefecto = 3;
        guion.respuestasTexto = {QString::fromUtf8(caso.respuesta)};
        QTest::keyClick(v.ListView1, Qt::Key_Insert, Qt::ShiftModifier);
        const std::string como = caso.respuesta;
        if (caso.celda) {
            EXPECT_EQ(fila.SubItems(3), QString::fromUtf8(caso.celda)) << como;
            EXPECT_TRUE(guion.errores.isEmpty()) << como;
        } else {
            EXPECT_EQ(fila.SubItems(3), QStringLiteral("7")) << como;
            ASSERT_EQ(guion.errores.size(), 1) << como;
            EXPECT_TRUE(guion.errores[0].descripcion.contains(QString::fromUtf8(caso.dice)))
                << como << ": " << guion.errores[0].descripcion.toStdString();
        }
    }
    QLocale::setDefault(antes);
}

TEST_F(Consulta, AColumnWithNoWidthBreaksNothing) {
    Abrir(QStringLiteral("SELECT '' AS VACIA, NULL AS NADA, NOMBRE, CODIGO FROM ITEMS"));
    EXPECT_TRUE(guion.errores.isEmpty());
    ASSERT_EQ(ventana.CmbSearch.size(), 4);
    const ColumnHeader codigo = ventana.ListView1->ColumnHeaders().Item(4);
    EXPECT_EQ(ventana.Medidas(ventana.CmbSearch[3]).left(), codigo.Left);
    EXPECT_EQ(ventana.Medidas(ventana.CmbSearch[3]).width(), codigo.Width - 50);
    EXPECT_GE(ventana.AnchoVentana(), 4935 + 240 - 16);
}

TEST_F(Consulta, SortingAndSearchingFollowTheLocaleWithoutRegardToCase) {
    c.Ejecutar(QStringLiteral("DELETE FROM ITEMS"));
    for (const char* nombre : {"zeta", "Ñandú", "ácido", "Nube", "abeja", "ÁRBOL"})
        c.Ejecutar(QStringLiteral("INSERT INTO ITEMS VALUES ('1', '%1', '')").arg(QString::fromUtf8(nombre)));
    Abrir(QStringLiteral("SELECT NOMBRE FROM ITEMS"));
    QStringList orden;
    for (int i = 1; i <= 6; ++i)
        orden << Fila(i).Text();
    EXPECT_EQ(orden, (QStringList{"abeja", "ácido", "ÁRBOL", "Nube", "Ñandú", "zeta"}));
    for (const auto& [escrito, elegida] : {std::pair{"ñ", "Ñandú"}, {"Á", "ácido"}, {"árb", "ÁRBOL"},
                                           {"NU", "Nube"}, {"a", "abeja"}}) {
        Caja(0)->setEditText(QString::fromUtf8(escrito));
        EXPECT_EQ(Elegida(), QString::fromUtf8(elegida)) << escrito;
    }
}

} // namespace
