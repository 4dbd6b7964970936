// The compact store of a recordset's cells: every kind of value comes back as it went in,
// across the store's blocks of cells and of characters.
#include "Ayudas.h"
#include "Celdas.h"
#include "Collection.h"

#include <gtest/gtest.h>

namespace {

TEST(Celdas, EveryKindOfValueComesBackAsItWentIn) {
    const QString largo(300 * 1024, u'ñ'); // longer than a block of characters

    const QList<Variant> valores = {
        Variant(),
        Variant::Nulo(),
        Variant(QString()),
        Variant(QStringLiteral("Caño 1/2\" 'reforzado'")),
        Variant(qint64(-9007199254740993)),
        Variant(0.1),
        Variant(-2.5e-300),
        Variant::Decimal(QStringLiteral("-12345678901234.5678")),
        Variant(true),
        Variant::Fecha(QDate(2003, 3, 1), QTime(23, 59, 58, 999)),
        Variant::Fecha(QDate(1, 1, 1)),
        Variant(QDateTime()),
        Variant(NuevaCollection()),
    };
    Celdas celdas;
    // Enough rounds to fill several blocks of cells and of characters.
    constexpr int vueltas = 2500;
    for (int v = 0; v < vueltas; ++v)
        for (const Variant& valor : valores)
            celdas.Agregar(valor);
    celdas.Agregar(Variant(largo));
    celdas.Agregar(Variant(QStringLiteral("después")));
    celdas.Ajustar();
    const qsizetype fin = qsizetype(vueltas) * valores.size();
    ASSERT_EQ(celdas.Cantidad(), fin + 2);
    EXPECT_EQ(celdas.Valor(fin), Variant(largo));
    EXPECT_EQ(celdas.Valor(fin + 1), Variant(QStringLiteral("después")));
    for (int v : {0, 1, vueltas / 2, vueltas - 1})
        for (qsizetype i = 0; i < valores.size(); ++i) {
            const Variant leido = celdas.Valor(qsizetype(v) * valores.size() + i);
            EXPECT_EQ(leido.tipo(), valores[i].tipo()) << v << ' ' << i;
            if (valores[i].tipo() != Variant::Tipo::Objeto) {
                EXPECT_EQ(leido, valores[i]) << v << ' ' << i;
            }
        }
    // A value replaced in place, as a row being edited.
    celdas.Asignar(4, Variant(QStringLiteral("otro")));
    EXPECT_EQ(celdas.Valor(4), Variant(QStringLiteral("otro")));
    EXPECT_EQ(celdas.Valor(3), valores[3]);
    celdas.Vaciar();
    EXPECT_EQ(celdas.Cantidad(), 0);
}

// Texts the engine gives in UTF-8 are decoded into the store as QString::fromUtf8 decodes
// them (plain, accented, outside the basic plane, malformed), before and after the store
// compacts its cells, across blocks of characters; and read back without a copy.
TEST(Celdas, TextsFromUtf8ReadBackWithoutACopy) {
    const QList<QByteArray> textos = {
        "", "ABC-123", "Ca\xc3\xb1o \xc3\x81" "cido", "\xf0\x9f\x93\xa6 caja", "mal \xc3 formado \xff",
        QByteArray(300 * 1024, 'x'),
    };
    Celdas celdas;
    constexpr int vueltas = 3000; // past the small store and over several character blocks
    for (int v = 0; v < vueltas; ++v) {
        for (const QByteArray& t : textos)
            celdas.AgregarTextoUtf8(t.constData(), t.size());
        celdas.Agregar(Variant::Nulo());
        celdas.Agregar(Variant(qint64(v)));
    }
    const qsizetype porVuelta = textos.size() + 2;
    for (int v : {0, 1, vueltas / 2, vueltas - 1}) {
        const qsizetype base = v * porVuelta;
        for (qsizetype i = 0; i < textos.size(); ++i) {
            const QString esperado = QString::fromUtf8(textos[i]);
            QStringView vista;
            ASSERT_TRUE(celdas.Texto(base + i, vista)) << v << ' ' << i;
            EXPECT_EQ(vista, esperado) << v << ' ' << i;
            EXPECT_EQ(celdas.Valor(base + i), Variant(esperado)) << v << ' ' << i;
        }
        QStringView vista = u"no";
        EXPECT_TRUE(celdas.Texto(base + textos.size(), vista));
        EXPECT_TRUE(vista.isEmpty());
        EXPECT_FALSE(celdas.Texto(base + textos.size() + 1, vista));
    }
}

} // namespace
