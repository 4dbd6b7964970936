#include "RemitosIncompletos.h"

#include "Cadenas.h"
#include "Conexion.h"
#include "Falla.h"
#include "Recordset.h"
#include "RegistroDeCorrida.h"
#include "Rutina.h"
#include "Transaccion.h"
#include "Utilidades.h"

#include <QSet>
#include <array>
#include <optional>

namespace {


// What a line and the row written from it have in common, each value in a form that compares
// equal exactly when the values are: texts without trailing blanks (a CHAR column pads them),
// numbers by value ("2.50" and "2.5" are the same quantity). Null only equals null.
using Contenido = std::array<std::optional<QString>, 7>;

// Marks a value that is not a number where one is expected: it can only equal the same text.
const QChar NoNumero(0x1);

std::optional<QString> TextoComparable(const Variant& v) {
    if (v.EsNulo())
        return std::nullopt;
    return Cadenas::RecortarDerecha(v.Texto());
}

// A plain number literal with no sign of zero, no leading zeros and no trailing decimal zeros.
QString NumeroNormal(QString literal) {
    if (literal.contains(u'e') || literal.contains(u'E'))
        literal = QString::number(literal.toDouble(), 'f', QLocale::FloatingPointShortest);
    bool negativo = literal.startsWith(u'-');
    if (negativo || literal.startsWith(u'+'))
        literal.remove(0, 1);
    const qsizetype punto = literal.indexOf(u'.');
    QString entera = punto < 0 ? literal : literal.left(punto);
    QString decimales = punto < 0 ? QString() : literal.mid(punto + 1);
    while (entera.size() > 1 && entera.startsWith(u'0'))
        entera.remove(0, 1);
    if (entera.isEmpty())
        entera = QStringLiteral("0");
    while (decimales.endsWith(u'0'))
        decimales.chop(1);
    QString resultado = decimales.isEmpty() ? entera : entera + u'.' + decimales;
    if (resultado == QLatin1String("0"))
        negativo = false;
    return negativo ? u'-' + resultado : resultado;
}

std::optional<QString> NumeroComparable(const Variant& v) {
    using T = Variant::Tipo;
    switch (v.tipo()) {
    case T::Nulo:
        return std::nullopt;
    case T::Vacio:
        return QStringLiteral("0");
    case T::Entero:
        return QString::number(v.Entero());
    case T::Booleano:
        return v.Booleano() ? QStringLiteral("1") : QStringLiteral("0");
    case T::Doble:
        return NumeroNormal(QString::number(v.Doble(), 'f', QLocale::FloatingPointShortest));
    default:
        break;
    }
    const QString texto = v.tipo() == T::Objeto ? QString() : v.Texto();
    if (auto literal = Variant::NumeroLiteral(texto))
        return NumeroNormal(*literal);
    return NoNumero + texto;
}

std::optional<QString> Negado(const std::optional<QString>& numero) {
    if (!numero || numero->startsWith(NoNumero) || *numero == QLatin1String("0"))
        return numero;
    return numero->startsWith(u'-') ? numero->mid(1) : u'-' + *numero;
}

Variant Valor(Recordset& rs, const char* campo) {
    return rs.Fields(QString::fromLatin1(campo)).Value();
}

// A line as its row would hold it: the quantity taken out of stock is the line's negated.
Contenido DeRenglon(Recordset& renglon) {
    return {TextoComparable(Valor(renglon, "idarticulo")),
            TextoComparable(Valor(renglon, "Descripcion")),
            TextoComparable(Valor(renglon, "idunidad")),
            NumeroComparable(Valor(renglon, "CLASEPRECIO")),
            Negado(NumeroComparable(Valor(renglon, "Cantidad"))),
            NumeroComparable(Valor(renglon, "Costo")),
            NumeroComparable(Valor(renglon, "Importe"))};
}

Contenido DeFila(Recordset& fila) {
    return {TextoComparable(Valor(fila, "IDARTICULO")),
            TextoComparable(Valor(fila, "DESCRIPCION")),
            TextoComparable(Valor(fila, "IDUNIDAD")),
            NumeroComparable(Valor(fila, "CLASEPRECIO")),
            NumeroComparable(Valor(fila, "CANTIDAD")),
            NumeroComparable(Valor(fila, "COSTO")),
            NumeroComparable(Valor(fila, "PRECIOVENTA"))};
}

QString Mostrable(const Variant& v) {
    return v.EsNulo() ? QStringLiteral("nulo") : Cadenas::RecortarDerecha(v.Texto());
}

// A line or a row as a person finds it again: article, description and quantity.
QString Describir(const Variant& articulo, const Variant& descripcion, const Variant& cantidad) {
    return QStringLiteral("artículo %1 \"%2\", cantidad %3")
        .arg(Mostrable(articulo), Mostrable(descripcion), Mostrable(cantidad));
}

} // namespace

QString RemitosIncompletos::SentenciaCandidatos() {
    // The stock rows are counted in one grouped pass; each group finds its note through the
    // note's key, and the note's lines are counted through theirs. Joining two grouped tables
    // instead leaves the plan to the engine's statistics: without them (a database never
    // analysed) the embedded engine pairs the groups one by one, half a minute at 20,000
    // notes. The lines of a note are chosen by type and number only, as the run chooses them.
    return QStringLiteral(
               "SELECT V_MV_Cpte.*, S.FILAS FROM (SELECT TC, IDCOMPROBANTE, IDCOMPLEMENTO, count(*) "
               "AS FILAS FROM V_MV_Stock WHERE TC = 'RM' GROUP BY TC, IDCOMPROBANTE, IDCOMPLEMENTO) "
               "S JOIN V_MV_Cpte ON V_MV_Cpte.TC = S.TC AND V_MV_Cpte.IDCOMPROBANTE = "
               "S.IDCOMPROBANTE AND V_MV_Cpte.IdComplemento = S.IDCOMPLEMENTO WHERE ") +
           ::Remito::CondicionDeRemitosVigentes() +
           QStringLiteral(" AND S.FILAS < (SELECT count(*) FROM V_Mv_CpteInsumos L WHERE L.TC = "
                          "V_MV_Cpte.TC AND L.IDCOMPROBANTE = V_MV_Cpte.IDCOMPROBANTE) ORDER BY "
                          "V_MV_Cpte.TC, V_MV_Cpte.IDCOMPROBANTE, V_MV_Cpte.IdComplemento");
}

RemitosIncompletos::Remito RemitosIncompletos::Examinar(Recordset& nota) {
    Conexion& conexion = Conexion::Instancia();
    Remito r;
    const ::Remito remito = ::Remito::De(nota);
    r.documento = remito.documento;
    r.complemento = remito.complemento.EsNulo() ? 0 : remito.complemento.Entero();

    RefRecordset lineas, filas;
    conexion.AbrirRecordset(::Remito::SentenciaRenglones(remito.tc, remito.id), lineas);
    conexion.AbrirRecordset(QStringLiteral("SELECT * FROM V_MV_Stock WHERE ") +
                                remito.CondicionDeSusFilas(conexion.DialectoSQL()) +
                                QStringLiteral(" ORDER BY SECUENCIA"),
                            filas);

    QList<Contenido> contenidos;
    QStringList descripciones;
    for (; !lineas->Eof(); lineas->MoveNext()) {
        contenidos << DeRenglon(*lineas);
        descripciones << Describir(Valor(*lineas, "idarticulo"), Valor(*lineas, "Descripcion"),
                                   Valor(*lineas, "Cantidad"));
    }
    r.renglones = int(contenidos.size());

    // Each row takes the first line of the same content not taken yet: identical lines pair
    // as many times as there are rows for them, never more.
    QList<bool> pareado(contenidos.size(), false);
    QSet<qint64> usadas;
    for (; !filas->Eof(); filas->MoveNext()) {
        ++r.filas;
        const Variant secuencia = Valor(*filas, "SECUENCIA");
        if (!secuencia.EsNulo())
            usadas.insert(secuencia.Entero());
        const Contenido contenido = DeFila(*filas);
        qsizetype i = 0;
        while (i < contenidos.size() && (pareado[i] || contenidos[i] != contenido))
            ++i;
        if (i < contenidos.size()) {
            pareado[i] = true;
            continue;
        }
        r.problemas << QStringLiteral("el movimiento SECUENCIA %1 (%2) no corresponde a ningún "
                                      "renglón del remito")
                           .arg(Mostrable(secuencia),
                                Describir(Valor(*filas, "IDARTICULO"), Valor(*filas, "DESCRIPCION"),
                                          Valor(*filas, "CANTIDAD")));
    }
    if (!r.problemas.isEmpty())
        return r;

    // The lines left take the numbers no row uses, from 1 upwards, in the order they were read.
    qint64 siguiente = 1;
    qsizetype i = 0;
    for (lineas->MoveFirst(); !lineas->Eof(); lineas->MoveNext(), ++i) {
        if (pareado[i])
            continue;
        while (usadas.contains(siguiente))
            ++siguiente;
        const int secuencia = int(siguiente++);
        try {
            Movimiento movimiento = ::Remito::MovimientoDe(nota, *lineas, secuencia);
            // A value that cannot be written as itself leaves the note to a person.
            ::Remito::Forma().Ligados(movimiento.valores, conexion.DialectoSQL());
            r.faltantes << Faltante{secuencia, descripciones[i], std::move(movimiento)};
        } catch (const Falla& falla) {
            r.problemas << QStringLiteral("no se puede armar el movimiento del renglón %1: %2")
                               .arg(descripciones[i], RegistroDeCorrida::EnUnaLinea(falla.Descripcion()));
        }
    }
    if (!r.problemas.isEmpty())
        r.faltantes.clear();
    return r;
}

QList<RemitosIncompletos::Remito> RemitosIncompletos::Revisar() {
    RefRecordset candidatos;
    Conexion::Instancia().AbrirRecordset(SentenciaCandidatos(), candidatos);
    QList<Remito> remitos;
    for (; !candidatos->Eof(); candidatos->MoveNext()) {
        try {
            remitos << Examinar(*candidatos);
        } catch (const Falla& falla) {
            Remito r;
            r.documento = ::Remito::Documento(*candidatos);
            r.problemas << QStringLiteral("no se pudo examinar: %1").arg(RegistroDeCorrida::EnUnaLinea(falla.Descripcion()));
            remitos << r;
        }
    }
    return remitos;
}

RemitosIncompletos::ResultadoCompletado RemitosIncompletos::Completar(QList<Remito>* examinados) {
    Conexion& conexion = Conexion::Instancia();
    RefRecordset candidatos;
    conexion.AbrirRecordset(SentenciaCandidatos(), candidatos);

    ResultadoCompletado resultado;
    RegistroDeCorrida registro;
    Rutina rutina(EstiloFallas::OmitirTodas);
    registro.Abrir(rutina);
    resultado.registroFallido = !registro.Abierto();
    const QString que = QStringLiteral("--completar");
    if (registro.Abierto())
        registro.Inicio(que, conexion.NombreDeLaBase());
    auto anotar = [&](const QString& linea) { registro.Registra(linea); };
    for (; !candidatos->Eof(); candidatos->MoveNext()) {
        Remito r;
        try {
            // The note is examined again inside its transaction, so that what is written
            // follows from what the database holds at that moment.
            Transaccion transaccion(conexion);
            r = Examinar(*candidatos);
            if (r.Completable()) {
                for (const Faltante& f : r.faltantes)
                    conexion.Insertar(::Remito::Forma(), f.movimiento.valores);
                transaccion.Confirmar();
                r.completado = true;
                ++resultado.completados;
                resultado.renglonesEscritos += int(r.faltantes.size());
                for (const Faltante& f : r.faltantes)
                    anotar(QStringLiteral("+++ %1 SECUENCIA %2: %3")
                               .arg(r.documento)
                               .arg(f.secuencia)
                               .arg(f.descripcion));
            } else if (!r.problemas.isEmpty()) {
                ++resultado.necesitanRevision;
            }
        } catch (const Falla& falla) {
            if (r.documento.isEmpty())
                r.documento = ::Remito::Documento(*candidatos);
            if (falla.Grave()) {
                // Storage or the connection failed: every later note would fail the same way.
                resultado.motivoDetencion = RegistroDeCorrida::EnUnaLinea(falla.Descripcion());
                const QString linea = QStringLiteral("*** No se completaron más remitos: %1")
                                          .arg(resultado.motivoDetencion);
                resultado.fallas << linea;
                anotar(linea);
                break;
            }
            ++resultado.noCompletados;
            const QString linea = QStringLiteral("*** %1: no se completó; no se escribió ninguno "
                                                 "de sus renglones: %2")
                                      .arg(r.documento, RegistroDeCorrida::EnUnaLinea(falla.Descripcion()));
            resultado.fallas << linea;
            anotar(linea);
        }
        if (examinados)
            examinados->append(r);
    }
    if (registro.Abierto())
        registro.Fin(que, QStringLiteral("%1, %2")
                              .arg(Cadenas::Contar(resultado.completados, u"remito completado",
                                                   u"remitos completados"),
                                   Cadenas::Contar(resultado.renglonesEscritos, u"renglón registrado",
                                                   u"renglones registrados")));
    registro.Cerrar();
    if (!resultado.registroFallido)
        resultado.lineasDeRegistroPerdidas = registro.LineasPerdidas();
    return resultado;
}

QStringList RemitosIncompletos::Remito::Describir() const {
    QString cabecera = documento;
    if (complemento != 0)
        cabecera += QStringLiteral(" (complemento %1)").arg(complemento);
    cabecera += QStringLiteral(": %1, %2; ")
                    .arg(Cadenas::Contar(renglones, u"renglón", u"renglones"),
                         Cadenas::Contar(filas, u"movimiento de stock", u"movimientos de stock"));
    QStringList lineas;
    if (!problemas.isEmpty()) {
        lineas << cabecera + QStringLiteral("necesita revisión, no se completa:");
        for (const QString& p : problemas)
            lineas << QStringLiteral("  ") + p;
    } else {
        lineas << cabecera + (completado ? QStringLiteral("se completó:")
                                         : QStringLiteral("se puede completar:"));
        for (const Faltante& f : faltantes)
            lineas << QStringLiteral("  SECUENCIA %1 para el renglón %2").arg(f.secuencia).arg(f.descripcion);
    }
    return lineas;
}
