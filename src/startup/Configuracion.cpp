// The configuration store of the global module: one row of TA_CONFIGURACION per key.
#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "ModGlobal.h"
#include "Recordset.h"
#include "Rutina.h"
#include "Utilidades.h"

namespace ModGlobal {

namespace {
// A flag is set when the value is "SI", compared whole, without regard to case and without
// trimming.
bool EsSi(const QString& valor) {
    return Cadenas::IgualesSinMayusculas(valor, u"SI");
}

qint32 Color(const QString& valor) {
    return Utilidades::Instancia().TextoANumero(valor).RedondearEntero32();
}
} // namespace

QString LeerConfiguracion(const QString& clave) {
    Rutina rutina(EstiloFallas::InformarSinReintento, QStringLiteral("Cfg"));
    Conexion& conexion = Conexion::Instancia();
    QString sentencia;
    RefRecordset rs;
    QString resultado;
    rutina.Paso([&] {
        sentencia = QStringLiteral("SELECT VALOR FROM TA_CONFIGURACION WHERE CLAVE = '") +
                    Cadenas::DuplicarComillas(Cadenas::Recortar(clave)) + u'\'';
    });
    rutina.Paso([&] { conexion.AbrirRecordset(sentencia, rs, &conexion.ConexionAdo(), 0, 1, -1); });
    rutina.Paso([&] {
        if (!rs)
            throw Falla::ObjetoNoEstablecido();
        resultado = rs->Bof() ? QStringLiteral(" ")
                              : Utilidades::Instancia().ValorTexto(rs->Fields(QStringLiteral("Valor")));
    });
    rutina.Paso([&] { conexion.CerrarRecordset(rs); });
    rs.reset();
    return rutina.Activa() ? resultado : QString();
}

void GrabarConfiguracion(const QString& clave, const Variant& valor) {
    Rutina rutina(EstiloFallas::Informar, QStringLiteral("GrabaDfg"));
    Conexion& conexion = Conexion::Instancia();
    Utilidades& util = Utilidades::Instancia();
    QString sentencia;
    RefRecordset rs;
    auto abierto = [&]() -> Recordset& {
        if (!rs)
            throw Falla::ObjetoNoEstablecido();
        return *rs;
    };
    rutina.Paso([&] {
        sentencia = QStringLiteral("SELECT * FROM TA_CONFIGURACION WHERE CLAVE = '") +
                    Cadenas::DuplicarComillas(clave) + u'\'';
    });
    bool nueva = false;
    auto grupo = [&] { abierto().Fields(QStringLiteral("Grupo")).AsignarValor(QStringLiteral("DATOS")); };
    auto claveRecortada = [&] {
        abierto().Fields(QStringLiteral("Clave")).AsignarValor(Cadenas::Recortar(clave));
    };
    auto valorRecortado = [&] {
        abierto().Fields(QStringLiteral("Valor")).AsignarValor(Cadenas::Recortar(util.ValorTexto(valor)));
    };
    rutina.Paso([&] { conexion.AbrirRecordset(sentencia, rs, &conexion.ConexionAdo(), 2, 3, -1); });
    rutina.Paso([&] {
        nueva = abierto().Bof();
        if (nueva)
            abierto().AddNew();
        else
            abierto().MoveFirst();
    });
    rutina.Paso(grupo);
    rutina.Paso(claveRecortada);
    rutina.Paso(valorRecortado);
    rutina.Paso([&] {
        try {
            abierto().Update();
        } catch (const Falla&) {
            // Another program (a second run started at the same time) may have added the key
            // between the read and the write: then its row is the one to write over. Any
            // other refusal stands.
            if (!nueva)
                throw;
            RefRecordset otra;
            conexion.AbrirRecordset(sentencia, otra, &conexion.ConexionAdo(), 2, 3, -1);
            if (!otra || otra->Bof())
                throw;
            conexion.CerrarRecordset(rs);
            rs = std::move(otra);
            rs->MoveFirst();
            grupo();
            claveRecortada();
            valorRecortado();
            rs->Update();
        }
    });
    rutina.Paso([&] { conexion.CerrarRecordset(rs); });
}

void CargarConfiguracion(const QString& carpeta) {
    sesion.gMostrarStockEnConsultas =
        EsSi(Utilidades::Instancia().ValorTexto(LeerConfiguracion(QStringLiteral("MostrarStockenConsultas"))));
    sesion.gTituloClientes = Cadenas::Recortar(LeerConfiguracion(QStringLiteral("TituloClientes")));
    sesion.gTituloProveedores = Cadenas::Recortar(LeerConfiguracion(QStringLiteral("TituloProveedores")));
    sesion.gRutaDocTareas = carpeta + QStringLiteral("ZVDOCTareas.zvr");
    sesion.gExigeClaveConsultaLikeArticulos =
        EsSi(LeerConfiguracion(QStringLiteral("EXIGECLAVECONSULTALIKEARTICULOS")));
    sesion.gUsaConsultaLike = EsSi(LeerConfiguracion(QStringLiteral("UsaConsultaLike")));
    sesion.gCantidadDecimales = LeerConfiguracion(QStringLiteral("CantidadDecimales"));
    sesion.gUsaMultilesMonedas = EsSi(LeerConfiguracion(QStringLiteral("UsaMultilesMonedas")));
    sesion.gColorFondo = Color(LeerConfiguracion(QStringLiteral("CFondo")));
    sesion.gColorLetra = Color(LeerConfiguracion(QStringLiteral("CLetra")));
    // A background of 0 would be black: the family's default is cyan (0xFFFF00 is BBGGRR).
    if (sesion.gColorFondo == 0)
        sesion.gColorFondo = 0xFFFF00;
    sesion.gModuloOrdenDeTrabajo = !Cadenas::IgualesSinMayusculas(
        Cadenas::Recortar(LeerConfiguracion(QStringLiteral("ModuloOrdenDeTrabajo"))), u"NO");
}

} // namespace ModGlobal
