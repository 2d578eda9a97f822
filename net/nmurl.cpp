#include "net/nmurl.h"

#include <exception>

namespace fb {

std::string urlEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
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
