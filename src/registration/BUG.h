#pragma once

#include "AvanceCorrida.h"
#include "CorridaRegistro.h"

#include <QWidget>

class BotonComando;
class QLabel;

// The program's main window: the job in a fixed text, "&Ejecutar" and "Salir", and a status
// strip at the bottom. "&Ejecutar" drives the registration run, which shows its progress in
// the strip and hands the window its events between notes.
class BUG : public QWidget, private AvanceCorrida {
    Q_OBJECT
public:
    explicit BUG(QWidget* padre = nullptr);

    // The start-up of the program, run before the window is first shown.
    void Form_Load();
    // The registration run, then its closing message. A click while a run is handling the
    // window's events is not a second run.
    void CmdEjecutar_Click();
    // Releases the shared instances and ends the program at once.
    void CmdSalir_Click();
    // Writes one line to the run log open under NumeroArchivo.
    void Registra(const QString& Mensaje) { corrida_.Log.Registra(Mensaje); }

    const ResultadoCorrida& UltimaCorrida() const { return ultima_; }

    QLabel* Label2;
    BotonComando* CmdEjecutar;
    BotonComando* CmdSalir;
    QLabel* LblMensaje;

private:
    CorridaRegistro corrida_;

public:
    // The state the run leaves in the window, under the family's names.
    RefRecordset& RsComprobantes = corrida_.RsComprobantes;
    RefRecordset& RsInsumos = corrida_.RsInsumos;
    qint16& NumeroArchivo = corrida_.Log.NumeroArchivo;
    QString& ArchivoLog = corrida_.Log.ArchivoLog;

protected:
    // During a run the window gets its events only between notes: a close asked for there is
    // a "Salir" at that point, so that the program does not go on invisibly to the end.
    void closeEvent(QCloseEvent* evento) override;

private:
    void Ubicar(QWidget* control, int izquierda, int arriba, int ancho, int alto);
    // The run's status line and event points.
    void Mostrar(const QString& texto) override;
    void ProcesarEventos() override;

    ResultadoCorrida ultima_;
    bool enCorrida_ = false;
    bool cierrePedido_ = false;
};
