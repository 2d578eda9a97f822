// The client against a real web server, compared with what curl gets.
#include "net/nmhttp.h"
#include "tests/net/lighttpd_fixture.h"

#include <QFile>

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace fb;
using namespace nettest;

namespace {

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

// Fails (never skips) when lighttpd or curl are missing: the set-up installs them.
TEST(Lighttpd, StaticPageAndCgiPostMatchCurl) {
    Lighttpd server(NET_TEST_SOURCE_DIR "/lighttpd");
    TNMHTTP http;
    http.TimeOut = 30000;

    http.Get(server.url("/humor/bogenakt.html"));
    EXPECT_EQ(http.ReplyNumber, 200);
    std::string curlPage = server.scratch("curl-page");
    runCurl({"-s", "-S", "-o", QString::fromStdString(curlPage), QString::fromStdString(server.url("/humor/bogenakt.html"))});
    EXPECT_EQ(http.Body, readFile(curlPage));
    EXPECT_EQ(http.Body, readFile(NET_TEST_SOURCE_DIR "/lighttpd/htdocs/humor/bogenakt.html"));
    EXPECT_NE(http.Body.find("imgang"), std::string::npos);

    std::string answers = server.scratch("00000003.bgn");
    std::string bytes = "recipient=humor-studie@localhost&subject=Bogendaten&name=B\xe4r&witz1=7\r\n";
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>(i * 7);
    std::ofstream(answers, std::ios::binary) << bytes;

    http.OutputFileMode = true;
    http.TimeOut = 60000;
    http.Post(server.url("/cgi-bin/mailmanager.pl"), answers);
    EXPECT_EQ(http.ReplyNumber, 200);
    std::string curlAnswer = server.scratch("curl-answer");
    runCurl({"-s", "-S", "-o", QString::fromStdString(curlAnswer), "-H",
             "Content-type: application/x-www-form-urlencoded", "--data-binary", "@" + QString::fromStdString(answers),
             QString::fromStdString(server.url("/cgi-bin/mailmanager.pl"))});
    EXPECT_EQ(http.Body, readFile(curlAnswer));
    EXPECT_NE(http.Body.find("Vielen Dank!"), std::string::npos);
    EXPECT_NE(http.Body.find("length=" + std::to_string(bytes.size()) + "\n"), std::string::npos);
    EXPECT_NE(http.Body.find("method=POST\n"), std::string::npos);

    http.OutputFileMode = false;
    http.Get(server.url("/nothing-here.html"));
    EXPECT_EQ(http.ReplyNumber, 404);
}
