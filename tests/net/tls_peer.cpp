#include "tests/net/tls_peer.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <csignal>
#include <stdexcept>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nettest {

namespace {

#ifdef _WIN32
int closeSocket(int fd) { return ::closesocket(static_cast<SOCKET>(fd)); }
int pollSockets(pollfd* fds, unsigned n, int ms) { return ::WSAPoll(fds, n, ms); }
int acceptSocket(int fd) { return static_cast<int>(::accept(static_cast<SOCKET>(fd), nullptr, nullptr)); }
void receiveTimeout(int fd, int seconds) {
    DWORD ms = static_cast<DWORD>(seconds) * 1000;
    ::setsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
#else
int closeSocket(int fd) { return ::close(fd); }
int pollSockets(pollfd* fds, unsigned n, int ms) { return ::poll(fds, n, ms); }
int acceptSocket(int fd) { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
void receiveTimeout(int fd, int seconds) {
    timeval limit{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}
#endif

std::string pem(int (*write)(BIO*, void*), void* object) {
    BIO* out = BIO_new(BIO_s_mem());
    write(out, object);
    char* data = nullptr;
    long n = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<std::size_t>(n));
    BIO_free(out);
    return text;
}

template <class T> T* readPem(const std::string& text, T* (*read)(BIO*, T**, pem_password_cb*, void*)) {
    BIO* in = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    T* object = read(in, nullptr, nullptr, nullptr);
    BIO_free(in);
    if (!object)
        throw std::runtime_error("unreadable PEM");
    return object;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

} // namespace

Identity makeIdentity(const std::vector<std::string>& names, const Identity* issuer, long from, long to, bool ca) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), from);
    X509_gmtime_adj(X509_getm_notAfter(cert), to);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    std::string cn = names.empty() ? "Test CA" : names.front();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509* issuerCert = issuer ? readPem<X509>(issuer->certificate, PEM_read_bio_X509) : cert;
    EVP_PKEY* issuerKey = issuer ? readPem<EVP_PKEY>(issuer->key, PEM_read_bio_PrivateKey) : key;
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
    addExtension(cert, issuerCert, NID_basic_constraints, ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
    std::string alt;
    for (const auto& n : names) {
        unsigned char buffer[16];
        bool address = ::inet_pton(AF_INET, n.c_str(), buffer) == 1;
        if (!alt.empty())
            alt += ',';
        alt.append(address ? "IP:" : "DNS:").append(n);
    }
    if (!alt.empty())
        addExtension(cert, issuerCert, NID_subject_alt_name, alt);
    X509_sign(cert, issuerKey, EVP_sha256());
    Identity identity{pem([](BIO* b, void* o) { return PEM_write_bio_X509(b, static_cast<X509*>(o)); }, cert),
                      pem([](BIO* b, void* o) {
                          return PEM_write_bio_PrivateKey(b, static_cast<EVP_PKEY*>(o), nullptr, nullptr, 0, nullptr,
                                                          nullptr);
                      }, key)};
    if (issuer) {
        X509_free(issuerCert);
        EVP_PKEY_free(issuerKey);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return identity;
}

std::string pinOf(const Identity& identity) {
    X509* cert = readPem<X509>(identity.certificate, PEM_read_bio_X509);
    unsigned char* der = nullptr;
    int n = i2d_PUBKEY(X509_get0_pubkey(cert), &der);
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(der, static_cast<std::size_t>(n), digest, &length, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    X509_free(cert);
    unsigned char base64[64];
    int b = EVP_EncodeBlock(base64, digest, static_cast<int>(length));
    return "sha256//" + std::string(reinterpret_cast<char*>(base64), static_cast<std::size_t>(b));
}

TlsPeer::TlsPeer(Options options) : options_(std::move(options)) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#else
    // A client that gives up after its side of the handshake must not end
    // the test with SIGPIPE when the peer answers.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (options_.securityLevel >= 0)
        SSL_CTX_set_security_level(ctx, options_.securityLevel);
    if (options_.maxVersion) {
        SSL_CTX_set_min_proto_version(ctx, options_.maxVersion);
        SSL_CTX_set_max_proto_version(ctx, options_.maxVersion);
    }
    X509* cert = readPem<X509>(options_.identity.certificate, PEM_read_bio_X509);
    EVP_PKEY* key = readPem<EVP_PKEY>(options_.identity.key, PEM_read_bio_PrivateKey);
    SSL_CTX_use_certificate(ctx, cert);
    SSL_CTX_use_PrivateKey(ctx, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    ctx_ = ctx;

    listenFd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    if (options_.receiveBuffer > 0)
        ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&options_.receiveBuffer),
                     sizeof options_.receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(listenFd_, 8) < 0)
        throw std::runtime_error("TLS peer cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

TlsPeer::~TlsPeer() {
    stop_ = true;
    thread_.join();
    closeSocket(listenFd_);
#ifdef _WIN32
    WSACleanup();
#endif
    SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

std::string TlsPeer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::string TlsPeer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

void TlsPeer::run() {
    // The stop flag is looked at between short waits.
    while (!stop_) {
        pollfd p{};
        p.fd = listenFd_;
        p.events = POLLIN;
        if (pollSockets(&p, 1, 50) <= 0)
            continue;
        int fd = acceptSocket(listenFd_);
        if (fd < 0)
            continue;
        ++accepted_;
        receiveTimeout(fd, 5);
        serve(fd);
        closeSocket(fd);
    }
}

void TlsPeer::serve(int fd) {
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        ++handshakes_;
        // The request: its header, then as many bytes as it announces.
        std::string request;
        char buffer[16384];
        std::size_t want = std::string::npos;
        for (;;) {
            int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
            std::this_thread::sleep_for(options_.pause);
            std::size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos && want == std::string::npos) {
                std::size_t length = 0;
                std::size_t at = request.find("Content-Length: ");
                if (at != std::string::npos && at < end)
                    length = std::stoul(request.substr(at + 16));
                want = end + 4 + length;
            }
            if (request.size() >= want)
                break;
        }
        {
            std::lock_guard lock(mutex_);
            received_ += request;
        }
        SSL_write(ssl, options_.response.data(), static_cast<int>(options_.response.size()));
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
}

} // namespace nettest
