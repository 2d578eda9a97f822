#include "tests/engine/kill_run.h"

#include "engine/answer_files.h"
#include "engine/line_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace fb;

namespace fbtest {
namespace {

const std::string kHeader = "recipient=humor-studie@localhost&subject=Bogendaten";

std::vector<std::string> progress(long version) {
    std::vector<std::string> lines{kHeader};
    for (int k = 0; k < 400; ++k)
        lines.push_back("F" + std::to_string(k) + "=" + std::to_string(version));
    lines.push_back("PAGE V" + std::to_string(version));
    return lines;
}

std::vector<std::string> answers(long id) {
    std::vector<std::string> lines{kHeader, "Nr=" + std::to_string(id)};
    for (int k = 0; k < 100; ++k)
        lines.push_back("A" + std::to_string(k) + "=" + std::to_string(id));
    return lines;
}

long numberAfter(const std::string& bytes, const std::string& prefix) {
    return bytes.compare(0, prefix.size(), prefix) == 0 ? std::strtol(bytes.c_str() + prefix.size(), nullptr, 10) : -1;
}

// The version of a whole progress file, or -1 if it is not one.
long progressVersion(const std::string& bytes) {
    const long v = numberAfter(bytes, kHeader + "\r\nF0=");
    std::string whole;
    for (const std::string& line : progress(v))
        whole += line + "\r\n";
    return v >= 0 && bytes == whole ? v : -1;
}

// The id of a whole answer file, or -1 if it is not one.
long answerId(const std::string& bytes) {
    const long id = numberAfter(bytes, kHeader + "&Nr=");
    return id >= 0 && bytes == joinAnswers(answers(id)) + "\r\n" ? id : -1;
}

[[noreturn]] void writeUntilKilled(long round, const KillRun& run) {
    try {
        run.prepareChild(round);
        long version = fileExists(kProgressFile) ? progressVersion(readFileBytes(kProgressFile)) : 0;
        if (version < 0)
            ::_exit(2);
        for (long i = 0;; ++i) {
            writeLineFile(kProgressFile, progress(++version));
            writeAnswerFile(answers(round * 100000 + i));
        }
    } catch (...) {
        ::_exit(3);
    }
}

// A writer that is killed and reaped however the round ends: none may
// outlive the test with its working directory in use.
struct Writer {
    pid_t pid;
    ~Writer() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // The wait status after SIGKILL.
    int kill() {
        int status = 0;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
};

} // namespace

void killWritersAtRandom(const KillRun& run, KillRunOutcome& out) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // Kills spread over about two rounds of the writer's loop, however fast
    // the disk syncs: time a few rounds here first.
    const auto before = std::chrono::steady_clock::now();
    for (long i = 0; i < 3; ++i) {
        writeLineFile(kProgressFile, progress(i + 1));
        writeAnswerFile(answers(i));
    }
    out.roundUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before).count() / 3;
    std::uniform_int_distribution<long> delayUs(0, std::clamp(out.roundUs * 5 / 2, run.shortestSpreadUs, 50000L));

    std::map<std::string, std::string> answerFiles; // name -> content when first seen
    for (int n = 0; n < 3; ++n)
        answerFiles.emplace(answerFileName(n), readFileBytes(answerFileName(n)));
    out.lastVersion = 3;
    const auto start = std::chrono::steady_clock::now();
    for (long round = 1; round <= run.kills && std::chrono::steady_clock::now() - start < run.timeLimit; ++round) {
        Writer writer{::fork()};
        ASSERT_GE(writer.pid, 0);
        if (writer.pid == 0)
            writeUntilKilled(round, run);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        const int status = writer.kill();
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);
        ++out.kills;

        // Old or new, never torn, never older than what was seen before.
        const long v = progressVersion(readFileBytes(kProgressFile));
        ASSERT_GE(v, out.lastVersion) << "round " << round << ": bogen.prt torn or gone back";
        out.lastVersion = v;
        for (const std::string& name : run.names()) {
            if (isTemporaryName(name)) {
                ++out.temporaries;
                continue;
            }
            if (name == kProgressFile)
                continue;
            ASSERT_TRUE(name.ends_with(".bgn")) << "round " << round << ": stray file " << name;
            const std::string bytes = readFileBytes(name);
            const auto [known, fresh] = answerFiles.emplace(name, bytes);
            if (!fresh) {
                ASSERT_EQ(bytes, known->second) << "round " << round << ": " << name << " was changed";
                continue;
            }
            // A kill between claiming a name and moving the answers in
            // leaves it empty, which reads as a defective file.
            if (bytes.empty() && run.emptyClaimAllowed(round)) {
                ++out.emptyClaims;
                continue;
            }
            ASSERT_GE(answerId(bytes), round * 100000) << "round " << round << ": " << name << " is partial";
        }
        removeStaleTemporaries(".");
        for (const std::string& name : run.names())
            ASSERT_FALSE(isTemporaryName(name)) << "left after the clean-up: " << name;
    }
    out.answerFiles = answerFiles.size();
}

} // namespace fbtest
