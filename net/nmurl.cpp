#include "net/nmurl.h"

#include <exception>

namespace fb {

std::string urlEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out(text.size() * 3, '\0');
    char* o = out.data();
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            *o++ = static_cast<char>(c);
        } else if (c == ' ') {
            *o++ = '+';
        } else {
            o[0] = '%';
            o[1] = hex[c >> 4];
            o[2] = hex[c & 15];
            o += 3;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string TNMURL::Encode() {
    // No 16-bit length limit here: texts of any length are encoded whole.
    try {
        return urlEncode(InputString);
    } catch (const std::exception& e) {
        if (OnError)
            OnError(this, "Error during encode", e.what());
        return InputString;
    }
}

} // namespace fb
