#pragma once

#include "AvanceCorrida.h"

#include <QElapsedTimer>
#include <cstdio>

// Progress of a batch run on standard error: one line updated in place on a terminal, plain
// lines every few seconds otherwise. Failures are printed as they happen.
class AvanceConsola : public AvanceCorrida {
public:
    explicit AvanceConsola(FILE* destino);

    void Inicio(int notasPendientes) override;
    void Nota(int notasHechas, const ResultadoCorrida& hastaAhora) override;
    void Falla(const QString& linea) override;
    void Fin(const ResultadoCorrida& resultado) override;

private:
    QString Linea(int notasHechas, const ResultadoCorrida& r) const;
    void Escribir(const QString& texto, bool enSuLugar);

    FILE* destino_;
    bool terminal_;
    bool lineaAbierta_ = false;
    int pendientes_ = 0;
    QElapsedTimer reloj_;
    qint64 ultimaMs_ = -1;
    int ultimaNota_ = -1;
};
