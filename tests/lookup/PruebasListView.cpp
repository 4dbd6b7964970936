#include "Ayudas.h"
#include "CodigosTecla.h"
#include "Falla.h"
#include "ListView.h"
#include "ModeloLista.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class Lista : public ::testing::Test {
protected:
    void SetUp() override {
        lista.resize(600, 300);
        lista.ColumnHeaders().Add({}, QStringLiteral("Codigo"), 1500);
        lista.ColumnHeaders().Add({}, QStringLiteral("Nombre"), 3000);
    }
    ListItem Fila(const QString& codigo, const QString& nombre) {
        ListItem item = lista.ListItems().Add();
        item.AsignarText(codigo);
        item.AsignarSubItems(1, nombre);
        return item;
    }
    QStringList Codigos() {
        QStringList codigos;
        for (int i = 1; i <= lista.ListItems().Count(); ++i)
            codigos << lista.ListItems().Item(i).Text();
        return codigos;
    }
    QPoint CentroDeFila(int posicion) {
        return lista.visualRect(lista.model()->index(posicion - 1, 1)).center();
    }
    ListView lista;
};

TEST_F(Lista, SortingIsByTextWithoutRegardToCaseAndStable) {
    for (const char* c : {"9", "b", "10", "A", "B", "a", "Ñandú", "1"})
        Fila(QString::fromUtf8(c), QStringLiteral("x"));
    lista.AsignarSorted(true);
    // Equal texts keep the order they had: "b" before "B", "A" before "a".
    EXPECT_EQ(Codigos(), (QStringList{"1", "10", "9", "A", "a", "b", "B", "Ñandú"}));
    lista.AsignarSortOrder(ListView::lvwDescending);
    EXPECT_EQ(Codigos(), (QStringList{"Ñandú", "b", "B", "A", "a", "9", "10", "1"}));
    // Positions follow the order.
    EXPECT_EQ(lista.ListItems().Item(2).Text(), QStringLiteral("b"));
    EXPECT_EQ(lista.ListItems().Item(2).Index(), 2);
}

TEST_F(Lista, CheckMarksAndTheSelectionStayWithTheirRows) {
    lista.AsignarCheckboxes(true);
    ListItem tres = Fila(QStringLiteral("3"), QStringLiteral("tres"));
    Fila(QStringLiteral("1"), QStringLiteral("uno"));
    ListItem dos = Fila(QStringLiteral("2"), QStringLiteral("dos"));
    tres.AsignarChecked(true);
    lista.AsignarSelectedItem(dos);
    lista.AsignarSortKey(1);
    lista.AsignarSorted(true);
    EXPECT_EQ(Codigos(), (QStringList{"2", "3", "1"}));
    EXPECT_TRUE(lista.ListItems().Item(2).Checked());
    EXPECT_FALSE(lista.ListItems().Item(1).Checked());
    EXPECT_EQ(lista.SelectedItem(), dos);
    EXPECT_EQ(lista.SelectedItem().Index(), 1);
    EXPECT_EQ(lista.model()->data(lista.model()->index(1, 0), Qt::CheckStateRole), Qt::Checked);
}

TEST_F(Lista, ClickingAHeaderOrACheckBoxAndDoubleClickingRaiseTheirEvents) {
    lista.AsignarCheckboxes(true);
    Fila(QStringLiteral("1"), QStringLiteral("uno"));
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    QSignalSpy columnas(&lista, &ListView::ColumnClick);
    QSignalSpy marcas(&lista, &ListView::ItemCheck);
    QSignalSpy dobles(&lista, &ListView::DblClick);
    QHeaderView* encabezado = lista.header();
    QTest::mouseClick(encabezado->viewport(), Qt::LeftButton, {},
                      QPoint(encabezado->sectionViewportPosition(1) + 10, encabezado->height() / 2));
    ASSERT_EQ(columnas.count(), 1);
    EXPECT_EQ(columnas[0][0].toInt(), 2);
    // The sort is the handler's business: a click alone does not reorder.
    EXPECT_FALSE(lista.Sorted());

    const QRect celda = lista.visualRect(lista.model()->index(0, 0));
    QPoint casilla(celda.left() + 8, celda.center().y());
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, casilla);
    if (!lista.ListItems().Item(1).Checked())
        QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, casilla + QPoint(6, 0));
    EXPECT_TRUE(lista.ListItems().Item(1).Checked());
    EXPECT_GE(marcas.count(), 1);

    QTest::mouseDClick(lista.viewport(), Qt::LeftButton, {}, CentroDeFila(1));
    EXPECT_EQ(dobles.count(), 1);
}

// The check box of the selected row (the first one is selected as soon as the list is shown)
// marks and unmarks it as another row's does, and never offers a label edit, even where the
// handlers refuse every edit (as the lookup's do).
TEST_F(Lista, ACheckBoxClickMarksItsRowWhetherSelectedOrNot) {
    lista.AsignarCheckboxes(true);
    ListItem uno = Fila(QStringLiteral("1"), QStringLiteral("uno"));
    ListItem dos = Fila(QStringLiteral("2"), QStringLiteral("dos"));
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    lista.AsignarSelectedItem(uno);
    int ediciones = 0;
    QObject::connect(&lista, &ListView::BeforeLabelEdit, [&](qint16& cancelar) {
        ++ediciones;
        cancelar = 1;
    });
    auto casilla = [&](int fila) {
        QStyleOptionViewItem opcion;
        opcion.initFrom(lista.viewport());
        opcion.rect = lista.visualRect(lista.model()->index(fila - 1, 0));
        opcion.features |= QStyleOptionViewItem::HasCheckIndicator;
        return lista.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opcion,
                                             &lista).center();
    };
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, casilla(1));
    EXPECT_TRUE(uno.Checked());
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, casilla(1));
    EXPECT_FALSE(uno.Checked());
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, {}, casilla(2));
    EXPECT_TRUE(dos.Checked());
    EXPECT_FALSE(uno.Checked());
    EXPECT_EQ(ediciones, 0);
    EXPECT_EQ(lista.findChild<QLineEdit*>(), nullptr);
}

TEST_F(Lista, KeysArriveAsVirtualKeyCodesWithTheirModifierMask) {
    Fila(QStringLiteral("1"), QStringLiteral("uno"));
    Fila(QStringLiteral("2"), QStringLiteral("dos"));
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    QList<std::pair<int, int>> recibidas;
    bool consumir = false;
    QObject::connect(&lista, &ListView::KeyDown, [&](qint16& codigo, qint16 mascara) {
        recibidas.append({codigo, mascara});
        if (consumir)
            codigo = 0;
    });
    QTest::keyClick(&lista, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyClick(&lista, Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyClick(&lista, Qt::Key_1, Qt::KeypadModifier);
    QTest::keyClick(&lista, Qt::Key_F5, Qt::AltModifier);
    QTest::keyClick(&lista, Qt::Key_Return);
    // The modifier keys themselves come first, as the family's controls report them.
    EXPECT_EQ(recibidas, (QList<std::pair<int, int>>{
                             {16, 1}, {65, 1}, {17, 2}, {45, 2}, {97, 0}, {18, 4}, {116, 4}, {13, 0}}));

    lista.AsignarSelectedItem(lista.ListItems().Item(1));
    consumir = true;
    QTest::keyClick(&lista, Qt::Key_Down);
    EXPECT_EQ(lista.SelectedItem().Index(), 1); // the handler kept the key
    consumir = false;
    QTest::keyClick(&lista, Qt::Key_Down);
    EXPECT_EQ(lista.SelectedItem().Index(), 2);
}

TEST_F(Lista, ALabelEditIsOfferedToTheHandlersWhoMayRefuseIt) {
    ListItem fila = Fila(QStringLiteral("viejo"), QStringLiteral("x"));
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    lista.AsignarSelectedItem(fila);
    lista.setFocus();
    qint16 cancelarAntes = 1, cancelarDespues = 1;
    int antes = 0, despues = 0;
    QObject::connect(&lista, &ListView::BeforeLabelEdit, [&](qint16& c) {
        ++antes;
        c = cancelarAntes;
    });
    QObject::connect(&lista, &ListView::AfterLabelEdit, [&](qint16& c, QString&) {
        ++despues;
        c = cancelarDespues;
    });
    QTest::keyClick(&lista, Qt::Key_F2);
    EXPECT_EQ(antes, 1);
    EXPECT_EQ(lista.findChild<QLineEdit*>(), nullptr);

    // Let the edit start, then refuse the new text when it ends.
    cancelarAntes = 0;
    QTest::keyClick(&lista, Qt::Key_F2);
    auto* editor = lista.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("nuevo"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor's text is handed over after the key
    EXPECT_EQ(despues, 1);
    EXPECT_EQ(fila.Text(), QStringLiteral("viejo"));
    EXPECT_EQ(fila.SubItems(1), QStringLiteral("x"));
}

TEST_F(Lista, RowsAreAddressedByPositionAndMissingOnesAreRefused) {
    ListItem a = Fila(QStringLiteral("a"), QStringLiteral("x"));
    EXPECT_EQ(lista.ListItems().Count(), 1);
    EXPECT_EQ(a.Index(), 1);
    EXPECT_EQ(Pruebas::NumeroDeFalla([&] { lista.ListItems().Item(2); }), Errores::FueraDeIntervalo);
    EXPECT_EQ(Pruebas::NumeroDeFalla([&] { a.SubItems(2); }), Errores::FueraDeIntervalo);
    EXPECT_EQ(Pruebas::NumeroDeFalla([&] { ListItem().Text(); }), Errores::ObjetoNoEstablecido);
    EXPECT_TRUE(lista.SelectedItem().EsNulo());
    const ColumnHeader segunda = lista.ColumnHeaders().Item(2);
    EXPECT_EQ(segunda.Left, 1500);
    EXPECT_EQ(segunda.Width, 3000);
    lista.ListItems().Clear();
    EXPECT_EQ(lista.ListItems().Count(), 0);
}

TEST_F(Lista, EnsureVisibleScrollsToTheRow) {
    for (int i = 1; i <= 200; ++i)
        Fila(QString::number(i), QStringLiteral("fila"));
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    ListItem ultima = lista.ListItems().Item(200);
    EXPECT_FALSE(lista.viewport()->rect().contains(CentroDeFila(200)));
    ultima.EnsureVisible();
    EXPECT_TRUE(lista.viewport()->rect().contains(CentroDeFila(200)));
}

TEST(CodigosTecla, TheKeypadAndTheFunctionKeysHaveCodesOfTheirOwn) {
    using namespace CodigosTecla;
    EXPECT_EQ(Codigo(Qt::Key_5, Qt::NoModifier), 53);
    EXPECT_EQ(Codigo(Qt::Key_5, Qt::KeypadModifier), 101);
    EXPECT_EQ(Codigo(Qt::Key_Home, Qt::KeypadModifier), 36);
    EXPECT_EQ(Codigo(Qt::Key_Asterisk, Qt::KeypadModifier), 106);
    EXPECT_EQ(Codigo(Qt::Key_Enter, Qt::KeypadModifier), 13);
    EXPECT_EQ(Codigo(Qt::Key_F12, Qt::NoModifier), 123);
    EXPECT_EQ(Codigo(Qt::Key_Backspace, Qt::NoModifier), 8);
    EXPECT_EQ(Codigo(Qt::Key_Z, Qt::ShiftModifier), 90);
    EXPECT_EQ(Codigo(Qt::Key_PageDown, Qt::NoModifier), 34);
    EXPECT_EQ(Mascara(Qt::ShiftModifier | Qt::AltModifier), 5);
    EXPECT_EQ(Mascara(Qt::KeypadModifier), 0);
}

} // namespace
