// The socket transport against scripted loopback peers.
#include "net/psock.h"
#include "tests/net/net_test_util.h"
#include "tests/net/scripted_server.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace fb;
using namespace nettest;
using namespace std::chrono_literals;

namespace {

void connectTo(TPowersock& s, const ScriptedServer& server) {
    s.Host = "127.0.0.1";
    s.Port = server.port();
    s.Connect();
}

} // namespace

TEST(ErrorText, TableAndUnknownNumbers) {
    TPowersock s;
    EXPECT_EQ(s.ErrorText(10061), "10061:Connection refused");
    EXPECT_EQ(s.ErrorText(10004), "10004:Interrupted system call");
    EXPECT_EQ(s.ErrorText(10047), "10047:Address family not supported by protocol family");
    EXPECT_EQ(s.ErrorText(10093), "10093:Successful WSAStartup not yet performed");
    EXPECT_EQ(s.ErrorText(11003), "11003:Non-Recoverable error: FORMERR, REFUSED, NOTIMP");
    EXPECT_EQ(s.ErrorText(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(s.ErrorText(10072), "Unknown Error No. 10072");
    EXPECT_EQ(s.ErrorText(0), "Unknown Error No. 0");
}

#ifndef _WIN32 // raw POSIX sockets and errno values
TEST(ErrorText, PosixErrorsMapToTheTableNumbers) {
    EXPECT_EQ(sock::errnoToWsa(ECONNREFUSED), 10061);
    EXPECT_EQ(sock::errnoToWsa(ETIMEDOUT), 10060);
    EXPECT_EQ(sock::errnoToWsa(ENETUNREACH), 10051);
    EXPECT_EQ(sock::errnoToWsa(ECONNRESET), 10054);
    EXPECT_EQ(sock::errnoToWsa(ENOTCONN), 10057);
    EXPECT_EQ(sock::errnoToWsa(EWOULDBLOCK), 10035);
    EXPECT_EQ(sock::errnoToWsa(EAGAIN), 10035);
    EXPECT_EQ(sock::errnoToWsa(EHOSTUNREACH), 10065);
    EXPECT_EQ(sock::lookupErrorToWsa(EAI_NONAME, 0), 11001);
    EXPECT_EQ(sock::lookupErrorToWsa(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(sock::lookupErrorToWsa(EAI_FAIL, 0), 11003);
}
#endif

TEST(ErrorText, CheckErrorRaisesAndTellsTheHook) {
    TPowersock s;
    int hooked = 0;
    s.OnSocketError = [&](QObject*, std::uint16_t n, const std::string& m) {
        hooked = n;
        EXPECT_EQ(m, "10054:Connection reset by peer");
    };
    sock::setLastError(10054);
    EXPECT_EQ(errorOf([&] { s.CheckError(10035); }), "10054:Connection reset by peer");
    EXPECT_EQ(hooked, 10054);
    EXPECT_EQ(s.LastErrorNo, 10054);
    sock::setLastError(10035);
    EXPECT_EQ(s.CheckError(10035), "");
}

TEST(Library, TwoInstancesShareOneStart) {
    ASSERT_EQ(TPowersock::WinsockUsers(), 0);
    long long before = sock::firstStarts();
    {
        auto a = std::make_unique<TPowersock>();
        EXPECT_EQ(a->WinsockInfo.size(), 6u);
        EXPECT_EQ(a->WinsockInfo[0], "Version= 1.1");
        EXPECT_EQ(a->WinsockInfo[5], "Max Udp pack size= 65507");
        auto b = std::make_unique<TPowersock>();
        EXPECT_TRUE(b->WinsockInfo.empty()); // only the first start describes the library
        EXPECT_EQ(TPowersock::WinsockUsers(), 2);
        EXPECT_EQ(sock::activeStarts(), 1);
        EXPECT_EQ(sock::firstStarts(), before + 1);
        EXPECT_NE(a->SocketHandle(), b->SocketHandle());
        a.reset();
        EXPECT_EQ(sock::activeStarts(), 1);
        EXPECT_EQ(TPowersock::WinsockUsers(), 1);
    }
    EXPECT_EQ(TPowersock::WinsockUsers(), 0);
    EXPECT_EQ(sock::activeStarts(), 0);
}

TEST(Connect, DottedAddressNeedsNoLookupAndReconnects) {
    ScriptedServer server({[](Peer& p) { p.readLine(); }, [](Peer& p) { p.readLine(); }});
    TPowersock s;
    int resolved = 0, connected = 0, disconnected = 0;
    s.OnHostResolved = [&](QObject*) { ++resolved; };
    s.OnConnect = [&](QObject*) { ++connected; };
    s.OnDisconnect = [&](QObject*) { ++disconnected; };
    connectTo(s, server);
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Already connected");
    s.Writeln("one");
    std::uint16_t first = s.SocketHandle();
    s.Disconnect();
    EXPECT_FALSE(s.Connected);
    EXPECT_NE(s.SocketHandle(), sock::INVALID_SOCKET); // a fresh socket is ready
    s.Connect();
    s.Writeln("two");
    s.Disconnect();
    server.stop();
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 2);
    EXPECT_EQ(disconnected, 2);
    EXPECT_EQ(server.requests(), (std::vector<std::string>{"one\r\n", "two\r\n"}));
    (void)first;
}

TEST(Connect, NameIsLookedUpAsynchronously) {
    ScriptedServer server({[](Peer& p) { p.readLine(); }});
    TPowersock s;
    int resolved = 0;
    s.OnHostResolved = [&](QObject*) { ++resolved; };
    s.Host = "localhost";
    s.Port = server.port();
    s.TimeOut = 5000;
    s.Connect();
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(s.remoteAddress(), sock::inetAddr("127.0.0.1"));
    s.Disconnect();
}

TEST(Connect, RefusedConnectionFails) {
    TPowersock s;
    int failed = 0;
    s.OnConnectionFailed = [&](QObject*) { ++failed; };
    s.Host = "127.0.0.1";
    s.Port = closedPort();
    s.TimeOut = 5000;
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(s.Connected);
    // The instance recovers for the next connection.
    s.Disconnect();
    ScriptedServer server({[](Peer& p) { p.readLine(); }});
    s.Port = server.port();
    s.Connect();
    EXPECT_TRUE(s.Connected);
}

TEST(Connect, UnresolvableNameAndOneCorrection) {
    TPowersock s;
    s.TimeOut = 10000;
    s.Host = "no-such-host.invalid";
    s.Port = 80;
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Null Remote Address");

    ScriptedServer server({[](Peer& p) { p.readLine(); }});
    int asked = 0;
    s.OnInvalidHost = [&](bool& handled) {
        ++asked;
        s.Host = "127.0.0.1";
        s.Port = server.port();
        handled = true;
    };
    s.Host = "no-such-host.invalid";
    s.Connect();
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(asked, 1);
    s.Disconnect();

    // A correction that fails again is not asked a second time.
    asked = 0;
    s.OnInvalidHost = [&](bool& handled) {
        ++asked;
        s.Host = "still-not.invalid";
        handled = true;
    };
    s.Host = "no-such-host.invalid";
    EXPECT_EQ(errorOf([&] { s.Connect(); }), "Null Remote Address");
    EXPECT_EQ(asked, 1);
}

TEST(Connect, AbandonedLookupDoesNotTouchTheFreedInstance) {
    // Cancel as the lookup starts and free the instance at once; the lookup
    // result arrives later and must go nowhere.
    for (int i = 0; i < 5; ++i) {
        auto s = std::make_unique<TPowersock>();
        s->ReportLevel = 8;
        TPowersock* raw = s.get();
        s->OnStatus = [raw](QObject*, const std::string& text) {
            if (text == "Resolve Host")
                raw->Cancel();
        };
        s->Host = "localhost";
        s->Port = 1;
        EXPECT_EQ(errorOf([&] { s->Connect(); }), "Host Lookup Canceled");
        s.reset();
    }
    auto end = std::chrono::steady_clock::now() + 300ms;
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(ReadLn, StatusLineInTwoPiecesEverySplitPoint) {
    const std::string response = "HTTP/1.1 200 OK\r\nNext: line\r\n";
    for (std::size_t split = 1; split < 17; ++split) {
        ScriptedServer server({[&](Peer& p) {
            p.readLine();
            p.send(response.substr(0, split));
            p.pause(5ms);
            p.send(response.substr(split));
            p.readUntilClosed(2s);
        }});
        TPowersock s;
        s.TimeOut = 5000;
        connectTo(s, server);
        s.Writeln("go");
        EXPECT_EQ(s.ReadLn(), "HTTP/1.1 200 OK\r\n") << split;
        // The rest stayed on the socket for the next read.
        EXPECT_EQ(s.ReadLn(), "Next: line\r\n") << split;
        s.Disconnect();
    }
}

TEST(ReadLn, PeerClosingMidLineGivesEmptyText) {
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.send("a line\nno end");
    }});
    TPowersock s;
    s.TimeOut = 5000;
    connectTo(s, server);
    s.Writeln("go");
    EXPECT_EQ(s.ReadLn(), "a line\n");
    EXPECT_EQ(s.ReadLn(), "");
    EXPECT_EQ(s.ReadLn(), ""); // stays at the end
}

TEST(ReadLn, SilentPeerTimesOutWithoutBurningTime) {
    ScriptedServer server({[](Peer& p) { p.waitForStop(); }});
    TPowersock s;
    s.TimeOut = 1000;
    connectTo(s, server);
    int ticks = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start(100);
    double cpu = cpuSeconds();
    auto start = std::chrono::steady_clock::now();
    std::string error;
    try {
        s.ReadLn();
    } catch (const EAbortError& e) {
        error = e.what();
    }
    double waited = secondsSince(start);
    cpu = cpuSeconds() - cpu;
    EXPECT_EQ(error, "Socket readln aborted");
    EXPECT_GE(waited, 0.95);
    EXPECT_LT(waited, 3.0);
    EXPECT_LT(cpu, 0.1); // asleep in the event loop, not polling
    EXPECT_GE(ticks, 5);  // other timers kept running during the wait
    EXPECT_TRUE(s.TimedOut);
    EXPECT_FALSE(s.Canceled); // cleared with the aborted error
}

TEST(ReadLn, LineLongerThanTheLimitIsRefused) {
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.send(std::string(20000, 'x'));
        p.readUntilClosed(2s);
    }});
    TPowersock s;
    s.TimeOut = 5000;
    connectTo(s, server);
    s.Writeln("go");
    EXPECT_EQ(errorOf([&] { s.ReadLn(); }), "Line too long (more than 8192 bytes)");
}

TEST(Capture, StringUntilCloseAndWithLimit) {
    std::string big(200000, 'b');
    big.back() = 'Z';
    ScriptedServer server({[&](Peer& p) {
                               p.readLine();
                               p.send(big);
                               p.pause(20ms);
                               p.send("!"); // a last chunk of one byte
                           },
                           [&](Peer& p) {
                               p.readLine();
                               p.send("0123456");
                               p.pause(30ms);
                               p.send("789ab");
                               p.pause(30ms);
                               p.send("cdef");
                               p.readUntilClosed(2s);
                           }});
    TPowersock s;
    s.TimeOut = 5000;
    int packets = 0;
    s.OnPacketRecvd = [&](QObject*) { ++packets; };
    connectTo(s, server);
    s.Writeln("go");
    std::string dest = "old";
    s.CaptureString(dest, -1);
    EXPECT_EQ(dest, big + "!");
    EXPECT_EQ(s.BytesRecvd, 200001);
    EXPECT_GE(packets, 2);
    s.Disconnect();

    s.Connect();
    s.Writeln("go");
    s.CaptureString(dest, 10);
    EXPECT_EQ(dest, "0123456789ab"); // stops after the chunk that reached 10
    s.Disconnect();
}

TEST(Capture, SilentPeerAbortsCapture) {
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.send("part");
        p.waitForStop();
    }});
    TPowersock s;
    s.TimeOut = 300;
    connectTo(s, server);
    s.Writeln("go");
    std::string dest;
    EXPECT_EQ(errorOf([&] { s.CaptureString(dest, -1); }), "Socket capture aborted");
    EXPECT_EQ(dest, "part");
}

TEST(Capture, CancelFromTheEventLoopEndsTheWait) {
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.waitForStop();
    }});
    TPowersock s;
    s.TimeOut = 0; // nothing times out: only the cancel ends it
    connectTo(s, server);
    s.Writeln("go");
    QTimer::singleShot(200, [&] { s.Abort(); });
    auto start = std::chrono::steady_clock::now();
    std::string dest;
    EXPECT_EQ(errorOf([&] { s.CaptureString(dest, -1); }), "Socket capture aborted");
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(s.TimedOut);
}

TEST(Write, StopsAtNulAndRefusesOversizedText) {
    ScriptedServer server({[](Peer& p) {
        p.readBytes(2 + 65535 + 2);
        p.send("ok\n");
    }});
    TPowersock s;
    s.TimeOut = 5000;
    connectTo(s, server);
    s.Write(std::string("ab\0cd", 5));
    s.Write(std::string(65535, 'x'));
    EXPECT_NE(errorOf([&] { s.Write(std::string(65536, 'y')); }).find("too long"), std::string::npos);
    s.Writeln("");
    EXPECT_EQ(s.ReadLn(), "ok\n"); // everything arrived before the close
    s.Disconnect();
    server.stop();
    EXPECT_EQ(server.requests().at(0), "ab" + std::string(65535, 'x') + "\r\n");
}

TEST(Transaction, ReplyLineAndNumber) {
    ScriptedServer server({[](Peer& p) {
        p.readLine();
        p.send("250 Mail accepted\r\n");
        p.readUntilClosed(2s);
    }});
    TPowersock s;
    s.TimeOut = 5000;
    s.ReportLevel = 1;
    connectTo(s, server);
    EXPECT_EQ(s.Transaction("HELO x"), "250 Mail accepted\r\n");
    EXPECT_EQ(s.ReplyNumber, 250);
    EXPECT_EQ(s.LastStatus, "250 Mail accepted\r\n"); // reported at level 1
    s.Disconnect();
    server.stop();
    EXPECT_EQ(server.requests().at(0), "HELO x\r\n");
}

TEST(Status, LevelsDecideWhatIsReported) {
    std::vector<std::string> seen;
    TPowersock s;
    s.OnStatus = [&](QObject*, const std::string& t) { seen.push_back(t); };
    s.Cancel();
    EXPECT_TRUE(seen.empty()); // level 0 reports nothing
    s.ReportLevel = 4;
    s.Disconnect();
    EXPECT_EQ(seen, (std::vector<std::string>{"Request Close Socket"}));
    s.ReportLevel = 8;
    seen.clear();
    s.Disconnect();
    EXPECT_EQ(seen, (std::vector<std::string>{"Disconnecting", "Request Close Socket"}));
}

#ifndef _WIN32 // raw POSIX sockets and errno values
TEST(Accept, WaitsForAnIncomingConnection) {
    TPowersock s;
    s.TimeOut = 5000;
    s.Listen(0);
    std::uint16_t port = s.LocalPort();
    ASSERT_NE(port, 0);
    std::thread client([port] {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::send(fd, "hi", 2, 0);
        ::close(fd);
    });
    std::uint16_t handle = s.Accept();
    client.join();
    ASSERT_NE(handle, sock::INVALID_SOCKET);
    char buf[4] = {};
    EXPECT_EQ(::recv(handle, buf, sizeof buf, MSG_WAITALL), 2);
    ::close(handle);

    QTimer::singleShot(50, [&] { s.Cancel(); });
    EXPECT_EQ(errorOf([&] { s.Accept(); }), "Accepting Canceled");
}
#endif

#ifndef _WIN32 // Linux leaves connections to a full listen queue unanswered
TEST(Connect, UnansweredConnectionTimesOut) {
    // A listener whose queue is full and that never accepts: further
    // connection attempts get no answer at all.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    TPowersock filler; // takes the one place in the queue
    filler.Host = "127.0.0.1";
    filler.Port = ntohs(a.sin_port);
    filler.TimeOut = 2000;
    filler.Connect();
    TPowersock s;
    s.Host = "127.0.0.1";
    s.Port = filler.Port;
    s.TimeOut = 300;
    int failed = 0;
    s.OnConnectionFailed = [&](QObject*) { ++failed; };
    auto start = std::chrono::steady_clock::now();
    std::string error = errorOf([&] { s.Connect(); });
    EXPECT_GE(secondsSince(start), 0.25);
    EXPECT_EQ(error, "Connection Timed out");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(s.Connected);
    ::close(fd);
}
#endif
