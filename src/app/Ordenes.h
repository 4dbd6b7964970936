#pragma once

#include "OpcionesRemitos.h"

// What remitos does with nobody at the screen, each on a program without windows: the exit
// status is returned.
namespace Ordenes {

constexpr int EstadoOtraCorrida = 3;

// --ejecutar and --simular: start-up, the run, the closing message and a summary.
int Ejecutar(int argc, char** argv, const OpcionesRemitos& o);
// --revisar: every incomplete note and what it lacks, or why it cannot be completed.
int Revisar(int argc, char** argv, const OpcionesRemitos& o);
// --completar: the missing rows of the notes that can be completed safely.
int Completar(int argc, char** argv, const OpcionesRemitos& o);
// --crear-base: a new embedded database file, or the tables a server's database lacks; with
// --demo, demo data.
int CrearBase(int argc, char** argv, const OpcionesRemitos& o);

} // namespace Ordenes
