#pragma once

#include <atomic>
#include <thread>

// A TCP relay on 127.0.0.1 between a program and a database server that can lose an answer:
// armed, it lets the next COMMIT the program sends reach the server, waits for the server's
// answer and then closes both sides without passing it on, as a network that fails at the
// worst moment would. Every other byte goes through untouched.
class ProxyQueCorta {
public:
    explicit ProxyQueCorta(int puertoDelServidor);
    ~ProxyQueCorta();
    ProxyQueCorta(const ProxyQueCorta&) = delete;
    ProxyQueCorta& operator=(const ProxyQueCorta&) = delete;

    // The port programs connect to; 0 when the relay could not be set up.
    int Puerto() const { return puerto_; }
    void CortarEnElProximoCommit() { armado_ = true; }
    // Whether the answer to a COMMIT was lost since it was armed.
    bool Corto() const { return corto_; }
    // From now on new connections are closed as soon as they arrive.
    void RechazarConexiones() { rechazar_ = true; }

private:
    void Atender();

    int servidor_;
    int escucha_ = -1;
    int puerto_ = 0;
    std::atomic<bool> armado_{false};
    std::atomic<bool> corto_{false};
    std::atomic<bool> rechazar_{false};
    std::atomic<bool> fin_{false};
    std::thread hilo_;
};
