#pragma once
// TLS for the tests: certificates made at run time, and a loopback TLS server
// (OpenSSL's server side) that records the plain bytes a client sends it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

struct Identity {
    std::string certificate; // PEM
    std::string key;         // PEM
};

// A certificate for names (host names or addresses) valid from now + from to
// now + to seconds, signed by issuer (self-signed without one).
Identity makeIdentity(const std::vector<std::string>& names, const Identity* issuer = nullptr, long from = -3600,
                      long to = 86400, bool ca = false);
// "sha256//" and the base64 of the certificate key's SHA-256.
std::string pinOf(const Identity& identity);

class TlsPeer {
public:
    struct Options {
        Identity identity;
        std::string response = "HTTP/1.0 200 OK\r\n\r\nimgang Vielen Dank!";
        int maxVersion = 0;     // e.g. TLS1_VERSION; 0: any
        int securityLevel = -1; // the library's default unless set
        // A slow reader: a small receive buffer and a pause after each record.
        int receiveBuffer = 0;
        std::chrono::milliseconds pause{0};
    };
    explicit TlsPeer(Options options);
    ~TlsPeer();
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
    // The plain bytes received after handshakes, over all connections.
    std::string received();
    int accepted() const { return accepted_.load(); }
    int handshakes() const { return handshakes_.load(); }

private:
    void run();
    void serve(int fd);
    Options options_;
    void* ctx_ = nullptr;
    int listenFd_ = -1;
    std::atomic<bool> stop_{false};
    std::uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<int> handshakes_{0};
    std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

} // namespace nettest
