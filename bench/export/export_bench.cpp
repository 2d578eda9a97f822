// The whole fragebogen-export program on many answer files of the embedded
// questionnaire (joined and laid out in lines by the engine's own code),
// run as a child process. Run by hand:
//   build/bench/export/export_bench
// Counters: files per second, and the child's peak resident memory, which
// must not grow with the number of files.
// BM_CraftedLine splits a 1 MiB answer file made to force every possible
// split of the Name answer ("&Email=x" many times inside it, one bad value
// at the line's end) and BM_ExportCrafted runs the whole program on it; the
// target is under 50 ms (on an idle machine; child_cpu_ms is the program's
// processor time). BM_PlainSplit cuts the same line at every "&" and
// "=", the least any split must do, for comparison.
#include "content/embedded.h"
#include "engine/answer_files.h"
#include "engine/text_lines.h"
#include "tools/export/answer_file.h"
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

const Catalogue& embedded() {
    static const Catalogue cat = [] {
        const fb::ResourceEntry* e = fb::embeddedResources().find("TXT", "BOGEN");
        return buildCatalogue(fb::ScriptLines(fb::splitLines(e->bytes())));
    }();
    return cat;
}

// A good answer line whose Name answer is padded with "&Email=x" to about
// 1 MiB, with the last value out of its range.
const std::string& craftedFile() {
    static const std::string bytes = [] {
        std::mt19937 rng(7);
        std::vector<std::string> lines = answerLines(embedded(), rng, 0);
        std::string padding;
        while (padding.size() < (1u << 20) - 4096)
            padding += "&Email=x";
        lines[1] += padding; // "Name=..."
        std::string& last = lines.back();
        last = last.substr(0, last.find('=') + 1) + "99";
        return fb::joinLines({fb::joinAnswers(lines)});
    }();
    return bytes;
}

void BM_CraftedLine(benchmark::State& state) {
    Answers answers;
    std::string error;
    for (auto _ : state) {
        error = readAnswerFile(embedded(), craftedFile(), answers);
        benchmark::DoNotOptimize(error);
    }
    if (error.find("outside") == std::string::npos)
        state.SkipWithError(("not refused for its last value: " + error).c_str());
    state.counters["MiB"] = static_cast<double>(craftedFile().size()) / (1 << 20);
}
BENCHMARK(BM_CraftedLine)->Unit(benchmark::kMillisecond);

void BM_PlainSplit(benchmark::State& state) {
    std::vector<std::string_view> parts;
    for (auto _ : state) {
        parts.clear();
        const std::string_view line = craftedFile();
        std::size_t from = 0;
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i] == '&' || line[i] == '=') {
                parts.push_back(line.substr(from, i - from));
                from = i + 1;
            }
        benchmark::DoNotOptimize(parts.data());
    }
}
BENCHMARK(BM_PlainSplit)->Unit(benchmark::kMillisecond);

void BM_ExportCrafted(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / ("fb-export-crafted-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "00000000.bgn").string();
    std::ofstream(file, std::ios::binary) << craftedFile();
    const std::string out = (dir / "out").string();
    double cpuMs = 0;
    for (auto _ : state) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::freopen("/dev/null", "w", stderr);
            ::execl(FB_EXPORT_BIN, FB_EXPORT_BIN, "--out", out.c_str(), file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        cpuMs += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        // The one input is refused: nothing exported.
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 2) {
            state.SkipWithError("fragebogen-export did not refuse the file");
            break;
        }
    }
    // The child's own processor time, which a busy machine does not inflate
    // as much as the wall-clock time.
    state.counters["child_cpu_ms"] = cpuMs / static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
    fs::remove_all(dir);
}
BENCHMARK(BM_ExportCrafted)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
