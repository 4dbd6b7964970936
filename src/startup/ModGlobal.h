#pragma once

#include "Variant.h"

class Lib_ClsCons2;
class Rutina;
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

// The global module: the session record, the start of the session and the preparation of the
// family's forms.
namespace ModGlobal {

// The session record: what the start of the session learns, alive until the program ends,
// under the names the family's code gives it. A new start (a test's) begins from the values
// given here.
struct Sesion {
    Sesion();
    ~Sesion();
    Sesion(Sesion&&) noexcept;
    Sesion& operator=(Sesion&&) noexcept;

    QString gSeccionEstacion;
    Variant gFlatToolbars; // empty until the session reads it
    qint32 gColorFondo = 0;
    qint32 gColorLetra = 0;
    QString gParametroAdicional;
    QString gMenu;
    QString gUsuarioLogeado;
    QString gCaja;
    QString gCadenaDSN;

    // The configuration flags, loaded from TA_CONFIGURACION by CargarConfiguracion.
    bool gMostrarStockEnConsultas = false;
    QString gTituloClientes;
    QString gTituloProveedores;
    QString gRutaDocTareas;
    bool gExigeClaveConsultaLikeArticulos = false;
    bool gUsaConsultaLike = false;
    QString gCantidadDecimales;
    bool gUsaMultilesMonedas = false;
    bool gModuloOrdenDeTrabajo = false;

    // The program's lookup request (gConsulta), created on first use.
    std::unique_ptr<Lib_ClsCons2> consulta;
};

extern Sesion sesion;

// The keys of the command line, in the order they are looked up.
const QStringList& ClavesDeLineaDeComandos();

// How the session start reads the keys of its command line: by the family's rule
// (ValorDeClave: other text is ignored, a key with no ";" after it gives an empty value), or
// strictly (LeerClavesEstrictas), as the batch commands and consulta read theirs.
enum class LecturaDeClaves { Familia, Estricta };

// The program's arguments (the command line without the program's own name) as one text,
// and how its keys are read.
void EstablecerLineaDeComandos(const QString& linea,
                               LecturaDeClaves lectura = LecturaDeClaves::Familia);
QString LineaDeComandos();

// The value that follows a key in the command line, up to the next ";": "=" removed anywhere,
// outer spaces trimmed. A key that is the beginning of a longer key of the table is not
// taken for it ("@Usuario" is not found inside "@UsuarioLogeado"). A missing key gives "";
// a key with no ";" after it is an invalid argument (number 5), as taking a substring of
// negative length is.
QString ValorDeClave(const QString& linea, const QString& clave);

// The keys of a command line read strictly: nothing but keys of the table (case ignored), each
// followed by its value and closed by ";", with blanks between them; "=" after the key is
// usual, and a value is cleaned as ValorDeClave cleans it. The values under the table's
// spelling of their keys; a key not given is absent. Nothing, and why in error, for an
// unknown key (naming the nearest known one), any other text, a key whose ";" is missing
// (or comes only after the next key), or a key given twice.
std::optional<QHash<QString, QString>> LeerClavesEstrictas(const QString& linea, QString& error);

// Starts the session: workstation, toolbar style, command line, connection, then the lookup
// set-up and the configuration stages. A failure numbered 5 skips its step; any other ends
// the routine silently. Without a connection the program ends, after saying why.
void IniciarSesion();

// The program's lookup request, created on first use; it lives as long as the program.
Lib_ClsCons2& gConsulta();

// The lookup set-up stage of the session start, run under the session start's failure rule:
// gives the lookup request its connection string and masks file, and writes the default masks
// file when there is none.
void PrepararConsultas(Rutina& rutina, const QString& carpeta);

// The configuration store, table TA_CONFIGURACION (GRUPO, CLAVE, VALOR).
// The value of a key, or a single space when no row carries it. Failures are reported ("Cfg");
// any answer but "skip" gives an empty text at once.
QString LeerConfiguracion(const QString& clave);
// Inserts or updates the row of a key (group "DATOS"); failures are reported ("GrabaDfg").
void GrabarConfiguracion(const QString& clave, const Variant& valor);
// Loads the configuration flags of the session, one key at a time; a failure ends it where it
// happens (the session start decides what follows).
void CargarConfiguracion(const QString& carpeta);

// Gives a family form its icon and toolbar style. Never fails: a failing step is skipped.
void ConfigurarFormulario(QWidget* formulario);

// Releases the shared support instances: ArchivoIni, Utilidades, Conexion, Estacion,
// Entorno, in that order; one never created is skipped.
void LiberarObjetos();

// The exit status when the session start cannot open the database (1 unless a program of the
// family needs another).
void EstablecerEstadoSinConexion(int estado);
// How the session start opens the connection: 3 (the default) to read and write, 1 to read
// only (a program that only reads).
void EstablecerModoConexion(int modo);

// The program's title, used for its message boxes.
QString TituloPrograma();

// Puts the session record back to its start values (a new program run).
inline void RestablecerSesion() {
    sesion = Sesion();
}

} // namespace ModGlobal
