#include "net/nmuue.h"

namespace fb {

namespace {

const char mimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string uuAlphabet() {
    std::string a(64, '`');
    for (int n = 1; n < 64; ++n)
        a[n] = static_cast<char>(32 + n);
    return a;
}

// Writes one line (at most 1 + 60 + 2 characters) at out; returns its end.
char* encodeLine(const unsigned char* in, std::size_t count, const char* alphabet, bool mime, char* out) {
    if (!mime)
        *out++ = alphabet[count];
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        out[0] = alphabet[b0 >> 2];
        out[1] = alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out[2] = alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        out[3] = alphabet[b2 & 63];
        out += 4;
    }
    if (count - i == 1) {
        unsigned b0 = in[i];
        *out++ = alphabet[b0 >> 2];
        *out++ = alphabet[(b0 & 3) << 4];
        if (mime) {
            *out++ = '=';
            *out++ = '=';
        }
    } else if (count - i == 2) {
        unsigned b0 = in[i], b1 = in[i + 1];
        *out++ = alphabet[b0 >> 2];
        *out++ = alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        *out++ = alphabet[(b1 & 15) << 2];
        if (mime)
            *out++ = '=';
    }
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

} // namespace

void TNMUUProcessor::Encode() {
    struct EndEncode {
        TNMUUProcessor* self;
        ~EndEncode() {
            if (self->OutputStream)
                self->OutputStream->setPosition(0);
            if (self->OnEndEncode)
                self->OnEndEncode(self);
        }
    } end{this};
    InputStream->setPosition(0);
    if (OnBeginEncode)
        OnBeginEncode(this);
    bool mime = Method == uuMime;
    Alphabet = mime ? std::string(mimeAlphabet) : uuAlphabet();
    // Writes go to the end of what the output already holds.
    OutputStream->setPosition(OutputStream->size());
    const std::string& data = InputStream->bytes();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    // The lines are gathered and written in pieces of up to 1 MiB.
    constexpr std::size_t linesPerPiece = 16384;
    std::string lines(linesPerPiece * 64 + 4, '\0');
    char* o = lines.data();
    std::size_t inPiece = 0;
    std::size_t pos = InputStream->position();
    while (pos < data.size()) {
        std::size_t count = std::min<std::size_t>(45, data.size() - pos);
        o = encodeLine(bytes + pos, count, Alphabet.data(), mime, o);
        pos += count;
        InputStream->setPosition(pos);
        if (++inPiece == linesPerPiece) {
            OutputStream->write(lines.data(), static_cast<std::size_t>(o - lines.data()));
            o = lines.data();
            inPiece = 0;
        }
    }
    if (!mime) {
        *o++ = '`';
        *o++ = '\r';
        *o++ = '\n';
    }
    OutputStream->write(lines.data(), static_cast<std::size_t>(o - lines.data()));
}

std::string mimeEncodeLines(const std::string& bytes) {
    MemoryStream in, out;
    in.write(bytes.data(), bytes.size());
    TNMUUProcessor p;
    p.InputStream = &in;
    p.OutputStream = &out;
    p.Encode();
    return out.bytes();
}

} // namespace fb
