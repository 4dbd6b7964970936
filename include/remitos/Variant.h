#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <variant>

class Collection;

// A tagged value as the family's code passes them around: empty, null, a text, a number
// (whole, floating or exact decimal), a boolean, a date or an object reference.
// Exact decimals keep the digits they were read with, so nothing is lost on the way back.
class Variant {
public:
    enum class Tipo { Vacio, Nulo, Texto, Entero, Doble, Decimal, Booleano, Fecha, Objeto };

    Variant() = default;
    Variant(const QString& texto) : valor_(texto) {}
    Variant(const char* texto) : valor_(QString::fromUtf8(texto)) {}
    Variant(qint64 entero) : valor_(entero) {}
    Variant(int entero) : valor_(qint64(entero)) {}
    Variant(double doble) : valor_(doble) {}
    Variant(bool booleano) : valor_(booleano) {}
    Variant(const QDateTime& fecha);
    Variant(std::shared_ptr<Collection> objeto) : valor_(std::move(objeto)) {}

    static Variant Nulo();
    // An exact decimal from its text ("-12.3400"); a text that is not a number is refused.
    static Variant Decimal(const QString& texto);
    // The same for a text already known to be a number literal in plain notation.
    static Variant DecimalLeido(const QString& literal);
    static Variant Fecha(const QDate& fecha, const QTime& hora = QTime(0, 0));

    Tipo tipo() const;
    bool EsVacio() const { return tipo() == Tipo::Vacio; }
    bool EsNulo() const { return tipo() == Tipo::Nulo; }
    bool EsNumerico() const;

    // The value as text, as the run-time converts it: empty gives "", null is refused.
    QString Texto() const;
    // A text value's own string, without a copy; null for any other kind.
    const QString* TextoGuardado() const { return std::get_if<QString>(&valor_); }
    qint64 Entero() const;
    double Doble() const;
    bool Booleano() const;
    QDateTime Fecha() const;
    std::shared_ptr<Collection> Objeto() const;

    // The value multiplied by -1; null stays null, exact decimals stay exact.
    Variant Negado() const;

    bool operator==(const Variant& otro) const;

    // A number literal in plain notation: optional sign, digits, optional point and digits,
    // optional exponent. Blanks around it are allowed. Gives it without the blanks and without
    // a leading "+", or nothing when the text is not such a number.
    static std::optional<QString> NumeroLiteral(QStringView texto);
    static std::optional<QString> NumeroLiteral(const QString& texto);

private:
    // (Compared by hand: the header is also read by callers built as C++17.)
    struct NuloT {
        bool operator==(const NuloT&) const { return true; }
    };
    struct DecimalT {
        QString texto;
        bool operator==(const DecimalT& otro) const { return texto == otro.texto; }
    };
    std::variant<std::monostate, NuloT, QString, qint64, double, DecimalT, bool, QDateTime,
                 std::shared_ptr<Collection>>
        valor_;
};
