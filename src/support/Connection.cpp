#include "Connection.h"

#include "Motor.h"

void Connection::EstablecerCommandTimeout(int segundos) {
    commandTimeout_ = segundos < 0 ? 0 : segundos;
    if (motor_ && motor_->Abierto())
        motor_->EstablecerTiempoDeEspera(commandTimeout_);
}
