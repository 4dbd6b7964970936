#include "Ayudas.h"
#include "Falla.h"
#include "Rutina.h"

#include <gtest/gtest.h>

namespace {

const Falla Cinco = Falla::ArgumentoNoValido();
const Falla Otra = Falla::BaseDeDatos(QStringLiteral("rechazada"));

TEST(Rutina, SkippingEveryFailureRunsEveryStep) {
    Rutina r(EstiloFallas::OmitirTodas);
    QStringList hechos;
    r.Paso([&] { throw Otra; });
    r.Paso([&] { hechos << QStringLiteral("b"); });
    r.Paso([&] { throw Cinco; });
    r.Paso([&] { hechos << QStringLiteral("d"); });
    EXPECT_EQ(hechos, (QStringList{QStringLiteral("b"), QStringLiteral("d")}));
    EXPECT_EQ(r.Fallas(), 2);
    EXPECT_TRUE(r.Activa());
}

TEST(Rutina, OnlyFailuresNumberedFiveAreSkippedTheOthersEndTheRoutine) {
    Rutina r(EstiloFallas::OmitirSolo5);
    QStringList hechos;
    r.Paso([&] { throw Cinco; });
    r.Paso([&] { hechos << QStringLiteral("b"); });
    EXPECT_FALSE(r.Paso([&] { throw Otra; }));
    r.Paso([&] { hechos << QStringLiteral("d"); });
    EXPECT_EQ(hechos, QStringList{QStringLiteral("b")});
    EXPECT_FALSE(r.Activa());
}

TEST(Rutina, AFailingConditionThatIsSkippedRunsTheGuardedSteps) {
    Rutina r(EstiloFallas::OmitirSolo5);
    EXPECT_TRUE(r.Si([]() -> bool { throw Falla::ArgumentoNoValido(); }));
    EXPECT_FALSE(r.Si([] { return false; }));
    EXPECT_TRUE(r.Si([] { return true; }));
    EXPECT_FALSE(r.Si([]() -> bool { throw Falla::BaseDeDatos(QStringLiteral("x")); }));
    EXPECT_FALSE(r.Si([] { return true; }));
}

TEST(Rutina, TheUsersAnswerRetriesSkipsOrLeaves) {
    auto& guion = Pruebas::NuevoGuion();
    guion.respuestasError = {4, 5, 3};
    Rutina r(EstiloFallas::Informar, QStringLiteral("Cfg"));
    int intentos = 0;
    QStringList hechos;
    r.Paso([&] {
        if (++intentos == 1)
            throw Otra;
        hechos << QStringLiteral("reintentado");
    });
    r.Paso([&] { throw Otra; });
    r.Paso([&] { hechos << QStringLiteral("siguiente"); });
    r.Paso([&] { throw Cinco; });
    r.Paso([&] { hechos << QStringLiteral("nunca"); });
    EXPECT_EQ(hechos, (QStringList{QStringLiteral("reintentado"), QStringLiteral("siguiente")}));
    ASSERT_EQ(guion.errores.size(), 3);
    EXPECT_EQ(guion.errores[0].origen, QStringLiteral("Cfg"));
    EXPECT_EQ(guion.errores[0].descripcion, QStringLiteral("rechazada"));
    EXPECT_EQ(guion.errores[2].numero, Errores::ArgumentoNoValido);
    EXPECT_FALSE(r.Activa());
}

TEST(Rutina, WithoutRetryTheAnswerFourLeavesToo) {
    auto& guion = Pruebas::NuevoGuion();
    guion.respuestasError = {4};
    Rutina r(EstiloFallas::InformarSinReintento, QStringLiteral("Cfg"));
    int intentos = 0;
    r.Paso([&] {
        ++intentos;
        throw Otra;
    });
    EXPECT_EQ(intentos, 1);
    EXPECT_FALSE(r.Activa());
}

TEST(Rutina, EndingTheProgramPassesThroughEveryStyle) {
    Pruebas::NuevoGuion();
    for (EstiloFallas estilo : {EstiloFallas::OmitirTodas, EstiloFallas::OmitirSolo5,
                                EstiloFallas::Informar}) {
        Rutina r(estilo);
        EXPECT_THROW(r.Paso([] { Interaccion::Actual().TerminarPrograma(1); }), FinDelPrograma);
    }
}

} // namespace
