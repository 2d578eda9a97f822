// Network benchmarks. First the transfers against one lighttpd on loopback,
// over HTTP and over HTTPS: net_fetch (one request of our client) and curl,
// both timed as whole processes, runs interleaved, medians with their spread
// and our share of curl's time. NET_BENCH_ROUNDS sets the number of runs
// (15); NET_BENCH_ONLY=TEXT keeps the comparisons whose name holds TEXT.
// Over HTTPS both trust the run's CA through SSL_CERT_FILE (curl also by
// --cacert).
#include "net/nmhttp.h"
#include "net/nmurl.h"
#include "net/nmuue.h"
#include "tests/net/lighttpd_fixture.h"
#include "tests/net/scripted_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <stdexcept>
#include <vector>
#include <memory>
#include <sys/resource.h>

using namespace fb;
using namespace nettest;

namespace {

constexpr std::size_t bigSize = 100u * 1000 * 1000;
std::unique_ptr<Lighttpd> server;
std::string bigFile;    // served as /big.bin
std::string uploadFile; // posted to the CGI script
std::string answerFile; // 2 KB, posted over HTTPS
std::string upload64File;

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

BENCHMARK(BM_CaptureString)->Arg(1 << 20)->Arg(4 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentServerWait5s)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UrlEncode1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64_1MB)->Unit(benchmark::kMillisecond);

// Seconds a whole process takes, from start to exit; throws when it fails.
double runTimed(const QString& program, const QStringList& arguments) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        throw std::runtime_error(program.toStdString() + " does not start");
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw std::runtime_error(program.toStdString() + " failed: " + process.readAllStandardError().toStdString());
    return timer.nsecsElapsed() / 1e9;
}

struct Comparison {
    const char* what;
    double target; // ours/curl of the medians at most
    QStringList ours, curl;
    std::vector<double> oursSeconds, curlSeconds;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Our client and curl, both as whole processes (start-up included on both
// sides), against the same lighttpd; the runs alternate which one goes
// first, so that neither always meets a warm or a cold cache.
void sideBySide(int rounds) {
    const QString url = QString::fromStdString(server->url("/big.bin"));
    const QString memUrl = QString::fromStdString(server->url("/mem-16MiB.bin"));
    const QString post = QString::fromStdString(server->url("/cgi-bin/mailmanager.pl"));
    const QString sink = QString::fromStdString(server->url("/cgi-bin/sink.pl"));
    const QString upload = QString::fromStdString(uploadFile);
    const QString oursFile = QString::fromStdString(server->scratch("client-get.bin"));
    const QString curlFile = QString::fromStdString(server->scratch("curl-get.bin"));
    const QStringList quiet = {"-s", "-S", "--fail"};
    const QString ca = QString::fromStdString(server->caFile());
    const QString httpsStatus = QString::fromStdString(server->httpsUrl("/humor/bogenakt.html"));
    const QString httpsPost = QString::fromStdString(server->httpsUrl("/cgi-bin/mailmanager.pl"));
    const QString answer = QString::fromStdString(answerFile);
    const QString upload64 = QString::fromStdString(upload64File);
    auto curlHttpsPost = [&](const QString& file) {
        return quiet + QStringList{"--cacert", ca, "-o", "/dev/null", "-X", "POST", "-H",
                                   "Content-type: application/x-www-form-urlencoded", "-H", "Expect:", "-T", file, httpsPost};
    };
    auto curlPost = [&](const QString& to) {
        return quiet + QStringList{"-o", "/dev/null", "-X", "POST", "-H", "Content-type: application/x-www-form-urlencoded",
                                   "-H", "Expect:", "-T", upload, to};
    };
    std::vector<Comparison> cases = {
        {"GET 16 MiB into memory (curl -o /dev/null)", 1.3, {"get", memUrl}, quiet + QStringList{"-o", "/dev/null", memUrl}, {}, {}},
        {"GET 100 MB into a file (curl -o)", 1.0, {"get-file", url, oursFile}, quiet + QStringList{"-o", curlFile, url}, {}, {}},
        // The form-mail script digests all it gets: the server sets the pace.
        {"POST 100 MB file (curl -T, streaming)", 1.0, {"post", post, upload}, curlPost(post), {}, {}},
        // A script that only reads: the client's own sending counts.
        {"POST 100 MB file to a sink (curl -T)", 1.0, {"post", sink, upload}, curlPost(sink), {}, {}},
        // The program's two requests over TLS, and a large upload.
        {"HTTPS GET status page", 1.1, {"get", httpsStatus}, quiet + QStringList{"--cacert", ca, "-o", "/dev/null", httpsStatus}, {}, {}},
        {"HTTPS POST 2 KB answer file", 1.1, {"post", httpsPost, answer}, curlHttpsPost(answer), {}, {}},
        {"HTTPS POST 64 MiB file", 1.1, {"post", httpsPost, upload64}, curlHttpsPost(upload64), {}, {}},
    };
    if (const char* only = std::getenv("NET_BENCH_ONLY"))
        cases.erase(std::remove_if(cases.begin(), cases.end(),
                                   [&](const Comparison& c) { return std::string(c.what).find(only) == std::string::npos; }),
                    cases.end());
    for (int round = 0; round < rounds; ++round)
        for (Comparison& c : cases) {
            if (round % 2 == 0) {
                c.oursSeconds.push_back(runTimed(NET_FETCH_PATH, c.ours));
                c.curlSeconds.push_back(runTimed("curl", c.curl));
            } else {
                c.curlSeconds.push_back(runTimed("curl", c.curl));
                c.oursSeconds.push_back(runTimed(NET_FETCH_PATH, c.ours));
            }
        }
    std::printf("Side by side, whole processes, %d interleaved runs each (median, min-max, ms); client/curl is the\n"
                "ratio of the medians, 'per round' the median of each round's ratio with its middle half:\n",
                rounds);
    for (const Comparison& c : cases) {
        auto [oMin, oMax] = std::minmax_element(c.oursSeconds.begin(), c.oursSeconds.end());
        auto [cMin, cMax] = std::minmax_element(c.curlSeconds.begin(), c.curlSeconds.end());
        double ratio = median(c.oursSeconds) / median(c.curlSeconds);
        std::vector<double> perRound;
        for (std::size_t i = 0; i < c.oursSeconds.size(); ++i)
            perRound.push_back(c.oursSeconds[i] / c.curlSeconds[i]);
        std::sort(perRound.begin(), perRound.end());
        const std::size_t n = perRound.size();
        std::printf("  %-40s client %7.1f (%.1f-%.1f)  curl %7.1f (%.1f-%.1f)  client/curl %.2f, per round %.2f "
                    "(%.2f-%.2f)  target <= %.1f %s\n",
                    c.what, 1e3 * median(c.oursSeconds), 1e3 * *oMin, 1e3 * *oMax, 1e3 * median(c.curlSeconds),
                    1e3 * *cMin, 1e3 * *cMax, ratio, median(perRound), perRound[n / 4], perRound[(3 * n) / 4],
                    c.target, ratio <= c.target ? "met" : "MISSED");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    try {
        server = std::make_unique<Lighttpd>(NET_TEST_SOURCE_DIR "/lighttpd", true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    bigFile = server->docRoot() + "/big.bin";
    uploadFile = server->scratch("upload.bin");
    writeFile(bigFile, bigSize, 1);
    writeFile(uploadFile, bigSize, 2);
    writeFile(server->docRoot() + "/mem-16MiB.bin", 16u << 20, 3);
    answerFile = server->scratch("00000000.bgn");
    upload64File = server->scratch("upload-64MiB.bin");
    writeFile(answerFile, 2048, 4);
    writeFile(upload64File, 64u << 20, 5);
    // Our client finds the run's CA where OpenSSL looks by default.
    qputenv("SSL_CERT_FILE", QByteArray::fromStdString(server->caFile()));
    const char* rounds = std::getenv("NET_BENCH_ROUNDS");
    try {
        sideBySide(rounds ? std::max(1, std::atoi(rounds)) : 15);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "side by side: %s\n", e.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    server.reset();
    benchmark::Shutdown();
    return 0;
}
