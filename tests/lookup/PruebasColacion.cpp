// Texts ordered and searched as the user's locale compares them: the collation table, the
// column store and the model's search agree with the collator itself.
#include "Cadenas.h"
#include "Colacion.h"
#include "ModeloLista.h"
#include "TextosColumna.h"

#include <QCollator>
#include <QLocale>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <random>

namespace {

int Signo(int v) {
    return (v > 0) - (v < 0);
}

// Texts of the characters lists hold, with some the table leaves to the collator: ß and æ
// (two letters each), an accent written apart, a tab.
QString TextoAlAzar(std::mt19937& azar) {
    static const QString letras = QStringLiteral("aAbBcCnNñÑeéÉiíoóuúüzZ0129 -.,'°ºªßæ\u0301\t");
    QString t;
    const int largo = int(azar() % 7);
    for (int i = 0; i < largo; ++i)
        t += letras[qsizetype(azar() % letras.size())];
    return t;
}

class Colaciones : public ::testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override {
        antes = QLocale();
        QLocale::setDefault(QLocale(GetParam()));
        colador = QCollator(QLocale(GetParam()));
        colador.setCaseSensitivity(Qt::CaseInsensitive);
    }
    void TearDown() override { QLocale::setDefault(antes); }
    QLocale antes;
    QCollator colador;
};

TEST_P(Colaciones, TheTableOrdersAndMatchesAsTheCollatorDoes) {
    const Colacion& colacion = Colacion::Actual();
    EXPECT_TRUE(colacion.TablaEnUso());
    std::mt19937 azar(7);
    for (int i = 0; i < 20000; ++i) {
        const QString a = TextoAlAzar(azar);
        const QString b = (azar() % 2 ? a.left(int(azar() % (a.size() + 1))) : QString()) + TextoAlAzar(azar);
        ASSERT_EQ(colacion.Comparar(a, b), Signo(colador.compare(a, b))) << (a + QStringLiteral(" / ") + b).toStdString();
        const QString prefijo = b.left(int(azar() % (b.size() + 1)));
        ASSERT_EQ(colacion.EmpiezaCon(a, prefijo),
                  a.size() >= prefijo.size() && colador.compare(a.left(prefijo.size()), prefijo) == 0)
            << (a + QStringLiteral(" / ") + prefijo).toStdString();
        // The quick way the list's search takes agrees, blanks around the text included.
        const QString rodeado = QString(int(azar() % 3), u' ') + a + QString(int(azar() % 3), u' ');
        ASSERT_EQ(colacion.EmpiezaSinEspaciosCon(rodeado, colacion.Preparar(prefijo)),
                  colacion.EmpiezaCon(Cadenas::SinEspacios(rodeado), prefijo))
            << (rodeado + QStringLiteral(" / ") + prefijo).toStdString();
    }
}

TEST_P(Colaciones, AColumnsPlacesFollowTheCollatorWithOrWithoutTheTable) {
    std::mt19937 azar(11);
    for (bool soloTabla : {true, false}) {
        TextosColumna textos;
        QStringList todos;
        for (int i = 0; i < 3000; ++i) {
            QString t = TextoAlAzar(azar);
            if (soloTabla)
                t.remove(QRegularExpression(QStringLiteral("[ßæ\u0301\t]")));
            textos.Agregar(t);
            todos << t;
        }
        const Colacion::Orden orden = Colacion::Actual().Ordenar(textos);
        EXPECT_EQ(orden.porTabla, soloTabla);
        for (int i = 0; i < 20000; ++i) {
            const size_t a = azar() % size_t(todos.size()), b = azar() % size_t(todos.size());
            ASSERT_EQ(Signo(int(orden.rangos[a]) - int(orden.rangos[b])),
                      Signo(colador.compare(todos[qsizetype(a)], todos[qsizetype(b)])))
                << (todos[qsizetype(a)] + QStringLiteral(" / ") + todos[qsizetype(b)]).toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Idiomas, Colaciones,
                         ::testing::Values(QLocale::Spanish, QLocale::English, QLocale::Swedish));

TEST(Colacion, TheCLocaleSortsAsSpanish) {
    const QLocale antes;
    QLocale::setDefault(QLocale::c());
    const Colacion& colacion = Colacion::Actual();
    EXPECT_LT(colacion.Comparar(u"Ácido", u"b"), 0);
    EXPECT_LT(colacion.Comparar(u"nube", u"Ñandú"), 0);
    EXPECT_LT(colacion.Comparar(u"Ñandú", u"zeta"), 0);
    EXPECT_TRUE(colacion.Iguales(u"ÁRBOL", u"árbol"));
    EXPECT_FALSE(colacion.Iguales(u"arbol", u"árbol"));
    QLocale::setDefault(antes);
}

TEST(TextosColumna, KeepsEveryTextThroughEditsAndLongTexts) {
    TextosColumna textos;
    const QString largo(3 << 20, u'x');
    textos.Agregar(u"uno");
    textos.AgregarVacias(1);
    textos.Agregar(largo);
    textos.Agregar(u"cuatro");
    textos.Asignar(3, u"CUATRO, más largo"); // the last one written: in place
    textos.Asignar(0, u"primero");           // another: new room
    textos.Asignar(1, u"dos");
    textos.Asignar(2, u"corto");
    textos.Asignar(3, u"");
    const QStringList esperados{"primero", "dos", "corto", ""};
    ASSERT_EQ(textos.Cantidad(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(textos.Vista(i).toString(), esperados[qsizetype(i)]) << i;
    textos.Asignar(2, largo);
    EXPECT_EQ(textos.Vista(2).size(), largo.size());
    EXPECT_EQ(textos.Vista(1), u"dos");
}

// The model's search, whether it halves a sorted column, halves another column's order worked
// out in the background, or reads the rows, finds what reading every row in order with the
// collator finds; also when the cells change while the background work is still going on.
TEST(ModeloLista, SearchFindsTheFirstMatchingRowInTheListsOrder) {
    const QLocale antes;
    QLocale::setDefault(QLocale(QLocale::Spanish));
    QCollator colador{QLocale(QLocale::Spanish)};
    colador.setCaseSensitivity(Qt::CaseInsensitive);
    std::mt19937 azar(3);
    ModeloLista modelo;
    modelo.AgregarColumna({}, QStringLiteral("A"), 100);
    modelo.AgregarColumna({}, QStringLiteral("B"), 100);
    // Enough rows for the background work: column A holds only what the table knows, B also
    // what only the collator can compare.
    auto cargar = [&] {
        modelo.IniciarCarga();
        modelo.QuitarFilas();
        for (int i = 0; i < 12000; ++i) {
            QString a = TextoAlAzar(azar).remove(QRegularExpression(QStringLiteral("[ßæ\u0301\t ]")));
            modelo.AgregarFilaCargada({a, TextoAlAzar(azar)});
        }
        modelo.TerminarCarga();
    };
    auto porLectura = [&](int columna, const QString& texto) {
        for (int p = 0; p < modelo.CantidadFilas(); ++p) {
            // Only spaces are trimmed: a tab is part of the text.
            QString celda = modelo.Celda(modelo.IdEn(p), columna);
            while (celda.startsWith(u' '))
                celda.remove(0, 1);
            if (celda.size() >= texto.size() && colador.compare(celda.left(texto.size()), texto) == 0)
                return p;
        }
        return -1;
    };
    auto comparar = [&](const char* cuando) {
        for (const auto& [ordenada, columnaOrden, descendente] :
             {std::tuple{false, 0, false}, {true, 0, false}, {true, 0, true}, {true, 1, false}}) {
            modelo.AsignarOrden(ordenada, columnaOrden, descendente);
            for (int i = 0; i < 150; ++i) {
                const QString texto = TextoAlAzar(azar).left(3).trimmed();
                for (int columna : {0, 1})
                    ASSERT_EQ(modelo.Buscar(columna, texto), porLectura(columna, texto))
                        << cuando << ": " << texto.toStdString() << " en la columna " << columna
                        << ", orden por " << columnaOrden << (descendente ? " descendente" : "");
            }
        }
    };
    cargar();
    ASSERT_TRUE(modelo.EsperarOrdenes(60000));
    comparar("con los órdenes de fondo");
    // Cells and rows changed at once after a load stop the background work (nothing is read
    // while it changes) and leave no order out of date behind.
    cargar();
    for (int id = 0; id < 50; ++id)
        modelo.AsignarCelda(id * 97, 0, TextoAlAzar(azar).remove(QRegularExpression(QStringLiteral("[ßæ\u0301\t ]"))));
    modelo.AgregarFila();
    modelo.EsperarOrdenes(200);
    comparar("con celdas cambiadas");
    QLocale::setDefault(antes);
}

} // namespace
