#include "Archivos.h"
#include "Ayudas.h"
#include "BUG.h"
#include "BotonComando.h"
#include "Conexion.h"
#include "ModGlobal.h"
#include "Twips.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QRect EnTwips(int izquierda, int arriba, int ancho, int alto, const QWidget* w) {
    return {Twips::APixelesX(izquierda, w), Twips::APixelesY(arriba, w), Twips::APixelesX(ancho, w),
            Twips::APixelesY(alto, w)};
}

TEST(Twips, FifteenTwipsMakeAPixelAt96Dpi) {
    QWidget w;
    if (w.logicalDpiX() != 96 || w.logicalDpiY() != 96)
        GTEST_SKIP() << "la pantalla de prueba no tiene 96 DPI";
    EXPECT_EQ(Twips::APixelesX(5730, &w), 382);
    EXPECT_EQ(Twips::APixelesY(3090, &w), 206);
    EXPECT_EQ(Twips::APixelesX(7, &w), 0);
    EXPECT_EQ(Twips::APixelesX(8, &w), 1);
    EXPECT_EQ(Twips::DesdePixelesX(382, &w), 5730);
}

class VentanaPrincipal : public ::testing::Test {
protected:
    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    BUG ventana;
};

TEST_F(VentanaPrincipal, LayoutCaptionsAndColoursAreThoseOfTheDesign) {
    EXPECT_EQ(ventana.windowTitle(), QStringLiteral("USO INTERNO - SOLO EL ADMINISTRADOR"));
    EXPECT_EQ(QString::fromLatin1(ventana.metaObject()->className()), QStringLiteral("BUG"));
    EXPECT_EQ(ventana.size(), QSize(Twips::APixelesX(5730, &ventana), Twips::APixelesY(3090, &ventana)));
    EXPECT_EQ(ventana.minimumSize(), ventana.maximumSize());
    EXPECT_EQ(ventana.Label2->text(),
              QStringLiteral("Control de Registro de Remitos en Stock.    Proceso para Trigalia."));
    EXPECT_EQ(ventana.Label2->geometry(), EnTwips(240, 240, 5295, 615, &ventana));
    EXPECT_TRUE(ventana.Label2->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(ventana.CmdEjecutar->text(), QStringLiteral("&Ejecutar"));
    EXPECT_EQ(ventana.CmdEjecutar->geometry(), EnTwips(2880, 1320, 2775, 495, &ventana));
    EXPECT_EQ(ventana.CmdSalir->text(), QStringLiteral("Salir"));
    EXPECT_EQ(ventana.CmdSalir->geometry(), EnTwips(2880, 2160, 2775, 495, &ventana));
    EXPECT_EQ(ventana.LblMensaje->text(), QString());
    EXPECT_EQ(ventana.LblMensaje->geometry(), EnTwips(0, 2760, 5775, 255, &ventana));
    EXPECT_TRUE(ventana.LblMensaje->autoFillBackground());
    EXPECT_EQ(ventana.LblMensaje->palette().color(QPalette::Window), QColor(192, 255, 255));
    for (QPushButton* b : {static_cast<QPushButton*>(ventana.CmdEjecutar),
                           static_cast<QPushButton*>(ventana.CmdSalir)}) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    const QIcon icono = ventana.windowIcon();
    ASSERT_FALSE(icono.isNull());
    EXPECT_EQ(icono.pixmap(32).size(), QSize(32, 32));
}

TEST_F(VentanaPrincipal, FocusStartsOnEjecutarAndTabMovesToSalir) {
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    EXPECT_EQ(QApplication::focusWidget(), ventana.CmdEjecutar);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ventana.CmdSalir);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ventana.CmdEjecutar);
}

TEST_F(VentanaPrincipal, EnterOnTheFocusedButtonAndItsAccessKeyPressIt) {
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    // Only the presses are counted here: the handlers would start a run and end the program.
    QObject::disconnect(ventana.CmdEjecutar, &QPushButton::clicked, &ventana, nullptr);
    QObject::disconnect(ventana.CmdSalir, &QPushButton::clicked, &ventana, nullptr);
    QSignalSpy ejecutar(ventana.CmdEjecutar, &QPushButton::clicked);
    QSignalSpy salir(ventana.CmdSalir, &QPushButton::clicked);
    QTest::keyClick(ventana.CmdEjecutar, Qt::Key_Return);
    EXPECT_EQ(ejecutar.count(), 1);
    // The access key presses the button the way a click does, after a short animation.
    QTest::keyClick(&ventana, Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ejecutar.count() == 2; }, 2000));
    ventana.CmdSalir->setFocus();
    QTest::keyClick(ventana.CmdSalir, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(salir.count(), 1);
    // Escape presses neither: the window has no cancel button.
    QTest::keyClick(ventana.CmdSalir, Qt::Key_Escape);
    EXPECT_EQ(ejecutar.count() + salir.count(), 3);
}

TEST_F(VentanaPrincipal, RegistraWithoutAnOpenLogDoesNothing) {
    ventana.NumeroArchivo = Archivos::NumeroLibre();
    ventana.Registra(QStringLiteral("RMX0001"));
    ventana.NumeroArchivo = 0;
    ventana.Registra(QStringLiteral("RMX0001"));
    EXPECT_FALSE(QFile::exists(carpeta.Archivo(RegistroDeCorrida::NombreArchivo())));
    EXPECT_TRUE(guion.mensajes.isEmpty());
    EXPECT_TRUE(guion.errores.isEmpty());
}

TEST_F(VentanaPrincipal, RegistraAppendsOneWindowsLineAfterTheExistingOnes) {
    const QString log = carpeta.Archivo(RegistroDeCorrida::NombreArchivo());
    carpeta.Escribir(RegistroDeCorrida::NombreArchivo(), QStringLiteral("RMR000100000001\r\n"));
    ventana.NumeroArchivo = Archivos::NumeroLibre();
    Archivos::AbrirParaAnexar(ventana.NumeroArchivo, log);
    QString mensaje = QStringLiteral("RMÑ-2");
    ventana.Registra(mensaje);
    ventana.Registra(QString());
    EXPECT_EQ(mensaje, QStringLiteral("RMÑ-2"));
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("RMR000100000001\r\nRM\xD1-2\r\n\r\n"));
    Archivos::Cerrar(ventana.NumeroArchivo);
}

TEST_F(VentanaPrincipal, LoadingWithoutADatabaseEndsBeforeTheWindowIsShown) {
    ModGlobal::EstablecerLineaDeComandos(QStringLiteral("@DbName=falta.db;"));
    try {
        ventana.Form_Load();
        FAIL() << "el programa siguió sin base de datos";
    } catch (const FinDelPrograma& fin) {
        EXPECT_EQ(fin.estado, 1);
    }
    EXPECT_FALSE(ventana.isVisible());
}

TEST_F(VentanaPrincipal, LoadingOpensTheSessionAndKeepsTheWindowsOwnIcon) {
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    const qint64 antes = ventana.windowIcon().cacheKey();
    ventana.Form_Load();
    EXPECT_TRUE(Conexion::Instancia().Conectada());
    EXPECT_EQ(ventana.windowIcon().cacheKey(), antes);
    EXPECT_EQ(ventana.LblMensaje->text(), QString());
}

} // namespace
