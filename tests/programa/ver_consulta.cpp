// Opens the lookup window on a statement of an embedded database, for the screenshots and the
// end-to-end checks under a real X server.
//   ver_consulta BASE.db "SELECT ..." [--casillas] [--cantidades] [--filtro TEXTO]
#include "Conexion.h"
#include "InteraccionQt.h"
#include "Lib_FrmCons2.h"
#include "ModGlobal.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "uso: ver_consulta BASE SQL [--casillas] [--cantidades] [--filtro T]\n");
        return 64;
    }
    Interaccion::Establecer(std::make_unique<InteraccionQt>());
    Conexion& c = Conexion::Instancia();
    c.BaseDatos = args[1];
    c.Conectar(true, 3);
    if (!c.Conectada()) {
        std::fprintf(stderr, "%s\n", qPrintable(c.UltimoError()));
        return 1;
    }
    int estado = 0;
    {
        Lib_FrmCons2 ventana;
        ventana.SQL = args[2];
        for (qsizetype i = 3; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--casillas"))
                ventana.CheckBoxes = true;
            else if (args[i] == QLatin1String("--cantidades"))
                ventana.UsaCantidades = true;
            else if (args[i] == QLatin1String("--filtro") && i + 1 < args.size())
                ventana.FiltroInicial = args[++i];
        }
        ventana.MostrarModal();
        estado = ventana.Valores ? 0 : 1;
    }
    ModGlobal::LiberarObjetos();
    return estado;
}
