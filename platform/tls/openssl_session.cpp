// The TLS backend over OpenSSL 3.
#include "platform/tls/session.h"

#include "platform/socket/native.h"
#include "platform/socket/winsock.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace fb::tls {

Trust parseTrust(const std::string& text) {
    Trust trust;
    if (text.find("-----BEGIN CERTIFICATE-----") != std::string::npos) {
        trust.anchors = text;
        return trust;
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty() || line[0] == '#')
            continue;
        // Several pins may be given as curl takes them: joined with ';'.
        std::istringstream parts(line);
        std::string pin;
        while (std::getline(parts, pin, ';')) {
            if (pin.rfind("sha256//", 0) != 0 || pin.size() != 8 + 44)
                throw std::invalid_argument("neither PEM certificates nor sha256// pins: " + pin);
            trust.pins.push_back(pin);
        }
    }
    return trust;
}

#ifdef _WIN32
// Without an embedded trust, Windows' own root certificates are the anchors
// (OpenSSL's default paths mean nothing there); windows_roots.cpp.
void addWindowsRoots(SSL_CTX* ctx);
#endif

namespace {

// The socket handle as OpenSSL's transport: sends without SIGPIPE, and counts
// the bytes that went out, so the time-out can see the peer take them.
struct SocketIo {
    sock::native::Handle fd = sock::native::kNone;
    long long written = 0;
    int lastError = 0; // a socket error number
    int lastErrno = 0;  // and the system's own (POSIX), for the words
};

void noteFailure(SocketIo* io) {
    io->lastError = sock::lastError();
    io->lastErrno = errno;
}

std::string failureWords(const SocketIo& io) {
    if (io.lastError == 0)
        return "connection closed";
#ifdef _WIN32
    return "socket error " + std::to_string(io.lastError);
#else
    return std::strerror(io.lastErrno);
#endif
}

bool retryable(int e) { return e == sock::WSAEWOULDBLOCK || e == sock::WSAEINTR; }

BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "fragebogen socket");
        BIO_meth_set_create(m, [](BIO* b) {
            BIO_set_init(b, 1);
            return 1;
        });
        BIO_meth_set_write(m, [](BIO* b, const char* data, int size) -> int {
            auto* io = static_cast<SocketIo*>(BIO_get_data(b));
            BIO_clear_retry_flags(b);
            long n = sock::native::sendSome(io->fd, data, static_cast<std::size_t>(size));
            if (n < 0) {
                noteFailure(io);
                if (retryable(io->lastError))
                    BIO_set_retry_write(b);
                return -1;
            }
            io->written += n;
            return static_cast<int>(n);
        });
        BIO_meth_set_read(m, [](BIO* b, char* data, int size) -> int {
            auto* io = static_cast<SocketIo*>(BIO_get_data(b));
            BIO_clear_retry_flags(b);
            long n = sock::native::receiveSome(io->fd, data, static_cast<std::size_t>(size), false);
            if (n < 0) {
                noteFailure(io);
                if (retryable(io->lastError))
                    BIO_set_retry_read(b);
                return -1;
            }
            return static_cast<int>(n);
        });
        BIO_meth_set_ctrl(m, [](BIO*, int cmd, long, void*) -> long { return cmd == BIO_CTRL_FLUSH ? 1 : 0; });
        return m;
    }();
    return method;
}

bool chainTrustError(int e) {
    switch (e) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return true;
    default:
        return false;
    }
}

// With pins the key is the trust: the chain need not lead to an anchor, but
// dates and name are still checked.
int verifyForPins(int ok, X509_STORE_CTX* store) {
    return ok || chainTrustError(X509_STORE_CTX_get_error(store)) ? 1 : 0;
}

std::string pinOf(X509* certificate) {
    EVP_PKEY* key = X509_get0_pubkey(certificate);
    unsigned char* der = nullptr;
    int length = key ? i2d_PUBKEY(key, &der) : -1;
    if (length <= 0)
        return std::string();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    unsigned char base64[4 * EVP_MAX_MD_SIZE / 3 + 4];
    int n = EVP_EncodeBlock(base64, digest, static_cast<int>(digestLength));
    return "sha256//" + std::string(reinterpret_cast<char*>(base64), static_cast<std::size_t>(n));
}

SSL_CTX* newContext(const Trust& trust) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        throw std::runtime_error("TLS context could not be made");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // The answer is read until the server closes; a close without TLS's
    // own close message ends it as well (only the body's end can be lost,
    // and the caller looks for words in it).
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (!trust.pins.empty()) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, verifyForPins);
    } else if (!trust.anchors.empty()) {
        X509_STORE* store = X509_STORE_new();
        BIO* in = BIO_new_mem_buf(trust.anchors.data(), static_cast<int>(trust.anchors.size()));
        int count = 0;
        while (X509* certificate = PEM_read_bio_X509(in, nullptr, nullptr, nullptr)) {
            X509_STORE_add_cert(store, certificate);
            X509_free(certificate);
            ++count;
        }
        BIO_free(in);
        ERR_clear_error();
        // Any embedded certificate is an anchor, also one that is not a root.
        X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
        SSL_CTX_set_cert_store(ctx, store);
        if (count == 0)
            throw std::invalid_argument("the embedded trust holds no readable certificate");
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    } else {
#ifdef _WIN32
        addWindowsRoots(ctx);
#else
        SSL_CTX_set_default_verify_paths(ctx);
#endif
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    }
    return ctx;
}

// One context per trust for the whole run: the session cache and the loaded
// store are kept between requests.
SSL_CTX* contextFor(const Trust& trust) {
    static std::mutex mutex;
    static std::map<std::string, SSL_CTX*> contexts;
    std::string key = trust.anchors;
    for (const auto& pin : trust.pins)
        key += "\n" + pin;
    std::lock_guard lock(mutex);
    SSL_CTX*& ctx = contexts[key];
    if (!ctx)
        ctx = newContext(trust);
    return ctx;
}

const char* certificateReason(long result) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return reason::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return reason::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return reason::WrongName;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE: // signed by another key than the anchor's
        return reason::Untrusted;
    default:
        return chainTrustError(static_cast<int>(result)) ? reason::Untrusted : reason::Invalid;
    }
}


class OpenSslSession final : public Session {
public:
    OpenSslSession(sock::Socket& socket, const std::string& host, const Trust& trust)
        : socket_(socket), pins_(trust.pins) {
        ssl_ = SSL_new(contextFor(trust));
        if (!ssl_)
            throw std::runtime_error("TLS session could not be made");
        io_.fd = static_cast<sock::native::Handle>(socket.handle());
        BIO* bio = BIO_new(socketMethod());
        BIO_set_data(bio, &io_);
        SSL_set_bio(ssl_, bio, bio);
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        // An address is checked as one (and has no name to send); anything
        // else is a name.
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) == 1) {
        } else {
            ERR_clear_error();
            SSL_set_tlsext_host_name(ssl_, host.c_str());
            SSL_set1_host(ssl_, host.c_str());
        }
        SSL_set_connect_state(ssl_);
    }

    ~OpenSslSession() override {
        // A polite close when the session is sound; never waits.
        if (established_ && !broken_)
            SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ERR_clear_error();
    }

    Step handshake() override {
        ERR_clear_error();
        int r = SSL_do_handshake(ssl_);
        if (r == 1) {
            if (!pins_.empty()) {
                std::string pin = pinOf(SSL_get0_peer_certificate(ssl_));
                if (std::find(pins_.begin(), pins_.end(), pin) == pins_.end())
                    return fail(reason::PinMismatch, "server key " + pin + " is not pinned");
            }
            established_ = true;
            writtenAtStart_ = io_.written;
            return Step::Done;
        }
        int error = SSL_get_error(ssl_, r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            wantWrite_ = error == SSL_ERROR_WANT_WRITE;
            return wantWrite_ ? Step::WantWrite : Step::WantRead;
        }
        unsigned long e = ERR_peek_error();
        std::string words = libraryWords();
        // A failed check of the certificate is the reason, whatever else
        // the library noted on the way.
        if (long result = SSL_get_verify_result(ssl_); result != X509_V_OK)
            return fail(certificateReason(result), X509_verify_cert_error_string(result));
        if (ERR_GET_LIB(e) == ERR_LIB_SSL) {
            switch (ERR_GET_REASON(e)) {
            case SSL_R_UNSUPPORTED_PROTOCOL:
            case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
            case SSL_R_NO_PROTOCOLS_AVAILABLE:
            case SSL_R_VERSION_TOO_LOW:
                return fail(reason::OldProtocol, words);
            case SSL_R_UNEXPECTED_EOF_WHILE_READING:
                return fail(reason::Broken, words);
            default:
                break;
            }
        }
        if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN)
            return fail(reason::Broken, failureWords(io_));
        return fail(reason::Garbled, words);
    }

    const char* reason() const override { return reason_; }
    std::string detail() const override { return detail_; }

    long send(const char* data, std::size_t size) override {
        ERR_clear_error();
        int r = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        return r > 0 ? r : failedCall(r);
    }

    long recv(char* data, std::size_t size, bool peek) override {
        long n = read(data, size, peek);
        // Like the socket: every receive asks for the next read event,
        // unless it has to wait for something else.
        if (!(n < 0 && sock::lastError() == sock::WSAEWOULDBLOCK && wantWrite_))
            socket_.wantRead();
        return n;
    }

    long receive(char* data, std::size_t size) override { return read(data, size, false); }

    void wantRead() override { arm(); }
    void notifyWritable() override { arm(); }
    bool sendWouldBlock() const override { return socket_.sendWouldBlock(); }

    long long peerTaken() const override {
        if (!established_)
            return 0;
        long queued = socket_.sendQueueBytes();
        long long sent = io_.written - writtenAtStart_;
        return std::max(0LL, queued < 0 ? sent : sent - queued);
    }

private:
    long read(char* data, std::size_t size, bool peek) {
        ERR_clear_error();
        int want = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
        int r = peek ? SSL_peek(ssl_, data, want) : SSL_read(ssl_, data, want);
        return r > 0 ? r : failedCall(r);
    }

    // The socket notifier the last blocked call waits for.
    void arm() {
        if (wantWrite_)
            socket_.notifyWritable();
        else
            socket_.wantRead();
    }

    long failedCall(int r) {
        int error = SSL_get_error(ssl_, r);
        switch (error) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            wantWrite_ = error == SSL_ERROR_WANT_WRITE;
            sock::setLastError(sock::WSAEWOULDBLOCK);
            return -1;
        case SSL_ERROR_ZERO_RETURN:
            return 0; // the server's close (with or without TLS's close message)
        case SSL_ERROR_SYSCALL:
            broken_ = true;
            if (io_.lastError != 0 && !retryable(io_.lastError)) {
                sock::setLastError(io_.lastError);
                return -1;
            }
            return 0;
        default:
            // A record that does not decrypt or a protocol fault: the
            // connection is of no further use.
            broken_ = true;
            sock::setLastError(sock::WSAECONNABORTED);
            return -1;
        }
    }

    std::string libraryWords() const {
        unsigned long e = ERR_peek_error();
        if (e == 0)
            return "no library error";
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        return text;
    }

    Step fail(const char* why, const std::string& detail) {
        broken_ = true;
        reason_ = why;
        detail_ = detail;
        return Step::Failed;
    }

    sock::Socket& socket_;
    std::vector<std::string> pins_;
    SSL* ssl_ = nullptr;
    SocketIo io_;
    bool wantWrite_ = false;
    bool established_ = false;
    bool broken_ = false;
    long long writtenAtStart_ = 0;
    const char* reason_ = reason::Broken;
    std::string detail_;
};

} // namespace

std::unique_ptr<Session> openSession(sock::Socket& socket, const std::string& host, const Trust& trust) {
    return std::make_unique<OpenSslSession>(socket, host, trust);
}

} // namespace fb::tls
