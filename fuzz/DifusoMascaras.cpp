// Fuzzing of the lookup masks file. The input's bytes are read as one record and, written to
// a file, as a whole masks file the lookup request searches for a table; the same bytes also
// give the fields of a record that is written and read back.
#include "Archivos.h"
#include "Cadenas.h"
#include "Cp1252.h"
#include "Difuso.h"
#include "Lib_ClsCons2.h"
#include "MascaraConsulta.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

QString Bytes(const QByteArray& b) {
    return QString::fromLatin1(b);
}

// Any bytes read as a record and written again give the same record: every byte of the code
// page stands for one character and back, and what a short record lacks comes back as blanks.
void RegistroDeBytes(QByteArrayView bytes) {
    const MascaraConsulta m = MascaraConsulta::Decodificar(bytes);
    auto ancho = [&](qsizetype desde, qsizetype campo) {
        return qBound(qsizetype(0), bytes.size() - desde, campo);
    };
    EXIGIR(m.Nombre.size() == ancho(0, MascaraConsulta::LargoNombre) &&
               m.Tabla.size() == ancho(100, MascaraConsulta::LargoTabla) &&
               m.Campos.size() == ancho(200, MascaraConsulta::LargoCampos) &&
               m.Filtro.size() == ancho(700, MascaraConsulta::LargoFiltro) &&
               m.FinDeLinea.size() == ancho(1200, 2),
           Bytes(bytes.toByteArray()));
    const QByteArray esperado =
        bytes.first(qMin(bytes.size(), qsizetype(MascaraConsulta::Largo)))
            .toByteArray()
            .leftJustified(MascaraConsulta::Largo, ' ');
    const QByteArray escrito = m.Codificar();
    EXIGIR(escrito == esperado, Bytes(esperado), Bytes(escrito));
}

// A field after writing and reading: its text cut at its width and filled with blanks.
QString Leido(const QString& texto, int ancho) {
    return texto.left(ancho).leftJustified(ancho, u' ');
}

// Fields of Windows text written and read back come back whole when they fit their widths.
void RegistroDeCampos(FuzzedDataProvider& datos) {
    MascaraConsulta m;
    auto texto = [&] {
        return Cp1252::Decodificar(datos.ConsumeBytes<char>(datos.ConsumeIntegralInRange(0, 520)));
    };
    m.Nombre = texto();
    m.Tabla = texto();
    m.Campos = texto();
    m.Filtro = texto();
    const std::vector<char> fin = datos.ConsumeBytes<char>(datos.ConsumeIntegralInRange(0, 3));
    m.FinDeLinea = QByteArray(fin.data(), qsizetype(fin.size()));

    const QByteArray bytes = m.Codificar();
    EXIGIR(bytes.size() == MascaraConsulta::Largo, m.Nombre, m.Tabla);
    const MascaraConsulta l = MascaraConsulta::Decodificar(bytes);
    EXIGIR(l.Nombre == Leido(m.Nombre, MascaraConsulta::LargoNombre), m.Nombre, l.Nombre);
    EXIGIR(l.Tabla == Leido(m.Tabla, MascaraConsulta::LargoTabla), m.Tabla, l.Tabla);
    EXIGIR(l.Campos == Leido(m.Campos, MascaraConsulta::LargoCampos), m.Campos, l.Campos);
    EXIGIR(l.Filtro == Leido(m.Filtro, MascaraConsulta::LargoFiltro), m.Filtro, l.Filtro);
    EXIGIR(l.FinDeLinea == m.FinDeLinea.left(2).leftJustified(2, ' '), Bytes(m.FinDeLinea),
           Bytes(l.FinDeLinea));
}

// The lookup request over the bytes as a masks file. The first byte chooses the name looked
// up (one of the default tables, the table of the file's first record, or a statement) and
// whether a search column comes in already set.
void ArchivoDeMascaras(const uint8_t* datos, size_t largo) {
    static QTemporaryDir carpeta;
    static Lib_ClsCons2 consulta;
    if (!carpeta.isValid())
        std::abort();
    const QString ruta = carpeta.filePath(QStringLiteral("consultas.zvr"));
    const QByteArrayView archivo(datos + 1, qsizetype(largo - 1));
    {
        QFile f(ruta);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(archivo.data(), archivo.size()) != archivo.size())
            std::abort();
    }
    consulta.gUsarMascarasConsultas = true;
    consulta.gRutaMascaraConsultas = ruta;

    static const QString nombres[] = {
        QStringLiteral("V_MA_ARTICULOS"), QStringLiteral("vt_clientes"),
        QStringLiteral("VT_PROVEEDORES "), QStringLiteral("ma_contactos"),
        QStringLiteral("SELECT CODIGO FROM VT_CLIENTES")};
    const uint8_t eleccion = datos[0];
    QString sql = (eleccion & 7) < 5 ? nombres[eleccion & 7]
                                     : Cadenas::Recortar(MascaraConsulta::Decodificar(archivo).Tabla);
    const QString sqlAntes = sql;
    const QString campoAntes = (eleccion & 0x80) ? QStringLiteral("PREVIO") : QString();
    QString campo = campoAntes;

    consulta.AplicarMascara(sql, campo);

    // The numbered file is closed again, whatever the file held.
    EXIGIR(!Archivos::Abierto(1), sqlAntes);
    // A search column that came in set stays; a statement left as it came sets none.
    if (!campoAntes.isEmpty())
        EXIGIR(campo == campoAntes, sqlAntes, campo);
    if (sql == sqlAntes)
        EXIGIR(campo == campoAntes, sqlAntes, campo);
    else
        EXIGIR(sql.startsWith(QStringLiteral("SELECT ")) && sql.contains(QStringLiteral(" FROM ")),
               sqlAntes, sql);
    // Only whole records count: a file shorter than one record changes nothing.
    if (archivo.size() < MascaraConsulta::Largo)
        EXIGIR(sql == sqlAntes && campo == campoAntes, sqlAntes, sql, campo);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo) {
    RegistroDeBytes(QByteArrayView(datos, qsizetype(largo)));
    FuzzedDataProvider proveedor(datos, largo);
    RegistroDeCampos(proveedor);
    if (largo > 0)
        ArchivoDeMascaras(datos, largo);
    return 0;
}
