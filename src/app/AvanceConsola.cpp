#include "AvanceConsola.h"

#include "ConNombre.h"

#include <unistd.h>

AvanceConsola::AvanceConsola(FILE* destino, bool silencioso)
    : destino_(destino), terminal_(isatty(fileno(destino)) != 0), silencioso_(silencioso) {}

void AvanceConsola::Inicio(int notasPendientes) {
    pendientes_ = notasPendientes;
    reloj_.start();
    if (silencioso_)
        return;
    Escribir(QStringLiteral("Remitos pendientes: %1").arg(notasPendientes), false);
}

QString AvanceConsola::Linea(int notasHechas, const ResultadoCorrida& r) const {
    const double segundos = reloj_.isValid() ? reloj_.nsecsElapsed() / 1e9 : 0;
    const double ritmo = segundos > 0 ? r.renglonesEscritos / segundos : 0;
    return QStringLiteral("Remitos %1/%2, renglones registrados %3, rechazados %4, %5 renglones/s")
        .arg(notasHechas)
        .arg(pendientes_)
        .arg(r.renglonesEscritos)
        .arg(r.RenglonesNoRegistrados())
        .arg(qRound(ritmo));
}

void AvanceConsola::Nota(int notasHechas, const ResultadoCorrida& hastaAhora) {
    if (silencioso_)
        return;
    const qint64 ms = reloj_.isValid() ? reloj_.elapsed() : 0;
    // A terminal gets ten updates a second; a file or a pipe a line every five seconds.
    const qint64 intervalo = terminal_ ? 100 : 5000;
    if (ultimaMs_ >= 0 && ms - ultimaMs_ < intervalo && notasHechas != pendientes_)
        return;
    ultimaMs_ = ms;
    ultimaNota_ = notasHechas;
    Escribir(Linea(notasHechas, hastaAhora), terminal_);
}

void AvanceConsola::Falla(const QString& linea) {
    Escribir(linea, false);
}

void AvanceConsola::LineaDeRegistro(const QString& linea) {
    const QByteArray bytes = (linea + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void AvanceConsola::Fila(const QString& sentencia) {
    LineaDeRegistro(QStringLiteral("  ") + sentencia);
}

void AvanceConsola::Fin(const ResultadoCorrida& resultado) {
    if (silencioso_)
        return;
    if (lineaAbierta_) {
        // The line updated in place gets its final figures and is closed.
        Escribir(Linea(resultado.notas, resultado), true);
        std::fputc('\n', destino_);
        std::fflush(destino_);
        lineaAbierta_ = false;
    } else if (resultado.notas > 0 && ultimaNota_ != resultado.notas) {
        Escribir(Linea(resultado.notas, resultado), false);
    }
}

void AvanceConsola::Escribir(const QString& texto, bool enSuLugar) {
    const QByteArray bytes =
        (destino_ == stderr ? ConNombreDelPrograma(texto) : texto).toLocal8Bit();
    if (lineaAbierta_ && !enSuLugar)
        std::fputc('\n', destino_);
    if (enSuLugar) {
        std::fprintf(destino_, "\r%s\033[K", bytes.constData());
        lineaAbierta_ = true;
    } else {
        std::fprintf(destino_, "%s\n", bytes.constData());
        lineaAbierta_ = false;
    }
    std::fflush(destino_);
}
