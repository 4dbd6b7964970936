#include "SentenciasPreparadas.h"

#include "Falla.h"

#include <cstring>
#include <sqlite3.h>

namespace {

constexpr int MaximoPreparadas = 64;

class Lector {
public:
    explicit Lector(const QByteArray& texto)
        : p_(texto.constData()), fin_(texto.constData() + texto.size()) {}

    void Blancos() {
        while (p_ < fin_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n'))
            ++p_;
    }
    bool Fin() const { return p_ >= fin_; }
    char Actual() const { return p_ < fin_ ? *p_ : '\0'; }
    bool Caracter(char c) {
        Blancos();
        if (Actual() != c)
            return false;
        ++p_;
        return true;
    }
    static bool DeIdentificador(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '$' || (static_cast<unsigned char>(c) >= 0x80);
    }
    // A keyword, in any case, not followed by more of an identifier.
    bool Palabra(const char* palabra) {
        Blancos();
        const char* q = p_;
        for (; *palabra; ++palabra, ++q)
            if (q >= fin_ || (*q | 0x20) != (*palabra | 0x20))
                return false;
        if (q < fin_ && DeIdentificador(*q))
            return false;
        p_ = q;
        return true;
    }
    std::optional<QByteArrayView> Identificador() {
        Blancos();
        const char* inicio = p_;
        if (Fin() || !DeIdentificador(*p_) || (*p_ >= '0' && *p_ <= '9'))
            return std::nullopt;
        while (p_ < fin_ && DeIdentificador(*p_))
            ++p_;
        return QByteArrayView(inicio, p_ - inicio);
    }
    std::optional<SentenciasPreparadas::Literal> Literal() {
        using L = SentenciasPreparadas::Literal;
        Blancos();
        L literal;
        if (Actual() == '\'') {
            ++p_;
            literal.tipo = L::Tipo::Texto;
            const char* inicio = p_;
            for (;;) {
                const char* comilla = static_cast<const char*>(memchr(p_, '\'', size_t(fin_ - p_)));
                if (!comilla)
                    return std::nullopt;
                if (comilla + 1 < fin_ && comilla[1] == '\'') {
                    // A doubled quote: the text needs a copy of its own with one of them.
                    literal.propio.append(p_, comilla - p_ + 1);
                    p_ = comilla + 2;
                    continue;
                }
                if (literal.propio.isNull()) {
                    literal.texto = QByteArrayView(inicio, comilla - inicio);
                } else {
                    literal.propio.append(p_, comilla - p_);
                    literal.texto = literal.propio;
                }
                p_ = comilla + 1;
                return literal;
            }
        }
        if (Palabra("NULL"))
            return literal;
        const char* inicio = p_;
        if (Actual() == '-' || Actual() == '+')
            ++p_;
        int cifras = 0;
        bool entero = true;
        while (p_ < fin_ && *p_ >= '0' && *p_ <= '9') {
            ++p_;
            ++cifras;
        }
        if (Actual() == '.') {
            entero = false;
            ++p_;
            while (p_ < fin_ && *p_ >= '0' && *p_ <= '9') {
                ++p_;
                ++cifras;
            }
        }
        if (cifras == 0)
            return std::nullopt;
        if (Actual() == 'e' || Actual() == 'E') {
            entero = false;
            ++p_;
            if (Actual() == '-' || Actual() == '+')
                ++p_;
            int exponente = 0;
            while (p_ < fin_ && *p_ >= '0' && *p_ <= '9') {
                ++p_;
                ++exponente;
            }
            if (exponente == 0)
                return std::nullopt;
        }
        if (!Fin() && DeIdentificador(*p_))
            return std::nullopt;
        literal.texto = QByteArrayView(inicio, p_ - inicio);
        if (entero) {
            bool cabe = false;
            literal.entero = literal.texto.toLongLong(&cabe);
            if (cabe) {
                literal.tipo = L::Tipo::Entero;
                return literal;
            }
        }
        // Not whole, or too large to be: the engine reads it as a floating number.
        literal.tipo = L::Tipo::Real;
        return literal;
    }

private:
    const char* p_;
    const char* fin_;
};

} // namespace

SentenciasPreparadas::~SentenciasPreparadas() {
    Vaciar();
}

void SentenciasPreparadas::Usar(sqlite3* base) {
    if (base != base_)
        Vaciar();
    base_ = base;
}

void SentenciasPreparadas::Vaciar() {
    for (sqlite3_stmt* s : std::as_const(preparadas_))
        sqlite3_finalize(s);
    preparadas_.clear();
}

std::optional<SentenciasPreparadas::Forma> SentenciasPreparadas::Descomponer(const QByteArray& sql) {
    Forma forma;
    forma.fuente = sql;
    Lector l(forma.fuente);
    if (!l.Palabra("INSERT") || !l.Palabra("INTO"))
        return std::nullopt;
    const auto tabla = l.Identificador();
    if (!tabla || !l.Caracter('('))
        return std::nullopt;
    forma.texto.reserve(sql.size());
    forma.valores.reserve(16);
    forma.texto.append("INSERT INTO ").append(*tabla).append(" (");
    int columnas = 0;
    do {
        const auto columna = l.Identificador();
        if (!columna)
            return std::nullopt;
        if (columnas++)
            forma.texto.append(',');
        forma.texto.append(*columna);
    } while (l.Caracter(','));
    if (!l.Caracter(')') || !l.Palabra("VALUES") || !l.Caracter('('))
        return std::nullopt;
    forma.texto += ") VALUES (";
    do {
        const auto literal = l.Literal();
        if (!literal)
            return std::nullopt;
        if (!forma.valores.isEmpty())
            forma.texto += ',';
        forma.texto.append(literal->tipo == Literal::Tipo::Real ? "CAST(? AS REAL)" : "?");
        forma.valores.append(std::move(*literal));
    } while (l.Caracter(','));
    if (!l.Caracter(')'))
        return std::nullopt;
    l.Caracter(';');
    l.Blancos();
    if (!l.Fin() || forma.valores.size() != columnas)
        return std::nullopt;
    forma.texto += ')';
    return forma;
}

sqlite3_stmt* SentenciasPreparadas::Preparada(const QByteArray& forma) {
    if (sqlite3_stmt* s = preparadas_.value(forma))
        return s;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(base_, forma.constData(), int(forma.size()), SQLITE_PREPARE_PERSISTENT,
                           &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return nullptr;
    }
    if (preparadas_.size() >= MaximoPreparadas)
        Vaciar();
    preparadas_.insert(forma, s);
    return s;
}

bool SentenciasPreparadas::Ejecutar(const QByteArray& sql, int& cambios) {
    if (!base_)
        return false;
    const auto forma = Descomponer(sql);
    if (!forma)
        return false;
    sqlite3_stmt* s = Preparada(forma->texto);
    if (!s)
        return false;
    for (int i = 0; i < forma->valores.size(); ++i) {
        const Literal& v = forma->valores[i];
        switch (v.tipo) {
        case Literal::Tipo::Nulo:
            sqlite3_bind_null(s, i + 1);
            break;
        case Literal::Tipo::Entero:
            sqlite3_bind_int64(s, i + 1, v.entero);
            break;
        case Literal::Tipo::Real:
        case Literal::Tipo::Texto:
            sqlite3_bind_text(s, i + 1, v.texto.constData(), int(v.texto.size()), SQLITE_STATIC);
            break;
        }
    }
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) {
        const QString mensaje = QString::fromUtf8(sqlite3_errmsg(base_));
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        throw Falla::BaseDeDatos(mensaje);
    }
    cambios = sqlite3_changes(base_);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return true;
}
