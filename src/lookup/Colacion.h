#pragma once

#include <QCollator>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <vector>

class TextosColumna;

// Texts compared as the user's locale orders them, without regard to case ("Ácido" and
// "Ñandú" among the a's and after the n's, not after "zeta"), for sorting, prefix search and
// name matching alike.
//
// Asking the collator for every comparison is too slow for a list of a million rows. For the
// characters most lists hold (Latin letters with or without accents, digits, punctuation)
// the collator's order is taken once into a table: each character's letter (what decides
// first) and its accent (what decides only between texts of the same letters). A text made
// of such characters then compares as its letters and, on a tie, its accents, which is what
// the collator says, without asking it. A table that disagrees with the collator on a check
// of its own is not used; any text with another character is compared by the collator.
class Colacion {
public:
    // For the present default locale (QLocale()).
    static const Colacion& Actual();
    // The locale Actual compares by ("C" stands for Spanish).
    static QLocale LocalActual();
    explicit Colacion(const QLocale& local);

    int Comparar(QStringView a, QStringView b) const;
    bool Iguales(QStringView a, QStringView b) const { return Comparar(a, b) == 0; }
    // Whether the first characters of texto, as many as prefijo has, equal prefijo.
    bool EmpiezaCon(QStringView texto, QStringView prefijo) const;

    // A prefix looked for in many texts, with what can be worked out once.
    struct Prefijo {
        QStringView texto;
        // Every character in the table, and the last one not a blank.
        bool rapido = false;
    };
    Prefijo Preparar(QStringView prefijo) const;
    // The same answer as EmpiezaCon(Cadenas::SinEspacios(texto), prefijo.texto), quicker: the
    // characters both have alike are passed over without the table, and the blanks at the
    // end of the text are not looked for.
    bool EmpiezaSinEspaciosCon(QStringView texto, const Prefijo& prefijo) const;

    // The place of every cell of a column in its order: equal texts have equal places, and
    // the places go from 0 without gaps.
    struct Orden {
        std::vector<std::uint32_t> rangos;
        // Whether the places come from the table (so that PrimerosComparados agrees with them).
        bool porTabla = false;
    };
    Orden Ordenar(const TextosColumna& textos) const;

    // Whether every character of the text is in the table.
    bool EnTabla(QStringView texto) const;
    // The letters of the first characters of texto, as many as prefijo has, against those of
    // prefijo: <0, 0, >0 (a shorter text that agrees is less). Both in the table.
    int PrimerosComparados(QStringView texto, QStringView prefijo) const;

    bool TablaEnUso() const { return tablaEnUso_; }

private:
    static constexpr char16_t Limite = 0x180;
    // A character's letter, 1 to 255, and its accent within the letter; letra 0: not in the
    // table.
    struct Lugar {
        std::uint8_t letra = 0;
        std::uint8_t acento = 0;
    };
    Lugar En(char16_t c) const { return c < Limite ? lugares_[c] : Lugar{}; }
    void ArmarTabla();
    bool TablaCoincide() const;
    // The comparable form of a text: its letters, a 0, its accents; false if a character is
    // not in the table.
    bool Clave(QStringView texto, std::vector<std::uint8_t>& destino) const;
    Orden OrdenarPorTabla(const TextosColumna& textos) const;
    Orden OrdenarPorColador(const TextosColumna& textos) const;

    QCollator colador_;
    std::array<Lugar, Limite> lugares_{};
    bool tablaEnUso_ = false;
};
