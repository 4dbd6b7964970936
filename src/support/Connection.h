#pragma once

class Motor;

// The open database connection as the family's code sees it (what Conexion.ConexionAdo
// gives): the time a command may take, applied to the engine in use.
class Connection {
public:
    // Seconds a statement may wait for locks or run before it is given up; 0 means no limit.
    int CommandTimeout() const { return commandTimeout_; }
    void EstablecerCommandTimeout(int segundos);

    // The engine the limit applies to (Conexion sets it when a connection opens or closes).
    void Usar(Motor* motor) { motor_ = motor; }

private:
    Motor* motor_ = nullptr;
    int commandTimeout_ = 30;
};
