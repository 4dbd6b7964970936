#pragma once

#include <QByteArray>
#include <QString>

// Files opened under a number, as the family's code opens them: a free number is taken,
// the file is opened under it, written and closed by that number.
class Archivos {
public:
    // The lowest number not in use (1 to 255).
    static qint16 NumeroLibre();
    // Opens a text file to add lines at its end, creating it when missing.
    static void AbrirParaAnexar(qint16 numero, const QString& ruta);
    // Opens a file of fixed-length records for reading and writing, creating it when missing.
    static void AbrirAleatorio(qint16 numero, const QString& ruta, int largoRegistro);
    // Opens a file of fixed-length records for reading only.
    static void AbrirAleatorioLectura(qint16 numero, const QString& ruta, int largoRegistro);
    // Writes one line (Windows text, ending in CR LF); it reaches the file at once.
    static void EscribirLinea(qint16 numero, const QString& texto);
    // Length of the open file in bytes.
    static qint64 Largo(qint16 numero);
    // Record n (counted from 1) of a file opened for fixed-length records.
    static QByteArray LeerRegistro(qint16 numero, qint64 registro);
    static void EscribirRegistro(qint16 numero, qint64 registro, const QByteArray& bytes);
    // Writes a whole file at once: into a temporary file beside it, renamed into place only
    // once complete, so that a failure (a full disk) leaves neither a part of it nor, for a
    // new file, an empty one.
    static void GrabarCompleto(const QString& ruta, const QByteArray& bytes);
    // Closes the file; a number not in use is ignored.
    static void Cerrar(qint16 numero);
    static bool Abierto(qint16 numero);
};
