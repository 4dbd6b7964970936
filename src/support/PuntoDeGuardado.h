#pragma once

#include <QString>

class Motor;

// A savepoint inside the open transaction that is undone unless it is confirmed: whatever
// leaves the scope early leaves nothing written after it, and the transaction goes on as it
// was before the savepoint.
class PuntoDeGuardado {
public:
    // Sets the savepoint. Without a transaction open on the engine this is a failure: a
    // savepoint outside one would be a transaction of its own, committed on release.
    PuntoDeGuardado(Motor& motor, QString nombre);
    // Rolls back to the savepoint and releases it unless confirmed or undone, when the engine
    // still has the transaction. Never fails.
    ~PuntoDeGuardado();
    PuntoDeGuardado(const PuntoDeGuardado&) = delete;
    PuntoDeGuardado& operator=(const PuntoDeGuardado&) = delete;

    // Releases the savepoint: what was written after it stays in the transaction.
    void Confirmar();
    // Rolls back to it and releases it now.
    void Deshacer();

private:
    Motor& motor_;
    const QString nombre_;
    bool terminado_ = false;
};
