#pragma once
#include <chrono>
#include <exception>
#include <string>

namespace nettest {

// The message of what f throws, or "(no error)".
template <class F> std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The status query's and the upload's fixed lines.
inline const char* acceptLines() {
    return "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
           "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
}

} // namespace nettest
