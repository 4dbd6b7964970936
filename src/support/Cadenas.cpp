#include "Cadenas.h"

#include "Falla.h"

#include <cmath>

namespace Cadenas {

QString RecortarIzquierda(QStringView texto) {
    qsizetype i = 0;
    while (i < texto.size() && texto[i] == u' ')
        ++i;
    return texto.mid(i).toString();
}

QString RecortarDerecha(QStringView texto) {
    qsizetype n = texto.size();
    while (n > 0 && texto[n - 1] == u' ')
        --n;
    return texto.left(n).toString();
}

QStringView SinEspacios(QStringView texto) {
    qsizetype i = 0, n = texto.size();
    while (i < n && texto[i] == u' ')
        ++i;
    while (n > i && texto[n - 1] == u' ')
        --n;
    return texto.mid(i, n - i);
}

void AgregarConComillasDobladas(QString& destino, QStringView texto) {
    qsizetype desde = 0;
    for (qsizetype comilla = texto.indexOf(u'\''); comilla >= 0;
         comilla = texto.indexOf(u'\'', desde)) {
        destino += texto.mid(desde, comilla - desde + 1);
        destino += u'\'';
        desde = comilla + 1;
    }
    destino += texto.mid(desde);
}

QString DuplicarComillas(QStringView texto) {
    QString resultado;
    resultado.reserve(texto.size() + 2);
    AgregarConComillasDobladas(resultado, texto);
    return resultado;
}

QString Contar(int n, QStringView singular, QStringView plural) {
    return QString::number(n) + u' ' + (n == 1 ? singular : plural).toString();
}

QString Recortar(QStringView texto) {
    return SinEspacios(texto).toString();
}

double Val(QStringView texto) {
    QString limpio;
    limpio.reserve(texto.size());
    for (QChar c : texto)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            limpio += c;

    if (limpio.size() >= 2 && limpio[0] == u'&') {
        const QChar base = limpio[1].toUpper();
        const int radix = base == u'H' ? 16 : base == u'O' ? 8 : 0;
        if (radix) {
            quint64 valor = 0;
            for (qsizetype i = 2; i < limpio.size() && valor <= 0xFFFFFFFFULL; ++i) {
                const int d = QStringView(limpio).mid(i, 1).toInt(nullptr, 16);
                const bool digito = limpio[i].unicode() < 128 && limpio[i].isLetterOrNumber() &&
                                    (d > 0 || limpio[i] == u'0') && d < radix;
                if (!digito)
                    break;
                valor = valor * radix + quint64(d);
            }
            if (valor > 0xFFFFFFFFULL)
                throw Falla::Desbordamiento(texto.toString());
            // Hexadecimal and octal literals are 16- or 32-bit signed numbers.
            if (valor <= 0xFFFF)
                return double(qint16(quint16(valor)));
            return double(qint32(quint32(valor)));
        }
    }

    qsizetype i = 0;
    const qsizetype n = limpio.size();
    QString numero;
    if (i < n && (limpio[i] == u'+' || limpio[i] == u'-'))
        numero += limpio[i++];
    qsizetype digitos = 0;
    while (i < n && limpio[i].isDigit() && limpio[i].unicode() < 128) {
        numero += limpio[i++];
        ++digitos;
    }
    if (i < n && limpio[i] == u'.') {
        numero += limpio[i++];
        while (i < n && limpio[i].isDigit() && limpio[i].unicode() < 128) {
            numero += limpio[i++];
            ++digitos;
        }
    }
    if (digitos == 0)
        return 0;
    if (i < n && (limpio[i] == u'e' || limpio[i] == u'E' || limpio[i] == u'd' ||
                  limpio[i] == u'D')) {
        QString exponente = QStringLiteral("e");
        qsizetype j = i + 1;
        if (j < n && (limpio[j] == u'+' || limpio[j] == u'-'))
            exponente += limpio[j++];
        qsizetype cifras = 0;
        while (j < n && limpio[j].isDigit() && limpio[j].unicode() < 128) {
            exponente += limpio[j++];
            ++cifras;
        }
        if (cifras)
            numero += exponente;
    }
    const double valor = numero.toDouble();
    if (!std::isfinite(valor))
        throw Falla::Desbordamiento(texto.toString());
    return valor;
}

bool IgualesSinMayusculas(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace Cadenas
