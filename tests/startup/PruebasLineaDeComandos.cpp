#include "Falla.h"
#include "ModGlobal.h"

#include <gtest/gtest.h>

namespace {

using ModGlobal::ValorDeClave;

QString V(const char* linea, const char* clave) {
    return ValorDeClave(QString::fromUtf8(linea), QString::fromUtf8(clave));
}

TEST(LineaDeComandos, KeysAreFoundInAnyCaseWithEqualsRemovedAndOuterSpacesTrimmed) {
    EXPECT_EQ(V("@server=SRV01;", "@Server"), QStringLiteral("SRV01"));
    EXPECT_EQ(V("@Server = SRV 01 ;", "@Server"), QStringLiteral("SRV 01"));
    EXPECT_EQ(V("@Caja=1=2;", "@Caja"), QStringLiteral("12"));
    EXPECT_EQ(V("x @DbName=EMPRESA; basura @Menu=Stock;", "@Menu"), QStringLiteral("Stock"));
    EXPECT_EQ(V("@DbName=;", "@DbName"), QString());
    EXPECT_EQ(V("", "@DbName"), QString());
    EXPECT_EQ(V("@Server=A;@Server=B;", "@Server"), QStringLiteral("A"));
}

TEST(LineaDeComandos, AKeyWithNoSemicolonAfterItIsAnInvalidArgument) {
    try {
        V("@Server=X;@DbName=EMPRESA", "@DbName");
        FAIL() << "no falló";
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::ArgumentoNoValido);
    }
}

TEST(LineaDeComandos, AKeyIsNotTakenForTheBeginningOfALongerKey) {
    EXPECT_EQ(V("@UsuarioLogeado=ana;@Usuario=juan;", "@Usuario"), QStringLiteral("juan"));
    EXPECT_EQ(V("@UsuarioLogeado=ana;@Usuario=juan;", "@UsuarioLogeado"), QStringLiteral("ana"));
    EXPECT_EQ(V("@Usuario=juan;@UsuarioLogeado=ana;", "@Usuario"), QStringLiteral("juan"));
    EXPECT_EQ(V("@USUARIOLOGEADO=ana;", "@Usuario"), QString());
    EXPECT_EQ(V("@usuariologeado=ana;@usuario=pepe;", "@Usuario"), QStringLiteral("pepe"));
}

} // namespace
