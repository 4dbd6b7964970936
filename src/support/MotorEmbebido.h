#pragma once

#include "Motor.h"
#include "SentenciasPreparadas.h"

#include <memory>
#include <unordered_map>

struct sqlite3;

// The embedded SQLite database file.
class MotorEmbebido : public Motor {
public:
    // Opens an existing file (modo 1 read-only, any other for reading and writing) under the
    // Qt SQL connection nombreQt, or gives nothing and says why in error. A missing file is
    // never created.
    static std::unique_ptr<MotorEmbebido> Abrir(const QString& nombreQt, const QString& ruta,
                                                int modo, QString& error);
    ~MotorEmbebido() override;

    Dialecto DialectoSQL() const override { return Dialecto::Embebido; }
    void Leer(const QString& sql, QList<Columna>& definicion, Celdas& celdas) override;
    void LeerPreparada(const QString& sql, const QList<Variant>& valores,
                       QList<Columna>& definicion, Celdas& celdas) override;
    int Ejecutar(const QString& sql) override;
    void Comenzar() override;
    void Deshacer() override;
    bool TransaccionAbierta() const override;
    bool ConexionPerdida() const override { return false; }
    void EstablecerTiempoDeEspera(int segundos) override;
    // A lock file beside the database ("remitos.db.corrida"), locked with flock: the system
    // lets it go when the process ends, however it ends.
    bool TomarBloqueoDeCorrida(int espera) override;
    void SoltarBloqueoDeCorrida() override;

    // The engine's own handle, for tests that look behind the connection.
    sqlite3* Manejador() const { return base_; }

private:
    MotorEmbebido(const QString& nombreQt, const QString& ruta, sqlite3* base);

    QString ruta_;
    sqlite3* base_;
    int bloqueo_ = -1;
    SentenciasPreparadas preparadas_;
    std::unordered_map<QString, struct sqlite3_stmt*> consultas_;
};
