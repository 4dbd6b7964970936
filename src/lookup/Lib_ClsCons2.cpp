#include "Lib_ClsCons2.h"

#include "AlSalir.h"
#include "Archivos.h"
#include "Cadenas.h"
#include "Falla.h"
#include "Lib_FrmCons2.h"
#include "MascaraConsulta.h"
#include "Rutina.h"
#include "SentenciaDeLectura.h"
#include "Utilidades.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString Cero = QString(QChar(0));
const QString Ultimo = QString(QChar(255));

// A record after the last whole record of the file's contents.
void AgregarMascara(QByteArray& contenido, const MascaraConsulta& MascaraActual) {
    const qint64 registro = contenido.size() / MascaraConsulta::Largo + 1;
    if (registro > 32767)
        throw Falla::Desbordamiento(QStringLiteral("registro %1 del archivo de máscaras").arg(registro));
    contenido.truncate((registro - 1) * MascaraConsulta::Largo);
    contenido += MascaraActual.Codificar();
}

} // namespace

struct Lib_ClsCons2::Detalle {
    MascaraConsulta MascaraActual;
    std::unique_ptr<Utilidades> utilidades;

    Utilidades& Util() {
        if (!utilidades)
            utilidades = std::make_unique<Utilidades>();
        return *utilidades;
    }
};

Lib_ClsCons2::Lib_ClsCons2()
    : CmpsDevueltos(NuevaCollection()), Valores(NuevaCollection()), d_(std::make_unique<Detalle>()) {}

Lib_ClsCons2::~Lib_ClsCons2() {
    CmpsDevueltos.reset();
    Valores.reset();
}

void Lib_ClsCons2::AplicarMascara(QString& SQL, QString& CampoBusqueda) {
    // Only a regular file counts: a folder or anything else of that name is no masks file.
    if (!gUsarMascarasConsultas || !QFileInfo(gRutaMascaraConsultas).isFile())
        return;
    Utilidades& util = d_->Util();
    MascaraConsulta& MascaraActual = d_->MascaraActual;
    qint16 numero = 0;
    try {
        numero = Archivos::NumeroLibre();
        Archivos::AbrirAleatorioLectura(numero, gRutaMascaraConsultas, MascaraConsulta::Largo);
    } catch (const Falla&) {
        // A file that cannot be read: the statement goes as it came.
        return;
    }
    AlSalir cerrar([numero] { Archivos::Cerrar(numero); });
    const QString buscada = Cadenas::Recortar(SQL);
    // Only whole records: a cut last record is not one.
    const qint64 registros = Archivos::Largo(numero) / MascaraConsulta::Largo;
    for (qint64 n = 1; n <= registros; ++n) {
        MascaraActual = MascaraConsulta::Decodificar(Archivos::LeerRegistro(numero, n));
        const QString tabla = Cadenas::Recortar(util.QuitarCaracteres(MascaraActual.Tabla, Cero, Ultimo));
        if (!Cadenas::IgualesSinMayusculas(tabla, buscada))
            continue;

        QString campos = Cadenas::Recortar(util.Reemplazar(MascaraActual.Campos, QStringLiteral("|"),
                                                           QStringLiteral(",")));
        if (campos.startsWith(u','))
            campos.remove(0, 1);
        if (campos.endsWith(u','))
            campos.chop(1);
        if (Cadenas::Recortar(campos).isEmpty())
            campos = QStringLiteral("*");

        if (CampoBusqueda.isEmpty() && campos.contains(u','))
            CampoBusqueda = campos.left(campos.indexOf(u','));

        QString filtro = Cadenas::Recortar(util.QuitarCaracteres(MascaraActual.Filtro, Cero, Ultimo));
        if (filtro.isEmpty()) {
            if (Cadenas::IgualesSinMayusculas(tabla, u"VT_PROVEEDORES") ||
                Cadenas::IgualesSinMayusculas(tabla, u"VT_CLIENTES"))
                filtro = QStringLiteral("Dada_De_Baja = 0");
            else if (Cadenas::IgualesSinMayusculas(tabla, u"V_MA_ARTICULOS"))
                filtro = QStringLiteral("SUSPENDIDO = 0");
        }

        SQL = QStringLiteral("SELECT ") + campos + QStringLiteral(" FROM ") + tabla;
        if (!Cadenas::Recortar(filtro).isEmpty())
            SQL += QStringLiteral(" WHERE ") + filtro;
        return;
    }
}

void Lib_ClsCons2::ConsultaSearch(QString SQL, RefCollection& CmpsDevueltos, QString& Clave,
                                  QString& CampoBusqueda) {
    Rutina rutina(EstiloFallas::OmitirTodas);
    QString sentencia;
    std::unique_ptr<Lib_FrmCons2> ventana;

    rutina.Paso([&] { sentencia = SQL; });
    rutina.Paso([&] { AplicarMascara(sentencia, CampoBusqueda); });
    rutina.Paso([&] {
        ventana = std::make_unique<Lib_FrmCons2>();
        ventana->FiltroInicial = Clave;
        ventana->CampoBusqueda = CampoBusqueda;
        ventana->SQL = sentencia;
        ventana->gConnString = gConnString;
        ventana->CampoDevuelto = CampoDevuelto;
        ventana->CheckBoxes = Checks;
        ventana->UsaCantidades = UsaCantidades;
        ventana->FallasAlLlamador = FallasAlLlamador;
    });
    rutina.Paso([&] {
        Valores.reset();
        Cantidades.reset();
    });
    auto conVentana = [&]() -> Lib_FrmCons2& {
        if (!ventana)
            throw Falla::ObjetoNoEstablecido();
        return *ventana;
    };
    rutina.Paso([&] {
        Lib_FrmCons2& v = conVentana();
        v.CmpsDevueltos.reset();
        v.Valores.reset();
        v.Cantidades.reset();
        v.CmpsDevueltos = CmpsDevueltos;
        v.Valores = Valores;
        v.Cantidades = Cantidades;
    });
    rutina.Paso([&] { conVentana().MostrarModal(); });
    rutina.Paso([&] { Checks = false; });
    rutina.Paso([&] {
        Lib_FrmCons2& v = conVentana();
        Valores = v.Valores;
        Cantidades = v.Cantidades;
        ValorDevuelto = v.ValorDevuelto;
        FallaDeCarga = v.FallaDeCarga;
    });
    rutina.Paso([&] {
        conVentana().CampoDevuelto.clear();
        CampoDevuelto.clear();
    });
    rutina.Paso([&] {
        while (CmpsDevueltos && CmpsDevueltos->Count() > 0)
            CmpsDevueltos->Remove(1);
        CmpsDevueltos.reset();
    });
    rutina.Paso([&] {
        Lib_FrmCons2& v = conVentana();
        v.Valores.reset();
        v.Cantidades.reset();
        qint16 cancelar = 0;
        v.Form_Unload(cancelar);
    });
    ventana.reset();
}


void Lib_ClsCons2::GrabarMascarasPorDefecto() {
    // The whole file is put together first and written at once: a failure (a full disk)
    // leaves no file, and the next start writes it again.
    QByteArray contenido;
    if (QFile archivo(gRutaMascaraConsultas); archivo.exists()) {
        if (!archivo.open(QIODevice::ReadOnly))
            throw Falla::Archivo(Errores::AccesoDenegado, gRutaMascaraConsultas, archivo.errorString());
        contenido = archivo.readAll();
    }
    MascaraConsulta& MascaraActual = d_->MascaraActual;
    for (const MascaraConsulta& defecto : MascaraConsulta::PorDefecto()) {
        MascaraActual.Nombre = Cadenas::Recortar(defecto.Nombre);
        MascaraActual.Tabla = defecto.Tabla;
        MascaraActual.Campos = Cadenas::Recortar(defecto.Campos);
        MascaraActual.Filtro = Cadenas::Recortar(defecto.Filtro);
        MascaraActual.FinDeLinea = QByteArrayLiteral("\r\n");
        AgregarMascara(contenido, MascaraActual);
    }
    Archivos::GrabarCompleto(gRutaMascaraConsultas, contenido);
}

QString Lib_ClsCons2::MascarasSinRegistros() const {
    const QFileInfo archivo(gRutaMascaraConsultas);
    if (!gUsarMascarasConsultas || !archivo.isFile() || archivo.size() >= MascaraConsulta::Largo)
        return {};
    return QStringLiteral("el archivo de máscaras %1 mide menos que un registro (%2 bytes), así que "
                          "no nombra ninguna tabla: bórrelo y el programa vuelve a escribir el de "
                          "por defecto al arrancar")
        .arg(gRutaMascaraConsultas)
        .arg(archivo.size());
}

QString Lib_ClsCons2::PorQueNoEsConsulta(const QString& SQL) {
    return SentenciaDeLectura::PorQueEscribe(SQL);
}
