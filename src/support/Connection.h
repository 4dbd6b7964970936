#pragma once

#include <QString>

// The open database connection as the family's code sees it (what Conexion.ConexionAdo
// gives): the Qt SQL connection behind it and the time a command may take.
class Connection {
public:
    explicit Connection(QString nombreQt = {}) : nombreQt_(std::move(nombreQt)) {}

    const QString& NombreQt() const { return nombreQt_; }
    // Seconds a statement may wait for locks or run before it is given up; 0 means no limit.
    int CommandTimeout() const { return commandTimeout_; }
    void EstablecerCommandTimeout(int segundos);

private:
    QString nombreQt_;
    int commandTimeout_ = 30;
};
