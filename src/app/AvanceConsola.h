#pragma once

#include "AvanceCorrida.h"

#include <QElapsedTimer>
#include <cstdio>

// Progress of a batch run on standard error: one line updated in place on a terminal, plain
// lines every few seconds otherwise. Failures are printed as they happen. A quiet run prints
// its failures only; a simulation prints on standard output the lines the log would get and
// the rows that would be written.
class AvanceConsola : public AvanceCorrida {
public:
    explicit AvanceConsola(FILE* destino, bool silencioso = false);

    void Inicio(int notasPendientes) override;
    void Nota(int notasHechas, const ResultadoCorrida& hastaAhora) override;
    void Falla(const QString& linea) override;
    void Fin(const ResultadoCorrida& resultado) override;
    void LineaDeRegistro(const QString& linea) override;
    void Fila(const QString& sentencia) override;

private:
    QString Linea(int notasHechas, const ResultadoCorrida& r) const;
    void Escribir(const QString& texto, bool enSuLugar);

    FILE* destino_;
    bool terminal_;
    bool silencioso_;
    bool lineaAbierta_ = false;
    int pendientes_ = 0;
    QElapsedTimer reloj_;
    qint64 ultimaMs_ = -1;
    int ultimaNota_ = -1;
};
