// The world of a registration run, shared by the run's tests and its fault-injection tests.
#pragma once

#include "Ayudas.h"
#include "CorridaRegistro.h"
#include "BaseEmbebida.h"
#include "Conexion.h"
#include "Cp1252.h"
#include "Recordset.h"

#include <QFile>
#include <QtMath>
#include <gtest/gtest.h>
#include <memory>

namespace PruebasCorrida {

enum class TipoDeBase { Sqlite, Postgres };

inline const QString Q = QStringLiteral("'");
inline const QString N = QStringLiteral("@");

struct FilaDeStock {
    qint64 secuencia;
    Variant fecha;
    QString articulo, descripcion, unidad;
    double cantidad, costo, precio;
    qint64 clase;
    QString deposito, motivo, cuenta;
};

// What the run shows on its status line; its event points go to the scripted user.
struct AvanceVisto : AvanceCorrida {
    void Mostrar(const QString& texto) override { estados << texto; }
    // What a simulation says the log would get and which rows would be written.
    void LineaDeRegistro(const QString& linea) override { lineasDeRegistro << linea; }
    void Fila(const QString& sentencia) override { filas << sentencia; }
    QStringList estados, lineasDeRegistro, filas;
};

// A registration run's world: a fresh database of either engine, the program's folder, a
// scripted user and the run.
class CorridaBase : public ::testing::Test {
protected:
    void Preparar(TipoDeBase motor) {
        motor_ = motor;
        if (motor == TipoDeBase::Postgres) {
            REQUIERE_POSTGRES();
            pg = std::make_unique<Pruebas::BasePostgres>(QStringLiteral("remitos_corrida"));
            pg->Conectar(c);
            BaseEmbebida::CrearEsquema(c);
        } else {
            rutaSqlite = Pruebas::CrearBaseSqlite(carpeta);
            Pruebas::ConectarSqlite(c, rutaSqlite);
        }
    }
    TipoDeBase MotorProbado() const { return motor_; }

    void Nota(const QString& id, const Variant& fecha, const Variant& anulada = qint64(0),
              const QString& tc = QStringLiteral("RM"), qint64 complemento = 0,
              const QString& cuenta = QStringLiteral("C00001")) {
        c.Ejecutar(QStringLiteral("INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,"
                                  "CUENTA,ANULADA) VALUES (%1,%2,%3,%4,%5,%6)")
                       .arg(c.ValorSQL(tc, Q), c.ValorSQL(id, Q), c.ValorSQL(complemento, N),
                            c.ValorSQL(fecha, Q), c.ValorSQL(cuenta, Q), c.ValorSQL(anulada, N)));
    }
    void Renglon(const QString& id, int renglon, const Variant& articulo, const char* cantidad,
                 const QString& descripcion = QStringLiteral("Tornillo"),
                 qint64 complemento = 0, const QString& tc = QStringLiteral("RM")) {
        c.Ejecutar(QStringLiteral("INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,"
                                  "RENGLON,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,IMPORTE,"
                                  "CLASEPRECIO) VALUES (%1,%2,%3,%4,%5,%6,'UN',%7,%8,%9,2)")
                       .arg(c.ValorSQL(tc, Q), c.ValorSQL(id, Q), c.ValorSQL(complemento, N),
                            c.ValorSQL(renglon, N), c.ValorSQL(articulo, Q),
                            c.ValorSQL(descripcion, Q),
                            c.ValorSQL(Variant::Decimal(QString::fromLatin1(cantidad)), N),
                            c.ValorSQL(Variant::Decimal(QStringLiteral("%1.25").arg(renglon)), N),
                            c.ValorSQL(Variant::Decimal(QStringLiteral("%1.5").arg(renglon * 10)), N)));
    }
    QList<FilaDeStock> Stock(const QString& id, qint64 complemento = 0) {
        RefRecordset rs;
        c.AbrirRecordset(QStringLiteral("SELECT * FROM V_MV_Stock WHERE TC = 'RM' AND "
                                        "IDCOMPROBANTE = %1 AND IDCOMPLEMENTO = %2 ORDER BY SECUENCIA")
                             .arg(c.ValorSQL(id, Q), c.ValorSQL(complemento, N)),
                         rs);
        QList<FilaDeStock> filas;
        auto v = [&](const char* campo) { return rs->Fields(QString::fromLatin1(campo)).Value(); };
        auto t = [&](const char* campo) { return v(campo).EsNulo() ? QString() : v(campo).Texto(); };
        auto d = [&](const char* campo) { return v(campo).EsNulo() ? qQNaN() : v(campo).Doble(); };
        auto e = [&](const char* campo) { return v(campo).EsNulo() ? -1 : v(campo).Entero(); };
        for (; !rs->Eof(); rs->MoveNext())
            filas << FilaDeStock{e("SECUENCIA"), v("FECHA"), t("IDARTICULO"), t("DESCRIPCION"),
                                t("IDUNIDAD"), d("CANTIDAD"), d("COSTO"), d("PRECIOVENTA"),
                                e("CLASEPRECIO"), t("IDDEPOSITO"), t("IDMOTIVOSTOCK"),
                                t("CUENTAPROVEEDOR")};
        return filas;
    }
    qint64 Contar(const QString& sql) {
        RefRecordset rs;
        c.AbrirRecordset(sql, rs);
        return rs->Fields(0).Value().Entero();
    }
    // The log's lines about notes and failures, without the lines that frame each run.
    QStringList Log() {
        QStringList lineas = LogEntero();
        lineas.removeIf([](const QString& l) { return l.startsWith(RegistroDeCorrida::MarcaDeCorrida()); });
        return lineas;
    }
    QStringList LogEntero() {
        QFile f(carpeta.Archivo(RegistroDeCorrida::NombreArchivo()));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QString texto = Cp1252::Decodificar(f.readAll());
        EXPECT_TRUE(texto.isEmpty() || texto.endsWith(QStringLiteral("\r\n")));
        QStringList lineas = texto.split(QStringLiteral("\r\n"));
        lineas.removeLast();
        return lineas;
    }
    // A run as "Ejecutar" starts it, without the window: its closing message is kept as the
    // window would show it.
    const ResultadoCorrida& Correr() {
        ultima = corrida.Ejecutar(avance);
        mensajeFinal = CorridaRegistro::MensajeFinal(ultima, corrida.Log.ArchivoLog);
        return ultima;
    }
    const ResultadoCorrida& UltimaCorrida() const { return ultima; }
    QString UltimoMensaje() const { return mensajeFinal; }

    // Notes R1..Rn dated in 2024, each with the given number of lines (articles A1, A2...).
    void Notas(int notas, int renglones) {
        for (int i = 1; i <= notas; ++i) {
            const QString id = QStringLiteral("R%1").arg(i);
            Nota(id, Variant::Fecha(QDate(2024, 1, 1).addDays(i)));
            for (int r = 1; r <= renglones; ++r)
                Renglon(id, r, QStringLiteral("A%1").arg(r), "1");
        }
    }

    // The program's connection opened anew, as the next start of the program would.
    void Reconectar() {
        c.Desconectar();
        ConectarOtra(c);
    }

    // Every note has exactly one stock row for each of its lines, numbered 1 to their count,
    // and there is no other row. Looked at through a fresh connection: the program's own may
    // be the one that failed.
    void ComprobarCadaNotaUnaVez(int notas, int renglonesPorNota) {
        Conexion otra;
        ConectarOtra(otra);
        RefRecordset rs;
        otra.AbrirRecordset(
            QStringLiteral(
                "SELECT count(*) FROM V_MV_Cpte n JOIN (SELECT TC, IDCOMPROBANTE, count(*) AS "
                "RENGLONES FROM V_Mv_CpteInsumos GROUP BY TC, IDCOMPROBANTE) l ON l.TC = n.TC AND "
                "l.IDCOMPROBANTE = n.IDCOMPROBANTE LEFT JOIN (SELECT TC, IDCOMPROBANTE, "
                "IDCOMPLEMENTO, count(*) AS HECHOS, min(SECUENCIA) AS PRIMERA, max(SECUENCIA) AS "
                "ULTIMA FROM V_MV_Stock GROUP BY TC, IDCOMPROBANTE, IDCOMPLEMENTO) s ON s.TC = "
                "n.TC AND s.IDCOMPROBANTE = n.IDCOMPROBANTE AND s.IDCOMPLEMENTO = "
                "n.IDCOMPLEMENTO WHERE n.TC = 'RM' AND n.ANULADA = 0 AND (s.HECHOS IS NULL OR "
                "s.HECHOS <> l.RENGLONES OR s.PRIMERA <> 1 OR s.ULTIMA <> l.RENGLONES)"),
            rs);
        EXPECT_EQ(rs->Fields(0).Value().Entero(), 0) << "remitos sin registrar o a medias";
        otra.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Stock"), rs);
        EXPECT_EQ(rs->Fields(0).Value().Entero(), qint64(notas) * renglonesPorNota);
    }

    // Another connection to the same database, as a second program would open it.
    void ConectarOtra(Conexion& otra) const {
        if (motor_ == TipoDeBase::Postgres)
            pg->Conectar(otra);
        else
            Pruebas::ConectarSqlite(otra, rutaSqlite);
    }

    Pruebas::CarpetaPrueba carpeta;
    QString rutaSqlite;
    TipoDeBase motor_ = TipoDeBase::Sqlite;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Conexion& c = Conexion::Instancia();
    std::unique_ptr<Pruebas::BasePostgres> pg;
    CorridaRegistro corrida;
    AvanceVisto avance;
    ResultadoCorrida ultima;
    QString mensajeFinal;
};

class Corrida : public CorridaBase, public ::testing::WithParamInterface<TipoDeBase> {
protected:
    void SetUp() override { Preparar(GetParam()); }
};

} // namespace PruebasCorrida
