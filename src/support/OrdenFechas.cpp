#include "OrdenFechas.h"

#include <cstddef>
#include <cstring>

namespace OrdenFechas {
namespace {

// Days from 0001-01-01 for a proleptic Gregorian date.
long long DiasDesdeCivil(int anio, int mes, int dia) {
    anio -= mes <= 2;
    const long long era = (anio >= 0 ? anio : anio - 399) / 400;
    const unsigned yoe = unsigned(anio - era * 400);
    const unsigned doy = unsigned((153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468 + 719162;
}

bool Bisiesto(int anio) {
    return (anio % 4 == 0 && anio % 100 != 0) || anio % 400 == 0;
}

int DiasDelMes(int anio, int mes) {
    static const int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return mes == 2 && Bisiesto(anio) ? 29 : dias[mes - 1];
}

struct Lector {
    const char* p;
    const char* fin;

    bool Fin() const { return p >= fin; }
    // Reads 1..maximo digits; gives how many were read.
    int Digitos(int maximo, int& valor) {
        int n = 0;
        valor = 0;
        while (p < fin && n < maximo && *p >= '0' && *p <= '9') {
            valor = valor * 10 + (*p - '0');
            ++p;
            ++n;
        }
        return n;
    }
    bool Caracter(char c) {
        if (p < fin && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
};

// "hh:mm[:ss[.fff...]]" after the date; nothing at all is midnight.
bool LeerHora(Lector& l, Milisegundos& ms) {
    ms = 0;
    if (l.Fin())
        return true;
    if (!(l.Caracter(' ') || l.Caracter('T')))
        return false;
    while (l.Caracter(' ')) {
    }
    if (l.Fin())
        return true;
    int hora = 0, minuto = 0, segundo = 0, fraccion = 0;
    if (l.Digitos(2, hora) == 0 || !l.Caracter(':') || l.Digitos(2, minuto) != 2)
        return false;
    if (l.Caracter(':')) {
        if (l.Digitos(2, segundo) != 2)
            return false;
        if (l.Caracter('.')) {
            int cifras = 0;
            int digito = 0;
            while (!l.Fin() && *l.p >= '0' && *l.p <= '9') {
                l.Digitos(1, digito);
                if (cifras < 3)
                    fraccion = fraccion * 10 + digito;
                ++cifras;
            }
            if (cifras == 0)
                return false;
            for (int i = cifras; i < 3; ++i)
                fraccion *= 10;
        }
    }
    if (!l.Fin() || hora > 23 || minuto > 59 || segundo > 59)
        return false;
    ms = ((Milisegundos(hora) * 60 + minuto) * 60 + segundo) * 1000 + fraccion;
    return true;
}

} // namespace

std::optional<Milisegundos> Instante(const char* texto, int largo) {
    const char* inicio = texto;
    const char* fin = texto + largo;
    while (inicio < fin && *inicio == ' ')
        ++inicio;
    while (fin > inicio && fin[-1] == ' ')
        --fin;
    Lector l{inicio, fin};

    int anio = 0, mes = 0, dia = 0;
    int primero = 0;
    const int cifras = l.Digitos(8, primero);
    if (cifras == 8) {
        anio = primero / 10000;
        mes = primero / 100 % 100;
        dia = primero % 100;
    } else if (cifras == 4) {
        if (!l.Caracter('-') || l.Digitos(2, mes) == 0 || !l.Caracter('-') ||
            l.Digitos(2, dia) == 0)
            return std::nullopt;
        anio = primero;
    } else if (cifras == 1 || cifras == 2) {
        dia = primero;
        char separador = l.Fin() ? '\0' : *l.p;
        if (separador != '/' && separador != '-' && separador != '.')
            return std::nullopt;
        ++l.p;
        if (l.Digitos(2, mes) == 0 || !l.Caracter(separador))
            return std::nullopt;
        const int cifrasAnio = l.Digitos(4, anio);
        if (cifrasAnio == 2)
            anio += anio < 50 ? 2000 : 1900;
        else if (cifrasAnio != 4)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (anio < 1 || mes < 1 || mes > 12 || dia < 1 || dia > DiasDelMes(anio, mes))
        return std::nullopt;
    Milisegundos ms = 0;
    if (!LeerHora(l, ms))
        return std::nullopt;
    return DiasDesdeCivil(anio, mes, dia) * 86400000LL + ms;
}

int Comparar(const char* a, int largoA, const char* b, int largoB) {
    const auto ia = Instante(a, largoA);
    const auto ib = Instante(b, largoB);
    if (ia && ib)
        return *ia < *ib ? -1 : *ia > *ib ? 1 : 0;
    if (ia)
        return -1;
    if (ib)
        return 1;
    const int comun = largoA < largoB ? largoA : largoB;
    const int c = comun ? std::memcmp(a, b, std::size_t(comun)) : 0;
    if (c)
        return c < 0 ? -1 : 1;
    return largoA < largoB ? -1 : largoA > largoB ? 1 : 0;
}

int CompararParaSqlite(void*, int largoA, const void* a, int largoB, const void* b) {
    return Comparar(static_cast<const char*>(a), largoA, static_cast<const char*>(b), largoB);
}

} // namespace OrdenFechas
