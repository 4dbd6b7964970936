#pragma once

#include "Falla.h"
#include "Recordset.h"
#include "Variant.h"

#include <QList>
#include <QString>
#include <functional>
#include <vector>

// One ODBC statement on the program's connection, run straight through the driver: rows come
// in blocks into bound buffers instead of one call per value, which is most of the cost of
// reading a result over ODBC. The handle is freed whatever happens.
class SentenciaOdbc {
public:
    explicit SentenciaOdbc(void* conexion);
    ~SentenciaOdbc();
    SentenciaOdbc(const SentenciaOdbc&) = delete;
    SentenciaOdbc& operator=(const SentenciaOdbc&) = delete;

    // Runs a statement that returns no rows (or several, one after another, all of which must
    // succeed) and gives the rows the last one changed.
    int Ejecutar(const QString& sql);
    // Runs a query and reads every row of its result.
    void Leer(const QString& sql, QList<Columna>& columnas, Celdas& celdas);
    // Runs a text of several statements, all of which must succeed, and reads every row of
    // the last one that gives rows; false when those rows could not be read whole (a value
    // longer than its column said), and are to be read another way.
    bool EjecutarYLeer(const QString& sql, QList<Columna>& columnas, Celdas& celdas);
    // The same, every result with rows read, in order; false when some could not be read
    // whole.
    bool EjecutarYLeerTodos(const QString& sql, QList<Lectura>& lecturas);
    // Prepares a query with "?" in place of values, to be run many times.
    void Preparar(const QString& sql);
    // Runs the prepared query with these values (texts, whole numbers or nulls) and reads
    // every row of its result.
    void LeerPreparada(const QList<Variant>& valores, QList<Columna>& columnas,
                       Celdas& celdas);

    // Kind and size of a column from its SQL type and size, sized as ADO does: characters for
    // texts, precision for decimals, bytes for fixed-size types.
    static Columna Describir(const QString& nombre, int tipoSql, qulonglong tamano);
    // The failure a call on a handle of that kind reported (its diagnostic records), classed;
    // a connection the driver knows to be gone makes it the connection's.
    static Falla FallaDe(short tipoDeManejador, void* manejador, void* conexion);

private:
    void Comprobar(short resultado);
    // Runs the query with ejecutar and reads its result; the statement is left ready to run
    // again.
    void LeerResultado(const std::function<void()>& ejecutar, QList<Columna>& columnas,
                       Celdas& celdas);
    bool LeerEnBloques(QList<Columna>& columnas, Celdas& celdas);
    // The columns of the current result; false when it has none.
    bool DescribirResultado(QList<Columna>& columnas);
    void LeerValorPorValor(QList<Columna>& columnas, Celdas& celdas);

    void* conexion_;
    void* sentencia_ = nullptr;
    std::vector<short> tiposSql_;
    std::vector<qulonglong> tamanos_;
};
