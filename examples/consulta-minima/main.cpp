// consulta-minima: a program of the family that asks the person for articles and quantities
// with the lookup, and prints what was chosen.
//
//   consulta-minima [--cerrar] CLAVES [CARPETA [TABLA]]
//
// CLAVES are the family's keys ("@DbName=/var/lib/remitos/remitos.db;", or "@Server=...;
// @DbName=...;@Usuario=...;@Password=...;" for a server); CARPETA the application folder (its
// masks file); TABLA a table the masks file knows or a SELECT statement (v_ma_articulos by
// default). With --cerrar the lookup is closed with Escape as soon as it is shown, as a
// person cancelling it would: a check that the program works where nobody is at the screen.
//
// Exit status: 0 something chosen, 1 cancelled, 2 the database could not be opened or the
// statement failed (the reason on standard error).
#include <remitos/consulta.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

// A value as text; a null one (a quantity never given) as nothing.
QString Texto(const Variant& valor) {
    return valor.EsNulo() || valor.EsVacio() ? QString() : valor.Texto();
}

void Escribir(std::FILE* destino, const QString& texto) {
    std::fputs(texto.toLocal8Bit().constData(), destino);
    std::fputc('\n', destino);
}

// Presses Escape in the lookup once it is on the screen, and says which window it was.
void CerrarAlMostrarse() {
    auto* reloj = new QTimer(qApp);
    QObject::connect(reloj, &QTimer::timeout, reloj, [reloj] {
        QWidget* ventana = QApplication::activeModalWidget();
        if (!ventana || !ventana->isVisible())
            return;
        Escribir(stdout, QStringLiteral("mostrada: ") + ventana->windowTitle());
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(ventana, &escape);
        reloj->stop();
    });
    reloj->start(50);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList argumentos = QApplication::arguments().mid(1);
    const bool cerrar = argumentos.removeAll(QStringLiteral("--cerrar")) > 0;
    if (argumentos.isEmpty()) {
        Escribir(stderr, QStringLiteral("uso: consulta-minima [--cerrar] CLAVES [CARPETA [TABLA]]"));
        return 64;
    }

    // The connection, the masks file, Qt's texts in Spanish and the dialogs' questions, for as
    // long as the session lives (released before the application).
    SesionConsulta sesion(argumentos.value(0), argumentos.value(1));
    if (!sesion.Abierta()) {
        Escribir(stderr, QStringLiteral("consulta-minima: ") + sesion.Falla());
        return 2;
    }

    // Several articles, each with its quantity: check boxes, a quantities column, and the
    // article's code for each marked row. A failure while loading comes back here instead of
    // being shown in a message box.
    Lib_ClsCons2& consulta = sesion.Consulta();
    consulta.Checks = true;
    consulta.UsaCantidades = true;
    consulta.CampoDevuelto = QStringLiteral("IDARTICULO");
    consulta.FallasAlLlamador = true;
    RefCollection campos;
    QString clave;
    QString campoBusqueda;
    if (cerrar)
        CerrarAlMostrarse();
    consulta.ConsultaSearch(argumentos.value(2, QStringLiteral("v_ma_articulos")), campos, clave,
                            campoBusqueda);

    if (!consulta.FallaDeCarga.isEmpty()) {
        Escribir(stderr, QStringLiteral("consulta-minima: ") + consulta.FallaDeCarga);
        return 2;
    }
    if (!consulta.Valores || consulta.Valores->Count() == 0)
        return 1;
    for (int i = 1; i <= consulta.Valores->Count(); ++i) {
        const QString cantidad = consulta.Cantidades && i <= consulta.Cantidades->Count()
                                     ? Texto(consulta.Cantidades->Item(i))
                                     : QString();
        Escribir(stdout, Texto(consulta.Valores->Item(i)) + u'\t' + cantidad);
    }
    return 0;
}
