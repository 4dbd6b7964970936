#include "MascaraConsulta.h"

#include "Cp1252.h"

namespace {
QByteArray Campo(const QString& texto, int ancho) {
    QByteArray bytes = Cp1252::Codificar(texto).left(ancho);
    bytes.append(ancho - bytes.size(), ' ');
    return bytes;
}

MascaraConsulta Registro(const char* nombre, const char* tabla, const char* campos) {
    MascaraConsulta m;
    m.Nombre = QString::fromLatin1(nombre);
    m.Tabla = QString::fromLatin1(tabla);
    m.Campos = QString::fromLatin1(campos);
    return m;
}
} // namespace

QByteArray MascaraConsulta::Codificar() const {
    QByteArray bytes;
    bytes.reserve(Largo);
    bytes += Campo(Nombre, LargoNombre);
    bytes += Campo(Tabla, LargoTabla);
    bytes += Campo(Campos, LargoCampos);
    bytes += Campo(Filtro, LargoFiltro);
    bytes += FinDeLinea.left(2).leftJustified(2, ' ');
    return bytes;
}

MascaraConsulta MascaraConsulta::Decodificar(QByteArrayView bytes) {
    // A short record gives short (or empty) fields, never a read past its end.
    auto parte = [&](qsizetype desde, qsizetype ancho) {
        if (desde >= bytes.size())
            return QByteArrayView();
        return bytes.sliced(desde, qMin(ancho, bytes.size() - desde));
    };
    auto campo = [&](qsizetype desde, qsizetype ancho) {
        return Cp1252::Decodificar(parte(desde, ancho));
    };
    MascaraConsulta m;
    m.Nombre = campo(0, LargoNombre);
    m.Tabla = campo(100, LargoTabla);
    m.Campos = campo(200, LargoCampos);
    m.Filtro = campo(700, LargoFiltro);
    m.FinDeLinea = parte(1200, 2).toByteArray();
    return m;
}

QList<MascaraConsulta> MascaraConsulta::PorDefecto() {
    return {Registro("ARTICULOS", "V_MA_ARTICULOS", "|DESCRIPCION|IDARTICULO|"),
            Registro("CLIENTES", "VT_CLIENTES", "|RAZON_SOCIAL|CODIGO|CONTACTO|"),
            Registro("PROVEEDORES", "VT_PROVEEDORES", "|RAZON_SOCIAL|CODIGO|"),
            Registro("CONTACTOS", "MA_CONTACTOS", "|Nombre_y_Apellido|Domicilio|Localidad|Telefono|")};
}
