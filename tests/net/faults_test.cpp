// The HTTP client against peers that misbehave: resets, nested requests from
// event handlers, line ends smuggled into header values, slow and stalled
// readers of an upload, and bodies at and over the size limit.
#include "net/nmhttp.h"
#include "tests/net/net_test_util.h"
#include "tests/net/scripted_server.h"

#include <QMetaObject>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace fb;
using namespace nettest;
using namespace std::chrono_literals;

namespace {

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sends the header and part of a body, waits, then resets the connection.
Script resetMidBody(std::chrono::milliseconds beforeReset) {
    return [beforeReset](Peer& p) {
        p.readRequest();
        p.send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
        p.pause(beforeReset);
        p.resetOnClose();
    };
}

} // namespace

TEST(HttpReset, ResetMidBodyIsAnErrorInMemoryAndInAFile) {
    // 0 ms: the reset lands behind the data before the client reads it;
    // 100 ms: the client waits in the event loop when it arrives.
    for (auto gap : {0ms, 100ms}) {
        ScriptedServer server({resetMidBody(gap), resetMidBody(gap), answer("HTTP/1.0 200 OK\r\n\r\nwhole")});
        TNMHTTP http;
        http.TimeOut = 5000;
        int successes = 0;
        http.OnSuccess = [&](CmdType) { ++successes; };
        EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "10054:Connection reset by peer") << gap.count();
        EXPECT_EQ(http.Body, "partial");
        EXPECT_FALSE(http.Connected);

        QTemporaryDir dir;
        http.InputFileMode = true;
        http.Header = dir.filePath("head.txt").toStdString();
        http.Body = dir.filePath("body.htm").toStdString();
        EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "10054:Connection reset by peer") << gap.count();
        EXPECT_EQ(readFile(http.Body), "partial");
        EXPECT_EQ(successes, 0);

        // The reset belongs to its connection: the next request is clean.
        http.InputFileMode = false;
        http.Get(server.url("/"));
        EXPECT_EQ(http.Body, "whole");
        EXPECT_EQ(successes, 1);
    }
}

TEST(HttpReset, ResetInsideTheHeaderIsAnError) {
    ScriptedServer server({[](Peer& p) {
        p.readRequest();
        p.send("HTTP/1.0 200 OK\r\nX-Cut: no line e");
        p.pause(50ms);
        p.resetOnClose();
    }});
    TNMHTTP http;
    http.TimeOut = 5000;
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "10054:Connection reset by peer");
    EXPECT_EQ(http.Header, "HTTP/1.0 200 OK\r\n");
}

namespace {

// Tries every kind of nested request once, from inside an event handler of
// a running one, and notes what it found.
struct NestedAttempt {
    NestedAttempt(TNMHTTP& h, std::string url) : http(h), otherUrl(std::move(url)) {}
    TNMHTTP& http;
    std::string otherUrl;
    int calls = 0;
    std::vector<std::string> errors;
    bool fieldsKept = false;
    bool connectedAtCall = false;

    void operator()() {
        if (calls++)
            return;
        connectedAtCall = http.Connected;
        const std::string url = http.URL, data = http.SendData, path = http.RequestPath;
        const CmdType kind = http.RequestKind;
        errors.push_back(errorOf([&] { http.Get(otherUrl); }));
        errors.push_back(errorOf([&] { http.Post(otherUrl, "nested=1"); }));
        errors.push_back(errorOf([&] { http.Head(otherUrl); }));
        errors.push_back(errorOf([&] { http.DoRequest(); }));
        fieldsKept = http.URL == url && http.SendData == data && http.RequestPath == path && http.RequestKind == kind;
    }
};

void expectRefused(const NestedAttempt& n) {
    EXPECT_EQ(n.calls >= 1, true);
    EXPECT_EQ(n.errors, std::vector<std::string>(4, "HTTP request already in progress"));
    EXPECT_TRUE(n.fieldsKept);
}

} // namespace

TEST(HttpNested, DuringLookupAndConnect) {
    // The nested attempts are posted when the phase begins, so they run in
    // the first pass of its wait loop.
    for (const char* phase : {"Resolve Host", "Connecting"}) {
        ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\nfirst")});
        ScriptedServer other({answer("HTTP/1.0 200 OK\r\n\r\nsecond")});
        TNMHTTP http;
        http.TimeOut = 5000;
        http.ReportLevel = 8;
        NestedAttempt nested{http, other.url("/nested")};
        bool resolved = false, resolvedAtCall = true;
        http.OnHostResolved = [&](QObject*) { resolved = true; };
        http.OnStatus = [&](QObject*, const std::string& text) {
            if (text == phase && !nested.calls)
                QMetaObject::invokeMethod(
                    &http, [&] { resolvedAtCall = resolved; nested(); }, Qt::QueuedConnection);
        };
        // A name, so that the lookup really waits.
        std::string url = "http://localhost:" + std::to_string(server.port()) + "/first";
        http.Get(url);
        expectRefused(nested);
        EXPECT_FALSE(nested.connectedAtCall) << phase;
        if (std::string(phase) == "Resolve Host") {
            EXPECT_FALSE(resolvedAtCall);
        }
        EXPECT_EQ(http.Body, "first") << phase;
        EXPECT_EQ(http.URL, url);
        server.stop();
        other.stop();
        EXPECT_EQ(other.accepted(), 0) << phase;
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0].substr(0, 22), "GET /first HTTP/1.0\r\nH");
    }
}

TEST(HttpNested, DuringSendAndRead) {
    QTemporaryDir dir;
    std::string file = dir.filePath("upload.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(1 << 20, 'u');
    ScriptedServer other({answer("HTTP/1.0 200 OK\r\n\r\nsecond")});
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\nVielen Dank!"),
                           [](Peer& p) {
                               p.readRequest();
                               p.pause(200ms); // the client waits in ReadLn
                               p.send("HTTP/1.0 200 OK\r\n\r\nheader phase");
                           },
                           [](Peer& p) {
                               p.readRequest();
                               p.send("HTTP/1.0 200 OK\r\n\r\nbody ");
                               p.pause(50ms);
                               p.send("phase");
                           }});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.OutputFileMode = true;
    NestedAttempt sending{http, other.url("/nested")};
    http.OnPacketSent = [&](QObject*) { sending(); };
    http.Post(server.url("/cgi-bin/mailmanager.pl"), file);
    expectRefused(sending);
    EXPECT_TRUE(sending.connectedAtCall);
    EXPECT_EQ(http.Body, "Vielen Dank!");
    EXPECT_EQ(http.BytesSent, 1 << 20);
    http.OnPacketSent = nullptr;
    http.OutputFileMode = false;

    NestedAttempt header{http, other.url("/nested")};
    QTimer::singleShot(100, [&] { header(); });
    http.Get(server.url("/header"));
    expectRefused(header);
    EXPECT_TRUE(header.connectedAtCall);
    EXPECT_EQ(http.Body, "header phase");

    NestedAttempt body{http, other.url("/nested")};
    http.OnPacketRecvd = [&](QObject*) { body(); };
    http.Get(server.url("/body"));
    expectRefused(body);
    EXPECT_EQ(http.Body, "body phase");

    // Not busy any more: the client takes the next request.
    EXPECT_FALSE(http.Busy());
    http.OnPacketRecvd = nullptr;
    http.Get(other.url("/after"));
    EXPECT_EQ(http.Body, "second");
    server.stop();
    other.stop();
    EXPECT_EQ(server.requests().size(), 3u);
    EXPECT_EQ(other.requests().size(), 1u);
}

TEST(HttpHeaderValues, LineBreakOrNulInLocationOrCookieIsRefused) {
    const std::string locationError = "Invalid response: line break or NUL in the Location header";
    const std::string cookieError = "Invalid response: line break or NUL in the Set-Cookie header";
    struct Case {
        std::string header;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.0 302 Found\r\nLocation: /next\rX-Injected: 1\r\n\r\n", locationError},
        {"HTTP/1.0 302 Found\r\nLocation: /" + std::string(300, 'p') + "\r\r\r\n\r\n", ""}, // only line ends at the end
        {"HTTP/1.0 302 Found\r\nLocation: /" + std::string(300, 'p') + "\rX: y\r\n\r\n", locationError},
        {"HTTP/1.0 302 Found\r\nLocation: /a" + std::string("\0", 1) + "b\r\n\r\n", locationError},
        {"HTTP/1.0 302 Found\r\nSet-Cookie: sid=1\rX: y\r\nLocation: /next\r\n\r\n", cookieError},
        {"HTTP/1.0 200 OK\r\nSet-Cookie: sid=1" + std::string("\0", 1) + "; path=/\r\n\r\n", cookieError},
    };
    for (const Case& c : cases) {
        ScriptedServer server({answer(c.header), answer("HTTP/1.0 200 OK\r\n\r\nnext")});
        TNMHTTP http;
        http.TimeOut = 5000;
        http.Location = "/earlier";
        http.HeaderInfo.Cookie = "kept=1";
        std::string error = errorOf([&] { http.Get(server.url("/first")); });
        if (c.error.empty()) {
            EXPECT_EQ(error, "(no error)");
            EXPECT_EQ(http.Location, "/" + std::string(255, 'p'));
            continue;
        }
        EXPECT_EQ(error, c.error) << c.header;
        EXPECT_FALSE(http.Connected);
        EXPECT_EQ(http.Location, "/earlier");
        EXPECT_EQ(http.HeaderInfo.Cookie, "kept=1");
        // The next request goes out whole, with the cookie it had.
        http.Get(server.url("/second"));
        server.stop();
        auto reqs = server.requests();
        ASSERT_EQ(reqs.size(), 2u);
        EXPECT_EQ(reqs[1].substr(0, 22), "GET /second HTTP/1.0\r\n");
        EXPECT_NE(reqs[1].find("\r\nCookie: kept=1\r\n"), std::string::npos);
        EXPECT_EQ(reqs[1].substr(reqs[1].size() - 4), "\r\n\r\n");
    }
}

TEST(HttpHeaderValues, NoRequestLineCarriesALineBreakOrNul) {
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\n")});
    TNMHTTP http;
    http.TimeOut = 2000;
    const std::string refused = "Line break or NUL in a request header line";
    http.HeaderInfo.Cookie = "a=1\r\nX-Injected: 1";
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), refused);
    http.HeaderInfo.Cookie = std::string("a=1\0b", 5);
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), refused);
    http.HeaderInfo.Cookie.clear();
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/a\rb")); }), refused);
    EXPECT_EQ(errorOf([&] { http.Copy(server.url("/"), "x\ny"); }), refused);
    server.stop();
    EXPECT_EQ(server.accepted(), 0);
}

namespace {

// Takes the request at most 64 KiB per 40 ms; once it has readBytes bytes
// it answers (answer set) or holds the connection silent.
Script slowReader(std::size_t readBytes, bool answer) {
    return [readBytes, answer](Peer& p) {
        while (p.received().size() < readBytes) {
            std::size_t before = p.received().size();
            p.readBytes(std::min(before + 32 * 1024, readBytes), 2s);
            if (p.received().size() == before)
                return; // the client gave up
            p.pause(40ms);
        }
        if (!answer) {
            p.waitForStop();
            return;
        }
        if (p.readRequest(5s))
            p.send("HTTP/1.0 200 OK\r\n\r\nVielen Dank!");
    };
}

} // namespace

TEST(HttpUploadTimeOut, SlowPeerThatKeepsReadingFinishes) {
    QTemporaryDir dir;
    std::string file = dir.filePath("big.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(2u << 20, 'u');
    ScriptedServer server({slowReader(2u << 20, true)});
    server.setReceiveBuffer(64 * 1024);
    TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 300; // far shorter than the upload
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { http.Post(server.url("/cgi-bin/mailmanager.pl"), file); }), "(no error)");
    EXPECT_GT(secondsSince(start), 0.6); // the peer really was slow
    EXPECT_EQ(http.Body, "Vielen Dank!");
    EXPECT_EQ(http.BytesSent, 2 << 20);
}

TEST(HttpUploadTimeOut, PeerThatStopsReadingTimesOut) {
    QTemporaryDir dir;
    std::string file = dir.filePath("big.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(16u << 20, 'u');
    ScriptedServer server({slowReader(512 * 1024, false)});
    server.setReceiveBuffer(64 * 1024);
    TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 300;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { http.Post(server.url("/cgi-bin/mailmanager.pl"), file); }), "Socket send aborted");
    // The stall is noticed within two ticks of the time-out.
    EXPECT_LT(secondsSince(start), 4.0);
    EXPECT_LT(http.BytesSent, 16 << 20);
    EXPECT_FALSE(http.Connected);
}

// Without a time-out nothing but the socket ends an upload: a peer that
// goes away in the middle must end it at once with the reset, also when the
// close notification reaches the client first, while it waits for room in
// the send queue (a close with unread data resets, too).
TEST(HttpUploadTimeOut, PeerThatGoesAwayMidUploadEndsItWithoutATimeOut) {
    QTemporaryDir dir;
    std::string file = dir.filePath("big.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(32u << 20, 'u');
    auto leaveAfter = [](bool reset) {
        return [reset](Peer& p) {
            p.readBytes(256 * 1024, 5s);
            p.pause(200ms); // the client fills the queue and waits
            if (reset)
                p.resetOnClose();
        };
    };
    ScriptedServer server({leaveAfter(true), leaveAfter(false)});
    server.setReceiveBuffer(64 * 1024);
    for (const char* how : {"reset", "close"}) {
        SCOPED_TRACE(how);
        TNMHTTP http;
        http.OutputFileMode = true;
        http.TimeOut = 0;
        bool hung = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            hung = true;
            http.Cancel();
        });
        watchdog.start(10000);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(errorOf([&] { http.Post(server.url("/cgi-bin/mailmanager.pl"), file); }),
                  "10054:Connection reset by peer");
        EXPECT_FALSE(hung);
        EXPECT_LT(secondsSince(start), 5.0);
        EXPECT_LT(http.BytesSent, 32 << 20);
        EXPECT_FALSE(http.Connected);
    }
}

TEST(HttpBodyLimit, DeclaredTooLongIsRefusedBeforeTheBody) {
    const std::string limit = std::to_string(TNMHTTP::MaxBodyLength);
    const std::string over = std::to_string(TNMHTTP::MaxBodyLength + 1);
    ScriptedServer server({[&](Peer& p) {
                               // Sends no body at all: reading it would end in the time-out.
                               p.readRequest();
                               p.send("HTTP/1.0 200 OK\r\nContent-Length: " + over + "\r\n\r\n");
                               p.readUntilClosed(5s);
                           },
                           answer("HTTP/1.0 200 OK\r\ncontent-length: " + limit + "\r\n\r\n" +
                                  std::string(TNMHTTP::MaxBodyLength, 'c')),
                           answer("HTTP/1.0 200 OK\r\nContent-Length: " + over + "\r\n\r\n")});
    TNMHTTP http;
    http.TimeOut = 3000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Response body too large (more than " + limit + " bytes)");
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(http.ContentLength, static_cast<long long>(TNMHTTP::MaxBodyLength) + 1);
    EXPECT_EQ(http.Body, "");
    http.Get(server.url("/")); // exactly the limit, declared
    EXPECT_EQ(http.Body.size(), TNMHTTP::MaxBodyLength);
    EXPECT_LE(http.Body.capacity(), TNMHTTP::MaxBodyLength + 64); // reserved once, not doubled
    EXPECT_EQ(http.ContentLength, static_cast<long long>(TNMHTTP::MaxBodyLength));
    http.Head(server.url("/")); // a HEAD answer only names the length
    EXPECT_EQ(http.Body, "");
}

TEST(HttpBodyLimit, UndeclaredBodyGrowsOnlyNearTheLimit) {
    const std::size_t limit = TNMHTTP::MaxBodyLength;
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\n" + std::string(limit + 1, 'o')),
                           answer("HTTP/1.0 200 OK\r\n\r\n" + std::string(limit, 'a'))});
    TNMHTTP http;
    http.TimeOut = 5000;
    std::size_t peak = 0;
    http.OnPacketRecvd = [&](QObject*) { peak = std::max(peak, http.Body.capacity()); };
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }),
              "Response body too large (more than " + std::to_string(limit) + " bytes)");
    // At most one receive past the limit, never a doubling beyond it.
    EXPECT_LE(peak, limit + 65536);
    EXPECT_LE(http.Body.size(), limit + 65536);
    peak = 0;
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, std::string(limit, 'a'));
    EXPECT_LE(peak, limit + 65536);
}

TEST(HttpBody, ManySmallPiecesAndWrongDeclaredLengthsArriveWhole) {
    std::vector<std::string> pieces = {"HTTP/1.0 200 OK\r\n\r\n"};
    std::string whole;
    for (int i = 0; i < 120; ++i) {
        pieces.push_back(std::to_string(i) + std::string(static_cast<std::size_t>(i % 7) * 100, 'x') + ";");
        whole += pieces.back();
    }
    std::string longBody(300000, 'l');
    for (std::size_t i = 0; i < longBody.size(); i += 997)
        longBody[i] = static_cast<char>('a' + i % 26);
    ScriptedServer server({answerInPieces(pieces, 1ms),
                           answer("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n" + longBody),
                           answer("HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\nshort")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(server.url("/pieces"));
    EXPECT_EQ(http.Body, whole);
    http.Get(server.url("/longer")); // longer than declared: kept whole
    EXPECT_EQ(http.Body, longBody);
    EXPECT_EQ(http.ContentLength, 10);
    http.Get(server.url("/shorter"));
    EXPECT_EQ(http.Body, "short");
}
