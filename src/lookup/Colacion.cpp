#include "Colacion.h"

#include "Cadenas.h"
#include "TextosColumna.h"

#include <QLocale>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>

namespace {

// The characters the table may hold: printable ASCII; Latin letters made of an ASCII letter
// and accents (á, Ñ, ç, ...); ª º ¹ ² ³, which the collator takes for the letter or digit
// they are written as; and the symbols of Latin-1 that are no letters (° ¿ ¡ « » ...).
// Letters of their own (ß, æ, ø, ...) may count as two letters or as one: the collator
// decides for texts that hold them.
bool Candidato(char16_t c) {
    if (c >= 0x20 && c < 0x7F)
        return true;
    if (c < 0xA1 || c >= 0x180)
        return false;
    const QChar q(c);
    if (!q.isPrint() || q.isMark())
        return false;
    switch (q.decompositionTag()) {
    case QChar::NoDecomposition:
        return !q.isLetter();
    case QChar::Canonical: {
        const QString d = QString(q).normalized(QString::NormalizationForm_D);
        if (d.isEmpty() || d[0].unicode() >= 0x7F || !d[0].isLetter())
            return false;
        return std::all_of(d.begin() + 1, d.end(), [](QChar m) { return m.isMark(); });
    }
    case QChar::Super: {
        const QString d = q.decomposition();
        return d.size() == 1 && d[0].unicode() < 0x7F && d[0].isLetterOrNumber();
    }
    default:
        return false;
    }
}

QLocale LocalDeComparacion() {
    const QLocale local;
    // "C" asks for no language's order; the program's language is Spanish, and its users
    // expect "Ácido" among the a's.
    if (local.language() == QLocale::C)
        return QLocale(QLocale::Spanish, QLocale::Argentina);
    return local;
}

int Signo(int v) {
    return (v > 0) - (v < 0);
}

} // namespace

const Colacion& Colacion::Actual() {
    static std::unique_ptr<Colacion> actual;
    static QString nombre;
    const QLocale local = LocalDeComparacion();
    if (!actual || nombre != local.bcp47Name()) {
        actual = std::make_unique<Colacion>(local);
        nombre = local.bcp47Name();
    }
    return *actual;
}

QLocale Colacion::LocalActual() {
    return LocalDeComparacion();
}

Colacion::Colacion(const QLocale& local) : colador_(local) {
    colador_.setCaseSensitivity(Qt::CaseInsensitive);
    ArmarTabla();
    tablaEnUso_ = TablaCoincide();
}

void Colacion::ArmarTabla() {
    std::vector<char16_t> caracteres;
    for (char16_t c = 0; c < Limite; ++c)
        if (Candidato(c) && colador_.compare(QStringView(&c, 1), QStringView()) != 0)
            caracteres.push_back(c);
    auto uno = [](const char16_t& c) { return QStringView(&c, 1); };
    std::stable_sort(caracteres.begin(), caracteres.end(), [&](const char16_t& a, const char16_t& b) {
        return colador_.compare(uno(a), uno(b)) < 0;
    });
    int letra = 0, acento = 0;
    for (std::size_t i = 0; i < caracteres.size(); ++i) {
        const char16_t c = caracteres[i];
        if (i == 0) {
            letra = acento = 1;
        } else {
            const char16_t antes = caracteres[i - 1];
            // Two characters are the same letter when the next letter decides between them:
            // "áb" comes after "aa" only if á and a are one letter.
            const QString a = QString(QChar(antes)) + u'b';
            const QString b = QString(QChar(c)) + u'a';
            if (colador_.compare(a, b) < 0) {
                ++letra;
                acento = 1;
            } else if (colador_.compare(uno(antes), uno(c)) != 0) {
                ++acento;
            }
        }
        if (letra > 255 || acento > 255) {
            lugares_ = {};
            return;
        }
        lugares_[c] = {std::uint8_t(letra), std::uint8_t(acento)};
    }
}

bool Colacion::Clave(QStringView texto, std::vector<std::uint8_t>& destino) const {
    const std::size_t inicio = destino.size();
    for (QChar c : texto) {
        const Lugar l = En(c.unicode());
        if (!l.letra) {
            destino.resize(inicio);
            return false;
        }
        destino.push_back(l.letra);
    }
    destino.push_back(0);
    for (QChar c : texto)
        destino.push_back(En(c.unicode()).acento);
    return true;
}

bool Colacion::EnTabla(QStringView texto) const {
    return std::all_of(texto.begin(), texto.end(), [this](QChar c) { return En(c.unicode()).letra != 0; });
}

// The table is used only when it orders texts as the collator does: every pair of two
// characters of a sample with the letters, accents and signs that lists hold, and random
// texts of any characters of the table.
bool Colacion::TablaCoincide() const {
    if (!En(u'a').letra)
        return false;
    auto porTabla = [this](QStringView a, QStringView b) {
        std::vector<std::uint8_t> x, y;
        if (!Clave(a, x) || !Clave(b, y))
            return 2;
        if (x == y)
            return 0;
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end()) ? -1 : 1;
    };
    const QString muestra = QStringLiteral("abcdefghijklmnopqrstuvwxyzñáéüç0159 -.'/");
    QStringList pares;
    for (QChar a : muestra)
        for (QChar b : muestra)
            pares << QString(a) + b;
    std::sort(pares.begin(), pares.end(), [this](const QString& a, const QString& b) {
        return colador_.compare(a, b) < 0;
    });
    for (qsizetype i = 1; i < pares.size(); ++i)
        if (porTabla(pares[i - 1], pares[i]) != Signo(colador_.compare(pares[i - 1], pares[i])))
            return false;

    std::vector<char16_t> caracteres;
    for (char16_t c = 0; c < Limite; ++c)
        if (En(c).letra)
            caracteres.push_back(c);
    std::mt19937 azar(1440);
    auto texto = [&] {
        QString t;
        const int largo = int(azar() % 6);
        for (int i = 0; i < largo; ++i)
            t += QChar(caracteres[azar() % caracteres.size()]);
        return t;
    };
    for (int i = 0; i < 2000; ++i) {
        const QString a = texto();
        QString b = a.left(int(azar() % (a.size() + 1))) + texto();
        if (porTabla(a, b) != Signo(colador_.compare(a, b)))
            return false;
    }
    return true;
}

int Colacion::Comparar(QStringView a, QStringView b) const {
    if (tablaEnUso_ && EnTabla(a) && EnTabla(b)) {
        const qsizetype n = std::min(a.size(), b.size());
        for (qsizetype i = 0; i < n; ++i)
            if (const int d = En(a[i].unicode()).letra - En(b[i].unicode()).letra)
                return Signo(d);
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
        for (qsizetype i = 0; i < n; ++i)
            if (const int d = En(a[i].unicode()).acento - En(b[i].unicode()).acento)
                return Signo(d);
        return 0;
    }
    return Signo(colador_.compare(a, b));
}

bool Colacion::EmpiezaCon(QStringView texto, QStringView prefijo) const {
    const qsizetype n = prefijo.size();
    if (texto.size() < n)
        return false;
    const QStringView inicio = texto.left(n);
    if (tablaEnUso_) {
        qsizetype i = 0;
        for (; i < n; ++i) {
            const Lugar x = En(inicio[i].unicode());
            const Lugar y = En(prefijo[i].unicode());
            if (!x.letra || !y.letra)
                break;
            if (x.letra != y.letra || x.acento != y.acento) {
                // An accent written apart, further on, could still make them equal.
                if (EnTabla(inicio.mid(i + 1)) && EnTabla(prefijo.mid(i + 1)))
                    return false;
                break;
            }
        }
        if (i == n)
            return true;
    }
    return colador_.compare(inicio, prefijo) == 0;
}

Colacion::Prefijo Colacion::Preparar(QStringView prefijo) const {
    Prefijo p;
    p.texto = prefijo;
    // A prefix that ends in a blank could match the blanks a trimmed text no longer has: such
    // a search takes the long way.
    p.rapido = tablaEnUso_ && !prefijo.isEmpty() && EnTabla(prefijo) &&
               (En(prefijo.back().unicode()).letra != En(u' ').letra ||
                En(prefijo.back().unicode()).acento != En(u' ').acento);
    return p;
}

bool Colacion::EmpiezaSinEspaciosCon(QStringView texto, const Prefijo& p) const {
    if (!p.rapido)
        return EmpiezaCon(Cadenas::SinEspacios(texto), p.texto);
    qsizetype desde = 0;
    while (desde < texto.size() && texto[desde] == u' ')
        ++desde;
    const qsizetype n = p.texto.size();
    if (texto.size() - desde < n)
        return false;
    // A match ends in a character that is not a blank, so the text's own trailing blanks lie
    // beyond it and trimming them changes nothing.
    const char16_t* a = texto.utf16() + desde;
    const char16_t* b = p.texto.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        const Lugar x = En(a[i]);
        if (!x.letra)
            return EmpiezaCon(Cadenas::SinEspacios(texto), p.texto);
        const Lugar y = En(b[i]);
        if (x.letra == y.letra && x.acento == y.acento)
            continue;
        // An accent written apart, further on, could still make them equal.
        if (EnTabla(QStringView(a + i + 1, n - i - 1)))
            return false;
        return EmpiezaCon(Cadenas::SinEspacios(texto), p.texto);
    }
    return true;
}

int Colacion::PrimerosComparados(QStringView texto, QStringView prefijo) const {
    const qsizetype n = std::min(texto.size(), prefijo.size());
    for (qsizetype i = 0; i < n; ++i)
        if (const int d = En(texto[i].unicode()).letra - En(prefijo[i].unicode()).letra)
            return Signo(d);
    return texto.size() < prefijo.size() ? -1 : 0;
}

Colacion::Orden Colacion::Ordenar(const TextosColumna& textos) const {
    if (tablaEnUso_) {
        Orden orden = OrdenarPorTabla(textos);
        if (orden.porTabla)
            return orden;
    }
    return OrdenarPorColador(textos);
}

Colacion::Orden Colacion::OrdenarPorTabla(const TextosColumna& textos) const {
    const std::size_t filas = textos.Cantidad();
    std::size_t total = 0;
    for (std::size_t f = 0; f < filas; ++f)
        total += 2 * std::size_t(textos.Vista(f).size()) + 1;
    // Offsets of 32 bits halve what a million rows need; a column of more than 4 GB of keys
    // is left to the collator.
    if (total > UINT32_MAX)
        return {};
    std::vector<std::uint8_t> claves;
    claves.reserve(total);
    std::vector<std::uint32_t> inicio(filas + 1);
    for (std::size_t f = 0; f < filas; ++f) {
        inicio[f] = std::uint32_t(claves.size());
        if (!Clave(textos.Vista(f), claves))
            return {};
    }
    inicio[filas] = std::uint32_t(claves.size());
    auto largo = [&](std::uint32_t f) { return std::size_t(inicio[f + 1] - inicio[f]); };

    // What every key begins with decides nothing: each row carries the eight bytes after it,
    // so that most comparisons read only the array being sorted.
    std::size_t comun = filas ? largo(0) : 0;
    for (std::size_t f = 1; f < filas && comun > 0; ++f) {
        const std::size_t n = std::min(comun, largo(std::uint32_t(f)));
        comun = std::size_t(std::mismatch(claves.data() + inicio[0], claves.data() + inicio[0] + n,
                                          claves.data() + inicio[f])
                                .first -
                            (claves.data() + inicio[0]));
    }
    // Twelve bytes a row rather than sixteen: the sort moves fewer, and a million rows take
    // less at the moment the list is loaded.
#pragma pack(push, 4)
    struct Entrada {
        std::uint64_t prefijo;
        std::uint32_t fila;
    };
#pragma pack(pop)
    static_assert(sizeof(Entrada) == 12);
    std::vector<Entrada> entradas(filas);
    for (std::size_t f = 0; f < filas; ++f) {
        std::uint64_t p = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const std::size_t j = comun + k;
            p = (p << 8) | (j < largo(std::uint32_t(f)) ? claves[inicio[f] + j] : 0);
        }
        entradas[f] = {p, std::uint32_t(f)};
    }
    auto resto = [&](std::uint32_t a, std::uint32_t b) {
        const std::size_t desde = comun + 8, la = largo(a), lb = largo(b);
        if (la > desde && lb > desde)
            if (const int d = std::memcmp(claves.data() + inicio[a] + desde, claves.data() + inicio[b] + desde,
                                          std::min(la, lb) - desde))
                return Signo(d);
        return la < lb ? -1 : (la > lb ? 1 : 0);
    };
    auto menor = [&](const Entrada& a, const Entrada& b) {
        if (a.prefijo != b.prefijo)
            return a.prefijo < b.prefijo;
        return resto(a.fila, b.fila) < 0;
    };
    std::sort(entradas.begin(), entradas.end(), menor);

    Orden orden;
    orden.porTabla = true;
    orden.rangos.resize(filas);
    std::uint32_t rango = 0;
    for (std::size_t i = 0; i < filas; ++i) {
        if (i > 0 && menor(entradas[i - 1], entradas[i]))
            ++rango;
        orden.rangos[entradas[i].fila] = rango;
    }
    return orden;
}

Colacion::Orden Colacion::OrdenarPorColador(const TextosColumna& textos) const {
    const std::size_t filas = textos.Cantidad();
    std::vector<QCollatorSortKey> claves;
    claves.reserve(filas);
    for (std::size_t f = 0; f < filas; ++f)
        claves.push_back(colador_.sortKey(textos.Vista(f).toString()));
    std::vector<std::uint32_t> indices(filas);
    std::iota(indices.begin(), indices.end(), 0u);
    std::sort(indices.begin(), indices.end(),
              [&](std::uint32_t a, std::uint32_t b) { return claves[a].compare(claves[b]) < 0; });
    Orden orden;
    orden.rangos.resize(filas);
    std::uint32_t rango = 0;
    for (std::size_t i = 0; i < filas; ++i) {
        if (i > 0 && claves[indices[i - 1]].compare(claves[indices[i]]) != 0)
            ++rango;
        orden.rangos[indices[i]] = rango;
    }
    return orden;
}
