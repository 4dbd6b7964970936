#include "Falla.h"
#include "ModGlobal.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

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

// The strict reading of the batch commands: what a good line gives, key by key (a key not
// given is absent), and for a bad one its message.
struct LineaEstricta {
    const char* linea;
    std::vector<std::pair<const char*, const char*>> valores;
    const char* error;
};

class ClavesEstrictas : public ::testing::TestWithParam<LineaEstricta> {};

TEST_P(ClavesEstrictas, GiveTheValuesOrNameTheProblem) {
    const LineaEstricta& caso = GetParam();
    QString error;
    const auto valores = ModGlobal::LeerClavesEstrictas(QString::fromUtf8(caso.linea), error);
    if (caso.error) {
        ASSERT_FALSE(valores) << "aceptó la línea";
        EXPECT_EQ(error, QString::fromUtf8(caso.error));
        return;
    }
    ASSERT_TRUE(valores) << error.toStdString();
    QHash<QString, QString> esperados;
    for (const auto& [clave, valor] : caso.valores)
        esperados.insert(QString::fromUtf8(clave), QString::fromUtf8(valor));
    EXPECT_EQ(*valores, esperados);
}

INSTANTIATE_TEST_SUITE_P(
    Lineas, ClavesEstrictas,
    ::testing::Values(
        LineaEstricta{" ", {}, nullptr},
        LineaEstricta{"@Server=SRV01;@DbName=EMPRESA;",
                      {{"@Server", "SRV01"}, {"@DbName", "EMPRESA"}}, nullptr},
        LineaEstricta{"@server=a; @DBNAME=b;\t@usuario=c;",
                      {{"@Server", "a"}, {"@DbName", "b"}, {"@Usuario", "c"}}, nullptr},
        LineaEstricta{"@Server = SRV 01 ;", {{"@Server", "SRV 01"}}, nullptr},
        LineaEstricta{"@Caja=1=2;@Password=a=b=;", {{"@Caja", "12"}, {"@Password", "ab"}}, nullptr},
        LineaEstricta{"@DbName;@Server SRV;", {{"@DbName", ""}, {"@Server", "SRV"}}, nullptr},
        LineaEstricta{"@UsuarioLogeado=ana;@Usuario=juan;",
                      {{"@UsuarioLogeado", "ana"}, {"@Usuario", "juan"}}, nullptr},
        // A value may hold "@" and other keys' names, as long as no "=" follows them.
        LineaEstricta{"@Password=p@Caja1;@Menu=ver @Server;",
                      {{"@Password", "p@Caja1"}, {"@Menu", "ver @Server"}}, nullptr},
        LineaEstricta{"@Sever=empresa;@Usuario=stock;", {},
                      "clave desconocida «@Sever»: ¿quiso decir @Server?"},
        LineaEstricta{"@dbnmae=x;", {}, "clave desconocida «@dbnmae»: ¿quiso decir @DbName?"},
        // Too far from every key for a guess: all of them are listed.
        LineaEstricta{"@Foo=x;", {},
                      "clave desconocida «@Foo» (las claves son @ParametroAdicional, @Menu, "
                      "@Server, @DbName, @Usuario, @Password, @UsuarioLogeado, @Caja)"},
        LineaEstricta{"x@DbName=a;", {}, "texto fuera de las claves: «x»"},
        LineaEstricta{"@DbName=a;;", {}, "texto fuera de las claves: «;»"},
        LineaEstricta{"@Server=X;@DbName=EMPRESA", {}, "falta el «;» que cierra el valor de @DbName"},
        LineaEstricta{"@Server=empresa @DbName=empresa;", {},
                      "falta el «;» que cierra el valor de @Server (antes de @DbName)"},
        LineaEstricta{"@Server=a;@server=b;", {}, "la clave @Server está más de una vez"}));

} // namespace
