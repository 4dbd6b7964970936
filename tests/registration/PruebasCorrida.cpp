// The registration run on real databases: the embedded SQLite file and, through ODBC, a real
// PostgreSQL server.
#include "Archivos.h"
#include "Ayudas.h"
#include "Corrida.h"
#include "BUG.h"
#include "BaseEmbebida.h"
#include "BotonComando.h"
#include "Conexion.h"
#include "Cp1252.h"
#include "Estacion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "Recordset.h"

#include <QDir>
#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using namespace PruebasCorrida;

TEST_P(Corrida, OnlyPendingDeliveryNotesAfterTheCutoffAreSelected) {
    const struct {
        const char* id;
        Variant fecha;
        Variant anulada;
        const char* tc;
        bool elegida;
    } casos[] = {
        {"CORTE", Variant::Fecha(QDate(2003, 3, 1)), qint64(0), "RM", false},
        {"CORTE_10H", Variant::Fecha(QDate(2003, 3, 1), QTime(10, 0)), qint64(0), "RM", true},
        {"DIA_SIGUIENTE", Variant::Fecha(QDate(2003, 3, 2)), qint64(0), "RM", true},
        {"FEBRERO", Variant::Fecha(QDate(2003, 2, 15)), qint64(0), "RM", false},
        {"ANULADA", Variant::Fecha(QDate(2010, 5, 5)), qint64(1), "RM", false},
        {"ANULADA_NULA", Variant::Fecha(QDate(2010, 5, 5)), Variant::Nulo(), "RM", false},
        {"FECHA_NULA", Variant::Nulo(), qint64(0), "RM", false},
        {"FACTURA", Variant::Fecha(QDate(2010, 5, 5)), qint64(0), "FA", false},
        {"EN_STOCK", Variant::Fecha(QDate(2010, 5, 5)), qint64(0), "RM", false},
    };
    for (const auto& caso : casos) {
        Nota(QString::fromLatin1(caso.id), caso.fecha, caso.anulada, QString::fromLatin1(caso.tc));
        Renglon(QString::fromLatin1(caso.id), 1, QStringLiteral("A1"), "1", {}, 0,
                QString::fromLatin1(caso.tc));
        Renglon(QString::fromLatin1(caso.id), 2, QStringLiteral("A2"), "1", {}, 0,
                QString::fromLatin1(caso.tc));
    }
    // One of its two lines already in stock is enough to leave a note out of the selection,
    // however many of its lines lack a row; so is a row another program wrote.
    c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Stock (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,"
                              "IDARTICULO) VALUES ('RM','EN_STOCK',0,1,'A1')"));
    Nota(QStringLiteral("AJENA"), Variant::Fecha(QDate(2010, 5, 5)));
    for (int r = 1; r <= 3; ++r)
        Renglon(QStringLiteral("AJENA"), r, QStringLiteral("A1"), "1");
    c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Stock (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,"
                              "IDARTICULO) VALUES ('RM','AJENA',0,100,'A1')"));

    Correr();

    QStringList esperadas;
    for (const auto& caso : casos) {
        const bool registrada = !Stock(QString::fromLatin1(caso.id)).isEmpty();
        EXPECT_EQ(registrada, caso.elegida || QLatin1String(caso.id) == QLatin1String("EN_STOCK"))
            << caso.id;
        if (caso.elegida)
            esperadas << QStringLiteral("RM") + QString::fromLatin1(caso.id);
    }
    QStringList log = Log();
    log.sort();
    esperadas.sort();
    EXPECT_EQ(log, esperadas);
    EXPECT_EQ(Stock(QStringLiteral("EN_STOCK")).size(), 1);
    EXPECT_EQ(Stock(QStringLiteral("AJENA")).size(), 1);
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!"));
}

TEST_P(Corrida, EachLineBecomesAStockMovementTakingItsQuantityOut) {
    const Variant fecha = Variant::Fecha(QDate(2024, 2, 29), QTime(17, 45, 10));
    Nota(QStringLiteral("R1"), fecha, qint64(0), QStringLiteral("RM"), 0, QStringLiteral("C0042"));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A100"), "5", QStringLiteral("Caño 1/2\" 'reforzado'"));
    Renglon(QStringLiteral("R1"), 2, QStringLiteral("A200"), "2.5");
    Renglon(QStringLiteral("R1"), 3, QStringLiteral("A300"), "0.0010");
    Nota(QStringLiteral("R2"), Variant::Fecha(QDate(2024, 3, 1)));
    Renglon(QStringLiteral("R2"), 1, QStringLiteral("A400"), "7");

    Correr();

    const QList<FilaDeStock> filas = Stock(QStringLiteral("R1"));
    ASSERT_EQ(filas.size(), 3);
    const double cantidades[] = {-5, -2.5, -0.001};
    for (int i = 0; i < 3; ++i) {
        const FilaDeStock& m = filas[i];
        EXPECT_EQ(m.secuencia, i + 1);
        EXPECT_EQ(m.fecha, fecha);
        EXPECT_DOUBLE_EQ(m.cantidad, cantidades[i]);
        EXPECT_DOUBLE_EQ(m.costo, (i + 1) + 0.25);
        EXPECT_DOUBLE_EQ(m.precio, (i + 1) * 10 + 0.5);
        EXPECT_EQ(m.clase, 2);
        EXPECT_EQ(m.unidad, QStringLiteral("UN"));
        EXPECT_EQ(m.deposito, QStringLiteral("   1"));
        EXPECT_EQ(m.motivo, QStringLiteral("   1"));
        EXPECT_EQ(m.cuenta, QStringLiteral("C0042"));
    }
    EXPECT_EQ(filas[0].articulo, QStringLiteral("A100"));
    EXPECT_EQ(filas[0].descripcion, QStringLiteral("Caño 1/2\" 'reforzado'"));
    const QList<FilaDeStock> segunda = Stock(QStringLiteral("R2"));
    ASSERT_EQ(segunda.size(), 1);
    EXPECT_EQ(segunda[0].secuencia, 1);
    EXPECT_EQ(UltimaCorrida().renglonesEscritos, 4);
}

TEST_P(Corrida, ARejectedLineIsLoggedAndTheLaterLinesKeepTheirNumbers) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Renglon(QStringLiteral("R1"), 2, Variant::Nulo(), "2"); // the stock table needs an article
    Renglon(QStringLiteral("R1"), 3, QStringLiteral("A3"), "3");

    Correr();

    const QList<FilaDeStock> filas = Stock(QStringLiteral("R1"));
    ASSERT_EQ(filas.size(), 2);
    EXPECT_EQ(filas[0].secuencia, 1);
    EXPECT_EQ(filas[1].secuencia, 3);
    EXPECT_DOUBLE_EQ(filas[1].cantidad, -3);
    // The refusal is logged when it happens, the note once its transaction is committed.
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("*** RMR1 renglón 2: "))) << log[0].toStdString();
    EXPECT_GT(log[0].size(), 22); // the database's message follows
    EXPECT_EQ(log[1], QStringLiteral("RMR1"));
    EXPECT_TRUE(UltimoMensaje().startsWith(QStringLiteral("Proceso Finalizado!\nNo se registró 1 renglón.")))
        << UltimoMensaje().toStdString();
    EXPECT_EQ(UltimaCorrida().renglonesRechazados, 1);

    // The note has rows now: the next run leaves it alone, even once the data is mended.
    c.Ejecutar(QStringLiteral("UPDATE V_Mv_CpteInsumos SET IDARTICULO = 'A2' WHERE RENGLON = 2"));
    Correr();
    EXPECT_EQ(UltimaCorrida().notas, 0);
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 2);
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!"));
}

TEST_P(Corrida, ANoteWithoutLinesIsLoggedAndStaysPending) {
    Nota(QStringLiteral("VACIA"), Variant::Fecha(QDate(2024, 1, 10)));
    Correr();
    Correr();
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("RMVACIA"), QStringLiteral("RMVACIA")}));
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), 0);
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!"));
}

TEST_P(Corrida, NotesSharingTypeAndNumberEachGetTheLinesOfThatNumber) {
    Nota(QStringLiteral("R7"), Variant::Fecha(QDate(2024, 1, 10)), qint64(0), QStringLiteral("RM"), 0);
    Nota(QStringLiteral("R7"), Variant::Fecha(QDate(2024, 1, 11)), qint64(0), QStringLiteral("RM"), 1);
    Renglon(QStringLiteral("R7"), 1, QStringLiteral("A1"), "1", {}, 0);
    Renglon(QStringLiteral("R7"), 2, QStringLiteral("A2"), "2", {}, 0);
    Renglon(QStringLiteral("R7"), 1, QStringLiteral("A3"), "3", {}, 1);
    Correr();
    for (qint64 complemento : {0, 1}) {
        const QList<FilaDeStock> filas = Stock(QStringLiteral("R7"), complemento);
        ASSERT_EQ(filas.size(), 3) << complemento;
        EXPECT_EQ(filas[2].secuencia, 3);
    }
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("RMR7"), QStringLiteral("RMR7")}));
}

TEST_P(Corrida, TheLogGrowsAcrossRunsAndTheConfigurationKeyIsWrittenOnce) {
    carpeta.Escribir(RegistroDeCorrida::NombreArchivo(), QStringLiteral("RMANTERIOR\r\n"));
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Correr();
    Nota(QStringLiteral("R2"), Variant::Fecha(QDate(2024, 1, 11)));
    Renglon(QStringLiteral("R2"), 1, QStringLiteral("A1"), "1");
    Correr();
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("RMANTERIOR"), QStringLiteral("RMR1"),
                                  QStringLiteral("RMR2")}));
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION WHERE "
                                    "CLAVE = 'DescargaStockRemitos' AND VALOR = 'SI' AND GRUPO = 'DATOS'")),
              1);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION")), 1);
}

// Each run's first and last lines say when, who, where and what it did, so that a night's
// run can be found among a person's runs on another database.
TEST_P(Corrida, EachRunIsFramedInTheLogByItsTimeUserDatabaseAndCounts) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Renglon(QStringLiteral("R1"), 2, Variant::Nulo(), "2"); // refused by the stock table
    const QDateTime antes = QDateTime::currentDateTime().addSecs(-1);
    Correr();
    Correr(); // nothing pending: still framed
    const QDateTime despues = QDateTime::currentDateTime().addSecs(1);

    const QStringList log = LogEntero();
    ASSERT_EQ(log.size(), 6) << log.join(u'\n').toStdString();
    const QRegularExpression marco(QStringLiteral("^=== (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) (.*)$"));
    QStringList textos;
    for (int i : {0, 3, 4, 5}) {
        const auto m = marco.match(log[i]);
        ASSERT_TRUE(m.hasMatch()) << log[i].toStdString();
        const QDateTime cuando = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        EXPECT_TRUE(cuando >= antes.addMSecs(-antes.time().msec()) && cuando <= despues) << log[i].toStdString();
        textos << m.captured(2);
    }
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("*** RMR1 renglón 2: "))) << log[1].toStdString();
    EXPECT_EQ(log[2], QStringLiteral("RMR1"));
    const QString inicio = QStringLiteral("Inicio de la corrida: usuario %1, %2")
                               .arg(Estacion::Instancia().NombreUsuario(), c.NombreDeLaBase());
    EXPECT_EQ(textos, (QStringList{inicio,
                                   QStringLiteral("Fin de la corrida: 1 remito, 1 renglón registrado, 1 renglón rechazado"),
                                   inicio,
                                   QStringLiteral("Fin de la corrida: 0 remitos, 0 renglones registrados, 0 renglones rechazados")}));
    if (!c.Password.isEmpty()) {
        EXPECT_FALSE(log.join(u'\n').contains(c.Password));
    }
}

TEST_P(Corrida, WithNothingPendingTheRunStillLeavesItsTraces) {
    Correr();
    EXPECT_TRUE(QFile::exists(carpeta.Archivo(RegistroDeCorrida::NombreArchivo())));
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION")), 1);
    EXPECT_EQ(avance.estados.last(), QString());
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!"));
    EXPECT_FALSE(Archivos::Abierto(corrida.Log.NumeroArchivo));
}

TEST_P(Corrida, ALogThatCannotBeOpenedDoesNotStopTheRunButIsReported) {
    ASSERT_TRUE(QDir(carpeta.Ruta()).mkdir(RegistroDeCorrida::NombreArchivo()));
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Correr();
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 1);
    EXPECT_TRUE(UltimaCorrida().registroFallido);
    // Only what happened: every line went in.
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!\nNo se pudo abrir el registro %1.")
                                   .arg(carpeta.Archivo(RegistroDeCorrida::NombreArchivo())));
}

TEST_P(Corrida, WhileAnotherRunHoldsTheDatabaseNothingIsWrittenAndItSaysSo) {
    Notas(2, 2);
    Conexion otra;
    ConectarOtra(otra);
    ASSERT_TRUE(otra.TomarBloqueoDeCorrida(0));
    Correr();
    EXPECT_TRUE(UltimaCorrida().otraCorridaEnCurso);
    EXPECT_FALSE(UltimaCorrida().SinFallas());
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Otra corrida está registrando remitos en esta base "
                                              "de datos: no se hizo nada. Vuelva a intentarlo "
                                              "cuando termine."));
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), 0);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION")), 0);
    EXPECT_FALSE(QFile::exists(carpeta.Archivo(RegistroDeCorrida::NombreArchivo())));

    // Waiting gives up after the time given, still writing nothing.
    corrida.EstablecerEspera(1);
    QElapsedTimer reloj;
    reloj.start();
    Correr();
    EXPECT_TRUE(UltimaCorrida().otraCorridaEnCurso);
    EXPECT_GE(reloj.elapsed(), 900);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), 0);

    // Once the other run is over, the next one runs, and lets the lock go when it ends.
    otra.SoltarBloqueoDeCorrida();
    corrida.EstablecerEspera(0);
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas());
    EXPECT_EQ(UltimaCorrida().renglonesEscritos, 4);
    EXPECT_TRUE(otra.TomarBloqueoDeCorrida(0));
    otra.SoltarBloqueoDeCorrida();
}

TEST_P(Corrida, ASimulationWritesNothingAndTellsWhatTheRunWillDo) {
    Notas(3, 2);
    Nota(QStringLiteral("M1"), Variant::Fecha(QDate(2024, 2, 1)));
    Renglon(QStringLiteral("M1"), 1, QStringLiteral("A1"), "1");
    Renglon(QStringLiteral("M1"), 2, Variant::Nulo(), "2"); // refused by the stock table
    carpeta.Escribir(RegistroDeCorrida::NombreArchivo(), QStringLiteral("RMANTERIOR\r\n"));

    corrida.EstablecerSimulacion(true);
    const ResultadoCorrida simulada = Correr();
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), 0);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM TA_CONFIGURACION")), 0);
    EXPECT_EQ(LogEntero(), QStringList{QStringLiteral("RMANTERIOR")});
    EXPECT_EQ(avance.filas.size(), 7);
    for (const QString& fila : avance.filas)
        EXPECT_TRUE(fila.startsWith(QStringLiteral("INSERT INTO V_MV_STOCK "))) << fila.toStdString();

    corrida.EstablecerSimulacion(false);
    const ResultadoCorrida real = Correr();
    EXPECT_EQ(simulada.notas, real.notas);
    EXPECT_EQ(simulada.renglonesEscritos, real.renglonesEscritos);
    EXPECT_EQ(simulada.renglonesRechazados, real.renglonesRechazados);
    EXPECT_EQ(real.renglonesEscritos, 7);
    EXPECT_EQ(real.renglonesRechazados, 1);
    // The log lines it announced are those the run wrote, the database's reason included.
    QStringList escritas = Log();
    escritas.removeFirst();
    EXPECT_EQ(QSet<QString>(avance.lineasDeRegistro.begin(), avance.lineasDeRegistro.end()),
              QSet<QString>(escritas.begin(), escritas.end()));
    EXPECT_EQ(avance.lineasDeRegistro.size(), escritas.size());
}

TEST_P(Corrida, LinesWithQuotesInTheirNumberAreReadSafely) {
    Nota(QStringLiteral("O'1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("O'1"), 1, QStringLiteral("A1"), "4");
    Correr();
    EXPECT_EQ(Stock(QStringLiteral("O'1")).size(), 1);
    EXPECT_EQ(Log(), QStringList{QStringLiteral("RMO'1")});
}

TEST_P(Corrida, ALineWhoseRowCannotBePutTogetherIsSkippedAndLogged) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Renglon(QStringLiteral("R1"), 2, QStringLiteral("A2"), "2");
    // A column the run needs is gone: no statement may be sent for any line.
    if (GetParam() == TipoDeBase::Sqlite)
        c.Ejecutar(QStringLiteral("ALTER TABLE V_Mv_CpteInsumos RENAME COLUMN COSTO TO COSTO_VIEJO"));
    else
        c.Ejecutar(QStringLiteral("ALTER TABLE V_Mv_CpteInsumos RENAME COLUMN costo TO costo_viejo"));
    Correr();
    EXPECT_TRUE(Stock(QStringLiteral("R1")).isEmpty());
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 3);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("*** RMR1 renglón 1: no se pudo armar")));
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("*** RMR1 renglón 2: no se pudo armar")));
    EXPECT_EQ(log[2], QStringLiteral("RMR1"));
    EXPECT_EQ(UltimaCorrida().renglonesIncompletos, 2);
}

TEST_P(Corrida, TheRunWritesExactlyWhatOneSetBasedInsertWrites) {
    BaseEmbebida::CargarDemostracion(c, 300, 7);
    // The rows the behaviour asks for, written by one statement into a copy of the stock
    // table before the run: the rows already there, and one row per line of every pending
    // note, numbered in the order the lines query returns them.
    c.Ejecutar(QStringLiteral("CREATE TABLE ESPERADO AS SELECT * FROM V_MV_Stock"));
    c.Ejecutar(QStringLiteral(
        "INSERT INTO ESPERADO (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,"
        "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,"
        "CUENTAPROVEEDOR) SELECT c.TC, c.IDCOMPROBANTE, c.IDCOMPLEMENTO, ROW_NUMBER() OVER "
        "(PARTITION BY c.TC, c.IDCOMPROBANTE, c.IDCOMPLEMENTO ORDER BY l.IDCOMPLEMENTO, "
        "l.RENGLON), c.FECHA, l.IDARTICULO, l.DESCRIPCION, l.IDUNIDAD, -l.CANTIDAD, l.COSTO, "
        "l.IMPORTE, l.CLASEPRECIO, '   1', '   1', c.CUENTA FROM V_MV_Cpte c LEFT OUTER JOIN "
        "V_MV_Stock s ON c.IDCOMPLEMENTO = s.IDCOMPLEMENTO AND c.TC = s.TC AND "
        "c.IDCOMPROBANTE = s.IDCOMPROBANTE JOIN V_Mv_CpteInsumos l ON l.TC = c.TC AND "
        "l.IDCOMPROBANTE = c.IDCOMPROBANTE WHERE s.TC IS NULL AND c.TC = 'RM' AND "
        "c.FECHA > '01/03/2003' AND c.ANULADA = 0"));
    const qint64 esperadas = Contar(QStringLiteral("SELECT count(*) FROM ESPERADO"));
    ASSERT_GT(esperadas, Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")));

    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    const QString columnas = QStringLiteral(
        "TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,"
        "COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,CUENTAPROVEEDOR");
    auto sobrantes = [&](const char* a, const char* b) {
        return Contar(QStringLiteral("SELECT count(*) FROM (SELECT %1 FROM %2 EXCEPT SELECT %1 "
                                     "FROM %3) d")
                          .arg(columnas, QLatin1String(a), QLatin1String(b)));
    };
    EXPECT_EQ(sobrantes("V_MV_Stock", "ESPERADO"), 0);
    EXPECT_EQ(sobrantes("ESPERADO", "V_MV_Stock"), 0);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), esperadas);

    Correr();
    EXPECT_EQ(UltimaCorrida().renglonesEscritos, 0);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), esperadas);
}

TEST_P(Corrida, DecimalsKeptAsDoublesAreWrittenBackToTheLastDigit) {
    if (MotorProbado() == TipoDeBase::Postgres)
        GTEST_SKIP() << "el servidor guarda decimales exactos";
    // The embedded engine keeps a decimal with more digits than a whole number holds as a
    // double; what the run writes must read back as that same double.
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    const double valores[] = {123456789012345.67, 81.36876538378779, 0.1, 1e-7, -2.5e-300,
                              9007199254740993.0};
    int renglon = 0;
    for (double v : valores)
        c.Ejecutar(QStringLiteral("INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,"
                                  "RENGLON,IDARTICULO,CANTIDAD,COSTO,IMPORTE) VALUES "
                                  "('RM','R1',0,%1,'A1',%2,%2,%2)")
                       .arg(++renglon)
                       .arg(c.ValorSQL(Variant(v), N)));
    Correr();
    EXPECT_EQ(UltimaCorrida().renglonesEscritos, renglon);
    EXPECT_EQ(Contar(QStringLiteral(
                  "SELECT count(*) FROM V_MV_Stock s JOIN V_Mv_CpteInsumos l ON l.TC = s.TC AND "
                  "l.IDCOMPROBANTE = s.IDCOMPROBANTE AND l.RENGLON = s.SECUENCIA WHERE "
                  "s.CANTIDAD = -l.CANTIDAD AND s.COSTO = l.COSTO AND s.PRECIOVENTA = l.IMPORTE")),
              renglon);
}

// A note of a thousand lines spans several statements of several rows; one refused line in
// it sends the notes of its block again, that note row by row: only that line stays out.
TEST_P(Corrida, AThousandLineNoteWithOneRefusedLineKeepsEveryOtherRow) {
    Notas(2, 3);
    Nota(QStringLiteral("MIL"), Variant::Fecha(QDate(2024, 3, 1)));
    c.BeginTrans();
    for (int r = 1; r <= 1000; ++r)
        Renglon(QStringLiteral("MIL"), r, r == 997 ? Variant::Nulo() : Variant(QStringLiteral("A%1").arg(r)), "1");
    c.CommitTrans();
    Correr();
    const ResultadoCorrida& r = UltimaCorrida();
    EXPECT_EQ(r.renglonesRechazados, 1);
    EXPECT_EQ(r.renglonesEscritos, 999 + 2 * 3);
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), r.renglonesEscritos);
    const QList<FilaDeStock> mil = Stock(QStringLiteral("MIL"));
    ASSERT_EQ(mil.size(), 999);
    EXPECT_EQ(mil[995].secuencia, 996);
    EXPECT_EQ(mil[996].secuencia, 998);
    EXPECT_EQ(mil.last().secuencia, 1000);
    EXPECT_EQ(Log().filter(QStringLiteral("*** RMMIL renglón 997: ")).size(), 1);
}

// The lines of the next notes are read while the notes before them are written. A note
// voided by another program once its lines were read is still registered, as a run going
// note by note over the selection it read at its start registers it.
TEST_P(Corrida, ANoteVoidedAfterItsLinesWereReadAheadIsRegisteredAsNoteByNote) {
    Notas(6, 2);
    corrida.EstablecerLote(2, 600000);
    guion.alProcesarEventos = [this, puntos = 0]() mutable {
        // The points: before the selection, then before each note; R3's comes after the
        // first two notes were written with R3's lines read meanwhile.
        if (++puntos == 4) {
            Conexion otra;
            ConectarOtra(otra);
            otra.Ejecutar(QStringLiteral("UPDATE V_MV_Cpte SET ANULADA = 1 WHERE IDCOMPROBANTE = 'R3'"));
        }
    };
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    EXPECT_EQ(Stock(QStringLiteral("R3")).size(), 2);
    ComprobarCadaNotaUnaVez(6, 2);
    // The next run leaves the voided note alone, as it would have.
    Correr();
    EXPECT_EQ(UltimaCorrida().notas, 0);
}

INSTANTIATE_TEST_SUITE_P(Motores, Corrida, ::testing::Values(TipoDeBase::Sqlite, TipoDeBase::Postgres),
                         [](const ::testing::TestParamInfo<TipoDeBase>& info) {
                             return info.param == TipoDeBase::Sqlite ? "Sqlite" : "Postgres";
                         });

// Faults that only a server shows: its connection going away.
class CorridaServidor : public Corrida {};

TEST_P(CorridaServidor, AConnectionLostBetweenNotesEndsTheRunAndTheNextRunFinishesIt) {
    for (int i = 1; i <= 4; ++i) {
        Nota(QStringLiteral("R%1").arg(i), Variant::Fecha(QDate(2024, 1, i)));
        for (int r = 1; r <= 3; ++r)
            Renglon(QStringLiteral("R%1").arg(i), r, QStringLiteral("A%1").arg(r), "1");
    }
    int puntos = 0;
    guion.alProcesarEventos = [&] {
        // The first point is before the selection, the second before the first note: the
        // third comes when one note is done.
        if (++puntos == 3) {
            Conexion otra;
            pg->Conectar(otra);
            otra.Ejecutar(QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM "
                                         "pg_stat_activity WHERE datname = current_database() "
                                         "AND pid <> pg_backend_pid()"));
        }
    };
    Correr();
    // The first note had not been committed yet: it went with the connection. The run stops
    // there, says why, and the log names no note, since none is in the database.
    const ResultadoCorrida primera = UltimaCorrida();
    EXPECT_FALSE(primera.SinFallas());
    EXPECT_TRUE(primera.detenida);
    EXPECT_EQ(primera.renglonesEscritos, 0);
    EXPECT_EQ(primera.renglonesRechazados, 0);
    EXPECT_EQ(primera.notasSinProcesar, 4);
    EXPECT_TRUE(UltimoMensaje().startsWith(QStringLiteral("Proceso Finalizado!\nLa corrida se detuvo: ")))
        << UltimoMensaje().toStdString();
    EXPECT_TRUE(UltimoMensaje().contains(QStringLiteral("Quedaron 4 remitos sin procesar.")));
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 1) << log.join(u'\n').toStdString();
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("*** La corrida se detuvo: ")));
    EXPECT_TRUE(log[0].endsWith(QStringLiteral(". Quedan 4 remitos para la próxima corrida"))) << log[0].toStdString();

    guion.alProcesarEventos = nullptr;
    c.Desconectar();
    pg->Conectar(c);
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    EXPECT_EQ(UltimaCorrida().notas, 4);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(Stock(QStringLiteral("R%1").arg(i)).size(), 3) << i;
}

TEST_P(CorridaServidor, AConnectionLostInTheMiddleOfANoteLeavesNoNoteHalfWritten) {
    for (int i = 1; i <= 2; ++i) {
        Nota(QStringLiteral("R%1").arg(i), Variant::Fecha(QDate(2024, 1, i)));
        for (int r = 1; r <= 3; ++r)
            Renglon(QStringLiteral("R%1").arg(i), r, QStringLiteral("A%1").arg(r), "1");
    }
    // The server drops the connection while the second line of R2 is being written.
    c.Ejecutar(QStringLiteral(
        "CREATE FUNCTION cortar() RETURNS trigger AS $$ BEGIN "
        "IF NEW.idcomprobante = 'R2' AND NEW.secuencia = 2 THEN "
        "PERFORM pg_terminate_backend(pg_backend_pid()); END IF; RETURN NEW; END $$ "
        "LANGUAGE plpgsql"));
    c.Ejecutar(QStringLiteral("CREATE TRIGGER cortar BEFORE INSERT ON V_MV_Stock FOR EACH ROW "
                              "EXECUTE FUNCTION cortar()"));
    Correr();
    EXPECT_FALSE(UltimaCorrida().SinFallas());
    EXPECT_EQ(UltimaCorrida().renglonesEscritos, 0);

    // Nothing of the transaction the two notes shared stayed; once the fault is gone, the
    // next run registers both whole.
    Conexion otra;
    pg->Conectar(otra);
    RefRecordset rs;
    otra.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock"), rs);
    EXPECT_EQ(rs->Fields(0).Value().Entero(), 0);
    otra.Ejecutar(QStringLiteral("DROP TRIGGER cortar ON V_MV_Stock"));
    Reconectar();
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    ComprobarCadaNotaUnaVez(2, 3);
}

TEST_P(CorridaServidor, ADatabaseThatReadsDatesMonthFirstStillGetsOnlyNotesAfterMarch2003) {
    c.Ejecutar(QStringLiteral("ALTER DATABASE %1 SET datestyle = 'ISO, MDY'").arg(pg->Nombre()));
    Reconectar();
    // The database's own setting is month first: '01/03/2003' would be 3 January.
    RefRecordset rs;
    c.AbrirRecordset(QStringLiteral("SELECT reset_val FROM pg_settings WHERE name = 'DateStyle'"), rs);
    ASSERT_EQ(rs->Fields(0).Value().Texto(), QStringLiteral("ISO, MDY"));
    for (const auto& [id, fecha] : {std::pair{"ENERO", QDate(2003, 1, 15)},
                                    std::pair{"FEBRERO", QDate(2003, 2, 28)},
                                    std::pair{"MARZO", QDate(2003, 3, 2)}}) {
        Nota(QString::fromLatin1(id), Variant::Fecha(fecha));
        Renglon(QString::fromLatin1(id), 1, QStringLiteral("A1"), "1");
    }
    Correr();
    EXPECT_EQ(Log(), QStringList{QStringLiteral("RMMARZO")});
    EXPECT_EQ(Contar(QStringLiteral("SELECT count(*) FROM V_MV_Stock")), 1);
    EXPECT_EQ(Stock(QStringLiteral("MARZO")).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Motores, CorridaServidor, ::testing::Values(TipoDeBase::Postgres),
                         [](const ::testing::TestParamInfo<TipoDeBase>&) { return "Postgres"; });

// The window while a run is under way (embedded database).
class CorridaEnVentana : public Corrida {
protected:
    // The closing message as the window showed it.
    QString UltimoMensaje() const {
        return guion.mensajes.isEmpty() ? QString() : guion.mensajes.last().texto;
    }

    // Three notes; accion at the run's third event point, when one note is done. The
    // program must end there, with that note whole and nothing of the others.
    void TerminarEnLaTerceraParada(const std::function<void()>& accion) {
        for (int i = 1; i <= 3; ++i) {
            Nota(QStringLiteral("R%1").arg(i), Variant::Fecha(QDate(2024, 1, i)));
            Renglon(QStringLiteral("R%1").arg(i), 1, QStringLiteral("A1"), "1");
            Renglon(QStringLiteral("R%1").arg(i), 2, QStringLiteral("A2"), "1");
        }
        int puntos = 0;
        guion.alProcesarEventos = [&] {
            if (++puntos == 3)
                accion();
        };
        try {
            ventana.CmdEjecutar_Click();
            FAIL() << "la corrida siguió después de pedir salir";
        } catch (const FinDelPrograma& fin) {
            EXPECT_EQ(fin.estado, 0);
        }
        Archivos::Cerrar(ventana.NumeroArchivo); // the process would have closed it
        EXPECT_FALSE(Conexion::InstanciaCreada());
        EXPECT_TRUE(guion.mensajes.isEmpty());
        // The program's connection went with the release: look through another one.
        Conexion revisar;
        Pruebas::ConectarSqlite(revisar, carpeta.Archivo(Conexion::ArchivoPorDefecto()));
        RefRecordset rs;
        revisar.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock"), rs);
        EXPECT_EQ(rs->Fields(0).Value().Entero(), 2);
        EXPECT_EQ(Log().size(), 1);
    }

    BUG ventana;
};

TEST_P(CorridaEnVentana, TheStatusStripFollowsTheRunAndIsEmptyAfterIt) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Nota(QStringLiteral("R2"), Variant::Fecha(QDate(2024, 1, 11)));
    QStringList vistos;
    guion.alProcesarEventos = [&] { vistos << ventana.LblMensaje->text(); };
    ventana.CmdEjecutar_Click();
    ASSERT_EQ(vistos.size(), 3);
    EXPECT_EQ(vistos[0], QStringLiteral("Procesando Datos... Por Favor Espere..."));
    EXPECT_EQ(vistos[1], QStringLiteral("Procesando Datos... Por Favor Espere..."));
    EXPECT_TRUE(vistos[2] == QStringLiteral("Procesando... RMR1") ||
                vistos[2] == QStringLiteral("Procesando... RMR2"));
    EXPECT_EQ(ventana.LblMensaje->text(), QString());
}

TEST_P(CorridaEnVentana, AClickOnEjecutarDuringARunIsIgnored) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    guion.alProcesarEventos = [&] { ventana.CmdEjecutar->click(); };
    ventana.CmdEjecutar_Click();
    EXPECT_EQ(guion.mensajes.size(), 1);
    EXPECT_EQ(Log(), QStringList{QStringLiteral("RMR1")});
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 1);
}

TEST_P(CorridaEnVentana, SalirDuringARunEndsTheProgramBetweenNotes) {
    // As a click on "Salir" handled at that point would (the button's own path is exercised
    // under a real X server).
    TerminarEnLaTerceraParada([&] { ventana.CmdSalir_Click(); });
}

TEST_P(CorridaEnVentana, ClosingTheWindowDuringARunIsSalirBetweenNotes) {
    ventana.show();
    TerminarEnLaTerceraParada([&] { EXPECT_FALSE(ventana.close()); });
    EXPECT_TRUE(ventana.isVisible());
}

TEST_P(CorridaEnVentana, EnterOnEjecutarStartsTheRun) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(UltimoMensaje(), QStringLiteral("Proceso Finalizado!"));
    EXPECT_EQ(guion.mensajes.last().titulo, QStringLiteral("remitos"));
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 1);
}

TEST_P(CorridaEnVentana, AnotherRunInProgressIsSaidAndNothingIsWritten) {
    Nota(QStringLiteral("R1"), Variant::Fecha(QDate(2024, 1, 10)));
    Renglon(QStringLiteral("R1"), 1, QStringLiteral("A1"), "1");
    Conexion otra;
    ConectarOtra(otra);
    ASSERT_TRUE(otra.TomarBloqueoDeCorrida(0));
    ventana.CmdEjecutar_Click();
    EXPECT_TRUE(UltimoMensaje().startsWith(QStringLiteral("Otra corrida está registrando")))
        << UltimoMensaje().toStdString();
    EXPECT_EQ(Stock(QStringLiteral("R1")).size(), 0);
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(ventana.LblMensaje->text(), QString());
}

INSTANTIATE_TEST_SUITE_P(Motores, CorridaEnVentana, ::testing::Values(TipoDeBase::Sqlite),
                         [](const ::testing::TestParamInfo<TipoDeBase>&) { return "Sqlite"; });

} // namespace
