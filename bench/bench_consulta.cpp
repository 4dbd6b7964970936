// Figures for the lookup window on a large result, printed, never judged: the time from the
// statement to the list on screen, a header-click sort, a prefix search that no row matches
// (the worst case) in the sorted column and in another, and the peak memory of the process.
//
//   bench_consulta [--filas N]
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "InteraccionGuion.h"
#include "Lib_FrmCons2.h"
#include "Medicion.h"
#include "ModeloLista.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <tuple>

namespace {

double Ms(const QElapsedTimer& reloj) {
    return reloj.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    int filas = 100000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--filas") && i + 1 < args.size()) {
            filas = qMax(1, args[++i].toInt());
        } else {
            std::fprintf(stderr, "uso: bench_consulta [--filas N]\n");
            return 64;
        }
    }
    Interaccion::Establecer(std::make_unique<InteraccionGuion>());
    QTemporaryDir dir;
    Entorno::EstablecerCarpetaDelPrograma(dir.path());
    const QString base = dir.filePath(QStringLiteral("consulta.db"));
    try {
        BaseEmbebida::Crear(base, 0);
        Conexion& c = Conexion::Instancia();
        c.BaseDatos = base;
        c.Conectar(true, 3);
        if (!c.Conectada())
            throw Falla::Conexion(c.UltimoError());
        c.Ejecutar(QStringLiteral("CREATE TABLE PRUEBA (CODIGO VARCHAR(12), DESCRIPCION VARCHAR(40), "
                                  "RUBRO VARCHAR(20), LOCALIDAD VARCHAR(30))"));
        c.BeginTrans();
        c.Ejecutar(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ") +
            QString::number(filas) +
            QStringLiteral(") INSERT INTO PRUEBA SELECT printf('C%08d', (i * 7919) % 1000003), "
                           "printf('Artículo %d de prueba %s', i, substr('abcdefghij', i % 10 + 1, 3)), "
                           "printf('Rubro %d', i % 97), printf('Localidad %d', i % 1013) FROM n"));
        c.CommitTrans();
    } catch (const Falla& f) {
        std::fprintf(stderr, "bench_consulta: %s\n", f.what());
        return 1;
    }

    std::printf("%d filas x 4 columnas de texto\n", filas);
    // What making the table took stays in the peak: said apart, so that the lookup's share shows.
    const double antes = PicoMemoriaMB();
    QElapsedTimer reloj;
    reloj.start();
    {
        Lib_FrmCons2 ventana;
        ventana.SQL = QStringLiteral("SELECT * FROM PRUEBA");
        ventana.Form_Load();
        ventana.show();
        if (!QTest::qWaitForWindowExposed(&ventana))
            std::fprintf(stderr, "la ventana no se mostró\n");
        QCoreApplication::processEvents();
        std::printf("  carga (sentencia a lista en pantalla): %7.1f ms\n", Ms(reloj));
        // Every column's order is worked out in the background after the load; until then a
        // search in a column the list is not sorted on reads all the rows.
        reloj.restart();
        const bool listas = ventana.ListView1->Modelo().EsperarOrdenes(60000);
        std::printf("  órdenes de las columnas, de fondo:     %7.1f ms después de la carga%s\n", Ms(reloj),
                    listas ? "" : " (sin terminar)");

        QList<double> orden;
        for (int columna : {2, 2, 3}) {
            reloj.restart();
            ventana.ListView1_ColumnClick(columna);
            QCoreApplication::processEvents();
            orden << Ms(reloj);
        }
        std::printf("  orden por un encabezado:               %7.1f ms (%.1f, %.1f, %.1f)\n",
                    *std::max_element(orden.begin(), orden.end()), orden[0], orden[1], orden[2]);

        // The list is now sorted on column 3: a search there halves the rows, a search in
        // column 2 reads them all.
        for (const auto& [clave, texto, como] :
             {std::tuple{2, QStringLiteral("Rubro 96x"), "en la columna ordenada"},
              std::tuple{1, QStringLiteral("Artículo 1x"), "en otra columna"}}) {
            QList<double> busquedas;
            int encontrada = 0;
            for (int i = 0; i < 20; ++i) {
                reloj.restart();
                encontrada += ventana.Busqueda(clave, texto);
                busquedas << Ms(reloj);
            }
            std::sort(busquedas.begin(), busquedas.end());
            std::printf("  búsqueda por prefijo %-23s %5.2f ms (mediana de 20; %s)\n", como,
                        busquedas[busquedas.size() / 2], encontrada ? "encontró" : "ninguna coincide");
        }
        qint16 cancelar = 0;
        ventana.Form_Unload(cancelar);
    }
    std::printf("Pico de memoria residente: %.1f MB (%.1f MB antes de la consulta)\n", PicoMemoriaMB(),
                antes);
    Conexion::LiberarInstancia();
    return 0;
}
