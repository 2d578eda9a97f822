// The whole fragebogen-export program on many answer files of the embedded
// questionnaire (joined and laid out in lines by the engine's own code),
// run as a child process. Run by hand:
//   build/bench/export/export_bench
// Counters: files per second, and the child's peak resident memory, which
// must not grow with the number of files.
#include "content/embedded.h"
#include "engine/answer_files.h"
#include "engine/text_lines.h"
#include "tools/export/catalogue.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace fb::exporter;

std::vector<std::string> answerLines(const Catalogue& cat, std::mt19937& rng, int n) {
    std::vector<std::string> lines{"recipient=humor-studie@localhost&subject=Bogendaten"};
    for (const Variable& v : cat.variables) {
        if (v.optional && rng() % 2)
            continue;
        std::string value;
        if (!v.numeric)
            value = v.name == "Komm" ? "Witze & Cartoons = super, 100% sch\xF6n #" + std::to_string(n)
                                     : "Antwort " + std::to_string(rng() % 1000);
        else
            value = std::to_string(v.minValue + rng() % (std::min<unsigned long long>(v.maxValue, 100000) - v.minValue + 1));
        lines.push_back(v.name + "=" + value);
    }
    return lines;
}

struct Folders {
    std::map<int, std::string> made;
    ~Folders() {
        for (const auto& [n, dir] : made)
            fs::remove_all(dir);
    }
};

// One folder per size, filled once, removed at exit.
const std::string& folder(int files) {
    static Folders folders;
    auto& made = folders.made;
    auto it = made.find(files);
    if (it != made.end())
        return it->second;
    const fb::ResourceEntry* e = fb::embeddedResources().find("TXT", "BOGEN");
    const Catalogue cat = buildCatalogue(fb::ScriptLines(fb::splitLines(e->bytes())));
    const fs::path dir = fs::temp_directory_path() / ("fb-export-bench-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(files));
    fs::create_directories(dir / "in");
    std::mt19937 rng(12345);
    for (int i = 0; i < files; ++i) {
        std::vector<std::string> lines{fb::joinAnswers(answerLines(cat, rng, i))};
        if (i % 10 == 0)
            lines.push_back("Daten erfolgreich gesendet.");
        std::ofstream((dir / "in" / fb::answerFileName(i)), std::ios::binary) << fb::joinLines(lines);
    }
    return made[files] = dir.string();
}

void BM_ExportFolder(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const std::string dir = folder(files);
    const std::string in = dir + "/in";
    const std::string out = dir + "/out";
    long peakKb = 0;
    for (auto _ : state) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::execl(FB_EXPORT_BIN, FB_EXPORT_BIN, "--out", out.c_str(), in.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("fragebogen-export failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
    state.counters["peak_rss_MiB"] = static_cast<double>(peakKb) / 1024.0;
}
BENCHMARK(BM_ExportFolder)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
