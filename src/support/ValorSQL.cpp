#include "ValorSQL.h"

#include "Cadenas.h"
#include "Falla.h"

#include <cmath>

namespace {

void AgregarCifras(QString& destino, int valor, int cifras) {
    char texto[12];
    for (int i = cifras - 1; i >= 0; --i) {
        texto[i] = char('0' + valor % 10);
        valor /= 10;
    }
    destino.append(QLatin1StringView(texto, cifras));
}

// The date's text, without quotes.
void AgregarTextoDeFecha(QString& destino, const QDateTime& f, Dialecto dialecto) {
    const QDate d = f.date();
    const QTime t = f.time();
    if (!f.isValid())
        throw Falla::Desbordamiento(QStringLiteral("la fecha no es un día del calendario (infinity)"));
    if (!d.isValid() || !t.isValid() || d.year() < 1 || d.year() > 9999)
        throw Falla::Desbordamiento(QStringLiteral("la fecha no cabe entre los años 1 y 9999"));
    const bool embebido = dialecto == Dialecto::Embebido;
    const bool conHora = t != QTime(0, 0);
    destino.reserve(destino.size() + 24);
    AgregarCifras(destino, d.year(), 4);
    if (embebido || conHora)
        destino += u'-';
    AgregarCifras(destino, d.month(), 2);
    if (embebido || conHora)
        destino += u'-';
    AgregarCifras(destino, d.day(), 2);
    if (conHora) {
        destino += embebido ? u' ' : u'T';
        AgregarCifras(destino, t.hour(), 2);
        destino += u':';
        AgregarCifras(destino, t.minute(), 2);
        destino += u':';
        AgregarCifras(destino, t.second(), 2);
        if (t.msec()) {
            destino += u'.';
            AgregarCifras(destino, t.msec(), 3);
        }
    }
}

void AgregarFecha(QString& destino, const QDateTime& f, Dialecto dialecto) {
    destino += u'\'';
    AgregarTextoDeFecha(destino, f, dialecto);
    destino += u'\'';
}

void AgregarTexto(QString& destino, const Variant& valor, Dialecto dialecto) {
    using T = Variant::Tipo;
    switch (valor.tipo()) {
    case T::Nulo:
        destino += QLatin1StringView("NULL");
        return;
    case T::Fecha:
        AgregarFecha(destino, valor.Fecha(), dialecto);
        return;
    case T::Objeto:
        throw Falla::TiposNoCoinciden(QStringLiteral("un objeto no es un valor de texto"));
    default:
        destino += u'\'';
        Cadenas::AgregarConComillasDobladas(destino, valor.Texto());
        destino += u'\'';
        return;
    }
}

void AgregarNumero(QString& destino, const Variant& valor) {
    using T = Variant::Tipo;
    switch (valor.tipo()) {
    case T::Nulo:
        destino += QLatin1StringView("NULL");
        return;
    case T::Vacio:
        destino += u'0';
        return;
    case T::Entero:
    case T::Decimal:
        destino += valor.Texto();
        return;
    case T::Doble:
        if (!std::isfinite(valor.Doble()))
            throw Falla::Desbordamiento(QStringLiteral("el número no es finito"));
        destino += valor.Texto();
        return;
    case T::Booleano:
        destino += valor.Booleano() ? u'1' : u'0';
        return;
    case T::Texto: {
        const auto literal = Variant::NumeroLiteral(valor.Texto());
        if (!literal)
            throw Falla::TiposNoCoinciden(QStringLiteral("\"%1\" no es un número").arg(valor.Texto()));
        destino += *literal;
        return;
    }
    case T::Fecha:
    case T::Objeto:
        break;
    }
    throw Falla::TiposNoCoinciden(QStringLiteral("el valor no es un número"));
}

} // namespace

void AgregarValorSQL(QString& destino, const Variant& valor, QStringView marca, Dialecto dialecto) {
    if (marca == u"'")
        AgregarTexto(destino, valor, dialecto);
    else if (marca == u"@")
        AgregarNumero(destino, valor);
    else
        throw Falla::ArgumentoNoValido(
            QStringLiteral("marca de valor desconocida: %1").arg(marca.toString()));
}

ValorLigado Ligar(const Variant& valor, QStringView marca, Dialecto dialecto) {
    using T = Variant::Tipo;
    ValorLigado ligado;
    if (marca == u"'") {
        switch (valor.tipo()) {
        case T::Nulo:
            return ligado;
        case T::Fecha:
            ligado.tipo = ValorLigado::Tipo::Texto;
            AgregarTextoDeFecha(ligado.texto, valor.Fecha(), dialecto);
            return ligado;
        case T::Objeto:
            throw Falla::TiposNoCoinciden(QStringLiteral("un objeto no es un valor de texto"));
        default:
            ligado.tipo = ValorLigado::Tipo::Texto;
            ligado.texto = valor.Texto();
            return ligado;
        }
    }
    if (marca != u"@")
        throw Falla::ArgumentoNoValido(
            QStringLiteral("marca de valor desconocida: %1").arg(marca.toString()));
    switch (valor.tipo()) {
    case T::Nulo:
        return ligado;
    case T::Entero:
        ligado.tipo = ValorLigado::Tipo::Entero;
        ligado.entero = valor.Entero();
        return ligado;
    default:
        break;
    }
    QString cifras;
    AgregarNumero(cifras, valor);
    // The engine's tokenizer: digits alone are a whole number when they fit; anything with a
    // point or an exponent, or too large, is a floating one.
    bool entero = true;
    for (const QChar c : std::as_const(cifras))
        if (c == u'.' || c == u'e' || c == u'E')
            entero = false;
    if (entero) {
        bool cabe = false;
        ligado.entero = cifras.toLongLong(&cabe);
        if (cabe) {
            ligado.tipo = ValorLigado::Tipo::Entero;
            return ligado;
        }
    }
    ligado.tipo = ValorLigado::Tipo::Real;
    ligado.texto = std::move(cifras);
    return ligado;
}

QString ValorSQL(const Variant& valor, QStringView marca, Dialecto dialecto) {
    QString literal;
    AgregarValorSQL(literal, valor, marca, dialecto);
    return literal;
}
