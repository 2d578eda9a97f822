#include "platform/cp1252.h"

#include <array>

namespace fb {
namespace {

// 0x80..0x9F. The five bytes Windows leaves undefined map to the C1 controls
// of the same value, so every byte round-trips.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int encode(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == u)
            return static_cast<int>(0x80 + i);
    return -1;
}

} // namespace

QString fromCp1252(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes)
        out.append(QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b)));
    return out;
}

std::string toCp1252(const QString& text, bool* ok) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    bool all = true;
    for (QChar c : text) {
        int b = encode(c.unicode());
        if (b < 0) {
            all = false;
            b = '?';
        }
        out.push_back(static_cast<char>(b));
    }
    if (ok)
        *ok = all;
    return out;
}

bool isCp1252(QChar c) { return encode(c.unicode()) >= 0; }

namespace {
bool isLineBreak(char16_t c) { return c == '\r' || c == '\n' || c == 0x0085 || c == 0x2028 || c == 0x2029; }
} // namespace

QString oneStorableLine(const QString& text, bool* replaced) {
    const QString in = text.normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(in.size());
    bool any = false;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char16_t c = in[i].unicode();
        if (isLineBreak(c)) {
            while (i + 1 < in.size() && isLineBreak(in[i + 1].unicode()))
                ++i;
            out.append(' ');
        } else if (c < 0x20 || c == 0x7F) {
            out.append(' ');
        } else if (encode(c) >= 0) {
            out.append(QChar(c));
        } else {
            if (in[i].isHighSurrogate() && i + 1 < in.size() && in[i + 1].isLowSurrogate())
                ++i;
            out.append('?');
            any = true;
        }
    }
    if (replaced)
        *replaced = any;
    return out;
}

} // namespace fb
