// The URL, base64 and uuencode encoders against plain reference encoders
// written from the formats' definitions, and against decoders: decoding what
// they wrote gives the input back. The first input byte chooses the
// encoder's settings, a first line (when chosen) is what the output stream
// already holds, the rest is the data.
#include "fuzz_util.h"
#include "net/nmurl.h"
#include "net/nmuue.h"
#include "platform/memory_stream.h"

#include <algorithm>

namespace {

bool alnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string referenceUrl(const std::string& text) {
    std::string out;
    char hex[4];
    for (unsigned char c : text) {
        if (c == ' ') {
            out += '+';
        } else if (alnum(c)) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string decodeUrl(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            static const std::string hex = "0123456789ABCDEF";
            FUZZ_CHECK(i + 2 < text.size());
            const std::size_t hi = hex.find(text[i + 1]), lo = hex.find(text[i + 2]);
            FUZZ_CHECK(hi != std::string::npos && lo != std::string::npos);
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            FUZZ_CHECK(alnum(static_cast<unsigned char>(text[i])));
            out += text[i];
        }
    }
    return out;
}

// Base64 as RFC 2045 has it, 45 input bytes (60 characters) a line.
std::string referenceBase64(const std::string& data) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t line = 0; line < data.size(); line += 45) {
        const std::size_t end = std::min(data.size(), line + 45);
        for (std::size_t i = line; i < end; i += 3) {
            std::uint32_t v = 0;
            const std::size_t n = std::min<std::size_t>(3, end - i);
            for (std::size_t k = 0; k < 3; ++k)
                v = v << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
            for (std::size_t k = 0; k < 4; ++k)
                out += k <= n ? abc[(v >> (18 - 6 * k)) & 63] : '=';
        }
        out += "\r\n";
    }
    return out;
}

// uuencode lines: a length character, four characters per three bytes (a
// short last group without filler), the grave accent for zero; a last line
// of the grave accent alone.
std::string referenceUu(const std::string& data) {
    auto ch = [](unsigned v) { return v == 0 ? '`' : static_cast<char>(32 + v); };
    std::string out;
    for (std::size_t line = 0; line < data.size(); line += 45) {
        const std::size_t end = std::min(data.size(), line + 45);
        out += ch(static_cast<unsigned>(end - line));
        for (std::size_t i = line; i < end; i += 3) {
            std::uint32_t v = 0;
            const std::size_t n = std::min<std::size_t>(3, end - i);
            for (std::size_t k = 0; k < 3; ++k)
                v = v << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
            for (std::size_t k = 0; k <= n && k < 4; ++k)
                out += ch((v >> (18 - 6 * k)) & 63);
        }
        out += "\r\n";
    }
    return out + "`\r\n";
}

// Decodes lines of either kind and checks their shape on the way.
std::string decodeLines(const std::string& text, bool mime) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t crlf = text.find("\r\n", pos);
        FUZZ_CHECK(crlf != std::string::npos);
        std::string line = text.substr(pos, crlf - pos);
        pos = crlf + 2;
        auto value = [&](char c) -> unsigned {
            if (!mime)
                return c == '`' ? 0u : static_cast<unsigned>(c - 32);
            const std::string abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            const std::size_t v = abc.find(c);
            FUZZ_CHECK(v != std::string::npos);
            return static_cast<unsigned>(v);
        };
        std::size_t count = 0;
        if (!mime) {
            FUZZ_CHECK(!line.empty());
            count = value(line[0]);
            line.erase(0, 1);
            if (count == 0) {
                FUZZ_CHECK(line.empty() && pos == text.size()); // the closing line
                break;
            }
            FUZZ_CHECK(line.size() == count / 3 * 4 + (count % 3 ? count % 3 + 1 : 0));
        } else {
            FUZZ_CHECK(line.size() % 4 == 0 && line.size() <= 60 && !line.empty());
            while (!line.empty() && line.back() == '=')
                line.pop_back();
        }
        std::uint32_t acc = 0;
        int bits = 0;
        std::string bytes;
        for (char c : line) {
            acc = acc << 6 | value(c);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes += static_cast<char>((acc >> bits) & 0xff);
            }
        }
        if (!mime)
            FUZZ_CHECK(bytes.size() == count);
        out += bytes;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fbfuzz::Input in(data, size);
    const std::uint8_t settings = in.byte();
    const bool uu = settings & 1;
    const std::string prefix = settings & 2 ? in.field() : std::string();
    const std::string text = in.rest();

    const std::string url = fb::urlEncode(text);
    FUZZ_CHECK(url == referenceUrl(text));
    FUZZ_CHECK(decodeUrl(url) == text);
    fb::TNMURL component;
    component.InputString = text;
    FUZZ_CHECK(component.Encode() == url);

    const std::string base64 = fb::mimeEncodeLines(text);
    FUZZ_CHECK(base64 == referenceBase64(text));
    FUZZ_CHECK(decodeLines(base64, true) == text);

    // The component appends to what its output holds and rewinds both.
    fb::MemoryStream input, output;
    input.write(text.data(), text.size());
    output.write(prefix.data(), prefix.size());
    fb::TNMUUProcessor p;
    p.Method = uu ? fb::uuCode : fb::uuMime;
    p.InputStream = &input;
    p.OutputStream = &output;
    int begun = 0, ended = 0;
    p.OnBeginEncode = [&](QObject*) { ++begun; };
    p.OnEndEncode = [&](QObject*) { ++ended; };
    p.Encode();
    FUZZ_CHECK(begun == 1 && ended == 1);
    FUZZ_CHECK(output.position() == 0);
    FUZZ_CHECK(input.bytes() == text);
    const std::string encoded = uu ? referenceUu(text) : referenceBase64(text);
    FUZZ_CHECK(output.bytes() == prefix + encoded);
    FUZZ_CHECK(decodeLines(output.bytes().substr(prefix.size()), !uu) == text);
    FUZZ_CHECK(p.Alphabet.size() == 64);
    return 0;
}
