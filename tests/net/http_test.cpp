// The HTTP client against scripted loopback peers: the exact bytes sent and
// the handling of each kind of answer.
#include "net/nmhttp.h"
#include "tests/net/net_test_util.h"
#include "tests/net/scripted_server.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace fb;
using namespace nettest;
using namespace std::chrono_literals;

namespace {

const std::string okPage = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>Studie imgang</html>";

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string requestLineOf(const std::string& request) { return request.substr(0, request.find("\r\n")); }

bool hasLine(const std::string& request, const std::string& line) {
    return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

} // namespace

TEST(HttpExact, StatusQueryGoesOutByteForByte) {
    ScriptedServer server({answer(okPage)});
    TNMHTTP http;
    http.TimeOut = 30000;
    http.Get("http://localhost:" + std::to_string(server.port()) + "/humor/bogenakt.html");
    server.stop();
    EXPECT_EQ(server.requests().at(0), std::string("GET /humor/bogenakt.html HTTP/1.0\r\n"
                                                   "Host: localhost\r\n") +
                                           acceptLines() +
                                           "Content-type: application/x-www-form-urlencoded\r\n"
                                           "\r\n");
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "<html>Studie imgang</html>");
    EXPECT_EQ(http.Header, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_FALSE(http.Connected);
}

TEST(HttpExact, UploadSendsTheFileUnchanged) {
    QTemporaryDir dir;
    std::string file = dir.filePath("00000000.bgn").toStdString();
    std::string bytes = "recipient=humor-studie@localhost&subject=Bogendaten&name=J\xfcrgen M\xfc" "ller&x=a b%\r\n";
    bytes += std::string("\0\x01\xff", 3);
    std::ofstream(file, std::ios::binary) << bytes;
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\n<p>Vielen Dank!</p>")});
    TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 60000;
    int sent = 0;
    http.OnPacketSent = [&](QObject*) { ++sent; };
    http.Post("http://localhost:" + std::to_string(server.port()) + "/cgi-bin/mailmanager.pl", file);
    server.stop();
    EXPECT_EQ(server.requests().at(0), std::string("POST /cgi-bin/mailmanager.pl HTTP/1.0\r\n"
                                                   "Host: localhost\r\n") +
                                           acceptLines() +
                                           "Content-type: application/x-www-form-urlencoded\r\n"
                                           "Content-Length: " +
                                           std::to_string(bytes.size()) + "\r\n\r\n" + bytes);
    EXPECT_NE(http.Body.find("Vielen Dank!"), std::string::npos);
    EXPECT_EQ(http.BytesSent, static_cast<int>(bytes.size()));
    EXPECT_GE(sent, 1);
}

TEST(HttpExact, StringPostIsEncodedWhole) {
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\n\r\n")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Post(server.url("/form"), "a=b&c=d");
    server.stop();
    const std::string req = server.requests().at(0);
    EXPECT_TRUE(hasLine(req, "Content-Length: 13"));
    EXPECT_EQ(req.substr(req.size() - 17), "\r\n\r\na%3Db%26c%3Dd");
    EXPECT_EQ(http.SendData, "a%3Db%26c%3Dd");
}

TEST(HttpUrl, NoPathAndHostWithPort) {
    ScriptedServer server({answer(okPage)});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get("http://127.0.0.1:" + std::to_string(server.port()));
    server.stop();
    EXPECT_EQ(requestLineOf(server.requests().at(0)), "GET / HTTP/1.0");
    EXPECT_TRUE(hasLine(server.requests().at(0), "Host: 127.0.0.1"));
    EXPECT_EQ(http.URL.back(), '/');
    EXPECT_EQ(http.Port, server.port());
}

TEST(HttpUrl, EmptyUrlIsRefusedBeforeAnyConnection) {
    ScriptedServer server({answer(okPage)});
    TNMHTTP http;
    int aboutToSend = 0;
    http.OnAboutToSend = [&](QObject*) { ++aboutToSend; };
    http.TimeOut = 2000;
    EXPECT_EQ(errorOf([&] { http.Get(""); }), "Empty URL");
    server.stop();
    EXPECT_EQ(server.accepted(), 0);
    EXPECT_EQ(aboutToSend, 0);
}

TEST(HttpResponse, StatusSplitInsideTheCode) {
    ScriptedServer server({answerInPieces({"HTTP/1.1 2", "04 No Content\r\nX-A: 1\r\n", "\r\n", "body"}, 10ms)});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 204);
    EXPECT_EQ(http.Header, "HTTP/1.1 204 No Content\r\nX-A: 1\r\n\r\n");
    EXPECT_EQ(http.Body, "body");
}

TEST(HttpResponse, StatusWithoutReasonOrNumber) {
    ScriptedServer server({answer("HTTP/1.0 200\r\n\r\nx"), answer("garbage\r\n\r\ny")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(http.Body, "y");
}

TEST(HttpResponse, NotFoundReturnsThePage) {
    ScriptedServer server({answer("HTTP/1.1 404 Not Found\r\n\r\n<h1>weg</h1>")});
    TNMHTTP http;
    http.TimeOut = 5000;
    std::vector<CmdType> failures, successes;
    http.OnFailure = [&](CmdType c) { failures.push_back(c); };
    http.OnSuccess = [&](CmdType c) { successes.push_back(c); };
    http.Get(server.url("/missing"));
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_EQ(http.Body, "<h1>weg</h1>");
    EXPECT_EQ(failures, std::vector<CmdType>{CmdGet});
    EXPECT_TRUE(successes.empty());
}

TEST(HttpResponse, ServerClosingWithoutAnswerCountsAsSuccess) {
    ScriptedServer server({[](Peer& p) { p.readRequest(); }});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.ReportLevel = 2;
    int successes = 0;
    http.OnSuccess = [&](CmdType) { ++successes; };
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(http.Body, "");
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(http.LastStatus, "Transaction Completed");
}

TEST(HttpResponse, RefusedAndSilentServers) {
    TNMHTTP http;
    http.TimeOut = 5000;
    EXPECT_EQ(errorOf([&] { http.Get("http://127.0.0.1:" + std::to_string(closedPort()) + "/"); }),
              "Connection Failed");
    EXPECT_FALSE(http.Connected);

    ScriptedServer silent({[](Peer& p) { p.waitForStop(); }});
    http.TimeOut = 400;
    auto start = std::chrono::steady_clock::now();
    std::string error;
    try {
        http.Get(silent.url("/"));
    } catch (const EAbortError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "Socket readln aborted");
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(http.Connected); // closed before the error reached us

    EXPECT_EQ(errorOf([&] { http.Get("http://no-such-host.invalid/"); }), "Null Remote Address");
}

TEST(HttpResponse, SilentAfterHeaderAbortsTheBody) {
    ScriptedServer server({[](Peer& p) {
        p.readRequest();
        p.send("HTTP/1.0 200 OK\r\n\r\npartial");
        p.waitForStop();
    }});
    TNMHTTP http;
    http.TimeOut = 300;
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Socket capture aborted");
    EXPECT_EQ(http.Body, "partial");
}

TEST(HttpRedirect, LowerCaseLocationAndBodyLocationIgnored) {
    ScriptedServer server({answer("HTTP/1.0 302 Found\r\nlocation: /second.html\r\n\r\n"
                                  "Location: /wrong.html\r\n"),
                           answer("HTTP/1.0 200 OK\r\n\r\nsecond")});
    TNMHTTP http;
    http.TimeOut = 5000;
    int redirects = 0;
    http.OnRedirect = [&](bool&) { ++redirects; };
    http.Get(server.url("/first.html"));
    server.stop();
    auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(requestLineOf(reqs[1]), "GET /second.html HTTP/1.0");
    EXPECT_EQ(http.Location, "/second.html");
    EXPECT_EQ(http.Body, "second");
    EXPECT_EQ(redirects, 1);
}

TEST(HttpRedirect, AbsoluteUrlGoesToTheOtherServerWithTheCookie) {
    ScriptedServer target({answer("HTTP/1.0 200 OK\r\n\r\nthere"), answer("HTTP/1.0 200 OK\r\n\r\nagain")});
    ScriptedServer origin({answer("HTTP/1.0 302 Moved\r\nSet-Cookie: sid=42; path=/\r\nLocation: " +
                                  target.url("/there.html") + "\r\n\r\n")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(origin.url("/here.html"));
    EXPECT_EQ(http.Body, "there");
    EXPECT_EQ(http.HeaderInfo.Cookie, "sid=42; path=/");
    http.Get(target.url("/later.html"));
    target.stop();
    origin.stop();
    EXPECT_FALSE(hasLine(origin.requests().at(0), "Cookie: sid=42; path=/"));
    auto reqs = target.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(requestLineOf(reqs[0]), "GET /there.html HTTP/1.0");
    EXPECT_TRUE(hasLine(reqs[0], "Cookie: sid=42; path=/"));
    EXPECT_TRUE(hasLine(reqs[1], "Cookie: sid=42; path=/"));
}

TEST(HttpRedirect, BareNameStaysOnTheSameServer) {
    ScriptedServer server({answer("HTTP/1.0 301 Moved\r\nLocation: page.html\r\n\r\n"),
                           answer("HTTP/1.0 200 OK\r\n\r\npage")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(server.url("/dir/old.html"));
    EXPECT_EQ(http.URL, "http://127.0.0.1:" + std::to_string(server.port()) + "/page.html");
    server.stop();
    EXPECT_EQ(requestLineOf(server.requests().at(1)), "GET /page.html HTTP/1.0");
    EXPECT_EQ(http.Body, "page");
}

TEST(HttpRedirect, HandledRedirectStopsAndLoopIsBounded) {
    const std::string loop = "HTTP/1.0 302 Found\r\nLocation: /again\r\n\r\n";
    {
        ScriptedServer server({answer(loop)});
        TNMHTTP http;
        http.TimeOut = 5000;
        http.OnRedirect = [](bool& handled) { handled = true; };
        http.Get(server.url("/"));
        EXPECT_EQ(http.ReplyNumber, 302);
        server.stop();
        EXPECT_EQ(server.requests().size(), 1u);
    }
    std::vector<Script> scripts(30, answer(loop));
    ScriptedServer server(scripts);
    TNMHTTP http;
    http.TimeOut = 5000;
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Too many redirects (more than 20)");
    server.stop();
    EXPECT_EQ(server.requests().size(), 21u);
}

TEST(HttpLimits, HeaderLineCountAndBodySize) {
    std::string manyLines = "HTTP/1.0 200 OK\r\n";
    for (int i = 0; i < 150; ++i)
        manyLines += "X-" + std::to_string(i) + ": y\r\n";
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\nX-Long: " + std::string(10000, 'l') + "\r\n\r\n"),
                           answer(manyLines + "\r\n"),
                           answer("HTTP/1.0 200 OK\r\n\r\n" + std::string(TNMHTTP::MaxBodyLength + 1, 'b')),
                           answer("HTTP/1.0 200 OK\r\n\r\n" + std::string(TNMHTTP::MaxBodyLength, 'c'))});
    TNMHTTP http;
    http.TimeOut = 5000;
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Line too long (more than 8192 bytes)");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Too many response header lines (more than 100)");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }),
              "Response body too large (more than 16777216 bytes)");
    http.Get(server.url("/")); // exactly at the limit is fine
    EXPECT_EQ(http.Body.size(), TNMHTTP::MaxBodyLength);
    EXPECT_FALSE(http.Connected);
}

TEST(HttpFiles, InputFileModeWritesHeaderAndBodyFiles) {
    QTemporaryDir dir;
    ScriptedServer server({answer("HTTP/1.0 200 OK\r\nA: b\r\n\r\n\x01\x02 body\r\n")});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.InputFileMode = true;
    http.Header = dir.filePath("head.txt").toStdString();
    http.Body = dir.filePath("body.htm").toStdString();
    std::string headName = http.Header, bodyName = http.Body;
    http.Get(server.url("/"));
    EXPECT_EQ(http.Header, headName);
    EXPECT_EQ(http.Body, bodyName);
    EXPECT_EQ(readFile(headName), "HTTP/1.0 200 OK\r\nA: b\r\n\r\n");
    EXPECT_EQ(readFile(bodyName), "\x01\x02 body\r\n");
}

TEST(HttpFiles, MissingUploadFileFailsBeforeConnecting) {
    ScriptedServer server({answer(okPage)});
    TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 2000;
    EXPECT_NE(errorOf([&] { http.Post(server.url("/"), "/nonexistent/file.bgn"); }).find("Cannot open file"),
              std::string::npos);
    server.stop();
    EXPECT_EQ(server.accepted(), 0);
}

TEST(HttpConcurrency, SecondRequestWhileConnectedIsRefused) {
    ScriptedServer server({[](Peer& p) {
        p.readRequest();
        p.pause(300ms);
        p.send("HTTP/1.0 200 OK\r\n\r\nfirst");
    }});
    TNMHTTP http;
    http.TimeOut = 5000;
    std::string nested;
    QTimer::singleShot(100, [&] { nested = errorOf([&] { http.Get(server.url("/")); }); });
    http.Get(server.url("/"));
    EXPECT_EQ(nested, "HTTP request already in progress");
    EXPECT_EQ(http.Body, "first");
}

namespace {

int openDescriptors() {
    int n = 0;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
        ++n;
        if (std::getenv("NET_TEST_LIST_FDS"))
            std::fprintf(stderr, "%s -> %s\n", qPrintable(fd.fileName()), qPrintable(fd.symLinkTarget()));
    }
    return n;
}

} // namespace

TEST(HttpCleanUp, FailuresLeaveNothingOpen) {
    if (underWine())
        GTEST_SKIP() << "Wine shows no count of the program's handles: /proc/self/fd lists Wine's own "
                        "descriptors, and GetProcessHandleCount gives 0";
    std::vector<Script> scripts = {
        [](Peer& p) { p.readRequest(); }, // the first use, which may open what lives for the whole run
        [](Peer& p) { p.readUntilClosed(5s); },                                        // silent
        [](Peer& p) { p.readRequest(); },                                              // closes, no answer
        answer("HTTP/1.0 200 OK\r\n" + std::string(9000, 'h')),                         // endless line
        [](Peer& p) { p.readRequest(); p.send("HTTP/1.0 200 OK\r\n\r\nab"); p.waitForStop(); }, // stalls in body
    };
    ScriptedServer server(scripts);
    TNMHTTP http;
    http.TimeOut = 300;
    http.Get(server.url("/"));
    int before = openDescriptors();
    std::uint16_t refused = closedPort();
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(errorOf([&] { http.Get("http://127.0.0.1:" + std::to_string(refused) + "/"); }), "Connection Failed");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Socket readln aborted");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "(no error)");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Line too long (more than 8192 bytes)");
    EXPECT_EQ(errorOf([&] { http.Get(server.url("/")); }), "Socket capture aborted");
    EXPECT_FALSE(http.Connected);
    EXPECT_FALSE(http.Timer().running());
    EXPECT_FALSE(http.Canceled);
    server.stop(); // closes the server's own sockets, its listening one included
    EXPECT_EQ(openDescriptors(), before - 1); // still exactly the one fresh socket
}

TEST(HttpUploadLimits, PeerThatStopsReadingEndsTheUpload) {
    // The file is far larger than the loopback buffers; the server takes the
    // header and then reads no more. Each chunk has the full time-out.
    QTemporaryDir dir;
    std::string file = dir.filePath("big.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(64u << 20, 'u');
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.waitForStop();
    }});
    TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 500;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { http.Post(server.url("/cgi-bin/mailmanager.pl"), file); }), "Socket send aborted");
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_GT(http.BytesSent, 0);
    EXPECT_LT(http.BytesSent, 64 << 20);
}
