#include "ProxyQueCorta.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int Conectar(int puerto) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in direccion{};
    direccion.sin_family = AF_INET;
    direccion.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    direccion.sin_port = htons(uint16_t(puerto));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&direccion), sizeof direccion) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// A program's connection and the one the relay opened to the server for it.
struct Par {
    int cliente;
    int servidor;
    // The COMMIT went through: the server's answer is swallowed and both sides closed.
    bool cortando = false;
    bool cerrado = false;

    void Cerrar() {
        if (cerrado)
            return;
        ::shutdown(cliente, SHUT_RDWR);
        ::close(cliente);
        ::close(servidor);
        cerrado = true;
    }
};

bool Pasar(int desde, int hacia, std::string_view* leido, char* buffer, size_t tamano) {
    const ssize_t n = ::recv(desde, buffer, tamano, 0);
    if (n <= 0)
        return false;
    *leido = std::string_view(buffer, size_t(n));
    if (hacia < 0)
        return true;
    for (ssize_t hecho = 0; hecho < n;) {
        const ssize_t m = ::send(hacia, buffer + hecho, size_t(n - hecho), MSG_NOSIGNAL);
        if (m <= 0)
            return false;
        hecho += m;
    }
    return true;
}

} // namespace

ProxyQueCorta::ProxyQueCorta(int puertoDelServidor) : servidor_(puertoDelServidor) {
    escucha_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in direccion{};
    direccion.sin_family = AF_INET;
    direccion.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t largo = sizeof direccion;
    const int si = 1;
    ::setsockopt(escucha_, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    if (escucha_ < 0 || ::bind(escucha_, reinterpret_cast<sockaddr*>(&direccion), largo) != 0 ||
        ::listen(escucha_, 16) != 0 ||
        ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&direccion), &largo) != 0)
        return;
    puerto_ = ntohs(direccion.sin_port);
    hilo_ = std::thread([this] { Atender(); });
}

ProxyQueCorta::~ProxyQueCorta() {
    fin_ = true;
    if (hilo_.joinable())
        hilo_.join();
    if (escucha_ >= 0)
        ::close(escucha_);
}

void ProxyQueCorta::Atender() {
    std::vector<Par> pares;
    std::vector<char> buffer(64 * 1024);
    while (!fin_) {
        std::vector<pollfd> vigilados{{escucha_, POLLIN, 0}};
        for (const Par& p : pares)
            if (!p.cerrado) {
                vigilados.push_back({p.cliente, POLLIN, 0});
                vigilados.push_back({p.servidor, POLLIN, 0});
            }
        if (::poll(vigilados.data(), vigilados.size(), 50) <= 0)
            continue;
        if (vigilados[0].revents & POLLIN) {
            const int cliente = ::accept(escucha_, nullptr, nullptr);
            if (cliente >= 0) {
                const int servidor = rechazar_ ? -1 : Conectar(servidor_);
                if (servidor < 0)
                    ::close(cliente);
                else
                    pares.push_back({cliente, servidor});
            }
        }
        for (size_t i = 1; i < vigilados.size(); ++i) {
            if (!(vigilados[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            for (Par& p : pares) {
                if (p.cerrado || (vigilados[i].fd != p.cliente && vigilados[i].fd != p.servidor))
                    continue;
                std::string_view leido;
                if (vigilados[i].fd == p.cliente) {
                    if (!Pasar(p.cliente, p.servidor, &leido, buffer.data(), buffer.size()))
                        p.Cerrar();
                    else if (armado_ && leido.find("COMMIT") != std::string_view::npos) {
                        armado_ = false;
                        p.cortando = true;
                    }
                } else if (p.cortando) {
                    // The server answered the COMMIT: the answer is lost with the connection.
                    Pasar(p.servidor, -1, &leido, buffer.data(), buffer.size());
                    p.Cerrar();
                    corto_ = true;
                } else if (!Pasar(p.servidor, p.cliente, &leido, buffer.data(), buffer.size())) {
                    p.Cerrar();
                }
                break;
            }
        }
    }
    for (Par& p : pares)
        p.Cerrar();
}
