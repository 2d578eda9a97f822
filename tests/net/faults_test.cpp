// The HTTP client against peers that misbehave: resets, nested requests from
// event handlers, line ends smuggled into header values, slow and stalled
// readers of an upload, and bodies at and over the size limit.
#include "net/nmhttp.h"
#include "tests/net/net_test_util.h"
#include "tests/net/scripted_server.h"

#include <QMetaObject>
#include <QTemporaryDir>
#include <QTimer>

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
