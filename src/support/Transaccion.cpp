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
    if (!conexion_.TransaccionAbierta()) {
        terminada_ = true;
        try {
            conexion_.RollbackTrans();
        } catch (const Falla&) {
        }
        throw Falla::BaseDeDatos(
            QStringLiteral("la base de datos deshizo la transacción; no se confirmó nada"));
    }
    conexion_.CommitTrans();
    terminada_ = true;
}

bool Transaccion::Abierta() const {
    return !terminada_ && conexion_.TransaccionAbierta();
}
