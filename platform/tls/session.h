#pragma once
// TLS under the transport: a client session over a connected socket that the
// transport reads and writes through like the socket itself. The interface is
// the backend's contract (OpenSSL here; the system's TLS may stand beside it);
// the build chooses one.
#include "platform/tls/channel.h"

#include <memory>
#include <string>
#include <vector>

namespace fb::tls {

// What the server's certificate is checked against. Empty: the system's
// trust store (with OpenSSL its default paths, so SSL_CERT_FILE and
// SSL_CERT_DIR point it elsewhere). A study may fix its own trust at build
// time; it is then the only one.
struct Trust {
    std::string anchors;           // PEM certificates: the only trust anchors
    std::vector<std::string> pins; // "sha256//" + base64 of the key's SubjectPublicKeyInfo
};

// The build's embedded trust text: PEM certificates, or pin lines (blank
// lines and lines starting with '#' aside). Empty text: the system's store.
// Throws std::invalid_argument for anything else.
Trust parseTrust(const std::string& text);

// The trust this build embeds (CMake option StudyServerCaFile), or the
// system's store when it embeds none.
const Trust& buildTrust();

enum class Step { Done, WantRead, WantWrite, Failed };

// Why a secure connection could not be made, for the participant (German,
// Windows-1252).
namespace reason {
inline constexpr const char* Untrusted = "Das Zertifikat des Servers ist nicht vertrauensw\xFCrdig.";
inline constexpr const char* Expired = "Das Zertifikat des Servers ist abgelaufen.";
inline constexpr const char* NotYetValid = "Das Zertifikat des Servers ist noch nicht g\xFCltig.";
inline constexpr const char* WrongName = "Das Zertifikat des Servers ist nicht f\xFCr diesen Servernamen ausgestellt.";
inline constexpr const char* Invalid = "Das Zertifikat des Servers ist nicht g\xFCltig.";
inline constexpr const char* PinMismatch =
    "Der Schl\xFCssel des Servers ist nicht der, den dieses Programm f\xFCr die Studie kennt.";
inline constexpr const char* OldProtocol =
    "Der Server bietet keine ausreichend sichere Verbindung an (TLS 1.2 oder neuer).";
inline constexpr const char* Broken = "Der Server hat den Aufbau der gesicherten Verbindung abgebrochen.";
inline constexpr const char* Garbled = "Der Server antwortet nicht wie ein sicherer Web-Server (HTTPS).";
inline constexpr const char* TimedOut =
    "Der Server hat den Aufbau der gesicherten Verbindung nicht rechtzeitig beantwortet.";
inline constexpr const char* Canceled = "Der Aufbau der gesicherten Verbindung wurde abgebrochen.";
} // namespace reason

class Session : public Channel {
public:
    // Runs the handshake, certificate and pin checks included, as far as it
    // goes without waiting. Until it is Done nothing else may be sent.
    virtual Step handshake() = 0;
    // After Failed: one of the reason texts, and the library's own words.
    virtual const char* reason() const = 0;
    virtual std::string detail() const = 0;
};

// A client session for host (checked against the certificate; also sent as
// the server name unless it is an address) on the connected socket.
std::unique_ptr<Session> openSession(sock::Socket& socket, const std::string& host, const Trust& trust);

} // namespace fb::tls
