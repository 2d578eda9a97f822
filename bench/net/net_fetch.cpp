// One request of the HTTP client as a whole process, so that the benchmark
// can time it the same way as curl:
//   net_fetch get URL             body kept in memory
//   net_fetch get-file URL FILE   body written to FILE
//   net_fetch post URL FILE       FILE posted unchanged
// Exit status 0 when the answer was 200 with a body.
#include "net/nmhttp.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: net_fetch get|get-file|post URL [FILE]\n");
        return 2;
    }
    const std::string mode = argv[1], url = argv[2], file = argc > 3 ? argv[3] : "";
    try {
        fb::TNMHTTP http;
        http.TimeOut = 60000;
        if (mode == "get") {
            http.Get(url);
        } else if (mode == "get-file" && !file.empty()) {
            http.InputFileMode = true;
            http.Header = file + ".head";
            http.Body = file;
            http.Get(url);
        } else if (mode == "post" && !file.empty()) {
            http.OutputFileMode = true;
            http.Post(url, file);
        } else {
            std::fprintf(stderr, "net_fetch: unknown mode %s\n", mode.c_str());
            return 2;
        }
        if (http.ReplyNumber != 200 || http.BytesRecvd <= 0) {
            std::fprintf(stderr, "net_fetch: answer %d, %d bytes\n", http.ReplyNumber, http.BytesRecvd);
            return 1;
        }
        // The body stays in memory until here, as a caller would hold it.
        if (mode == "post" || mode == "get")
            std::fprintf(stderr, "%zu\n", http.Body.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "net_fetch: %s\n", e.what());
        return 1;
    }
    return 0;
}
