// Network benchmarks. The 100 MB transfers run against one lighttpd on
// loopback, ours and curl's one after the other in the same run; the summary
// at the end gives our throughput as a share of curl's.
#include "net/nmhttp.h"
#include "net/nmurl.h"
#include "net/nmuue.h"
#include "tests/net/lighttpd_fixture.h"
#include "tests/net/scripted_server.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sys/resource.h>

using namespace fb;
using namespace nettest;

namespace {

constexpr std::size_t bigSize = 100u * 1000 * 1000;
std::unique_ptr<Lighttpd> server;
std::string bigFile;    // served as /big.bin
std::string uploadFile; // posted to the CGI script
std::map<std::string, double> bestSeconds;

void note(const std::string& name, double seconds) {
    auto it = bestSeconds.find(name);
    if (it == bestSeconds.end() || seconds < it->second)
        bestSeconds[name] = seconds;
}

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void writeFile(const std::string& name, std::size_t size, unsigned seed) {
    std::ofstream out(name, std::ios::binary);
    std::string block(1 << 20, '\0');
    unsigned x = seed;
    for (char& c : block) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    for (std::size_t done = 0; done < size; done += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
}

void BM_CurlGet100MB(benchmark::State& state) {
    std::string out = server->scratch("curl-get.bin");
    for (auto _ : state) {
        double s = runCurl({"-s", "-S", "-o", QString::fromStdString(out), QString::fromStdString(server->url("/big.bin"))});
        state.SetIterationTime(s);
        note("get-curl", s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bigSize));
}

void BM_ClientGet100MB_CaptureFile(benchmark::State& state) {
    TNMHTTP http;
    http.TimeOut = 60000;
    http.InputFileMode = true;
    for (auto _ : state) {
        http.Header = server->scratch("client-get.head");
        http.Body = server->scratch("client-get.bin");
        double t = now();
        http.Get(server->url("/big.bin"));
        double s = now() - t;
        if (http.ReplyNumber != 200 || http.BytesRecvd != static_cast<int>(bigSize))
            state.SkipWithError("GET failed");
        state.SetIterationTime(s);
        note("get-client", s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bigSize));
}

void BM_CurlPost100MB(benchmark::State& state) {
    for (auto _ : state) {
        double s = runCurl({"-s", "-S", "-o", "/dev/null", "-H", "Content-type: application/x-www-form-urlencoded",
                            "--data-binary", "@" + QString::fromStdString(uploadFile),
                            QString::fromStdString(server->url("/cgi-bin/mailmanager.pl"))});
        state.SetIterationTime(s);
        note("post-curl", s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bigSize));
}

void BM_ClientPost100MB_OutputFile(benchmark::State& state) {
    TNMHTTP http;
    http.TimeOut = 60000;
    http.OutputFileMode = true;
    for (auto _ : state) {
        double t = now();
        http.Post(server->url("/cgi-bin/mailmanager.pl"), uploadFile);
        double s = now() - t;
        if (http.Body.find("length=" + std::to_string(bigSize) + "\n") == std::string::npos)
            state.SkipWithError("POST failed");
        state.SetIterationTime(s);
        note("post-client", s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bigSize));
}

// Time per byte must stay flat from 1 MiB to 16 MiB.
void BM_CaptureString(benchmark::State& state) {
    std::size_t size = static_cast<std::size_t>(state.range(0));
    std::string name = "/body-" + std::to_string(size) + ".bin";
    writeFile(server->docRoot() + name, size, 7);
    TNMHTTP http;
    http.TimeOut = 60000;
    for (auto _ : state) {
        http.Get(server->url(name));
        if (http.Body.size() != size)
            state.SkipWithError("short body");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_SilentServerWait5s(benchmark::State& state) {
    for (auto _ : state) {
        ScriptedServer silent({[](Peer& p) { p.waitForStop(std::chrono::seconds(20)); }});
        TNMHTTP http;
        http.TimeOut = 5000;
        double cpu = cpuSeconds();
        double t = now();
        std::string error;
        try {
            http.Get(silent.url("/"));
        } catch (const std::exception& e) {
            error = e.what();
        }
        state.counters["wait_s"] = now() - t;
        state.counters["cpu_s"] = cpuSeconds() - cpu;
        if (error != "Socket readln aborted")
            state.SkipWithError(("unexpected: " + error).c_str());
    }
}

std::string megabyteText() {
    std::string text(1 << 20, ' ');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>("name=J\xfcrgen&witz12=5 \r\n"[i % 24]);
    return text;
}

void BM_UrlEncode1MB(benchmark::State& state) {
    TNMURL url;
    url.InputString = megabyteText();
    for (auto _ : state)
        benchmark::DoNotOptimize(url.Encode());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * url.InputString.size()));
}

void BM_Base64_1MB(benchmark::State& state) {
    MemoryStream in;
    std::string text = megabyteText();
    in.write(text.data(), text.size());
    for (auto _ : state) {
        MemoryStream out;
        TNMUUProcessor p;
        p.InputStream = &in;
        p.OutputStream = &out;
        p.Encode();
        benchmark::DoNotOptimize(out.bytes().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_CurlGet100MB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientGet100MB_CaptureFile)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlPost100MB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientPost100MB_OutputFile)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureString)->Arg(1 << 20)->Arg(4 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentServerWait5s)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UrlEncode1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64_1MB)->Unit(benchmark::kMillisecond);

void summary(const char* what, const std::string& ours, const std::string& theirs) {
    if (!bestSeconds.count(ours) || !bestSeconds.count(theirs))
        return;
    double mbOurs = bigSize / 1e6 / bestSeconds[ours], mbTheirs = bigSize / 1e6 / bestSeconds[theirs];
    std::printf("%s: client %.0f MB/s, curl %.0f MB/s, client/curl = %.0f %%\n", what, mbOurs, mbTheirs,
                100.0 * mbOurs / mbTheirs);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    try {
        server = std::make_unique<Lighttpd>(NET_TEST_SOURCE_DIR "/lighttpd");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    bigFile = server->docRoot() + "/big.bin";
    uploadFile = server->scratch("upload.bin");
    writeFile(bigFile, bigSize, 1);
    writeFile(uploadFile, bigSize, 2);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nBest of the runs above, side by side against the same lighttpd:\n");
    summary("100 MB GET into CaptureFile", "get-client", "get-curl");
    summary("100 MB POST in output-file mode", "post-client", "post-curl");
    server.reset();
    benchmark::Shutdown();
    return 0;
}
