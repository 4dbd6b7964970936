#pragma once

#include "AvanceCorrida.h"
#include "Recordset.h"

#include <QWidget>

class BotonComando;
class QLabel;

// The program's main window: the job in a fixed text, "&Ejecutar" and "Salir", and a status
// strip at the bottom. It owns the run log while a run is under way.
class BUG : public QWidget {
    Q_OBJECT
public:
    explicit BUG(QWidget* padre = nullptr);

    // The start-up of the program, run before the window is first shown.
    void Form_Load();
    // The registration run: every pending delivery note gets one stock row per item line.
    void CmdEjecutar_Click();
    // Releases the shared instances and ends the program at once.
    void CmdSalir_Click();
    // Writes one line to the run log open under NumeroArchivo. A failure never stops the
    // caller; during a run it is counted, so that the run does not end as if all was logged.
    void Registra(const QString& Mensaje);

    // Who hears about the progress of the runs (nobody by default).
    void EstablecerAvance(AvanceCorrida* avance) { avance_ = avance; }
    const ResultadoCorrida& UltimaCorrida() const { return ultima_; }

    // The run log's file name in the application folder.
    static QString NombreArchivoLog() { return QStringLiteral("RQ857196.LOG"); }
    // The statement that selects the pending delivery notes.
    static QString SentenciaSeleccion();
    // The statement that reads the item lines of a note.
    static QString SentenciaRenglones(const QString& tc, const QString& idComprobante);
    // The INSERT of the stock movement for the current line of a note.
    static QString SentenciaInsert(Recordset& nota, Recordset& renglon, int secuencia);

    QLabel* Label2;
    BotonComando* CmdEjecutar;
    BotonComando* CmdSalir;
    QLabel* LblMensaje;

    RefRecordset RsComprobantes;
    RefRecordset RsInsumos;
    qint16 NumeroArchivo = 0;
    QString ArchivoLog;

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void Ubicar(QWidget* control, int izquierda, int arriba, int ancho, int alto);
    void Mostrar(const QString& texto);
    // Goes through the notes of a recordset; false when the connection was lost on the way.
    bool RecorrerNotas(Recordset& notas, int total, ResultadoCorrida& resultado);
    void RegistrarNota(Recordset& nota, const QString& documento, ResultadoCorrida& resultado);
    // Ends the program as "Salir" does when the window was closed during the run.
    void AtenderCierrePedido();
    void AnotarFalla(const QString& texto);
    QString MensajeFinal(const ResultadoCorrida& resultado) const;

    AvanceCorrida* avance_ = nullptr;
    ResultadoCorrida ultima_;
    bool enCorrida_ = false;
    bool cierrePedido_ = false;
    int lineasPerdidas_ = 0;
};
