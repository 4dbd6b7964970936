#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

class InteraccionConsola;
class QCommandLineParser;
class QCoreApplication;

// What the two programs, remitos and consulta, do alike around their own work: their
// arguments, their output, the start of the session with or without a screen, their end.
namespace Programa {

// Exit status of a malformed command line (and, for consulta, of a missing screen).
constexpr int EstadoUsoIncorrecto = 64;

// The program's arguments as texts, its own name first.
QStringList Argumentos(int argc, char** argv);
// Reads the options the parser was given ("--opción valor" or "--opción=valor", a single dash
// too; "--" ends them); false, and why in error, for an unknown option or a missing value.
bool LeerOpciones(QCommandLineParser& lector, const QStringList& argumentos, QString& error);
// Text to standard output or error at once, in the locale's encoding.
void Escribir(FILE* destino, const QString& texto);
// A malformed command line: says what is wrong and where help is; gives the exit status.
int UsoIncorrecto(const QString& programa, const QString& error);
// Names the application (messages and settings use the name), gives its version and puts
// Qt's own texts in Spanish (unless the lookup's session does it).
void Nombrar(QCoreApplication& aplicacion, const QString& programa, bool traducirQt = true);
// "PROGRAM VERSION" on standard output.
void MostrarVersion(const QString& programa);

// Whether the environment names a screen (and Qt is not told to draw offscreen).
bool HayPantalla();
// Whether there is a screen to show windows on. Without one, Qt is told to draw offscreen, so
// that the start-up can still run and report what it finds. With one, drawing offscreen is
// left as Qt's last resort, so that a screen that cannot be opened (a DISPLAY gone away) is
// found out by PantallaAbierta instead of ending the program.
bool PrepararPantalla();
// Once the application exists: whether it really opened the screen.
bool PantallaAbierta();
// Why there is no window, on standard error: no screen at all, or one that could not be
// opened. Gives the exit status.
int SinPantalla(const QString& programa, bool pedida, const QString& queHacer);
// Starts the session with nobody at the screen: questions are answered on the console,
// never waited for. The family's keys come from the given arguments, read strictly.
// The console's answers are counted there.
InteraccionConsola& IniciarSesionSinVentana(const QStringList& claves);
// Releases what the program holds (the connection above all) while Qt is still there.
void Terminar();

} // namespace Programa
