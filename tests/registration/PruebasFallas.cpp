// Faults struck for real into a registration run: a database that refuses a row, a table
// dropped by another program, a file made read-only, a disk that fills up. Whatever strikes,
// the run ends, says so in its log and its result, and the next run after the fault is gone
// leaves every note registered exactly once.
#include "Corrida.h"
#include "Entorno.h"
#include "RemitosIncompletos.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using namespace PruebasCorrida;

constexpr int NotasDePrueba = 5;
constexpr int RenglonesPorNota = 3;

QStringList Fallas(const QStringList& log) {
    return log.filter(QRegularExpression(QStringLiteral("^\\*\\*\\* ")));
}

// ---------------------------------------------------------------------------------------
// A row the database refuses, at the first, a middle and the last INSERT of the run, and
// (on the server) at the commit of a note.

struct LugarRehusado {
    TipoDeBase motor;
    const char* nombre;
    int nota;
    int secuencia;
    // How the database refuses: the row alone, the whole note's transaction when it is
    // committed (server), or the whole transaction at once, undone by the engine itself
    // (embedded: a trigger's RAISE(ROLLBACK)).
    enum { Fila, AlConfirmar, Transaccion } modo;
};

class InsercionRehusada : public CorridaBase,
                          public ::testing::WithParamInterface<LugarRehusado> {
protected:
    void SetUp() override { Preparar(GetParam().motor); }

    void Rehusar() {
        const LugarRehusado& l = GetParam();
        if (l.motor == TipoDeBase::Sqlite) {
            c.Ejecutar(QStringLiteral("CREATE TRIGGER rehusar BEFORE INSERT ON V_MV_Stock WHEN "
                                      "NEW.IDCOMPROBANTE = 'R%1' AND NEW.SECUENCIA = %2 BEGIN "
                                      "SELECT RAISE(%3, 'rehusado por la prueba'); END")
                           .arg(l.nota)
                           .arg(l.secuencia)
                           .arg(l.modo == LugarRehusado::Transaccion ? QStringLiteral("ROLLBACK")
                                                                     : QStringLiteral("ABORT")));
            return;
        }
        c.Ejecutar(QStringLiteral("CREATE FUNCTION rehusar() RETURNS trigger AS $$ BEGIN IF "
                                  "NEW.idcomprobante = 'R%1' AND NEW.secuencia = %2 THEN RAISE "
                                  "EXCEPTION 'rehusado por la prueba'; END IF; RETURN NEW; END "
                                  "$$ LANGUAGE plpgsql")
                       .arg(l.nota)
                       .arg(l.secuencia));
        c.Ejecutar(l.modo == LugarRehusado::AlConfirmar
                       ? QStringLiteral("CREATE CONSTRAINT TRIGGER rehusar AFTER INSERT ON "
                                        "V_MV_Stock DEFERRABLE INITIALLY DEFERRED FOR EACH ROW "
                                        "EXECUTE FUNCTION rehusar()")
                       : QStringLiteral("CREATE TRIGGER rehusar BEFORE INSERT ON V_MV_Stock FOR "
                                        "EACH ROW EXECUTE FUNCTION rehusar()"));
    }
    void DejarDeRehusar() {
        Conexion otra;
        ConectarOtra(otra);
        otra.Ejecutar(GetParam().motor == TipoDeBase::Sqlite
                          ? QStringLiteral("DROP TRIGGER rehusar")
                          : QStringLiteral("DROP TRIGGER rehusar ON V_MV_Stock"));
    }
};

TEST_P(InsercionRehusada, IsReportedAndTheNoteEndsRegisteredOnce) {
    const LugarRehusado& l = GetParam();
    Notas(NotasDePrueba, RenglonesPorNota);
    Rehusar();

    Correr();
    const ResultadoCorrida primera = UltimaCorrida();
    EXPECT_FALSE(primera.SinFallas());
    EXPECT_EQ(primera.notas, NotasDePrueba);
    const QString documento = QStringLiteral("RMR%1").arg(l.nota);
    const QStringList fallas = Fallas(Log());
    if (l.modo == LugarRehusado::AlConfirmar) {
        // Nothing of the note stays: it is still pending, whole.
        EXPECT_EQ(primera.renglonesRechazados, RenglonesPorNota);
        ASSERT_EQ(fallas.size(), 1) << fallas.join(u'\n').toStdString();
        EXPECT_TRUE(fallas[0].startsWith(QStringLiteral("*** %1: no se confirmaron sus 3 renglones: ")
                                             .arg(documento)))
            << fallas[0].toStdString();
        EXPECT_TRUE(Stock(QStringLiteral("R%1").arg(l.nota)).isEmpty());
    } else if (l.modo == LugarRehusado::Transaccion) {
        // The row written before went with the transaction, and the row after it was not
        // sent on its own: nothing of the note stays, and the result says so.
        EXPECT_EQ(primera.renglonesRechazados, RenglonesPorNota);
        ASSERT_EQ(fallas.size(), 2) << fallas.join(u'\n').toStdString();
        EXPECT_TRUE(fallas[0].startsWith(
            QStringLiteral("*** %1 renglón %2: ").arg(documento).arg(l.secuencia)));
        EXPECT_EQ(fallas[1], QStringLiteral("*** %1: la base de datos deshizo el remito; no se "
                                            "registró ninguno de sus renglones")
                                 .arg(documento));
        EXPECT_TRUE(Stock(QStringLiteral("R%1").arg(l.nota)).isEmpty());
    } else {
        // Only the refused row is missing; the note's other rows are kept.
        EXPECT_EQ(primera.renglonesRechazados, 1);
        ASSERT_EQ(fallas.size(), 1) << fallas.join(u'\n').toStdString();
        EXPECT_TRUE(fallas[0].startsWith(
            QStringLiteral("*** %1 renglón %2: ").arg(documento).arg(l.secuencia)))
            << fallas[0].toStdString();
        EXPECT_EQ(Stock(QStringLiteral("R%1").arg(l.nota)).size(), RenglonesPorNota - 1);
    }
    EXPECT_TRUE(fallas[0].contains(QStringLiteral("rehusado por la prueba")));
    EXPECT_EQ(primera.renglonesEscritos, NotasDePrueba * RenglonesPorNota -
                                             primera.renglonesRechazados);
    EXPECT_TRUE(UltimoMensaje().startsWith(QStringLiteral("Proceso Finalizado!\nNo se registr")))
        << UltimoMensaje().toStdString();

    DejarDeRehusar();
    Reconectar();
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    if (l.modo == LugarRehusado::Fila) {
        // A note with some of its rows is no longer pending: its missing row is written only
        // when asked for.
        EXPECT_EQ(UltimaCorrida().notas, 0);
        const auto completado = RemitosIncompletos().Completar();
        EXPECT_EQ(completado.completados, 1);
        EXPECT_EQ(completado.renglonesEscritos, 1);
    } else {
        EXPECT_EQ(UltimaCorrida().notas, 1);
    }
    ComprobarCadaNotaUnaVez(NotasDePrueba, RenglonesPorNota);
}

const LugarRehusado LugaresRehusados[] = {
    {TipoDeBase::Sqlite, "Sqlite_PrimerRenglon", 1, 1, LugarRehusado::Fila},
    {TipoDeBase::Sqlite, "Sqlite_RenglonDelMedio", 3, 2, LugarRehusado::Fila},
    {TipoDeBase::Sqlite, "Sqlite_UltimoRenglon", NotasDePrueba, RenglonesPorNota, LugarRehusado::Fila},
    {TipoDeBase::Sqlite, "Sqlite_TransaccionDeshecha", 3, 2, LugarRehusado::Transaccion},
    {TipoDeBase::Postgres, "Postgres_PrimerRenglon", 1, 1, LugarRehusado::Fila},
    {TipoDeBase::Postgres, "Postgres_RenglonDelMedio", 3, 2, LugarRehusado::Fila},
    {TipoDeBase::Postgres, "Postgres_UltimoRenglon", NotasDePrueba, RenglonesPorNota, LugarRehusado::Fila},
    {TipoDeBase::Postgres, "Postgres_AlConfirmar", 3, 2, LugarRehusado::AlConfirmar},
};

INSTANTIATE_TEST_SUITE_P(Lugares, InsercionRehusada, ::testing::ValuesIn(LugaresRehusados),
                         [](const ::testing::TestParamInfo<LugarRehusado>& info) {
                             return std::string(info.param.nombre);
                         });

// ---------------------------------------------------------------------------------------
// Faults that strike between two notes, from outside the program.

class FallaEntreNotas : public Corrida {
protected:
    // Another program acts between two notes: the first note must be confirmed by then, or
    // the other program would wait for the run's transaction to end.
    void SetUp() override {
        Corrida::SetUp();
        corrida.EstablecerLote(1, 0);
    }

    // Runs accion when the run has registered its first note.
    void TrasLaPrimeraNota(std::function<void()> accion) {
        guion.alProcesarEventos = [this, accion, puntos = 0]() mutable {
            // The first two points come before the first note.
            if (++puntos == 3)
                accion();
        };
    }
};

TEST_P(FallaEntreNotas, TheLinesTableDroppedByAnotherProgramIsReported) {
    Notas(NotasDePrueba, RenglonesPorNota);
    // What it takes to put the table back afterwards.
    QString definicion;
    if (MotorProbado() == TipoDeBase::Sqlite) {
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = "
                                        "'V_Mv_CpteInsumos'"),
                         rs);
        definicion = rs->Fields(0).Value().Texto();
        c.Ejecutar(QStringLiteral("CREATE TABLE copia AS SELECT * FROM V_Mv_CpteInsumos"));
    } else {
        c.Ejecutar(QStringLiteral("CREATE TABLE copia (LIKE V_Mv_CpteInsumos INCLUDING ALL)"));
        c.Ejecutar(QStringLiteral("INSERT INTO copia SELECT * FROM V_Mv_CpteInsumos"));
    }

    TrasLaPrimeraNota([this] {
        Conexion otra;
        ConectarOtra(otra);
        if (MotorProbado() == TipoDeBase::Postgres)
            otra.Ejecutar(QStringLiteral("SET lock_timeout = '10s'"));
        otra.Ejecutar(QStringLiteral("DROP TABLE V_Mv_CpteInsumos"));
    });
    Correr();
    // The lines of the note after the first are read while the first note's rows are written,
    // before the table goes: that note is registered too, on either engine.
    const int leidas = 2;
    const ResultadoCorrida primera = UltimaCorrida();
    EXPECT_FALSE(primera.SinFallas());
    EXPECT_EQ(primera.renglonesEscritos, leidas * RenglonesPorNota);
    EXPECT_EQ(primera.notasSinRenglones, NotasDePrueba - leidas);
    const QStringList fallas = Fallas(Log());
    ASSERT_EQ(fallas.size(), NotasDePrueba - leidas);
    EXPECT_TRUE(fallas[0].contains(QStringLiteral(": no se pudieron leer los renglones: ")))
        << fallas[0].toStdString();
    EXPECT_TRUE(UltimoMensaje().contains(
        QStringLiteral("No se pudieron leer los renglones de %1 remitos.").arg(NotasDePrueba - leidas)))
        << UltimoMensaje().toStdString();

    guion.alProcesarEventos = nullptr;
    if (MotorProbado() == TipoDeBase::Sqlite) {
        c.Ejecutar(definicion);
        c.Ejecutar(QStringLiteral("INSERT INTO V_Mv_CpteInsumos SELECT * FROM copia"));
    } else {
        c.Ejecutar(QStringLiteral("ALTER TABLE copia RENAME TO V_Mv_CpteInsumos"));
    }
    Reconectar();
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    EXPECT_EQ(UltimaCorrida().notas, NotasDePrueba - leidas);
    ComprobarCadaNotaUnaVez(NotasDePrueba, RenglonesPorNota);
}

TEST_P(FallaEntreNotas, ANoteAnotherRunRegisteredMeanwhileIsReportedOnceAndLeftAlone) {
    Notas(NotasDePrueba, RenglonesPorNota);
    TrasLaPrimeraNota([this] {
        // What a second run started at the same time would have written for R3 by now.
        Conexion otra;
        ConectarOtra(otra);
        otra.Ejecutar(QStringLiteral(
            "INSERT INTO V_MV_Stock (TC, IDCOMPROBANTE, IDCOMPLEMENTO, SECUENCIA, IDARTICULO, "
            "CANTIDAD) SELECT TC, IDCOMPROBANTE, IDCOMPLEMENTO, RENGLON, IDARTICULO, -CANTIDAD "
            "FROM V_Mv_CpteInsumos WHERE IDCOMPROBANTE = 'R3'"));
    });
    Correr();
    const ResultadoCorrida r = UltimaCorrida();
    EXPECT_EQ(r.notasDeOtraCorrida, 1);
    EXPECT_EQ(r.renglonesRechazados, 0);
    EXPECT_EQ(r.renglonesEscritos, (NotasDePrueba - 1) * RenglonesPorNota);
    EXPECT_FALSE(r.SinFallas());
    EXPECT_EQ(Fallas(Log()), QStringList{QStringLiteral(
                                 "*** RMR3: lo registró otra corrida al mismo tiempo; no se "
                                 "escribió ninguno de sus renglones")});
    EXPECT_TRUE(UltimoMensaje().contains(
        QStringLiteral("1 remito lo registró otra corrida al mismo tiempo.")))
        << UltimoMensaje().toStdString();
    ComprobarCadaNotaUnaVez(NotasDePrueba, RenglonesPorNota);
}

TEST_P(FallaEntreNotas, ALogPathTakenByAFolderLosesNoRow) {
    ASSERT_TRUE(QDir(carpeta.Ruta()).mkdir(RegistroDeCorrida::NombreArchivo()));
    Notas(NotasDePrueba, RenglonesPorNota);
    Correr();
    EXPECT_TRUE(UltimaCorrida().registroFallido);
    EXPECT_FALSE(UltimaCorrida().SinFallas());
    ComprobarCadaNotaUnaVez(NotasDePrueba, RenglonesPorNota);
}

INSTANTIATE_TEST_SUITE_P(Motores, FallaEntreNotas, ::testing::Values(TipoDeBase::Sqlite, TipoDeBase::Postgres),
                         [](const ::testing::TestParamInfo<TipoDeBase>& info) {
                             return info.param == TipoDeBase::Sqlite ? "Sqlite" : "Postgres";
                         });

// ---------------------------------------------------------------------------------------
// The embedded database's file made read-only, before the run or in its middle.

// Sets or clears the immutable attribute of a file (what chattr +i does): not even root may
// write to it then. Gives the reason when the file system or the user cannot.
QString Inmutable(const QString& ruta, bool inmutable) {
    const int fd = ::open(QFile::encodeName(ruta).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    int atributos = 0;
    QString error;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &atributos) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        atributos = inmutable ? atributos | FS_IMMUTABLE_FL : atributos & ~FS_IMMUTABLE_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &atributos) != 0)
            error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ::close(fd);
    return error;
}

// The database file and its write-ahead log made immutable, and writable again whatever
// happens to the test (a file left immutable could not even be removed).
class SoloLectura {
public:
    explicit SoloLectura(const QString& base) : archivos_{base, base + QStringLiteral("-wal")} {}
    ~SoloLectura() { Quitar(); }
    // Empty when done; otherwise why it could not be.
    QString Poner() {
        for (const QString& a : archivos_) {
            if (!QFile::exists(a))
                continue;
            const QString error = Inmutable(a, true);
            if (!error.isEmpty())
                return error;
            puestos_ << a;
        }
        return {};
    }
    void Quitar() {
        for (const QString& a : std::as_const(puestos_))
            Inmutable(a, false);
        puestos_.clear();
    }

private:
    QStringList archivos_;
    QStringList puestos_;
};

class BaseDeSoloLectura : public CorridaBase, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        Preparar(TipoDeBase::Sqlite);
        // What was confirmed before the file turns read-only stays: one note a transaction.
        corrida.EstablecerLote(1, 0);
    }
};

TEST_P(BaseDeSoloLectura, IsReportedAndTheNextRunRegistersEverything) {
    const bool enElMedio = GetParam();
    Notas(NotasDePrueba, RenglonesPorNota);
    SoloLectura soloLectura(rutaSqlite);
    QString error;
    if (enElMedio) {
        guion.alProcesarEventos = [&, puntos = 0]() mutable {
            if (++puntos == 3)
                error = soloLectura.Poner();
        };
        Correr();
    } else {
        c.Desconectar();
        error = soloLectura.Poner();
    }
    if (!error.isEmpty())
        GTEST_SKIP() << "este sistema de archivos no permite hacer inmutable la base: "
                     << error.toStdString();

    if (enElMedio) {
        // A file that cannot be written any more stops the run: nothing is counted as refused,
        // and what is left is said.
        const ResultadoCorrida primera = UltimaCorrida();
        EXPECT_FALSE(primera.SinFallas());
        EXPECT_TRUE(primera.detenida);
        EXPECT_EQ(primera.RenglonesNoRegistrados(), 0);
        EXPECT_EQ(primera.renglonesEscritos, RenglonesPorNota);
        EXPECT_EQ(primera.notasSinProcesar, NotasDePrueba - 1);
        EXPECT_EQ(Fallas(Log()).size(), 1) << Log().join(u'\n').toStdString();
        EXPECT_TRUE(UltimoMensaje().startsWith(QStringLiteral("Proceso Finalizado!\nLa corrida se detuvo: ")))
            << UltimoMensaje().toStdString();
    } else {
        // One that cannot be written from the start is refused when it is opened for a run,
        // with the reason, before any step could fail on it.
        c.BaseDatos = rutaSqlite;
        c.Conectar(true, 3);
        EXPECT_FALSE(c.Conectada());
        EXPECT_TRUE(c.UltimoError().contains(QStringLiteral(" para escribir: "))) << c.UltimoError().toStdString();
    }

    guion.alProcesarEventos = nullptr;
    c.Desconectar();
    soloLectura.Quitar();
    Reconectar();
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    ComprobarCadaNotaUnaVez(NotasDePrueba, RenglonesPorNota);
}

INSTANTIATE_TEST_SUITE_P(Momentos, BaseDeSoloLectura, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "EnMedioDeLaCorrida" : "DesdeElPrincipio";
                         });

// ---------------------------------------------------------------------------------------
// A disk that fills up: the program's folder, with the embedded database and the log, on a
// small tmpfs.

using Pruebas::Montaje;

// Writes zeros to a file until only `dejar` bytes are left free (or none at all).
void Llenar(const QString& archivo, qint64 libre, qint64 dejar) {
    QFile f(archivo);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray bloque(64 * 1024, '\0');
    qint64 falta = libre - dejar;
    while (falta > 0) {
        const qint64 escritos = f.write(bloque.constData(), qMin<qint64>(falta, bloque.size()));
        if (escritos <= 0)
            break; // the disk is full
        falta -= escritos;
    }
}

class DiscoLleno : public CorridaBase, public ::testing::WithParamInterface<bool> {
protected:
    // What was confirmed before the disk fills up stays: one note a transaction.
    void SetUp() override { corrida.EstablecerLote(1, 0); }
};

TEST_P(DiscoLleno, IsReportedAndTheNextRunRegistersEverything) {
    const bool enElMedio = GetParam();
    const QString lleno = carpeta.Archivo(QStringLiteral("lleno"));
    Montaje montaje(lleno);
    if (!montaje.Montado())
        GTEST_SKIP() << "no se puede montar un tmpfs aquí (" << montaje.Error().toStdString()
                     << "): el disco lleno no se prueba";
    // The program's folder, its database and its log live on the small disk.
    Entorno::EstablecerCarpetaDelPrograma(lleno);
    rutaSqlite = lleno + QStringLiteral("/remitos.db");
    BaseEmbebida::Crear(rutaSqlite, 0);
    Pruebas::ConectarSqlite(c, rutaSqlite);
    constexpr int notas = 60;
    Notas(notas, RenglonesPorNota);
    c.Ejecutar(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    const QString relleno = lleno + QStringLiteral("/relleno");
    // In the middle: room for a few notes and then none; otherwise none from the start.
    Llenar(relleno, montaje.Libre(), enElMedio ? 48 * 1024 : 0);

    Correr();
    // The full disk stops the run at once: no line counted as refused, the notes not written
    // left for the next run, and the reason said.
    const ResultadoCorrida primera = UltimaCorrida();
    EXPECT_FALSE(primera.SinFallas());
    EXPECT_TRUE(primera.detenida);
    EXPECT_EQ(primera.RenglonesNoRegistrados(), 0);
    EXPECT_LT(primera.renglonesEscritos, notas * RenglonesPorNota);
    EXPECT_EQ(primera.notasSinProcesar, notas - primera.notas);
    EXPECT_TRUE(primera.motivoDetencion.contains(QStringLiteral("full"))) << primera.motivoDetencion.toStdString();
    EXPECT_TRUE(UltimoMensaje().contains(QStringLiteral("La corrida se detuvo: ")))
        << UltimoMensaje().toStdString();
    if (!enElMedio) {
        // Not one line of the log could be written: the result says so instead.
        EXPECT_GT(primera.lineasDeRegistroPerdidas, 0);
        EXPECT_TRUE(UltimoMensaje().contains(QStringLiteral("en el registro")))
            << UltimoMensaje().toStdString();
    }

    // Room again: the next run registers what is missing, and the log holds whole lines
    // only (a line that did not fit was taken out again).
    c.Desconectar();
    ASSERT_TRUE(QFile::remove(relleno));
    Reconectar();
    Correr();
    EXPECT_TRUE(UltimaCorrida().SinFallas()) << UltimoMensaje().toStdString();
    ComprobarCadaNotaUnaVez(notas, RenglonesPorNota);
    QFile log(lleno + u'/' + RegistroDeCorrida::NombreArchivo());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray texto = log.readAll();
    EXPECT_TRUE(texto.endsWith("\r\n"));
    for (const QByteArray& linea : texto.split('\n'))
        EXPECT_TRUE(linea.isEmpty() || linea.endsWith('\r')) << linea.toStdString();
    c.Desconectar();
}

INSTANTIATE_TEST_SUITE_P(Momentos, DiscoLleno, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "EnMedioDeLaCorrida" : "DesdeElPrincipio";
                         });

} // namespace
