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

void encodeLine(const unsigned char* in, std::size_t count, const std::string& alphabet, bool mime,
                std::string& line) {
    line.clear();
    if (!mime)
        line.push_back(alphabet[count]);
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        line.push_back(alphabet[b0 >> 2]);
        line.push_back(alphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        line.push_back(alphabet[((b1 & 15) << 2) | (b2 >> 6)]);
        line.push_back(alphabet[b2 & 63]);
    }
    if (count - i == 1) {
        unsigned b0 = in[i];
        line.push_back(alphabet[b0 >> 2]);
        line.push_back(alphabet[(b0 & 3) << 4]);
        if (mime)
            line += "==";
    } else if (count - i == 2) {
        unsigned b0 = in[i], b1 = in[i + 1];
        line.push_back(alphabet[b0 >> 2]);
        line.push_back(alphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        line.push_back(alphabet[(b1 & 15) << 2]);
        if (mime)
            line += "=";
    }
    line += "\r\n";
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
    std::string line;
    line.reserve(64);
    std::size_t pos = InputStream->position();
    while (pos < data.size()) {
        std::size_t count = std::min<std::size_t>(45, data.size() - pos);
        encodeLine(bytes + pos, count, Alphabet, mime, line);
        pos += count;
        InputStream->setPosition(pos);
        OutputStream->write(line.data(), line.size());
    }
    if (!mime)
        OutputStream->write("`\r\n", 3);
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
