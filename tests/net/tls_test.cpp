// The HTTP client over TLS against peers that must be refused: bad
// certificates, an old protocol, a wrong pin, and peers that reset, answer
// garbage or stall the handshake. Nothing of the request may reach them.
#include "net/nmhttp.h"
#include "tests/net/net_test_util.h"
#include "tests/net/scripted_server.h"
#include "tests/net/tls_peer.h"

#include <QTimer>

#include <gtest/gtest.h>
#include <openssl/ssl.h>

using namespace fb;
using namespace nettest;
using namespace std::chrono_literals;

namespace {

// The reason of the ETlsError that f throws, or what else happened.
template <class F> std::string tlsReasonOf(F&& f) {
    try {
        f();
    } catch (const ETlsError& e) {
        return e.reason() + (getenv("TLS_DEBUG") ? std::string(" / ") + e.what() : "");
    } catch (const std::exception& e) {
        return std::string("not a TLS error: ") + e.what();
    }
    return "(no error)";
}

// True when bytes are whole TLS records: the ClientHello, then at most
// alerts (the client's word that it gives up), no application data.
bool onlyHelloAndAlerts(const std::string& bytes) {
    for (std::size_t at = 0, n = 0; at < bytes.size(); ++n) {
        if (bytes.size() - at < 5 || bytes[at] != (n == 0 ? 0x16 : 0x15))
            return false;
        at += 5 + ((static_cast<unsigned char>(bytes[at + 3]) << 8) | static_cast<unsigned char>(bytes[at + 4]));
        if (at > bytes.size())
            return false;
    }
    return !bytes.empty();
}

void readClientHello(Peer& p) {
    p.readBytes(5);
    const std::string& head = p.received();
    p.readBytes((static_cast<unsigned char>(head[3]) << 8) | static_cast<unsigned char>(head[4]));
}

} // namespace

TEST(Tls, CertificatesAndProtocolsThatAreRefusedBeforeAnyRequestByte) {
    const Identity ca = makeIdentity({}, nullptr, -3600, 86400, true);
    const Identity otherCa = makeIdentity({}, nullptr, -3600, 86400, true);
    const Identity good = makeIdentity({"127.0.0.1"}, &ca);
    const tls::Trust trustCa{ca.certificate, {}};
    struct Case {
        const char* name;
        TlsPeer::Options peer;
        tls::Trust trust;
        const char* reason;
    } cases[] = {
        {"untrusted", {makeIdentity({"127.0.0.1"}, &otherCa)}, trustCa, tls::reason::Untrusted},
        {"self-signed, system store", {makeIdentity({"127.0.0.1"})}, tls::Trust{}, tls::reason::Untrusted},
        {"expired", {makeIdentity({"127.0.0.1"}, &ca, -172800, -86400)}, trustCa, tls::reason::Expired},
        {"not yet valid", {makeIdentity({"127.0.0.1"}, &ca, 86400, 172800)}, trustCa, tls::reason::NotYetValid},
        {"wrong name", {makeIdentity({"other.test", "127.0.0.2"}, &ca)}, trustCa, tls::reason::WrongName},
        {"TLS 1.0 only", {good, "", TLS1_VERSION, 0}, trustCa, tls::reason::OldProtocol},
        {"pin of another key", {good}, tls::Trust{{}, {pinOf(otherCa)}}, tls::reason::PinMismatch},
    };
    for (auto& c : cases) {
        TlsPeer peer(c.peer);
        TNMHTTP http;
        http.TimeOut = 5000;
        http.TlsTrust = c.trust;
        EXPECT_EQ(tlsReasonOf([&] { http.Get(peer.url("/humor/bogenakt.html")); }), c.reason) << c.name;
        EXPECT_EQ(peer.accepted(), 1) << c.name;
        EXPECT_EQ(peer.received(), "") << c.name;
        EXPECT_FALSE(http.Connected) << c.name;
    }

    // The same peers are fine with the right trust: the embedded CA, or the
    // pin of the server's own (self-signed) key.
    const Identity selfSigned = makeIdentity({"127.0.0.1"});
    for (auto [identity, trust] : {std::pair{good, trustCa}, std::pair{selfSigned, tls::Trust{{}, {pinOf(selfSigned)}}}}) {
        TlsPeer peer({identity});
        TNMHTTP http;
        http.TimeOut = 5000;
        http.TlsTrust = trust;
        http.Get(peer.url("/humor/bogenakt.html"));
        EXPECT_EQ(http.Body, "imgang Vielen Dank!");
        EXPECT_EQ(peer.received(), "GET /humor/bogenakt.html HTTP/1.0\r\nHost: 127.0.0.1\r\n" + std::string(acceptLines()) +
                                       "Content-type: application/x-www-form-urlencoded\r\n\r\n");
    }
}

TEST(Tls, PeersThatResetOrAnswerGarbageGetNothingButTheClientHello) {
    ScriptedServer server({
        [](Peer& p) {
            readClientHello(p);
            p.resetOnClose();
        },
        [](Peer& p) {
            readClientHello(p);
            p.send("HTTP/1.0 200 OK\r\n\r\nimgang");
            p.readUntilClosed(2s);
        },
    });
    TNMHTTP http;
    http.TimeOut = 5000;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/humor/bogenakt.html";
    EXPECT_EQ(tlsReasonOf([&] { http.Get(url); }), tls::reason::Broken);
    EXPECT_EQ(tlsReasonOf([&] { http.Get(url); }), tls::reason::Garbled);
    server.stop();
    ASSERT_EQ(server.requests().size(), 2u);
    for (const auto& bytes : server.requests())
        EXPECT_TRUE(onlyHelloAndAlerts(bytes)) << bytes.size();
}

TEST(Tls, StalledHandshakeTimesOutOrIsCanceledWithoutSpinning) {
    auto stall = [](Peer& p) {
        readClientHello(p);
        p.readUntilClosed(5s); // silent until the client gives up
    };
    ScriptedServer server({stall, stall});
    TNMHTTP http;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";

    http.TimeOut = 1000;
    auto start = std::chrono::steady_clock::now();
    double cpu = cpuSeconds();
    EXPECT_EQ(errorOf([&] { http.Get(url); }), "Connection Timed out");
    EXPECT_NEAR(secondsSince(start), 1.0, 0.5);
    EXPECT_LT(cpuSeconds() - cpu, 0.2); // the wait sleeps in the event loop

    http.TimeOut = 0;
    QTimer::singleShot(300, [&] { http.Abort(); });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(tlsReasonOf([&] { http.Get(url); }), tls::reason::Canceled);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_FALSE(http.Canceled);
    server.stop();
    for (const auto& bytes : server.requests())
        EXPECT_TRUE(onlyHelloAndAlerts(bytes));
}
