// The upload of a real answer file to the reference study server, and the
// program's CPU time while a silent server makes it wait. Run by hand:
//   build/bench/submit/upload_bench
#include "net/nmhttp.h"
#include "platform/error_report.h"

#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QString serverScript() { return QStringLiteral(FRAGEBOGEN_SOURCE_DIR "/scripts/study-server"); }

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An answer file of the embedded questionnaire's size (about 1.5 KB).
std::string answerLine() {
    std::string line = "recipient=humor-studie@localhost&subject=Bogendaten&Name=Eva Muster&Email=eva@example.org";
    for (int i = 1; line.size() < 1500; ++i)
        line += "&F" + std::to_string(i) + "=" + std::to_string(i % 7 + 1);
    return line + "\r\n";
}

void BM_UploadToReferenceServer(benchmark::State& state) {
    QTemporaryDir dir;
    const QString st = dir.path() + "/state";
    QProcess start;
    start.start(serverScript(), {"start", "--port", "0", "--state", st});
    start.waitForFinished(30000);
    const std::string port = QString::fromUtf8(start.readAllStandardOutput()).trimmed().toStdString();
    if (start.exitCode() != 0 || port.empty()) {
        state.SkipWithError("the reference server did not start");
        return;
    }
    const std::string file = (dir.path() + "/00000000.bgn").toStdString();
    std::ofstream(file, std::ios::binary) << answerLine();
    fb::TNMHTTP http;
    http.OutputFileMode = true;
    http.TimeOut = 60000;
    for (auto _ : state) {
        http.Post("http://127.0.0.1:" + port + "/cgi-bin/mailmanager.pl", file);
        if (http.Body.find("Vielen Dank!") == std::string::npos)
            state.SkipWithError("no thanks from the server");
    }
    QProcess::execute(serverScript(), {"stop", "--state", st});
}
BENCHMARK(BM_UploadToReferenceServer)->Iterations(20)->Repetitions(1)->Unit(benchmark::kMillisecond);

// A server that accepts and never answers, for the full 30 s time-out of the
// status query; reports the CPU seconds the wait cost.
void BM_SilentServerWait(benchmark::State& state) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const int port = ntohs(a.sin_port);
    fb::TNMHTTP http;
    for (auto _ : state) {
        http.TimeOut = static_cast<int>(state.range(0));
        const double before = cpuSeconds();
        try {
            http.Get("http://127.0.0.1:" + std::to_string(port) + "/humor/bogenakt.html");
        } catch (const std::exception&) {
        }
        state.counters["cpu_s"] = cpuSeconds() - before;
    }
    ::close(fd);
}
BENCHMARK(BM_SilentServerWait)->Arg(30000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    fb::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
