#include "Falla.h"

namespace {
QString ConDetalle(const QString& texto, const QString& detalle) {
    return detalle.isEmpty() ? texto : texto + QStringLiteral(": ") + detalle;
}
} // namespace

Falla::Falla(long numero, QString descripcion, QString motivo)
    : numero_(numero), descripcion_(std::move(descripcion)), motivo_(std::move(motivo)),
      utf8_(QStringLiteral("Error %1: %2").arg(numero).arg(descripcion_).toUtf8()) {}

Falla Falla::ArgumentoNoValido(const QString& detalle) {
    return {Errores::ArgumentoNoValido,
            ConDetalle(QStringLiteral("Llamada a procedimiento o argumento no válido"), detalle)};
}

Falla Falla::Desbordamiento(const QString& detalle) {
    return {Errores::Desbordamiento, ConDetalle(QStringLiteral("Desbordamiento"), detalle)};
}

Falla Falla::FueraDeIntervalo(const QString& detalle) {
    return {Errores::FueraDeIntervalo,
            ConDetalle(QStringLiteral("El subíndice está fuera del intervalo"), detalle)};
}

Falla Falla::TiposNoCoinciden(const QString& detalle) {
    return {Errores::TiposNoCoinciden,
            ConDetalle(QStringLiteral("No coinciden los tipos"), detalle)};
}

Falla Falla::UsoNoValidoDeNull() {
    return {Errores::UsoNoValidoDeNull, QStringLiteral("Uso no válido de Null")};
}

Falla Falla::ObjetoNoEstablecido() {
    return {Errores::ObjetoNoEstablecido,
            QStringLiteral("Variable de tipo Object no establecida")};
}

Falla Falla::Archivo(long numero, const QString& ruta, const QString& motivo) {
    QString texto;
    switch (numero) {
    case Errores::NumeroArchivoIncorrecto:
        texto = QStringLiteral("Nombre o número de archivo incorrecto");
        break;
    case Errores::ArchivoNoEncontrado:
        texto = QStringLiteral("No se ha encontrado el archivo");
        break;
    case Errores::ArchivoYaAbierto:
        texto = QStringLiteral("El archivo ya está abierto");
        break;
    case Errores::DiscoLleno:
        texto = QStringLiteral("Disco lleno");
        break;
    case Errores::DemasiadosArchivos:
        texto = QStringLiteral("Demasiados archivos");
        break;
    case Errores::AccesoDenegado:
        texto = QStringLiteral("Error de acceso a la ruta o el archivo");
        break;
    case Errores::RutaNoEncontrada:
        texto = QStringLiteral("No se ha encontrado la ruta de acceso");
        break;
    default:
        texto = QStringLiteral("Error de E/S de dispositivo");
        break;
    }
    const QString detalle = ConDetalle(texto, ruta);
    return {numero, motivo.isEmpty() ? detalle : detalle + QStringLiteral(" (") + motivo + u')', motivo};
}

Falla Falla::SinRegistroActual() {
    return {Errores::SinRegistroActual,
            QStringLiteral("BOF o EOF es True, o el registro actual se eliminó; la operación "
                           "solicitada requiere un registro actual")};
}

Falla Falla::CampoInexistente(const QString& nombre) {
    return {Errores::CampoInexistente,
            ConDetalle(QStringLiteral("No se encontró el elemento en la colección que "
                                      "corresponde al nombre o al ordinal solicitado"),
                       nombre)};
}

Falla Falla::ObjetoCerrado() {
    return {Errores::ObjetoCerrado,
            QStringLiteral("No se permite la operación si el objeto está cerrado")};
}

Falla Falla::BaseDeDatos(const QString& mensaje, ClaseDeFalla clase, const QString& estado) {
    Falla falla(Errores::BaseDeDatos, mensaje);
    falla.clase_ = clase;
    falla.estado_ = estado;
    return falla;
}

Falla Falla::Conexion(const QString& mensaje) {
    Falla falla(Errores::Conexion, mensaje);
    falla.clase_ = ClaseDeFalla::Conexion;
    return falla;
}

ClaseDeFalla Falla::ClaseDeEstado(const QString& estado) {
    if (estado.startsWith(QLatin1String("08")) || estado.startsWith(QLatin1String("57")) ||
        estado.startsWith(QLatin1String("HYT")))
        return ClaseDeFalla::Conexion;
    if (estado.startsWith(QLatin1String("53")) || estado.startsWith(QLatin1String("58")) ||
        estado.startsWith(QLatin1String("XX")) || estado == QLatin1String("25006"))
        return ClaseDeFalla::Almacenamiento;
    return ClaseDeFalla::Rechazo;
}
