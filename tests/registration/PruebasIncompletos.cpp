// Notes a run left with rows for only some of their lines, found and completed on request:
// lines and rows are paired by what they hold, never by where they come in a query.
#include "Corrida.h"
#include "RemitosIncompletos.h"

#include <QRegularExpression>
#include <iterator>

namespace {

using namespace PruebasCorrida;
using Remito = RemitosIncompletos::Remito;

class Incompletos : public Corrida {
protected:
    // A line with explicit values, so that two lines can be identical.
    void Linea(const QString& id, int renglon, const Variant& articulo, const char* cantidad,
               const char* costo = "1.25", const char* importe = "10.5") {
        c.Ejecutar(QStringLiteral("INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,"
                                  "RENGLON,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,IMPORTE,"
                                  "CLASEPRECIO) VALUES ('RM',%1,0,%2,%3,'Tornillo','UN',%4,%5,%6,2)")
                       .arg(c.ValorSQL(id, Q), c.ValorSQL(renglon, N), c.ValorSQL(articulo, Q),
                            QLatin1String(cantidad), QLatin1String(costo), QLatin1String(importe)));
    }
    // The stock row a run writes for a line, under the given number.
    void FilaDe(const QString& id, int renglon, int secuencia) {
        c.Ejecutar(QStringLiteral(
                       "INSERT INTO V_MV_Stock (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,"
                       "IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,"
                       "IDDEPOSITO,IDMOTIVOSTOCK,CUENTAPROVEEDOR) SELECT l.TC, l.IDCOMPROBANTE, 0, "
                       "%3, n.FECHA, l.IDARTICULO, l.DESCRIPCION, l.IDUNIDAD, -l.CANTIDAD, "
                       "l.COSTO, l.IMPORTE, l.CLASEPRECIO, '   1', '   1', n.CUENTA FROM "
                       "V_Mv_CpteInsumos l JOIN V_MV_Cpte n ON n.TC = l.TC AND n.IDCOMPROBANTE = "
                       "l.IDCOMPROBANTE WHERE l.IDCOMPROBANTE = %1 AND l.RENGLON = %2")
                       .arg(c.ValorSQL(id, Q), c.ValorSQL(renglon, N), c.ValorSQL(secuencia, N)));
    }
    QStringList ArticulosEnStock(const QString& id) {
        QStringList articulos;
        for (const FilaDeStock& m : Stock(id))
            articulos << QStringLiteral("%1:%2").arg(m.secuencia).arg(m.articulo);
        return articulos;
    }
    static const Remito* Buscar(const QList<Remito>& remitos, const QString& documento) {
        for (const Remito& r : remitos)
            if (r.documento == documento)
                return &r;
        return nullptr;
    }
};

TEST_P(Incompletos, AMendedLineReadInAnotherOrderIsCompletedByContentAlone) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("ART8"), "1");
    Renglon(QStringLiteral("R1"), 2, Variant::Nulo(), "2"); // refused: no article
    Renglon(QStringLiteral("R1"), 3, QStringLiteral("ART9"), "3");
    Correr();
    ASSERT_EQ(ArticulosEnStock(QStringLiteral("R1")),
              (QStringList{QStringLiteral("1:ART8"), QStringLiteral("3:ART9")}));

    // The administrator mends the line. A server writes the updated row anew at the end of
    // the table, where a table scan finds it last (its statistics, as the server keeps them,
    // make it scan a small table); the embedded database returns the lines in key order, so
    // there the line is also renumbered: either way it now comes last.
    if (MotorProbado() == TipoDeBase::Postgres)
        c.Ejecutar(QStringLiteral("ANALYZE V_Mv_CpteInsumos"));
    c.Ejecutar(MotorProbado() == TipoDeBase::Postgres
                   ? QStringLiteral("UPDATE V_Mv_CpteInsumos SET IDARTICULO = 'ART2' WHERE "
                                    "IDCOMPROBANTE = 'R1' AND RENGLON = 2")
                   : QStringLiteral("UPDATE V_Mv_CpteInsumos SET IDARTICULO = 'ART2', RENGLON = "
                                    "4 WHERE IDCOMPROBANTE = 'R1' AND RENGLON = 2"));
    RefRecordset lineas;
    c.AbrirRecordset(::Remito::SentenciaRenglones(QStringLiteral("RM"), QStringLiteral("R1")), lineas);
    QStringList orden;
    for (; !lineas->Eof(); lineas->MoveNext())
        orden << lineas->Fields(QStringLiteral("IDARTICULO")).Value().Texto();
    ASSERT_EQ(orden, (QStringList{QStringLiteral("ART8"), QStringLiteral("ART9"),
                                  QStringLiteral("ART2")}));

    // The run leaves a note with rows alone.
    Correr();
    EXPECT_EQ(UltimaCorrida().notas, 0);
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 2);

    const QList<Remito> revisados = RemitosIncompletos().Revisar();
    ASSERT_EQ(revisados.size(), 1);
    const Remito& r = revisados[0];
    EXPECT_EQ(r.documento, QStringLiteral("RMR1"));
    EXPECT_EQ(r.renglones, 3);
    EXPECT_EQ(r.filas, 2);
    EXPECT_TRUE(r.Completable()) << r.problemas.join(u'\n').toStdString();
    ASSERT_EQ(r.faltantes.size(), 1);
    EXPECT_EQ(r.faltantes[0].secuencia, 2);
    EXPECT_TRUE(r.faltantes[0].descripcion.contains(QStringLiteral("ART2")));
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 2) << "revisar no escribe";

    const auto completado = RemitosIncompletos().Completar();
    EXPECT_EQ(completado.completados, 1);
    EXPECT_EQ(completado.renglonesEscritos, 1);
    EXPECT_TRUE(completado.SinFallas());
    const QList<FilaDeStock> filas = Stock(QStringLiteral("R1"));
    ASSERT_EQ(filas.size(), 3);
    EXPECT_EQ(filas[1].secuencia, 2);
    EXPECT_EQ(filas[1].articulo, QStringLiteral("ART2"));
    EXPECT_DOUBLE_EQ(filas[1].cantidad, -2);
    EXPECT_DOUBLE_EQ(filas[1].costo, 2.25);
    EXPECT_DOUBLE_EQ(filas[1].precio, 20.5);
    EXPECT_EQ(filas[1].deposito, QStringLiteral("   1"));
    EXPECT_EQ(filas[1].cuenta, QStringLiteral("C00001"));
    EXPECT_EQ(filas[2].articulo, QStringLiteral("ART9"));
    EXPECT_TRUE(Log().last().startsWith(
        QStringLiteral("+++ RMR1 SECUENCIA 2: artículo ART2 \"Tornillo\", cantidad 2")))
        << Log().last().toStdString();
    // Completing is framed in the log as a run is.
    const QStringList log = LogEntero();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[log.size() - 3].contains(QStringLiteral(" Inicio de --completar: usuario ")))
        << log[log.size() - 3].toStdString();
    EXPECT_TRUE(log.last().endsWith(QStringLiteral(" Fin de --completar: 1 remito completado, 1 renglón registrado")))
        << log.last().toStdString();

    // Nothing is left to do, and doing it again writes nothing.
    EXPECT_EQ(RemitosIncompletos().Completar().renglonesEscritos, 0);
    EXPECT_TRUE(RemitosIncompletos().Revisar().isEmpty());
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 3);
}

TEST_P(Incompletos, OnlyNotesWhoseEveryRowPairsWithALineOfItsOwnAreCompleted) {
    const Variant fecha = Variant::Fecha(QDate(2024, 1, 10));
    struct Caso {
        const char* id;
        QList<std::pair<const char*, const char*>> lineas; // article, quantity
        QList<std::pair<int, int>> filas;                  // line, sequence number
        const char* despues;                               // what changed a row afterwards
        QStringList stockFinal;                            // empty: needs a person, left alone
    };
    const Caso casos[] = {
        // Two identical lines, one of them without a row: it is written once.
        {"IGUALES", {{"A1", "1"}, {"A1", "1"}, {"A3", "3"}}, {{1, 1}, {3, 3}}, nullptr,
         {"1:A1", "2:A1", "3:A3"}},
        {"IGUALES_FIN", {{"A1", "1"}, {"A1", "1"}, {"A1", "1"}}, {{1, 1}, {2, 2}}, nullptr,
         {"1:A1", "2:A1", "3:A1"}},
        // The free numbers are taken from 1 upwards, never one in use.
        {"HUECOS", {{"A1", "1"}, {"A2", "2"}, {"A3", "3"}, {"A4", "4"}}, {{2, 1}, {4, 5}},
         nullptr, {"1:A2", "2:A1", "3:A3", "5:A4"}},
        // A row edited after it was written pairs with no line.
        {"EDITADA", {{"A1", "1"}, {"A2", "2"}, {"A3", "3"}}, {{1, 1}, {2, 2}},
         "UPDATE V_MV_Stock SET CANTIDAD = -7 WHERE IDCOMPROBANTE = 'EDITADA' AND SECUENCIA = 1",
         {}},
        // A row another program wrote.
        {"AJENA", {{"A1", "1"}, {"A2", "2"}}, {{1, 1}},
         "UPDATE V_MV_Stock SET IDARTICULO = 'ZZ', SECUENCIA = 100 WHERE IDCOMPROBANTE = "
         "'AJENA'",
         {}},
        // Two rows for one line: the second pairs with nothing.
        {"DOBLE", {{"A1", "1"}, {"A2", "2"}, {"A3", "3"}}, {{1, 1}, {1, 2}}, nullptr, {}},
    };
    for (const Caso& caso : casos) {
        const QString id = QString::fromLatin1(caso.id);
        Nota(id, fecha);
        int renglon = 0;
        for (const auto& [articulo, cantidad] : caso.lineas)
            Linea(id, ++renglon, QString::fromLatin1(articulo), cantidad);
        for (const auto& [linea, secuencia] : caso.filas)
            FilaDe(id, linea, secuencia);
        if (caso.despues)
            c.Ejecutar(QString::fromLatin1(caso.despues));
    }
    // Incomplete but not pending: voided, dated before the cutoff, or of another type; and a
    // note with a row for every line.
    Nota(QStringLiteral("ANULADA"), fecha, qint64(1));
    Nota(QStringLiteral("VIEJA"), Variant::Fecha(QDate(2003, 2, 1)));
    Nota(QStringLiteral("COMPLETA"), fecha);
    for (const char* id : {"ANULADA", "VIEJA", "COMPLETA"}) {
        Linea(QString::fromLatin1(id), 1, QStringLiteral("A1"), "1");
        Linea(QString::fromLatin1(id), 2, QStringLiteral("A2"), "1");
        FilaDe(QString::fromLatin1(id), 1, 1);
    }
    FilaDe(QStringLiteral("COMPLETA"), 2, 2);

    const QList<Remito> revisados = RemitosIncompletos().Revisar();
    EXPECT_EQ(revisados.size(), qsizetype(std::size(casos)));
    QList<Remito> examinados;
    const auto completado = RemitosIncompletos().Completar(&examinados);
    for (const Caso& caso : casos) {
        const QString id = QString::fromLatin1(caso.id);
        const Remito* revisado = Buscar(revisados, QStringLiteral("RM") + id);
        ASSERT_NE(revisado, nullptr) << caso.id;
        EXPECT_EQ(revisado->Completable(), !caso.stockFinal.isEmpty()) << caso.id;
        const Remito* hecho = Buscar(examinados, QStringLiteral("RM") + id);
        ASSERT_NE(hecho, nullptr) << caso.id;
        EXPECT_EQ(hecho->completado, !caso.stockFinal.isEmpty()) << caso.id;
        if (caso.stockFinal.isEmpty()) {
            EXPECT_FALSE(revisado->problemas.isEmpty()) << caso.id;
            EXPECT_TRUE(revisado->Describir().join(u'\n').contains(QStringLiteral("no corresponde")))
                << caso.id;
            EXPECT_EQ(Stock(id).size(), caso.filas.size()) << caso.id << ": se tocó";
        } else {
            EXPECT_EQ(ArticulosEnStock(id), caso.stockFinal) << caso.id;
        }
    }
    EXPECT_EQ(completado.completados, 3);
    EXPECT_EQ(completado.renglonesEscritos, 4);
    EXPECT_EQ(completado.necesitanRevision, 3);
    EXPECT_FALSE(completado.SinFallas());
    for (const char* id : {"ANULADA", "VIEJA"})
        EXPECT_EQ(Stock(QString::fromLatin1(id)).size(), 1) << id;
    EXPECT_EQ(Log().filter(QRegularExpression(QStringLiteral("^\\+\\+\\+ RM"))).size(), 4);
}

TEST_P(Incompletos, ANoteWhoseMissingRowIsRefusedAgainGetsNoneOfThem) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Linea(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Linea(QStringLiteral("R1"), 2, QStringLiteral("A2"), "2");
    Linea(QStringLiteral("R1"), 3, Variant::Nulo(), "3"); // still without its article
    FilaDe(QStringLiteral("R1"), 1, 1);

    const QList<Remito> revisados = RemitosIncompletos().Revisar();
    ASSERT_EQ(revisados.size(), 1);
    EXPECT_EQ(revisados[0].faltantes.size(), 2);

    const auto completado = RemitosIncompletos().Completar();
    EXPECT_EQ(completado.completados, 0);
    EXPECT_EQ(completado.noCompletados, 1);
    ASSERT_EQ(completado.fallas.size(), 1);
    EXPECT_TRUE(completado.fallas[0].startsWith(QStringLiteral("*** RMR1: no se completó")))
        << completado.fallas[0].toStdString();
    // The row that could go in went with the note's transaction.
    EXPECT_EQ(ArticulosEnStock(QStringLiteral("R1")), QStringList{QStringLiteral("1:A1")});
    EXPECT_EQ(Log(), completado.fallas);
}

INSTANTIATE_TEST_SUITE_P(Motores, Incompletos, ::testing::Values(TipoDeBase::Sqlite, TipoDeBase::Postgres),
                         [](const ::testing::TestParamInfo<TipoDeBase>& info) {
                             return info.param == TipoDeBase::Sqlite ? "Sqlite" : "Postgres";
                         });

} // namespace
