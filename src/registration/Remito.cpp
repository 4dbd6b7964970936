#include "Remito.h"

#include "Cadenas.h"
#include "Falla.h"
#include "Recordset.h"
#include "Utilidades.h"
#include "ValorSQL.h"

namespace {

const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

// The names the family's code gives the fields, kept so that a recordset finds each of them
// again at once.
const QString CampoTC = QStringLiteral("TC");
const QString CampoId = QStringLiteral("IDCOMPROBANTE");
const QString CampoComplemento = QStringLiteral("IdComplemento");
const QString CampoFecha = QStringLiteral("Fecha");
const QString CampoCuenta = QStringLiteral("Cuenta");

} // namespace

Remito Remito::De(Recordset& nota) {
    const Utilidades& util = Utilidades::Instancia();
    Remito r;
    r.tc = util.ValorTexto(nota.Fields(CampoTC));
    r.id = util.ValorTexto(nota.Fields(CampoId));
    r.documento = r.tc + r.id;
    r.complemento = nota.Fields(CampoComplemento).Value();
    return r;
}

void Remito::ValoresDeLaNota(Recordset& nota) {
    tcValor_ = nota.Fields(CampoTC).Value();
    idValor_ = nota.Fields(CampoId).Value();
    complemento = nota.Fields(CampoComplemento).Value();
    fecha_ = nota.Fields(CampoFecha).Value();
    cuenta_ = nota.Fields(CampoCuenta).Value();
}

Remito Remito::Adelante(const Recordset& notas, qsizetype filas) {
    const Utilidades& util = Utilidades::Instancia();
    Remito r;
    try {
        auto valor = [&](const QString& campo) { return notas.ValorAdelante(filas, campo).value_or(Variant()); };
        r.tcValor_ = valor(CampoTC);
        r.idValor_ = valor(CampoId);
        r.tc = util.ValorTexto(r.tcValor_);
        r.id = util.ValorTexto(r.idValor_);
        r.documento = r.tc + r.id;
        r.complemento = valor(CampoComplemento);
        r.fecha_ = valor(CampoFecha);
        r.cuenta_ = valor(CampoCuenta);
    } catch (const Falla& falla) {
        r.faltaDeLaNota = falla.Descripcion();
    }
    return r;
}

Remito::ColumnasDeRenglon Remito::ColumnasDeRenglon::De(Recordset& renglones) {
    auto en = [&](const QString& campo) { return renglones.PosicionDe(campo); };
    return {en(QStringLiteral("idarticulo")), en(QStringLiteral("Descripcion")),
            en(QStringLiteral("idunidad")),   en(QStringLiteral("Cantidad")),
            en(QStringLiteral("Costo")),      en(QStringLiteral("Importe")),
            en(QStringLiteral("CLASEPRECIO"))};
}

Movimiento Remito::MovimientoDe(Recordset& renglon, const ColumnasDeRenglon& c, int secuencia) const {
    static const Variant deposito(QStringLiteral("   1"));
    auto valor = [&](int i) { return renglon.Fields(i).Value(); };
    return {secuencia,
            {tcValor_, idValor_, complemento, Variant(qint64(secuencia)), fecha_, valor(c.articulo),
             valor(c.descripcion), valor(c.unidad), valor(c.cantidad).Negado(), valor(c.costo),
             valor(c.importe), valor(c.clase), deposito, deposito, cuenta_}};
}

QString Remito::Documento(Recordset& nota) {
    const Utilidades& util = Utilidades::Instancia();
    return util.ValorTexto(nota.Fields(QStringLiteral("TC"))) +
           util.ValorTexto(nota.Fields(QStringLiteral("IDCOMPROBANTE")));
}

Movimiento Remito::MovimientoDe(Recordset& nota, Recordset& renglon, int secuencia) {
    Remito r;
    r.ValoresDeLaNota(nota);
    return r.MovimientoDe(renglon, ColumnasDeRenglon::De(renglon), secuencia);
}

const FormaInsercion& Remito::Forma() {
    static const FormaInsercion forma(
        QStringLiteral("INSERT INTO V_MV_STOCK (TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,"
                       "IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,"
                       "IDDEPOSITO,IDMOTIVOSTOCK,CUENTAPROVEEDOR)  VALUES ("),
        QStringLiteral("V_MV_STOCK"),
        {QStringLiteral("TC"), QStringLiteral("IDCOMPROBANTE"), QStringLiteral("IDCOMPLEMENTO"),
         QStringLiteral("SECUENCIA"), QStringLiteral("FECHA"), QStringLiteral("IDARTICULO"),
         QStringLiteral("DESCRIPCION"), QStringLiteral("IDUNIDAD"), QStringLiteral("CANTIDAD"),
         QStringLiteral("COSTO"), QStringLiteral("PRECIOVENTA"), QStringLiteral("CLASEPRECIO"),
         QStringLiteral("IDDEPOSITO"), QStringLiteral("IDMOTIVOSTOCK"),
         QStringLiteral("CUENTAPROVEEDOR")},
        {Comilla, Comilla, Numero, Numero, Comilla, Comilla, Comilla, Comilla, Numero, Numero,
         Numero, Numero, Comilla, Comilla, Comilla});
    return forma;
}

QString Remito::Sentencia(const Movimiento& movimiento, Dialecto dialecto) {
    return Forma().Texto(movimiento.valores, dialecto);
}

QString Remito::CondicionDeRemitosVigentes() {
    return QStringLiteral("V_MV_Cpte.TC = 'RM' AND (V_MV_Cpte.FECHA > '01/03/2003') AND "
                          "(V_MV_Cpte.ANULADA = 0)");
}

QString Remito::SentenciaSeleccion() {
    return QStringLiteral(
               "SELECT  v_mv_cpte.* FROM V_MV_Cpte LEFT OUTER JOIN V_MV_Stock ON "
               "V_MV_Cpte.IdComplemento = V_MV_Stock.IdComplemento AND V_MV_Cpte.TC = "
               "V_MV_Stock.TC AND V_MV_Cpte.IDCOMPROBANTE = V_MV_Stock.IDCOMPROBANTE WHERE "
               "(V_MV_Stock.TC IS NULL) AND ") +
           CondicionDeRemitosVigentes();
}

QString Remito::SentenciaRenglones(const QString& tc, const QString& idComprobante) {
    return QStringLiteral("Select * from V_Mv_CpteInsumos where tc = '") +
           Cadenas::DuplicarComillas(tc) + QStringLiteral("' and idcomprobante = '") +
           Cadenas::DuplicarComillas(idComprobante) + u'\'';
}

QString Remito::SentenciaRenglonesPreparada() {
    return QStringLiteral("Select * from V_Mv_CpteInsumos where tc = ? and idcomprobante = ?");
}

QString Remito::CondicionDeSusFilas(Dialecto dialecto) const {
    return QStringLiteral("TC = %1 AND IDCOMPROBANTE = %2 AND IDCOMPLEMENTO = %3")
        .arg(ValorSQL(tc, Comilla, dialecto), ValorSQL(id, Comilla, dialecto),
             ValorSQL(complemento, Numero, dialecto));
}
