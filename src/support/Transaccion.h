#pragma once

class Conexion;

// A transaction on a connection that is undone unless it is confirmed: whatever leaves the
// scope early (a failure, a return) leaves nothing of it in the database.
class Transaccion {
public:
    // Starts the transaction; a connection that cannot start one is a failure.
    explicit Transaccion(Conexion& conexion);
    // Rolls back unless confirmed. Never fails: an engine that already undid the transaction
    // by itself, or a connection that is gone, leaves nothing to undo.
    ~Transaccion();
    Transaccion(const Transaccion&) = delete;
    Transaccion& operator=(const Transaccion&) = delete;

    // Makes the work durable. A transaction the engine already undid by itself (a trigger, a
    // deadlock, a full disk) is a failure here, not a silent success.
    void Confirmar();
    // Whether the transaction is still under way on the engine.
    bool Abierta() const;
    // Leaves the transaction to the connection, which is about to go (the program ends): the
    // destructor then touches nothing.
    void Abandonar() { terminada_ = true; }

private:
    Conexion& conexion_;
    bool terminada_ = false;
};
