#pragma once

#include <utility>

// Runs an action when the scope it guards is left, however it is left: a failure, a return,
// the end of the block.
template <typename Accion>
class AlSalir {
public:
    explicit AlSalir(Accion accion) : accion_(std::move(accion)) {}
    ~AlSalir() { accion_(); }
    AlSalir(const AlSalir&) = delete;
    AlSalir& operator=(const AlSalir&) = delete;

private:
    Accion accion_;
};
