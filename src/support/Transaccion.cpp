#include "Transaccion.h"

#include "Conexion.h"
#include "Falla.h"

Transaccion::Transaccion(Conexion& conexion) : conexion_(conexion) {
    conexion_.BeginTrans();
}

Transaccion::~Transaccion() {
    if (terminada_)
        return;
    try {
        conexion_.RollbackTrans();
    } catch (const Falla&) {
        // The server discards an unfinished transaction by itself when the connection ends.
    }
}

void Transaccion::Confirmar() {
    // An engine that already undid the transaction by itself refuses the commit, and the
    // failure carries its message.
    conexion_.CommitTrans();
    terminada_ = true;
}

bool Transaccion::Abierta() const {
    return !terminada_ && conexion_.TransaccionAbierta();
}
