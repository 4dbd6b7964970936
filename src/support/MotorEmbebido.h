#pragma once

#include "Motor.h"

#include <memory>
#include <vector>
#include <unordered_map>

class QTemporaryDir;
struct sqlite3;
struct sqlite3_stmt;

// The embedded SQLite database file.
class MotorEmbebido : public Motor {
public:
    // Opens an existing file (modo 1 read-only, any other for reading and writing) under the
    // Qt SQL connection nombreQt, or gives nothing and says why in error. A missing file is
    // never created.
    static std::unique_ptr<MotorEmbebido> Abrir(const QString& nombreQt, const QString& ruta,
                                                int modo, QString& error);
    // A private copy of an existing file, taken with the engine's backup API from the file
    // opened read-only, in a temporary folder that goes with the engine: what is written goes
    // to the copy alone.
    static std::unique_ptr<MotorEmbebido> AbrirCopia(const QString& nombreQt, const QString& ruta,
                                                     QString& error);
    ~MotorEmbebido() override;

    Dialecto DialectoSQL() const override { return Dialecto::Embebido; }
    void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                       QList<Columna>& definicion, Celdas& celdas) override;
    int Ejecutar(const QString& sql) override;
    void Insertar(const FormaInsercion& forma, const QList<Variant>& valores) override;
    void Comenzar() override;
    void Confirmar() override;
    void Deshacer() override;
    bool TransaccionAbierta() const override;
    // Kept prepared: a note's savepoint is set and released once per note.
    void Guardar(const QString& nombre) override;
    void VolverA(const QString& nombre) override;
    void Liberar(const QString& nombre) override;
    bool EsCopiaPrivada() const override { return copia_ != nullptr; }
    bool ConexionPerdida() const override { return false; }
    void EstablecerTiempoDeEspera(int segundos) override;
    // A lock file beside the database ("remitos.db.corrida"), locked with flock: the system
    // lets it go when the process ends, however it ends. It is named after the file's
    // canonical path, so that a link to the file or another way of writing its path meets the
    // same lock.
    bool TomarBloqueoDeCorrida(int espera) override;
    void SoltarBloqueoDeCorrida() override;

    // The engine's own handle, for tests that look behind the connection.
    sqlite3* Manejador() const { return base_; }

protected:
    QString DiferidasIncumplidas() override;

private:
    MotorEmbebido(const QString& nombreQt, const QString& ruta, sqlite3* base);
    // A statement kept prepared for the connection's life.
    sqlite3_stmt* Preparada(const QString& sql);
    // A statement without values run through its kept preparation.
    void EjecutarGuardada(const QString& sql);
    // A failure of the engine's last call, classed by its result code.
    [[noreturn]] void Fallar() const;

    QString ruta_;
    sqlite3* base_;
    int bloqueo_ = -1;
    std::unique_ptr<QTemporaryDir> copia_;
    std::unordered_map<QString, sqlite3_stmt*> consultas_;
    // The INSERT of each forma, by which of its values are floating numbers (they go through
    // the engine's own conversion of their digits, as their literal would).
    struct Insercion {
        QString cabeza;
        quint32 reales;
        sqlite3_stmt* sentencia;
    };
    std::vector<Insercion> inserciones_;
};
