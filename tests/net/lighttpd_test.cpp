// The client against a real web server, compared with what curl gets.
#include "net/nmhttp.h"
#include "tests/net/lighttpd_fixture.h"
#include "tests/net/tls_peer.h"

#include <QFile>
#include <QTemporaryDir>
#include <openssl/evp.h>

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

namespace {
std::string md5Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i)
        hex += "0123456789abcdef"[digest[i] >> 4], hex += "0123456789abcdef"[digest[i] & 15];
    return hex;
}
} // namespace

TEST(Lighttpd, HttpsStatusPageAndUploadsArriveWhole) {
    Lighttpd server(NET_TEST_SOURCE_DIR "/lighttpd", true);
    TNMHTTP http;
    http.TlsTrust = {server.caCertificate(), {}};
    http.TimeOut = 30000;
    http.Get(server.httpsUrl("/humor/bogenakt.html"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, readFile(NET_TEST_SOURCE_DIR "/lighttpd/htdocs/humor/bogenakt.html"));

    // An answer line, and a body of many records (partial writes, waits for room).
    http.OutputFileMode = true;
    http.TimeOut = 60000;
    std::string small = "recipient=humor-studie@localhost&subject=Bogendaten&Name=B\xe4r&Email=b@x\r\n";
    std::string large(6 << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (const std::string& bytes : {small, large}) {
        std::string answers = server.scratch("00000000.bgn");
        std::ofstream(answers, std::ios::binary | std::ios::trunc) << bytes;
        http.Post(server.httpsUrl("/cgi-bin/mailmanager.pl"), answers);
        EXPECT_NE(http.Body.find("Vielen Dank!"), std::string::npos);
        EXPECT_NE(http.Body.find("length=" + std::to_string(bytes.size()) + "\n"), std::string::npos);
        EXPECT_NE(http.Body.find("md5=" + md5Hex(bytes) + "\n"), std::string::npos);
    }
}

// The time-out counts from the peer's last progress, over TLS as over TCP:
// a reader that takes a record now and then never lets it expire.
TEST(TlsUpload, SlowReaderOutlastsTheTimeOut) {
    Identity identity = makeIdentity({"127.0.0.1"});
    TlsPeer::Options options{identity};
    options.receiveBuffer = 4096;
    options.pause = std::chrono::milliseconds(100);
    TlsPeer peer(options);
    QTemporaryDir dir;
    std::string file = dir.filePath("00000000.bgn").toStdString();
    std::string bytes(256 * 1024, 'a');
    std::ofstream(file, std::ios::binary) << bytes;
    TNMHTTP http;
    http.TlsTrust = {{}, {pinOf(identity)}};
    http.OutputFileMode = true;
    http.TimeOut = 500;
    http.Post(peer.url("/cgi-bin/mailmanager.pl"), file);
    EXPECT_EQ(http.Body, "imgang Vielen Dank!");
    std::string received = peer.received();
    EXPECT_EQ(received.substr(received.size() - bytes.size()), bytes);
}
