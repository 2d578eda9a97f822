#pragma once
// Helpers shared by the fuzz targets: checks that end the run with a report,
// an input taken apart into fields, and a scratch directory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A violated property is a finding like a crash: report it and abort, so
// that libFuzzer keeps the input and the replay fails.
#define FUZZ_CHECK(cond)                                                                                          \
    do {                                                                                                          \
        if (!(cond))                                                                                              \
            ::fbfuzz::checkFailed(#cond, __FILE__, __LINE__);                                                     \
    } while (0)

namespace fbfuzz {

[[noreturn]] inline void checkFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::fflush(stderr);
    std::abort();
}

// Reads an input front to back; past its end every read gives zeros or empty
// text, so every input is a valid one.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(reinterpret_cast<const char*>(data)), n_(size) {}
    std::uint8_t byte() {
        if (n_ == 0)
            return 0;
        --n_;
        return static_cast<std::uint8_t>(*p_++);
    }
    // Up to the next separator (which is dropped) or the end.
    std::string field(char separator = '\n') {
        std::size_t i = 0;
        while (i < n_ && p_[i] != separator)
            ++i;
        std::string f(p_, i);
        const std::size_t used = i < n_ ? i + 1 : i;
        p_ += used;
        n_ -= used;
        return f;
    }
    std::string rest() {
        std::string r(p_, n_);
        p_ += n_;
        n_ = 0;
        return r;
    }

private:
    const char* p_;
    std::size_t n_;
};

// A directory of our own for files the targets write, made once per process
// and removed at its end; on /dev/shm when that exists, since the writers
// flush every file to disk. Absolute, without a trailing slash.
const std::string& scratchDirectory();

// Writes bytes to path, replacing it; aborts on failure.
void writeBytes(const std::string& path, const std::string& bytes);
std::string readBytes(const std::string& path); // empty when absent

} // namespace fbfuzz
