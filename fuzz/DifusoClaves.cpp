// Fuzzing of the command-line keys: the value that follows a key of the table in an arbitrary
// command line, and the strict reading of the whole line. The first byte picks the key; the
// rest is the line, as UTF-8.
#include "Difuso.h"
#include "Falla.h"
#include "ModGlobal.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// The value of the key, or nothing when the line has no ";" after it (failure 5, the only one
// a line may cause).
std::optional<QString> Valor(const QString& linea, const QString& clave) {
    try {
        return ModGlobal::ValorDeClave(linea, clave);
    } catch (const Falla& f) {
        EXIGIR(f.Numero() == Errores::ArgumentoNoValido, linea, clave, f.Descripcion());
        return std::nullopt;
    }
}

// A line the strict reading accepts gives values that are read back the same when their keys
// are written anew, one after another; a line it refuses always says why.
void ComprobarLecturaEstricta(const QString& linea) {
    QString error;
    const auto valores = ModGlobal::LeerClavesEstrictas(linea, error);
    if (!valores) {
        EXIGIR(!error.isEmpty(), linea);
        return;
    }
    QString otra;
    for (auto it = valores->cbegin(); it != valores->cend(); ++it) {
        EXIGIR(!it.value().contains(u';') && !it.value().contains(u'='), linea, it.key(), it.value());
        otra += it.key() + u'=' + it.value() + QStringLiteral("; ");
    }
    EXIGIR(ModGlobal::LeerClavesEstrictas(otra, error) == valores, linea, otra, error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo) {
    if (largo == 0)
        return 0;
    const QStringList& claves = ModGlobal::ClavesDeLineaDeComandos();
    const QString& clave = claves[datos[0] % claves.size()];
    const QString linea =
        QString::fromUtf8(reinterpret_cast<const char*>(datos) + 1, qsizetype(largo - 1));

    const std::optional<QString> valor = Valor(linea, clave);
    const bool estaLaClave = linea.contains(clave, Qt::CaseInsensitive);

    if (!valor) {
        // Only a key that is there can lack its ";".
        EXIGIR(estaLaClave, linea, clave);
    } else {
        if (!estaLaClave)
            EXIGIR(valor->isEmpty(), linea, clave, *valor);
        // The value stops at the first ";", has every "=" removed and no outer spaces.
        EXIGIR(!valor->contains(u';') && !valor->contains(u'='), linea, clave, *valor);
        EXIGIR(!valor->startsWith(u' ') && !valor->endsWith(u' '), linea, clave, *valor);
    }

    // Every key begins with "@": text without one before the line cannot hold the key, nor
    // the beginning of one, so it changes nothing.
    QString delante = linea;
    delante.remove(u'@');
    EXIGIR(Valor(delante + linea, clave) == valor, linea, clave);

    // Once a key and its ";" are found, whatever follows them is never read.
    if (valor && !valor->isEmpty())
        EXIGIR(Valor(linea + linea, clave) == valor, linea, clave, *valor);

    ComprobarLecturaEstricta(linea);
    return 0;
}
