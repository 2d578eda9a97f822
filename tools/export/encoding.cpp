#include "tools/export/encoding.h"

#include <array>
#include <cstdio>

namespace fb::exporter {
namespace {

constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Table {
    std::array<std::string, 256> utf8;
    Table() {
        for (int b = 0; b < 256; ++b) {
            const char16_t u = b >= 0x80 && b < 0xA0 ? kHigh[static_cast<std::size_t>(b - 0x80)]
                                                     : static_cast<char16_t>(b);
            std::string s;
            if (u < 0x80) {
                s.push_back(static_cast<char>(u));
            } else if (u < 0x800) {
                s.push_back(static_cast<char>(0xC0 | (u >> 6)));
                s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
            } else {
                s.push_back(static_cast<char>(0xE0 | (u >> 12)));
                s.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
                s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
            }
            utf8[static_cast<std::size_t>(b)] = s;
        }
    }
};

const Table& table() {
    static const Table t;
    return t;
}

std::string at(std::size_t offset) { return " at byte " + std::to_string(offset + 1); }

std::string hexByte(unsigned char b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

} // namespace

void appendUtf8(std::string& out, std::string_view cp1252) {
    const Table& t = table();
    std::size_t start = 0;
    for (std::size_t i = 0; i < cp1252.size(); ++i) {
        const auto b = static_cast<unsigned char>(cp1252[i]);
        if (b >= 0x80) {
            out.append(cp1252.substr(start, i - start));
            out += t.utf8[b];
            start = i + 1;
        }
    }
    out.append(cp1252.substr(start));
}

std::string toUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size());
    appendUtf8(out, cp1252);
    return out;
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n;
        unsigned cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// 0: plain text, 1: a letter above ASCII, 2: to be looked at.
constexpr std::array<unsigned char, 256> kClass = [] {
    std::array<unsigned char, 256> c{};
    for (int b = 0; b < 0x20; ++b)
        c[static_cast<std::size_t>(b)] = 2;
    c['\t'] = c['\r'] = c['\n'] = 0;
    for (int b = 0x80; b < 0x100; ++b)
        c[static_cast<std::size_t>(b)] = 1;
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        c[static_cast<std::size_t>(b)] = 2;
    return c;
}();

std::string textProblem(std::string_view bytes) {
    bool high = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const unsigned char cls = kClass[b];
        if (cls == 0)
            continue;
        if (cls == 1) {
            high = true;
            continue;
        }
        if (b == 0)
            return "not Windows-1252 text: NUL byte" + at(i);
        if (b < 0x20 && b != '\t' && b != '\r' && b != '\n')
            return "not Windows-1252 text: control character " + hexByte(b) + at(i);
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            return "not Windows-1252 text: byte " + hexByte(b) + at(i) + " is undefined there";
        if (b >= 0x80)
            high = true;
    }
    if (high && isValidUtf8(bytes))
        return "not Windows-1252 text: the file is UTF-8 encoded";
    return {};
}

std::string cutUtf8(const std::string& text, std::size_t max) {
    if (text.size() <= max)
        return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace fb::exporter
