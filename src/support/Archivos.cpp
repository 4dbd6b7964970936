#include "Archivos.h"

#include "Cp1252.h"
#include "Entorno.h"
#include "Falla.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <cerrno>
#include <memory>

namespace {
struct EntradaDeArchivo {
    std::unique_ptr<QFile> archivo;
    int largoRegistro = 0;
};

constexpr int NumeroMaximo = 255;

std::array<EntradaDeArchivo, NumeroMaximo + 1>& Tabla() {
    static std::array<EntradaDeArchivo, NumeroMaximo + 1> tabla;
    return tabla;
}

EntradaDeArchivo& Entrada(qint16 numero) {
    if (numero < 1 || numero > NumeroMaximo)
        throw Falla::Archivo(Errores::NumeroArchivoIncorrecto, QString::number(numero));
    return Tabla()[size_t(numero)];
}

EntradaDeArchivo& EntradaAbierta(qint16 numero) {
    EntradaDeArchivo& e = Entrada(numero);
    if (!e.archivo)
        throw Falla::Archivo(Errores::NumeroArchivoIncorrecto, QString::number(numero));
    return e;
}

long NumeroDeFallaDeApertura(const QString& ruta) {
    const QFileInfo info(ruta);
    if (!info.absoluteDir().exists())
        return Errores::RutaNoEncontrada;
    return Errores::AccesoDenegado;
}

long NumeroDeFallaDeEscritura() {
    return errno == ENOSPC || errno == EDQUOT ? Errores::DiscoLleno : Errores::ErrorES;
}

// A file that could not be opened: the system's reason, and for a file this user may not
// write, who may and what to do.
Falla FallaDeApertura(const QFileDevice& archivo, const QString& ruta, QIODevice::OpenMode modo) {
    QString motivo = archivo.errorString();
    if (modo & QIODevice::WriteOnly)
        if (const QString permisos = Entorno::PorQueNoSePuedeEscribir(ruta); !permisos.isEmpty())
            motivo += QStringLiteral("; ") + permisos;
    return Falla::Archivo(NumeroDeFallaDeApertura(ruta), ruta, motivo);
}

void Abrir(qint16 numero, const QString& ruta, QIODevice::OpenMode modo, int largoRegistro) {
    EntradaDeArchivo& e = Entrada(numero);
    if (e.archivo)
        throw Falla::Archivo(Errores::ArchivoYaAbierto, QString::number(numero));
    if (QFileInfo(ruta).isDir())
        throw Falla::Archivo(Errores::AccesoDenegado, ruta);
    auto archivo = std::make_unique<QFile>(ruta);
    if (!archivo->open(modo))
        throw FallaDeApertura(*archivo, ruta, modo);
    e.archivo = std::move(archivo);
    e.largoRegistro = largoRegistro;
}

void Escribir(QFile& archivo, const QByteArray& bytes) {
    errno = 0;
    if (archivo.write(bytes) != bytes.size() || !archivo.flush())
        throw Falla::Archivo(NumeroDeFallaDeEscritura(), archivo.fileName());
}
} // namespace

qint16 Archivos::NumeroLibre() {
    for (qint16 n = 1; n <= NumeroMaximo; ++n)
        if (!Tabla()[size_t(n)].archivo)
            return n;
    throw Falla::Archivo(Errores::DemasiadosArchivos, {});
}

void Archivos::AbrirParaAnexar(qint16 numero, const QString& ruta) {
    Abrir(numero, ruta, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered, 0);
}

void Archivos::AbrirAleatorio(qint16 numero, const QString& ruta, int largoRegistro) {
    Abrir(numero, ruta, QIODevice::ReadWrite | QIODevice::Unbuffered, largoRegistro);
}

void Archivos::AbrirAleatorioLectura(qint16 numero, const QString& ruta, int largoRegistro) {
    Abrir(numero, ruta, QIODevice::ReadOnly, largoRegistro);
}

void Archivos::EscribirLinea(qint16 numero, const QString& texto) {
    EntradaDeArchivo& e = EntradaAbierta(numero);
    const qint64 antes = e.archivo->size();
    try {
        Escribir(*e.archivo, Cp1252::Codificar(texto) + "\r\n");
    } catch (const Falla&) {
        // Part of the line may have gone in (a disk that filled up): it is taken out again,
        // so that the next line written does not run into it.
        e.archivo->resize(antes);
        throw;
    }
}

qint64 Archivos::Largo(qint16 numero) {
    return EntradaAbierta(numero).archivo->size();
}

QByteArray Archivos::LeerRegistro(qint16 numero, qint64 registro) {
    EntradaDeArchivo& e = EntradaAbierta(numero);
    if (registro < 1 || e.largoRegistro <= 0)
        throw Falla::ArgumentoNoValido(QString::number(registro));
    if (!e.archivo->seek((registro - 1) * e.largoRegistro))
        throw Falla::Archivo(Errores::ErrorES, e.archivo->fileName());
    return e.archivo->read(e.largoRegistro);
}

void Archivos::EscribirRegistro(qint16 numero, qint64 registro, const QByteArray& bytes) {
    EntradaDeArchivo& e = EntradaAbierta(numero);
    if (registro < 1 || e.largoRegistro <= 0)
        throw Falla::ArgumentoNoValido(QString::number(registro));
    QByteArray completo = bytes.left(e.largoRegistro);
    if (completo.size() < e.largoRegistro)
        completo.append(e.largoRegistro - completo.size(), '\0');
    if (!e.archivo->seek((registro - 1) * e.largoRegistro))
        throw Falla::Archivo(Errores::ErrorES, e.archivo->fileName());
    Escribir(*e.archivo, completo);
}

void Archivos::GrabarCompleto(const QString& ruta, const QByteArray& bytes) {
    if (QFileInfo(ruta).isDir())
        throw Falla::Archivo(Errores::AccesoDenegado, ruta);
    QSaveFile archivo(ruta);
    if (!archivo.open(QIODevice::WriteOnly))
        throw FallaDeApertura(archivo, ruta, QIODevice::WriteOnly);
    // A save left uncommitted takes its temporary file away with it.
    errno = 0;
    if (archivo.write(bytes) != bytes.size() || !archivo.flush() || !archivo.commit()) {
        const long numero = NumeroDeFallaDeEscritura();
        throw Falla::Archivo(numero, ruta, archivo.errorString());
    }
}

void Archivos::Cerrar(qint16 numero) {
    if (numero < 1 || numero > NumeroMaximo)
        return;
    Tabla()[size_t(numero)].archivo.reset();
}

bool Archivos::Abierto(qint16 numero) {
    return numero >= 1 && numero <= NumeroMaximo && Tabla()[size_t(numero)].archivo;
}
