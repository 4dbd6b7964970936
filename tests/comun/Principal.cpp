// Entry point of every test program: Qt's offscreen platform (real widgets, no display) and a
// scripted interaction, so that no test waits for a person.
#include "Ayudas.h"
#include "ModGlobal.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    Pruebas::NuevoGuion();
    ::testing::InitGoogleTest(&argc, argv);
    const int resultado = RUN_ALL_TESTS();
    ModGlobal::LiberarObjetos();
    return resultado;
}
