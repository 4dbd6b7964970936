#pragma once

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
    // Writes one line to the run log open under NumeroArchivo; every failure is ignored.
    void Registra(const QString& Mensaje);

    // The run log's file name in the application folder.
    static QString NombreArchivoLog() { return QStringLiteral("RQ857196.LOG"); }

    QLabel* Label2;
    BotonComando* CmdEjecutar;
    BotonComando* CmdSalir;
    QLabel* LblMensaje;

    RefRecordset RsComprobantes;
    RefRecordset RsInsumos;
    qint16 NumeroArchivo = 0;
    QString ArchivoLog;

private:
    void Ubicar(QWidget* control, int izquierda, int arriba, int ancho, int alto);
};
