#pragma once

#include "InstanciaUnica.h"

#include <QString>

// The program's surroundings: the application folder.
class Entorno : public InstanciaUnica<Entorno> {
public:
    // The application folder, ending in a separator; set once at session start.
    QString RutaAplicacion;

    // The folder set with EstablecerCarpetaDelPrograma (the --carpeta option) or with
    // REMITOS_CARPETA; else, for an installed copy, its shared folder (/var/lib/remitos);
    // else the folder of the program file. Ends in a separator.
    static QString CarpetaDelPrograma();
    static void EstablecerCarpetaDelPrograma(const QString& carpeta);
    // The shared application folder of an installed copy when carpetaDelPrograma is the
    // folder the installation put the program files in; otherwise empty.
    static QString CarpetaInstalada(const QString& carpetaDelPrograma);
    // A folder that its group may write and that hands its group to new files (set-group-ID)
    // is shared by the users of that group: the run log, the embedded database and the other
    // files this process creates from now on are made writable by the group too, so that the
    // next user can append to them. Whether it is such a folder.
    static bool CompartirConElGrupo(const QString& carpeta);
    // Why this user cannot write ruta (a file, or the folder a new file would go in), and what
    // to do about it; empty when it can. A file system mounted read-only is said as such; a
    // folder shared by a group the user is not in gets the advice to join that group.
    static QString PorQueNoSePuedeEscribir(const QString& ruta);
    // Whether ruta (a file, or the folder a new file would go in) lies on a file system
    // mounted read-only, where nothing can change it.
    static bool EnSistemaDeSoloLectura(const QString& ruta);
    // The program's title, for its message boxes.
    static QString Titulo();

private:
    friend class InstanciaUnica<Entorno>;
    Entorno() = default;
};
