#include "Utilidades.h"

#include "Cadenas.h"
#include "Falla.h"
#include "Field.h"
#include "Interaccion.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <limits>

qint32 Moneda::RedondearEntero32() const {
    qint64 entero = diezmilesimos / 10000;
    const qint64 resto = diezmilesimos % 10000;
    if (resto > 5000 || (resto == 5000 && (entero % 2) != 0))
        ++entero;
    else if (resto < -5000 || (resto == -5000 && (entero % 2) != 0))
        --entero;
    if (entero < std::numeric_limits<qint32>::min() || entero > std::numeric_limits<qint32>::max())
        throw Falla::Desbordamiento(Texto());
    return qint32(entero);
}

QString Moneda::Texto() const {
    const bool negativo = diezmilesimos < 0;
    const quint64 absoluto = negativo ? quint64(0) - quint64(diezmilesimos) : quint64(diezmilesimos);
    QString texto = QString::number(absoluto / 10000);
    const quint64 fraccion = absoluto % 10000;
    if (fraccion) {
        QString decimales = QStringLiteral("%1").arg(fraccion, 4, 10, QLatin1Char('0'));
        while (decimales.endsWith(u'0'))
            decimales.chop(1);
        texto += u'.' + decimales;
    }
    return negativo ? u'-' + texto : texto;
}

QString Utilidades::AgregarBarra(const QString& carpeta) const {
    if (carpeta.endsWith(u'/') || carpeta.endsWith(u'\\'))
        return carpeta;
    return carpeta + u'/';
}

QString Utilidades::QuitarCaracteres(const QString& texto, const QString& caracter,
                                     const QString& otroCaracter) const {
    QString resultado = texto;
    if (!caracter.isEmpty())
        resultado.remove(caracter);
    if (!otroCaracter.isEmpty())
        resultado.remove(otroCaracter);
    return resultado;
}

QString Utilidades::Reemplazar(const QString& texto, const QString& buscar,
                               const QString& reemplazo) const {
    if (buscar.isEmpty())
        return texto;
    QString resultado = texto;
    return resultado.replace(buscar, reemplazo);
}

QString Utilidades::ValorTexto(const Variant& valor) const {
    return valor.EsNulo() ? QString() : valor.Texto();
}

QString Utilidades::ValorTexto(const Field& campo) const {
    return ValorTexto(campo.Value());
}

Moneda Utilidades::TextoANumero(const QString& texto) const {
    const QString limpio = Cadenas::Recortar(texto);
    if (limpio.isEmpty())
        return {};
    QString normal = limpio;
    if (!normal.contains(u'.'))
        normal.replace(u',', u'.');
    const auto literal = Variant::NumeroLiteral(normal);
    if (!literal || literal->contains(u'e', Qt::CaseInsensitive))
        throw Falla::TiposNoCoinciden(texto);

    const bool negativo = literal->startsWith(u'-');
    const QString digitos = negativo ? literal->mid(1) : *literal;
    const qsizetype punto = digitos.indexOf(u'.');
    const QString entera = punto < 0 ? digitos : digitos.left(punto);
    QString fraccion = punto < 0 ? QString() : digitos.mid(punto + 1);

    // Ten-thousandths from the first four decimals; the rest rounds half to even.
    const QString cuatro = (fraccion + QStringLiteral("0000")).left(4);
    const QString resto = fraccion.mid(4);
    constexpr quint64 limite = quint64(std::numeric_limits<qint64>::max());
    quint64 valor = 0;
    for (QChar c : entera + cuatro) {
        valor = valor * 10 + quint64(c.digitValue());
        if (valor > limite)
            throw Falla::Desbordamiento(texto);
    }
    if (!resto.isEmpty()) {
        const int primera = resto[0].digitValue();
        const bool masDeMedio = primera > 5 || (primera == 5 && resto.mid(1).contains(QRegularExpression(QStringLiteral("[1-9]"))));
        const bool medio = primera == 5 && !masDeMedio;
        if (masDeMedio || (medio && valor % 2 != 0))
            ++valor;
        if (valor > limite)
            throw Falla::Desbordamiento(texto);
    }
    return {negativo ? -qint64(valor) : qint64(valor)};
}

qint32 Utilidades::TextoAEntero(const QString& texto) const {
    return TextoANumero(texto).RedondearEntero32();
}

namespace {

bool SeFormatea(QChar c) {
    return c == u'\r' || c == u'\n' || c == u'\t';
}

} // namespace

QString Utilidades::FormatearTexto(const QString& texto) const {
    QString resultado = texto;
    for (QChar& c : resultado)
        if (SeFormatea(c))
            c = u' ';
    return resultado;
}

bool Utilidades::CambiaAlFormatear(QStringView texto) {
    return std::any_of(texto.begin(), texto.end(), SeFormatea);
}

void Utilidades::PrepararVentana(QWidget* ventana, int) const {
    if (!ventana)
        throw Falla::ObjetoNoEstablecido();
    QScreen* pantalla = ventana->screen() ? ventana->screen() : QGuiApplication::primaryScreen();
    if (!pantalla)
        return;
    const QRect disponible = pantalla->availableGeometry();
    QRect marco = ventana->frameGeometry();
    marco.moveCenter(disponible.center());
    ventana->move(marco.topLeft());
}

int Utilidades::InformarError(const Falla& falla, const QString& origen) const {
    return Interaccion::Actual().InformarError(falla, origen);
}
