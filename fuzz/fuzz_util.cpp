#include "fuzz_util.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fbfuzz {
namespace {

std::string& scratchPath() {
    static std::string path;
    return path;
}

void removeScratch() {
    const std::string& dir = scratchPath();
    if (dir.empty())
        return;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                ::unlink((dir + "/" + name).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

} // namespace

const std::string& scratchDirectory() {
    std::string& path = scratchPath();
    if (!path.empty())
        return path;
    std::string base = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t && *t)
        base = t;
    if (::access("/dev/shm", W_OK) == 0)
        base = "/dev/shm";
    std::string tmpl = base + "/fragebogen-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::fprintf(stderr, "cannot make a scratch directory in %s: %s\n", base.c_str(), std::strerror(errno));
        std::abort();
    }
    path = tmpl;
    std::atexit(removeScratch);
    return path;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace fbfuzz
