#include "Ayudas.h"
#include "Conexion.h"
#include "Estacion.h"
#include "ModGlobal.h"

#include <QDir>
#include <QIcon>
#include <QImage>
#include <QToolBar>
#include <QWidget>
#include <gtest/gtest.h>

// A form of the family that is its MDI frame, whatever the case of its class name.
class FrmMdi : public QWidget {
    Q_OBJECT
};

namespace {

using ModGlobal::ConfigurarFormulario;

class ConfigurarFormularioPrueba : public ::testing::Test {
protected:
    void SetUp() override {
        anterior = QDir::currentPath();
        QDir::setCurrent(carpeta.Ruta());
    }
    void TearDown() override { QDir::setCurrent(anterior); }
    void CrearZelvora() {
        QImage imagen(32, 32, QImage::Format_ARGB32);
        imagen.fill(Qt::red);
        ASSERT_TRUE(imagen.save(carpeta.Archivo(QStringLiteral("zelvora.ico")), "ICO"));
    }
    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    QString anterior;
};

TEST_F(ConfigurarFormularioPrueba, AFormWithItsOwnIconKeepsItAndAFormWithoutToolbarsIsUnchanged) {
    CrearZelvora();
    QWidget formulario;
    QImage azul(16, 16, QImage::Format_ARGB32);
    azul.fill(Qt::blue);
    formulario.setWindowIcon(QIcon(QPixmap::fromImage(azul)));
    ConfigurarFormulario(&formulario);
    EXPECT_EQ(formulario.windowIcon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::blue));
    EXPECT_EQ(guion.eventosProcesados, 1);
}

TEST_F(ConfigurarFormularioPrueba, AFormWithoutIconGetsTheIconFileOfTheCurrentFolder) {
    QWidget sinArchivo;
    ConfigurarFormulario(&sinArchivo);
    EXPECT_FALSE(sinArchivo.testAttribute(Qt::WA_SetWindowIcon));

    CrearZelvora();
    QWidget formulario;
    ConfigurarFormulario(&formulario);
    ASSERT_TRUE(formulario.testAttribute(Qt::WA_SetWindowIcon));
    EXPECT_EQ(formulario.windowIcon().pixmap(32).toImage().pixelColor(16, 16), QColor(Qt::red));
}

TEST_F(ConfigurarFormularioPrueba, TheIconNamedInTheIniFileComesFromTheProgramsResources) {
    carpeta.Escribir(QStringLiteral("KD000pr.INI"), QStringLiteral("[Iconos]\r\nIconoDelSistema=1\r\n"));
    CrearZelvora();
    QWidget formulario;
    ConfigurarFormulario(&formulario);
    ASSERT_TRUE(formulario.testAttribute(Qt::WA_SetWindowIcon));
    EXPECT_NE(formulario.windowIcon().pixmap(32).toImage().pixelColor(16, 16), QColor(Qt::red));
}

TEST_F(ConfigurarFormularioPrueba, ToolbarsGetTheSessionsStyleButTheMdiFrameKeepsItsOwn) {
    ModGlobal::sesion.gFlatToolbars = Variant(qint64(0));
    QWidget formulario;
    auto* a = new QToolBar(&formulario);
    a->setObjectName(QStringLiteral("UtilZel1"));
    auto* b = new QToolBar(&formulario);
    b->setObjectName(QStringLiteral("Util0011"));
    ConfigurarFormulario(&formulario);
    EXPECT_EQ(a->property("StyleBar"), QVariant(qint64(0)));
    EXPECT_EQ(b->property("StyleBar"), QVariant(qint64(0)));

    FrmMdi marco;
    auto* c = new QToolBar(&marco);
    c->setObjectName(QStringLiteral("TBarRep1"));
    ConfigurarFormulario(&marco);
    EXPECT_FALSE(c->property("StyleBar").isValid());
}

TEST_F(ConfigurarFormularioPrueba, BeforeTheSessionStartsTheStyleIsEmptyAndGivenAsZero) {
    QWidget formulario;
    auto* a = new QToolBar(&formulario);
    a->setObjectName(QStringLiteral("TBarRep1"));
    ConfigurarFormulario(&formulario);
    EXPECT_EQ(a->property("StyleBar"), QVariant(0));
}

TEST_F(ConfigurarFormularioPrueba, ANullFormSkipsEveryStepThatNeedsIt) {
    ConfigurarFormulario(nullptr);
    // The failing steps were skipped and the last one still ran.
    EXPECT_EQ(guion.eventosProcesados, 1);
}

TEST(LiberarObjetos, ReleasesTheSharedInstancesAndSkipsThoseNeverCreated) {
    Pruebas::CarpetaPrueba carpeta;
    (void)Conexion::Instancia();
    EXPECT_TRUE(Conexion::InstanciaCreada());
    EXPECT_FALSE(Estacion::InstanciaCreada());
    ModGlobal::LiberarObjetos();
    EXPECT_FALSE(Conexion::InstanciaCreada());
    EXPECT_FALSE(Estacion::InstanciaCreada());
}

} // namespace

#include "PruebasConfigurarFormulario.moc"
