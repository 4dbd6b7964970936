// Figures for the registration run, printed, never judged: on fresh copies of the same data it
// measures (a) every INSERT of the run sent as its own autocommit statement through the same
// layer, (b) the real run, (c) one set-based INSERT ... SELECT
// writing the same rows, the lower bound. Then the same against PostgreSQL when a data source
// of its ODBC driver is given: through the server's own client library, or through the ODBC
// driver when that is forced (REMITOS_POSTGRESQL_POR_ODBC=1).
//
// Each way runs several times on its own fresh copy and the median time is reported, so one
// slow moment of a busy machine does not decide the figures.
//
// With --nocturna it measures instead the run of a night when nothing is pending: every note
// already registered, the real run against the selection statement alone.
//
// It also prints the peak memory of one real run alone, measured in a process of its own.
//
//   bench_registro [--notas N] [--repeticiones R] [--dsn DATA_SOURCE] [--usuario USER]
//                  [--sin-servidor] [--nocturna]
#include "CorridaRegistro.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Entorno.h"
#include "Falla.h"
#include "InteraccionGuion.h"
#include "Medicion.h"
#include "ModGlobal.h"
#include "Recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

constexpr int RenglonesPorNota = 5;
int Repeticiones = 3;
bool Nocturna = false;
// This process only measures the memory of one real run (see MemoriaDeLaCorridaReal).
bool SoloMemoria = false;

struct Medida {
    qint64 filas = 0;
    double segundos = 0;
    double Ritmo() const { return segundos > 0 ? filas / segundos : 0; }
};

const char* NombreDelServidor() {
    return Conexion::PostgresPorOdbc() ? "PostgreSQL por ODBC" : "PostgreSQL (libpq)";
}

void Imprimir(const char* formato, auto... valores) {
    std::printf(formato, valores...);
    std::fflush(stdout);
}

qint64 Contar(Conexion& c, const QString& sql) {
    RefRecordset rs;
    c.AbrirRecordset(sql, rs);
    return rs->Fields(0).Value().Entero();
}

QString InsertConjunto() {
    return QStringLiteral(
        "INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,"
        "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,"
        "CUENTAPROVEEDOR) "
        "SELECT c.TC, c.IDCOMPROBANTE, c.IDCOMPLEMENTO, ROW_NUMBER() OVER (PARTITION BY c.TC, "
        "c.IDCOMPROBANTE, c.IDCOMPLEMENTO ORDER BY l.IDCOMPLEMENTO, l.RENGLON), c.FECHA, "
        "l.IDARTICULO, l.DESCRIPCION, l.IDUNIDAD, -l.CANTIDAD, l.COSTO, l.IMPORTE, l.CLASEPRECIO, "
        "'   1', '   1', c.CUENTA FROM V_MV_Cpte c LEFT OUTER JOIN V_MV_Stock s ON "
        "c.IDCOMPLEMENTO = s.IDCOMPLEMENTO AND c.TC = s.TC AND c.IDCOMPROBANTE = s.IDCOMPROBANTE "
        "JOIN V_Mv_CpteInsumos l ON l.TC = c.TC AND l.IDCOMPROBANTE = c.IDCOMPROBANTE "
        "WHERE s.TC IS NULL AND c.TC = 'RM' AND c.FECHA > '01/03/2003' AND c.ANULADA = 0");
}

// (a) The run's statements, one autocommit INSERT per line, through the same layer.
Medida UnoPorUno(Conexion& c) {
    QElapsedTimer reloj;
    reloj.start();
    Medida m;
    RefRecordset notas, renglones;
    c.AbrirRecordset(Remito::SentenciaSeleccion(), notas);
    for (; !notas->Eof(); notas->MoveNext()) {
        c.AbrirRecordset(QStringLiteral("Select * from V_Mv_CpteInsumos where tc = '%1' and "
                                        "idcomprobante = '%2'")
                             .arg(notas->Fields(QStringLiteral("TC")).Value().Texto(),
                                  notas->Fields(QStringLiteral("IDCOMPROBANTE")).Value().Texto()),
                         renglones);
        int secuencia = 1;
        for (; !renglones->Eof(); renglones->MoveNext(), ++secuencia) {
            c.Ejecutar(Remito::Sentencia(Remito::MovimientoDe(*notas, *renglones, secuencia), c.DialectoSQL()));
            ++m.filas;
        }
    }
    m.segundos = reloj.nsecsElapsed() / 1e9;
    return m;
}

// (b) The real run, as "Ejecutar" and batch mode start it.
Medida Real() {
    CorridaRegistro corrida;
    AvanceCorrida nadie;
    const ResultadoCorrida r = corrida.Ejecutar(nadie);
    return {r.renglonesEscritos, r.segundos};
}

// (c) One statement writing the same rows.
Medida Conjunto(Conexion& c) {
    QElapsedTimer reloj;
    reloj.start();
    c.Ejecutar(InsertConjunto());
    const double segundos = reloj.nsecsElapsed() / 1e9;
    return {Contar(c, QStringLiteral("SELECT count(*) FROM V_MV_Stock")), segundos};
}

// The selection statement alone, read whole as the run reads it.
Medida Seleccion(Conexion& c) {
    QElapsedTimer reloj;
    reloj.start();
    RefRecordset notas;
    c.AbrirRecordset(Remito::SentenciaSeleccion(), notas);
    return {notas->RecordCount(), reloj.nsecsElapsed() / 1e9};
}

// The median of several runs of one way, each on a fresh copy made by preparar.
Medida Mediana(const std::function<void()>& preparar, const std::function<Medida()>& medir) {
    QList<Medida> medidas;
    for (int i = 0; i < Repeticiones; ++i) {
        preparar();
        medidas << medir();
    }
    std::sort(medidas.begin(), medidas.end(),
              [](const Medida& x, const Medida& y) { return x.segundos < y.segundos; });
    return medidas[medidas.size() / 2];
}

void Informe(const char* motor, const Medida& a, const Medida& b, const Medida& c) {
    Imprimir("%s (mediana de %d corridas de cada forma)\n", motor, Repeticiones);
    Imprimir("  (a) una sentencia por renglón, sin transacción: %9.0f renglones/s (%lld en %.2f s)\n",
             a.Ritmo(), a.filas, a.segundos);
    Imprimir("  (b) la corrida real:                            %9.0f renglones/s (%lld en %.2f s)\n",
             b.Ritmo(), b.filas, b.segundos);
    Imprimir("  (c) un INSERT ... SELECT:                       %9.0f renglones/s (%lld en %.2f s)\n",
             c.Ritmo(), c.filas, c.segundos);
    Imprimir("  b/a = %.2f   c/b = %.2f\n", b.Ritmo() / a.Ritmo(), c.Ritmo() / b.Ritmo());
    if (a.filas != b.filas || b.filas != c.filas)
        Imprimir("  ATENCIÓN: las tres formas no escribieron las mismas filas\n");
}

// The night after: every note registered, nothing pending. The same database serves every
// repetition, since neither way writes a stock row.
void InformeNocturno(const char* motor, Conexion& c) {
    c.Ejecutar(InsertConjunto());
    c.Ejecutar(QStringLiteral("ANALYZE"));
    const qint64 registradas = Contar(c, QStringLiteral("SELECT count(*) FROM V_MV_Stock"));
    auto nada = [] {};
    const Medida sel = Mediana(nada, [&] { return Seleccion(c); });
    const Medida real = Mediana(nada, [&] { return Real(); });
    Imprimir("%s, nada pendiente (%lld movimientos ya registrados; mediana de %d)\n", motor,
             registradas, Repeticiones);
    Imprimir("  la sentencia de selección sola: %.3f s (%lld remitos)\n", sel.segundos, sel.filas);
    Imprimir("  la corrida real:                %.3f s\n", real.segundos);
    Imprimir("  corrida/selección = %.2f\n", real.segundos / qMax(sel.segundos, 1e-9));
}

void Cargar(Conexion& c, int notas, bool postgres) {
    QElapsedTimer reloj;
    reloj.start();
    // Built by concatenation: the statements hold printf and modulo signs of their own.
    const QString n = QString::number(notas);
    const QString filas = QString::number(notas * RenglonesPorNota);
    const QString k = QString::number(RenglonesPorNota);
    if (postgres) {
        c.Ejecutar(QStringLiteral(
            "INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,CUENTA,RAZONSOCIAL,IMPORTE,"
            "ANULADA) SELECT 'RM', 'B' || lpad(i::text, 12, '0'), 0, DATE '2004-01-01' + (i % 8000), "
            "'C' || lpad((i % 150 + 1)::text, 5, '0'), 'Cliente ' || i, 1000.5, 0 "
            "FROM generate_series(1, ") + n + QStringLiteral(") AS i"));
        c.Ejecutar(QStringLiteral(
            "INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,"
            "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,IMPORTE,CLASEPRECIO) SELECT 'RM', "
            "'B' || lpad(((i - 1) / ") + k + QStringLiteral(" + 1)::text, 12, '0'), 0, (i - 1) % ") +
                   k + QStringLiteral(" + 1, 'A' || lpad((i % 240 + 1)::text, 5, '0'), "
                                      "'Artículo ' || (i % 240 + 1), 'UN', (i % 7) + 1.25, 10.5, "
                                      "100.25, 2 FROM generate_series(1, ") +
                   filas + QStringLiteral(") AS i"));
        c.Ejecutar(QStringLiteral("ANALYZE"));
    } else {
        const QString serie =
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ");
        c.BeginTrans();
        c.Ejecutar(serie + n + QStringLiteral(
            ") INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,CUENTA,RAZONSOCIAL,"
            "IMPORTE,ANULADA) SELECT 'RM', printf('B%012d', i), 0, date('2004-01-01', '+' || "
            "(i % 8000) || ' days'), printf('C%05d', i % 150 + 1), 'Cliente ' || i, 1000.5, 0 "
            "FROM n"));
        c.Ejecutar(serie + filas + QStringLiteral(
            ") INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,"
            "DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,IMPORTE,CLASEPRECIO) SELECT 'RM', "
            "printf('B%012d', (i - 1) / ") + k + QStringLiteral(" + 1), 0, (i - 1) % ") + k +
                   QStringLiteral(" + 1, printf('A%05d', i % 240 + 1), 'Artículo ' || (i % 240 + 1), "
                                  "'UN', (i % 7) + 1.25, 10.5, 100.25, 2 FROM n"));
        c.CommitTrans();
        c.Ejecutar(QStringLiteral("ANALYZE"));
    }
    Imprimir("  datos cargados en %.1f s\n", reloj.nsecsElapsed() / 1e9);
}

void ConectarEmbebida(Conexion& c, const QString& ruta) {
    c.Desconectar();
    c.BaseDatos = ruta;
    c.Conectar(true, 3);
    if (!c.Conectada())
        throw Falla::Conexion(c.UltimoError());
}

// The peak memory of one real run on the embedded database, measured in a process of its own
// (this program, run again with --solo-memoria), so that nothing else this program did
// counts.
void MemoriaDeLaCorridaReal(int notas) {
    QProcess proceso;
    proceso.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--solo-memoria"), QStringLiteral("--notas"), QString::number(notas)});
    if (!proceso.waitForFinished(-1) || proceso.exitCode() != 0) {
        Imprimir("  (no se pudo medir la memoria de la corrida real: %s)\n",
                 proceso.readAllStandardError().constData());
        return;
    }
    Imprimir("%s", proceso.readAllStandardOutput().constData());
}

void SoloLaCorridaReal(int notas) {
    QTemporaryDir dir;
    Entorno::EstablecerCarpetaDelPrograma(dir.path());
    const QString base = dir.filePath(QStringLiteral("base.db"));
    BaseEmbebida::Crear(base, 0);
    Conexion& c = Conexion::Instancia();
    ConectarEmbebida(c, base);
    Cargar(c, notas, false);
    const double antes = PicoMemoriaMB();
    const Medida real = Real();
    Imprimir("  pico de memoria residente de la corrida real sola: %.1f MB (%lld renglones; "
             "%.1f MB antes de empezar)\n",
             PicoMemoriaMB(), real.filas, antes);
    c.Desconectar();
}

void Sqlite(int notas) {
    QTemporaryDir dir;
    Entorno::EstablecerCarpetaDelPrograma(dir.path());
    const QString base = dir.filePath(QStringLiteral("base.db"));
    BaseEmbebida::Crear(base, 0);
    {
        Conexion c;
        c.BaseDatos = base;
        c.Conectar(true, 3);
        Cargar(c, notas, false);
        c.Ejecutar(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    Conexion& c = Conexion::Instancia();
    if (Nocturna) {
        ConectarEmbebida(c, base);
        InformeNocturno("SQLite embebida (WAL)", c);
        c.Desconectar();
        return;
    }
    int copias = 0;
    auto copia = [&] {
        const QString ruta = dir.filePath(QStringLiteral("copia-%1.db").arg(++copias));
        QFile::copy(base, ruta);
        ConectarEmbebida(c, ruta);
    };
    const Medida a = Mediana(copia, [&] { return UnoPorUno(c); });
    const Medida b = Mediana(copia, [&] { return Real(); });
    const Medida conj = Mediana(copia, [&] { return Conjunto(c); });
    c.Desconectar();
    Informe("SQLite embebida (WAL)", a, b, conj);
    MemoriaDeLaCorridaReal(notas);
}

void Postgres(int notas, const QString& dsn, const QString& usuario) {
    const QString prefijo = QStringLiteral("bench_%1").arg(getpid());
    Conexion admin;
    admin.Servidor = dsn;
    admin.BaseDatos = QStringLiteral("postgres");
    admin.Usuario = usuario;
    admin.Conectar(false, 3);
    if (!admin.Conectada())
        throw Falla::Conexion(admin.UltimoError());
    admin.Ejecutar(QStringLiteral("CREATE DATABASE %1_base").arg(prefijo));
    {
        Conexion c;
        c.Servidor = dsn;
        c.BaseDatos = prefijo + QStringLiteral("_base");
        c.Usuario = usuario;
        c.Conectar(false, 3);
        BaseEmbebida::CrearEsquema(c);
        Cargar(c, notas, true);
    }
    Conexion& c = Conexion::Instancia();
    QStringList creadas{prefijo + QStringLiteral("_base")};
    if (Nocturna) {
        c.Servidor = dsn;
        c.BaseDatos = creadas.first();
        c.Usuario = usuario;
        c.Conectar(false, 3);
        if (!c.Conectada())
            throw Falla::Conexion(c.UltimoError());
        InformeNocturno(NombreDelServidor(), c);
        c.Desconectar();
        admin.Ejecutar(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(creadas.first()));
        return;
    }
    auto copia = [&] {
        const QString nombre = QStringLiteral("%1_%2").arg(prefijo).arg(creadas.size());
        c.Desconectar();
        admin.Ejecutar(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2_base").arg(nombre, prefijo));
        creadas << nombre;
        c.Servidor = dsn;
        c.BaseDatos = nombre;
        c.Usuario = usuario;
        c.Conectar(false, 3);
        if (!c.Conectada())
            throw Falla::Conexion(c.UltimoError());
        c.Ejecutar(QStringLiteral("ANALYZE"));
    };
    const Medida a = Mediana(copia, [&] { return UnoPorUno(c); });
    const Medida b = Mediana(copia, [&] { return Real(); });
    const Medida conj = Mediana(copia, [&] { return Conjunto(c); });
    c.Desconectar();
    for (const QString& nombre : creadas)
        admin.Ejecutar(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(nombre));
    Informe(NombreDelServidor(), a, b, conj);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("remitos"));
    int notas = 20000;
    QString dsn = qEnvironmentVariable("REMITOS_PG_DSN");
    QString usuario = qEnvironmentVariable("REMITOS_PG_USUARIO", QStringLiteral("postgres"));
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--notas") && i + 1 < args.size())
            notas = args[++i].toInt();
        else if (args[i] == QLatin1String("--repeticiones") && i + 1 < args.size())
            Repeticiones = qMax(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--dsn") && i + 1 < args.size())
            dsn = args[++i];
        else if (args[i] == QLatin1String("--usuario") && i + 1 < args.size())
            usuario = args[++i];
        else if (args[i] == QLatin1String("--sin-servidor"))
            dsn.clear();
        else if (args[i] == QLatin1String("--nocturna"))
            Nocturna = true;
        else if (args[i] == QLatin1String("--solo-memoria"))
            SoloMemoria = true;
        else {
            std::fprintf(stderr, "uso: bench_registro [--notas N] [--repeticiones R] "
                                 "[--dsn ORIGEN] [--usuario U] [--sin-servidor] [--nocturna]\n");
            return 64;
        }
    }
    if (notas < 1)
        notas = 1;
    Interaccion::Establecer(std::make_unique<InteraccionGuion>());
    if (SoloMemoria) {
        SoloLaCorridaReal(notas);
        ModGlobal::LiberarObjetos();
        return 0;
    }
    Imprimir("%d remitos x %d renglones = %d renglones\n", notas, RenglonesPorNota,
             notas * RenglonesPorNota);
    int estado = 0;
    try {
        Sqlite(notas);
        if (!dsn.isEmpty())
            Postgres(notas, dsn, usuario);
        else
            Imprimir("(sin servidor PostgreSQL: dé --dsn o REMITOS_PG_DSN para medirlo)\n");
    } catch (const Falla& f) {
        std::fprintf(stderr, "bench_registro: %s\n", f.what());
        estado = 1;
    }
    ModGlobal::LiberarObjetos();
    Imprimir("Pico de memoria residente: %.1f MB\n", PicoMemoriaMB());
    return estado;
}
