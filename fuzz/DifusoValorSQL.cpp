// Fuzzing of values turned into SQL literals, on a connection that is not open (literals as
// for a server) and on an embedded database, where each literal is also run in a SELECT.
//
// Input: byte 0 the kind of value (text, whole number, double, exact decimal, null, empty,
// date, boolean), byte 1 the length (0 to 7) of a mark text that follows it, then the bytes
// the value is made of. Every value goes through the marks "'" and "@" and the mark given.
#include "BaseEmbebida.h"
#include "ColacionFecha.h"
#include "Conexion.h"
#include "Difuso.h"
#include "Falla.h"
#include "Variant.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include "Recordset.h"
#include <QTemporaryDir>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

struct Entorno {
    QTemporaryDir carpeta;
    Conexion sinConectar;
    Conexion embebida;
};
Entorno* entorno = nullptr;

template <typename T>
T Leer(QByteArrayView bytes) {
    T valor{};
    if (!bytes.isEmpty())
        std::memcpy(&valor, bytes.data(), size_t(qMin(bytes.size(), qsizetype(sizeof(T)))));
    return valor;
}

Variant Valor(uint8_t tipo, QByteArrayView bytes) {
    const QString texto = QString::fromUtf8(bytes);
    switch (tipo % 8) {
    case 0:
        return texto;
    case 1:
        return Leer<qint64>(bytes);
    case 2:
        return Leer<double>(bytes); // NaN and infinities included
    case 3:
        return Variant::NumeroLiteral(texto) ? Variant::Decimal(texto) : Variant(texto);
    case 4:
        return Variant::Nulo();
    case 5:
        return Variant();
    case 6: {
        // Any day a server could hand back, years far outside 1..9999 included, the time to
        // the millisecond.
        const qint64 dia = Leer<qint32>(bytes);
        const quint32 ms = Leer<quint32>(bytes.size() > 4 ? bytes.sliced(4) : QByteArrayView()) %
                           86400000u;
        return Variant::Fecha(QDate(2000, 1, 1).addDays(dia),
                              QTime::fromMSecsSinceStartOfDay(int(ms)));
    }
    default:
        return !bytes.isEmpty() && (bytes[0] & 1);
    }
}

// The literal, or the number of the failure it gave.
struct Resultado {
    std::optional<QString> literal;
    long falla = 0;
    bool operator==(const Resultado&) const = default;
};

Resultado ValorSQL(const Conexion& c, const Variant& v, const QString& marca) {
    try {
        return {c.ValorSQL(v, marca), 0};
    } catch (const Falla& f) {
        return {std::nullopt, f.Numero()};
    }
}

QString Descripcion(const Variant& v) {
    static const char* const tipos[] = {"Vacio",   "Nulo",     "Texto", "Entero", "Doble",
                                        "Decimal", "Booleano", "Fecha", "Objeto"};
    QString d = QString::fromLatin1(tipos[int(v.tipo())]);
    if (!v.EsNulo())
        d += u':' + v.Texto();
    return d;
}

// A quoted text: quotes at both ends, every quote inside doubled, and nothing else changed.
bool EsTextoEntreComillas(const QString& literal, const QString& texto) {
    if (literal.size() < 2 || !literal.startsWith(u'\'') || !literal.endsWith(u'\''))
        return false;
    const QStringView dentro = QStringView(literal).mid(1, literal.size() - 2);
    QString original;
    for (qsizetype i = 0; i < dentro.size(); ++i) {
        original += dentro[i];
        if (dentro[i] == u'\'') {
            if (i + 1 >= dentro.size() || dentro[i + 1] != u'\'')
                return false;
            ++i;
        }
    }
    return original == texto;
}

// The literal run on the embedded database: one value, nothing after it.
std::optional<Variant> Seleccionar(const QString& literal) {
    try {
        RefRecordset rs;
        entorno->embebida.AbrirRecordset(QStringLiteral("SELECT ") + literal + QStringLiteral(", 7"), rs);
        if (rs->RecordCount() != 1 || rs->FieldCount() != 2 || rs->Fields(1).Value() != Variant(7))
            return std::nullopt;
        return rs->Fields(0).Value();
    } catch (const Falla&) {
        return std::nullopt;
    }
}

void BajoComilla(const Variant& v, const Resultado& r, bool embebida) {
    const QString d = Descripcion(v);
    // A date outside years 1..9999 has no four-digit literal: it must be refused, never
    // written as another day.
    if (v.tipo() == Variant::Tipo::Fecha) {
        const int anio = v.Fecha().date().year();
        const bool cabe = v.Fecha().isValid() && anio >= 1 && anio <= 9999;
        EXIGIR(cabe == bool(r.literal), d);
        if (!cabe) {
            EXIGIR(r.falla == Errores::Desbordamiento, d);
            return;
        }
    }
    // Texts, numbers, dates and null all have a quoted form.
    EXIGIR(r.literal, d);
    const QString& literal = *r.literal;
    if (v.EsNulo()) {
        EXIGIR(literal == QStringLiteral("NULL"), d, literal);
        return;
    }
    if (v.tipo() == Variant::Tipo::Fecha) {
        // A date the engine cannot misread, read back as the same moment.
        static const QRegularExpression servidor(
            QStringLiteral("^'(\\d{8}|\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d{3})?)'$"));
        static const QRegularExpression iso(
            QStringLiteral("^'\\d{4}-\\d\\d-\\d\\d( \\d\\d:\\d\\d:\\d\\d(\\.\\d{3})?)?'$"));
        EXIGIR((embebida ? iso : servidor).match(literal).hasMatch(), d, literal);
        const auto leida = ColacionFecha::LeerFecha(literal.mid(1, literal.size() - 2));
        EXIGIR(leida && leida->date() == v.Fecha().date() && leida->time() == v.Fecha().time(), d,
               literal);
        if (embebida) {
            const auto valor = Seleccionar(literal);
            EXIGIR(valor && valor->Texto() == literal.mid(1, literal.size() - 2), d, literal);
        }
        return;
    }
    const QString texto = v.Texto();
    EXIGIR(EsTextoEntreComillas(literal, texto), d, literal);
    // The engine reads back exactly the text (SQL text cannot hold the character 0).
    if (embebida && !texto.contains(QChar(0))) {
        const auto valor = Seleccionar(literal);
        EXIGIR(valor && valor->Texto() == texto, d, literal);
    }
}

void BajoNumero(const Variant& v, const Resultado& r, bool embebida) {
    const QString d = Descripcion(v);
    if (!r.literal) {
        // Refused: a value that is no number, or a double that is not finite.
        EXIGIR(r.falla == Errores::TiposNoCoinciden || r.falla == Errores::Desbordamiento, d);
        EXIGIR(r.falla != Errores::Desbordamiento || v.tipo() == Variant::Tipo::Doble, d);
        return;
    }
    const QString& literal = *r.literal;
    if (literal == QStringLiteral("NULL")) {
        EXIGIR(v.EsNulo(), d);
        return;
    }
    // A plain number literal: it is its own normal form (no blanks, no "+", no quotes).
    EXIGIR(Variant::NumeroLiteral(literal) == literal, d, literal);
    if (v.tipo() == Variant::Tipo::Entero)
        EXIGIR(literal == QString::number(v.Entero()), d, literal);
    if (v.tipo() == Variant::Tipo::Doble)
        EXIGIR(literal.toDouble() == v.Doble(), d, literal);
    if (embebida) {
        const auto valor = Seleccionar(literal);
        EXIGIR(valor && valor->EsNumerico(), d, literal);
    }
}

void Probar(const Variant& v, const QString& marca) {
    const Resultado comillaS = ValorSQL(entorno->sinConectar, v, Comilla);
    const Resultado comillaE = ValorSQL(entorno->embebida, v, Comilla);
    BajoComilla(v, comillaS, false);
    BajoComilla(v, comillaE, true);
    // Only dates are written differently for the two engines.
    if (v.tipo() != Variant::Tipo::Fecha)
        EXIGIR(comillaS == comillaE, Descripcion(v));

    const Resultado numeroS = ValorSQL(entorno->sinConectar, v, Numero);
    const Resultado numeroE = ValorSQL(entorno->embebida, v, Numero);
    BajoNumero(v, numeroS, false);
    BajoNumero(v, numeroE, true);
    EXIGIR(numeroS == numeroE, Descripcion(v));

    // Any other mark is refused, whatever the value.
    if (marca != Comilla && marca != Numero) {
        const Resultado otra = ValorSQL(entorno->sinConectar, v, marca);
        EXIGIR(!otra.literal && otra.falla == Errores::ArgumentoNoValido, Descripcion(v), marca);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char nombre[] = "difuso_valor_sql";
    static char* argv[] = {nombre, nullptr};
    static QCoreApplication aplicacion(argc, argv);
    entorno = new Entorno;
    const QString ruta = entorno->carpeta.filePath(QStringLiteral("difuso.db"));
    BaseEmbebida::Crear(ruta, 0);
    entorno->embebida.BaseDatos = ruta;
    entorno->embebida.Conectar(true, 3);
    if (!entorno->embebida.Conectada()) {
        std::fprintf(stderr, "No se abre la base embebida %s: %s\n", qPrintable(ruta),
                     qPrintable(entorno->embebida.UltimoError()));
        std::abort();
    }
    // Closed and removed at the end of the run, before Qt's own list of connections goes
    // (registered after the first connection made it, it runs before it).
    std::atexit([] { delete entorno; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo) {
    if (largo < 2)
        return 0;
    const size_t largoMarca = qMin<size_t>(datos[1] % 8, largo - 2);
    const QString marca =
        QString::fromUtf8(reinterpret_cast<const char*>(datos) + 2, qsizetype(largoMarca));
    const QByteArrayView bytes(datos + 2 + largoMarca, qsizetype(largo - 2 - largoMarca));
    Probar(Valor(datos[0], bytes), marca);
    return 0;
}
