// URL parsing and request header building. The input gives the request kind,
// a URL as a caller might pass it, and the optional header values, one a
// line. The parse of the free-form URL must keep its promises; a URL put
// together from clean parts must come apart into exactly those parts; the
// header must hold the request line and each value set, once.
#include <initializer_list>
#include "fuzz_util.h"
#include "net/nmhttp.h"
#include "net/nmuue.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <cstring>

namespace {

std::string clean(const std::string& s, const char* drop) {
    std::string out;
    for (char c : s)
        if (!std::strchr(drop, c) && c != '\0')
            out += c;
    return out;
}

int countLines(const fb::TExStringList& list, const std::string& line) {
    int n = 0;
    for (const std::string& l : list.Strings)
        n += l == line;
    return n;
}

std::string base64Decode(const std::string& text) {
    static const std::string abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        const std::size_t v = abc.find(c);
        if (v == std::string::npos)
            continue; // line ends and padding
        acc = acc << 6 | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xff);
        }
    }
    return out;
}

const char* const prefixes[] = {"GET ",   "OPTIONS ", "HEAD ",   "POST ",   "PUT ",  "PATCH ", "COPY ",
                                "MOVE ",  "DELETE ",  "LINK ",   "UNLINK ", "TRACE ", ""};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "url_header_fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fbfuzz::Input in(data, size);
    const auto kind = static_cast<fb::CmdType>(in.byte() % 13);
    const std::uint8_t flags = in.byte();
    const std::string url = in.field();
    const std::string proxy = flags & 1 ? in.field() : std::string();
    fb::THeaderInfo info;
    info.UserId = in.field();
    info.Password = in.field();
    info.Cookie = in.field();
    info.Referer = in.field();
    info.LocalProgram = in.field();
    info.LocalMailAddress = in.field();
    const std::string extra = in.field();
    const std::string sendData = in.rest();

    fb::TNMHTTP http;
    http.URL = url;
    http.RequestKind = kind;
    http.Proxy = proxy;
    http.HeaderInfo = info;
    http.ExtraHeaderValue = extra;
    http.SendData = sendData;
    try {
        http.ParseURL();
    } catch (const fb::Exception&) {
        return 0; // empty URL, a port that is no number
    }
    FUZZ_CHECK(!http.RequestPath.empty() && http.RequestPath[0] == '/' && http.RequestPath.size() <= 256);
    FUZZ_CHECK(http.Host.find_first_of("/:") == std::string::npos);
    FUZZ_CHECK(http.URL.size() >= url.size() && http.URL.compare(0, url.size(), url) == 0);

    try {
        http.BuildHeader();
    } catch (const fb::ESockError&) {
        // Refused only when a value would have split or cut a request line
        // (credentials count too: their base64 form breaks into lines when long).
        bool unsafe = false;
        for (const std::string* v : std::initializer_list<const std::string*>{&url, &proxy, &extra, &info.LocalProgram, &info.LocalMailAddress,
                                     &info.Cookie, &info.Referer,
                                     &http.RequestPath, &http.Host, &http.URL})
            unsafe = unsafe || v->find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
        if (!info.UserId.empty() && !info.Password.empty()) {
            const std::string encoded = fb::mimeEncodeLines(info.UserId + ":" + info.Password);
            const std::size_t end = encoded.find("\r\n");
            unsafe = unsafe || (end != std::string::npos && end + 2 < encoded.size());
        }
        FUZZ_CHECK(unsafe);
        return 0;
    }
    const fb::TExStringList& h = http.HeaderList;
    if (kind != fb::CmdNone) {
        FUZZ_CHECK(h.Count() > 0);
        FUZZ_CHECK(h[0] == std::string(prefixes[kind]) + (proxy.empty() ? http.RequestPath : http.URL) + " HTTP/1.0");
    }
    auto once = [&](const std::string& name, const std::string& value) {
        const int n = countLines(h, name + ": " + value);
        FUZZ_CHECK(value.empty() ? fb::HeaderIndex(h, name) < 0 || n == 0 : n == 1);
    };
    once("Host", http.Host);
    once("User-Agent", info.LocalProgram);
    once("From", info.LocalMailAddress);
    once("Cookie", info.Cookie);
    once("Referer", info.Referer);
    const int auth = fb::HeaderIndex(h, "Authorization");
    if (!info.UserId.empty() && !info.Password.empty()) {
        FUZZ_CHECK(auth >= 0 && h[auth].rfind("Authorization: Basic ", 0) == 0);
        FUZZ_CHECK(base64Decode(h[auth].substr(21)) == info.UserId + ":" + info.Password);
    }
    const bool body = kind == fb::CmdPost || kind == fb::CmdPut || kind == fb::CmdPatch || kind == fb::CmdTrace ||
                      kind == fb::CmdNone || kind == fb::CmdLink || kind == fb::CmdUnlink;
    if (body)
        FUZZ_CHECK(countLines(h, "Content-Length: " + std::to_string(http.SendData.size())) == 1);
    else
        FUZZ_CHECK(fb::HeaderIndex(h, "Content-Length") < 0);
    std::string text;
    for (const std::string& l : h.Strings)
        text += l + "\r\n";
    FUZZ_CHECK(h.Text() == text);

    // A URL from clean parts comes apart into them.
    const std::string host = clean(info.Referer.substr(0, 40), "/:@?#% ");
    const std::string path = "/" + clean(info.Cookie.substr(0, 200), "");
    const int port = 1 + (flags >> 1) * 257 % 65535;
    if (host.empty())
        return 0;
    fb::TNMHTTP parts;
    parts.URL = "http://" + host + ":" + std::to_string(port) + path;
    parts.ParseURL();
    FUZZ_CHECK(parts.Host == host);
    FUZZ_CHECK(parts.Port == port);
    FUZZ_CHECK(parts.RequestPath == path || (path == "/" && parts.RequestPath == "/"));
    return 0;
}
