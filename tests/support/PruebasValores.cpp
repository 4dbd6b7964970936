#include "Ayudas.h"
#include "Cadenas.h"
#include "Collection.h"
#include "Cp1252.h"
#include "Falla.h"
#include "Utilidades.h"
#include "Variant.h"

#include <gtest/gtest.h>

namespace {

using Pruebas::NumeroDeFalla;

TEST(Variant, NegatingADecimalKeepsEveryDigitAndNullStaysNull) {
    EXPECT_EQ(Variant::Decimal(QStringLiteral("5")).Negado().Texto(), QStringLiteral("-5"));
    EXPECT_EQ(Variant::Decimal(QStringLiteral("12345678901234.5678")).Negado().Texto(),
              QStringLiteral("-12345678901234.5678"));
    EXPECT_EQ(Variant::Decimal(QStringLiteral("-0.0010")).Negado().Texto(),
              QStringLiteral("0.0010"));
    EXPECT_EQ(Variant::Decimal(QStringLiteral("0.00")).Negado().Texto(), QStringLiteral("0.00"));
    EXPECT_TRUE(Variant::Nulo().Negado().EsNulo());
    EXPECT_EQ(Variant(qint64(7)).Negado(), Variant(qint64(-7)));
    EXPECT_EQ(NumeroDeFalla([] { Variant(std::numeric_limits<qint64>::min()).Negado(); }),
              Errores::Desbordamiento);
    EXPECT_EQ(NumeroDeFalla([] { Variant(QStringLiteral("cinco")).Negado(); }),
              Errores::TiposNoCoinciden);
}

TEST(Variant, TextOfNullIsRefusedAndOfEmptyIsBlank) {
    EXPECT_EQ(NumeroDeFalla([] { (void)Variant::Nulo().Texto(); }), Errores::UsoNoValidoDeNull);
    EXPECT_EQ(Variant().Texto(), QString());
    EXPECT_EQ(Variant(0.1).Texto(), QStringLiteral("0.1"));
    EXPECT_EQ(Variant::Fecha(QDate(2003, 3, 1)).Texto(), QStringLiteral("01/03/2003"));
    EXPECT_EQ(Variant::Fecha(QDate(2003, 3, 1), QTime(9, 5, 7)).Texto(),
              QStringLiteral("01/03/2003 09:05:07"));
    EXPECT_EQ(NumeroDeFalla([] { Variant::Decimal(QStringLiteral("1,5")); }),
              Errores::TiposNoCoinciden);
}

TEST(Collection, PositionsCountFromOneAndReferencesShareValues) {
    RefCollection a = NuevaCollection();
    RefCollection b = a;
    a->Add(QStringLiteral("uno"));
    a->Add(Variant::Nulo());
    b->Add(qint64(3));
    EXPECT_EQ(a->Count(), 3);
    EXPECT_EQ(a->Item(1).Texto(), QStringLiteral("uno"));
    EXPECT_TRUE(a->Item(2).EsNulo());
    b->Remove(1);
    EXPECT_EQ(a->Item(1).EsNulo(), true);
    EXPECT_EQ(NumeroDeFalla([&] { a->Item(0); }), Errores::FueraDeIntervalo);
    EXPECT_EQ(NumeroDeFalla([&] { a->Item(3); }), Errores::FueraDeIntervalo);
}

TEST(Cadenas, ValReadsTheLeadingNumberSkippingBlanksAnywhere) {
    EXPECT_EQ(Cadenas::Val(u" 1 2 3abc"), 123);
    EXPECT_EQ(Cadenas::Val(u"0"), 0);
    EXPECT_EQ(Cadenas::Val(u"abc"), 0);
    EXPECT_EQ(Cadenas::Val(u""), 0);
    EXPECT_EQ(Cadenas::Val(u"-3.5e2x"), -350);
    EXPECT_EQ(Cadenas::Val(u"&H10"), 16);
    EXPECT_EQ(Cadenas::Val(u"&HFFFF"), -1);
    EXPECT_EQ(Cadenas::Val(u"&O17"), 15);
    EXPECT_EQ(Cadenas::Val(u"2,5"), 2);
    EXPECT_EQ(NumeroDeFalla([] { Cadenas::Val(u"1e999"); }), Errores::Desbordamiento);
}

TEST(Cadenas, TrimmingRemovesSpacesOnly) {
    EXPECT_EQ(Cadenas::Recortar(u"  a b \t "), QStringLiteral("a b \t"));
    EXPECT_EQ(Cadenas::Recortar(u"   "), QString());
}

TEST(Utilidades, NumbersFromTextRoundHalvesToEven) {
    Utilidades& u = Utilidades::Instancia();
    EXPECT_EQ(u.TextoANumero(QStringLiteral("  ")).diezmilesimos, 0);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("16777215")).diezmilesimos, 167772150000);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("1,5")).diezmilesimos, 15000);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("0.00005")).diezmilesimos, 0);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("0.00015")).diezmilesimos, 2);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("0.000051")).diezmilesimos, 1);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("2.5")).RedondearEntero32(), 2);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("3.5")).RedondearEntero32(), 4);
    EXPECT_EQ(u.TextoANumero(QStringLiteral("-2.5")).RedondearEntero32(), -2);
    EXPECT_EQ(u.TextoAEntero(QStringLiteral("12")), 12);
    EXPECT_EQ(NumeroDeFalla([&] { u.TextoAEntero(QStringLiteral("2147483648")); }),
              Errores::Desbordamiento);
    EXPECT_EQ(NumeroDeFalla([&] { u.TextoANumero(QStringLiteral("rojo")); }),
              Errores::TiposNoCoinciden);
    EXPECT_EQ(NumeroDeFalla([&] { u.TextoANumero(QStringLiteral("99999999999999999999")); }),
              Errores::Desbordamiento);
}

TEST(Utilidades, TextHelpers) {
    Utilidades& u = Utilidades::Instancia();
    EXPECT_EQ(u.AgregarBarra(QStringLiteral("/opt/x")), QStringLiteral("/opt/x/"));
    EXPECT_EQ(u.AgregarBarra(QStringLiteral("/opt/x/")), QStringLiteral("/opt/x/"));
    EXPECT_EQ(u.QuitarCaracteres(QStringLiteral("=1=2="), QStringLiteral("=")),
              QStringLiteral("12"));
    const QString conControles = QStringLiteral("a") + QChar(0) + QStringLiteral("b") +
                                 QChar(0xFF) + QStringLiteral("c");
    EXPECT_EQ(u.QuitarCaracteres(conControles, QString(QChar(0)), QString(QChar(0xFF))),
              QStringLiteral("abc"));
    EXPECT_EQ(u.Reemplazar(QStringLiteral("|A|B|"), QStringLiteral("|"), QStringLiteral(",")),
              QStringLiteral(",A,B,"));
    EXPECT_EQ(u.ValorTexto(Variant::Nulo()), QString());
    EXPECT_EQ(u.FormatearTexto(QStringLiteral("a\r\nb\tc  ")), QStringLiteral("a  b c  "));
    // The list's quick test agrees with what formatting does.
    for (const QString& t : {QStringLiteral("a\r\nb\tc  "), QStringLiteral("sin saltos"), QString(),
                             QStringLiteral("\t"), QStringLiteral("\x0b\x0c")})
        EXPECT_EQ(Utilidades::CambiaAlFormatear(t), u.FormatearTexto(t) != t) << t.toStdString();
}

TEST(Cp1252, RoundTripOfTheCodePageAndUnknownCharactersAsQuestionMarks) {
    const QString texto = QStringLiteral("Año ñandú € “comillas” – Œ");
    const QByteArray bytes = Cp1252::Codificar(texto);
    EXPECT_EQ(bytes.size(), texto.size());
    EXPECT_EQ(quint8(bytes[1]), 0xF1);
    EXPECT_EQ(quint8(bytes[10]), 0x80);
    EXPECT_EQ(Cp1252::Decodificar(bytes), texto);
    EXPECT_EQ(Cp1252::Codificar(u"漢"), QByteArray("?"));
    QByteArray todos;
    for (int i = 0; i < 256; ++i)
        todos += char(i);
    EXPECT_EQ(Cp1252::Codificar(Cp1252::Decodificar(todos)), todos);
}

} // namespace
