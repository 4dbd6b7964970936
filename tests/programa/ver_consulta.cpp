// Opens the lookup window on a statement of an embedded database, for the screenshots and the
// end-to-end checks under a real X server, and prints what the person chose: the returned
// value, then each value with its quantity after a tab.
//   ver_consulta BASE.db "SELECT ..." [--casillas] [--cantidades] [--filtro TEXTO]
//                [--devuelto CAMPO] [--campos A,B,...]
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
            else if (args[i] == QLatin1String("--devuelto") && i + 1 < args.size())
                ventana.CampoDevuelto = args[++i];
            else if (args[i] == QLatin1String("--campos") && i + 1 < args.size()) {
                ventana.CmpsDevueltos = NuevaCollection();
                for (const QString& campo : args[++i].split(u','))
                    ventana.CmpsDevueltos->Add(campo);
            }
        }
        ventana.MostrarModal();
        estado = ventana.Valores ? 0 : 1;
        if (ventana.Valores) {
            std::printf("Valor: %s\n", qPrintable(ventana.ValorDevuelto.EsNulo()
                                                       ? QString()
                                                       : ventana.ValorDevuelto.Texto()));
            for (int i = 1; i <= ventana.Valores->Count(); ++i) {
                const QString cantidad = ventana.Cantidades && i <= ventana.Cantidades->Count()
                                             ? ventana.Cantidades->Item(i).Texto()
                                             : QString();
                std::printf("%s\t%s\n", qPrintable(ventana.Valores->Item(i).Texto()),
                            qPrintable(cantidad));
            }
        }
    }
    ModGlobal::LiberarObjetos();
    return estado;
}
