#include "Variant.h"

#include "Falla.h"

#include <cmath>
#include <limits>

Variant::Variant(const QDateTime& fecha)
    : valor_(QDateTime(fecha.date(), fecha.time(), Qt::UTC)) {}

Variant Variant::Nulo() {
    Variant v;
    v.valor_ = NuloT{};
    return v;
}

Variant Variant::Decimal(const QString& texto) {
    auto literal = NumeroLiteral(texto);
    if (!literal)
        throw Falla::TiposNoCoinciden(texto);
    Variant v;
    v.valor_ = DecimalT{*literal};
    return v;
}

Variant Variant::DecimalLeido(const QString& literal) {
    Variant v;
    v.valor_ = DecimalT{literal};
    return v;
}

Variant Variant::Fecha(const QDate& fecha, const QTime& hora) {
    return Variant(QDateTime(fecha, hora, Qt::UTC));
}

Variant::Tipo Variant::tipo() const {
    return static_cast<Tipo>(valor_.index());
}

bool Variant::EsNumerico() const {
    const auto t = tipo();
    return t == Tipo::Entero || t == Tipo::Doble || t == Tipo::Decimal;
}

namespace {
QString TextoDeDoble(double d) {
    if (d == 0)
        return QStringLiteral("0");
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

bool EsCeroDecimal(const QString& t) {
    for (QChar c : t) {
        if (c == u'e' || c == u'E')
            break;
        if (c.isDigit() && c != u'0')
            return false;
    }
    return true;
}
} // namespace

QString Variant::Texto() const {
    switch (tipo()) {
    case Tipo::Vacio:
        return {};
    case Tipo::Nulo:
        throw Falla::UsoNoValidoDeNull();
    case Tipo::Texto:
        return std::get<QString>(valor_);
    case Tipo::Entero:
        return QString::number(std::get<qint64>(valor_));
    case Tipo::Doble:
        return TextoDeDoble(std::get<double>(valor_));
    case Tipo::Decimal:
        return std::get<DecimalT>(valor_).texto;
    case Tipo::Booleano:
        return std::get<bool>(valor_) ? QStringLiteral("Verdadero") : QStringLiteral("Falso");
    case Tipo::Fecha: {
        const QDateTime& f = std::get<QDateTime>(valor_);
        if (f.time() == QTime(0, 0))
            return f.toString(QStringLiteral("dd/MM/yyyy"));
        return f.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    case Tipo::Objeto:
        throw Falla::TiposNoCoinciden();
    }
    return {};
}

qint64 Variant::Entero() const {
    switch (tipo()) {
    case Tipo::Vacio:
        return 0;
    case Tipo::Entero:
        return std::get<qint64>(valor_);
    case Tipo::Booleano:
        return std::get<bool>(valor_) ? -1 : 0;
    case Tipo::Nulo:
        throw Falla::UsoNoValidoDeNull();
    default: {
        const double d = Doble();
        const double r = std::nearbyint(d);
        if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
            throw Falla::Desbordamiento();
        return static_cast<qint64>(r);
    }
    }
}

double Variant::Doble() const {
    switch (tipo()) {
    case Tipo::Vacio:
        return 0;
    case Tipo::Nulo:
        throw Falla::UsoNoValidoDeNull();
    case Tipo::Entero:
        return double(std::get<qint64>(valor_));
    case Tipo::Doble:
        return std::get<double>(valor_);
    case Tipo::Decimal:
        return std::get<DecimalT>(valor_).texto.toDouble();
    case Tipo::Booleano:
        return std::get<bool>(valor_) ? -1 : 0;
    case Tipo::Texto: {
        auto literal = NumeroLiteral(std::get<QString>(valor_));
        if (!literal)
            throw Falla::TiposNoCoinciden(std::get<QString>(valor_));
        return literal->toDouble();
    }
    case Tipo::Fecha:
    case Tipo::Objeto:
        break;
    }
    throw Falla::TiposNoCoinciden();
}

bool Variant::Booleano() const {
    switch (tipo()) {
    case Tipo::Booleano:
        return std::get<bool>(valor_);
    case Tipo::Texto: {
        const QString t = std::get<QString>(valor_).trimmed();
        if (t.compare(QStringLiteral("Verdadero"), Qt::CaseInsensitive) == 0 ||
            t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QStringLiteral("Falso"), Qt::CaseInsensitive) == 0 ||
            t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
            return false;
        return Doble() != 0;
    }
    default:
        return Doble() != 0;
    }
}

QDateTime Variant::Fecha() const {
    if (tipo() == Tipo::Fecha)
        return std::get<QDateTime>(valor_);
    if (tipo() == Tipo::Nulo)
        throw Falla::UsoNoValidoDeNull();
    throw Falla::TiposNoCoinciden();
}

std::shared_ptr<Collection> Variant::Objeto() const {
    if (tipo() == Tipo::Objeto)
        return std::get<std::shared_ptr<Collection>>(valor_);
    if (tipo() == Tipo::Vacio)
        return nullptr;
    throw Falla::TiposNoCoinciden();
}

Variant Variant::Negado() const {
    switch (tipo()) {
    case Tipo::Vacio:
        return Variant(qint64(0));
    case Tipo::Nulo:
        return *this;
    case Tipo::Entero: {
        const qint64 n = std::get<qint64>(valor_);
        if (n == std::numeric_limits<qint64>::min())
            throw Falla::Desbordamiento();
        return Variant(-n);
    }
    case Tipo::Doble:
        return Variant(-std::get<double>(valor_));
    case Tipo::Booleano:
        return Variant(qint64(std::get<bool>(valor_) ? 1 : 0));
    case Tipo::Decimal:
    case Tipo::Texto: {
        const QString texto = tipo() == Tipo::Decimal ? std::get<DecimalT>(valor_).texto
                                                      : std::get<QString>(valor_);
        auto literal = NumeroLiteral(texto);
        if (!literal)
            throw Falla::TiposNoCoinciden(texto);
        Variant v;
        if (EsCeroDecimal(*literal))
            v.valor_ = DecimalT{literal->startsWith(u'-') ? literal->mid(1) : *literal};
        else if (literal->startsWith(u'-'))
            v.valor_ = DecimalT{literal->mid(1)};
        else
            v.valor_ = DecimalT{u'-' + *literal};
        return v;
    }
    case Tipo::Fecha:
    case Tipo::Objeto:
        break;
    }
    throw Falla::TiposNoCoinciden();
}

bool Variant::operator==(const Variant& otro) const {
    return valor_ == otro.valor_;
}

namespace {
// A number literal already in the form NumeroLiteral gives: sign, digits, point, digits.
bool EsLiteralSimple(QStringView t) {
    qsizetype i = t.startsWith(u'-') ? 1 : 0;
    qsizetype digitos = 0;
    bool punto = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= u'0' && t[i] <= u'9')
            ++digitos;
        else if (t[i] == u'.' && !punto)
            punto = true;
        else
            return false;
    }
    return digitos > 0;
}
} // namespace

std::optional<QString> Variant::NumeroLiteral(const QString& texto) {
    if (EsLiteralSimple(texto))
        return texto;
    return NumeroLiteral(QStringView(texto));
}

std::optional<QString> Variant::NumeroLiteral(QStringView texto) {
    qsizetype i = 0, n = texto.size();
    while (i < n && texto[i] == u' ')
        ++i;
    while (n > i && texto[n - 1] == u' ')
        --n;
    if (i == n)
        return std::nullopt;
    QString salida;
    salida.reserve(n - i);
    if (texto[i] == u'+' || texto[i] == u'-') {
        if (texto[i] == u'-')
            salida += u'-';
        ++i;
    }
    auto digitos = [&]() {
        qsizetype cuantos = 0;
        while (i < n && texto[i] >= u'0' && texto[i] <= u'9') {
            salida += texto[i++];
            ++cuantos;
        }
        return cuantos;
    };
    qsizetype mantisa = digitos();
    if (i < n && texto[i] == u'.') {
        salida += texto[i++];
        mantisa += digitos();
    }
    if (mantisa == 0)
        return std::nullopt;
    if (i < n && (texto[i] == u'e' || texto[i] == u'E')) {
        salida += texto[i++];
        if (i < n && (texto[i] == u'+' || texto[i] == u'-'))
            salida += texto[i++];
        if (digitos() == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    return salida;
}
