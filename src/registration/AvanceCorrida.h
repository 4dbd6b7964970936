#pragma once

#include <QString>

// What a registration run did, for the closing message, batch mode's summary and its exit
// status.
struct ResultadoCorrida {
    int notas = 0;               // delivery notes processed and confirmed (logged)
    int renglonesEscritos = 0;   // stock rows written and committed
    int renglonesRechazados = 0; // item lines whose row the database refused or that were undone
    int renglonesIncompletos = 0; // item lines whose row could not be put together
    int notasSinRenglones = 0;   // notes whose lines could not be read
    int notasSinProcesar = 0;    // notes left for the next run when the run stopped
    int notasInciertas = 0;      // notes whose commit went unanswered and could not be checked
    int notasDeOtraCorrida = 0;  // notes another run registered after this one selected them
    bool detenida = false;       // a failure of storage or of the connection stopped the run
    QString motivoDetencion;     // and the database's reason
    bool seleccionFallida = false;
    bool registroFallido = false; // the run log could not be opened
    QString motivoRegistro;       // and the system's reason, when it gave one
    int lineasDeRegistroPerdidas = 0; // lines the open run log could not take (a full disk)
    bool otraCorridaEnCurso = false; // another run holds the database: nothing was done
    bool bloqueoFallido = false;  // the lock could not be asked for (the run went on without it)
    double segundos = 0;

    int RenglonesNoRegistrados() const { return renglonesRechazados + renglonesIncompletos; }
    bool SinFallas() const {
        return RenglonesNoRegistrados() == 0 && notasSinRenglones == 0 && notasSinProcesar == 0 &&
               notasInciertas == 0 && !detenida && notasDeOtraCorrida == 0 && !seleccionFallida &&
               !registroFallido &&
               lineasDeRegistroPerdidas == 0 && !otraCorridaEnCurso && !bloqueoFallido;
    }
};

// Whoever drives a run and hears about it: the main window (its status label, its events)
// and batch mode (progress on the terminal) alike. Nothing is heard by default.
class AvanceCorrida {
public:
    virtual ~AvanceCorrida() = default;
    virtual void Inicio(int notasPendientes);
    // At every note boundary, once the note is done.
    virtual void Nota(int notasHechas, const ResultadoCorrida& hastaAhora);
    // A failure the run wrote to its log (a line beginning with "*** ").
    virtual void Falla(const QString& linea);
    virtual void Fin(const ResultadoCorrida& resultado);
    // The run's status line (the window's label LblMensaje).
    virtual void Mostrar(const QString& texto);
    // The run's event points, once before the selection and once before every note: the
    // pending window events are handled there (through the interaction in use by default).
    virtual void ProcesarEventos();
    // In a simulation, a line the run log would get, and a row that would be written (its
    // INSERT).
    virtual void LineaDeRegistro(const QString& linea);
    virtual void Fila(const QString& sentencia);
};
