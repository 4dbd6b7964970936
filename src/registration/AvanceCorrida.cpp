#include "AvanceCorrida.h"

#include "Interaccion.h"

void AvanceCorrida::Inicio(int) {}
void AvanceCorrida::Nota(int, const ResultadoCorrida&) {}
void AvanceCorrida::Falla(const QString&) {}
void AvanceCorrida::Fin(const ResultadoCorrida&) {}
void AvanceCorrida::Mostrar(const QString&) {}
void AvanceCorrida::LineaDeRegistro(const QString&) {}
void AvanceCorrida::Fila(const QString&) {}

void AvanceCorrida::ProcesarEventos() {
    Interaccion::Actual().ProcesarEventos();
}
