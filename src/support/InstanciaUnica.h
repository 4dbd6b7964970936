#pragma once

#include <memory>

// One process-wide instance of T, created on first use and released on request; after a
// release the next use creates a new one.
template <class T>
class InstanciaUnica {
public:
    static T& Instancia() {
        auto& p = Puntero();
        if (!p)
            p.reset(new T());
        return *p;
    }
    static bool InstanciaCreada() { return Puntero() != nullptr; }
    static void LiberarInstancia() { Puntero().reset(); }

protected:
    InstanciaUnica() = default;

private:
    static std::unique_ptr<T>& Puntero() {
        static std::unique_ptr<T> p;
        return p;
    }
};
