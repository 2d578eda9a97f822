// A child process writes the progress file and answer files in a loop and is
// killed at random moments; whatever moment it dies at, no file is torn.
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iostream>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace fb;

namespace {

constexpr int kKills = 300;
constexpr auto kTimeLimit = std::chrono::seconds(40);
const std::string kHeader = "recipient=humor-studie@localhost&subject=Bogendaten";

enum class Claiming { Rename, Link, Placeholder };

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

std::string bytesOf(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

// The version of a whole progress file, or -1 if it is not one.
long progressVersion(const std::string& bytes) {
    const std::string prefix = kHeader + "\r\nF0=";
    if (bytes.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const long v = std::strtol(bytes.c_str() + prefix.size(), nullptr, 10);
    return bytes == bytesOf(progress(v)) ? v : -1;
}

// The id of a whole answer file, or -1 if it is not one.
long answerId(const std::string& bytes) {
    const std::string prefix = kHeader + "&Nr=";
    if (bytes.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const long id = std::strtol(bytes.c_str() + prefix.size(), nullptr, 10);
    return bytes == joinAnswers(answers(id)) + "\r\n" ? id : -1;
}

[[noreturn]] void runChild(long round, Claiming claiming) {
    if (claiming != Claiming::Rename)
        setRenameNoReplaceCall([](const char*, const char*) {
            errno = EINVAL;
            return -1;
        });
    if (claiming == Claiming::Placeholder)
        setLinkCall([](const char*, const char*) {
            errno = EPERM;
            return -1;
        });
    try {
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

} // namespace

TEST(KillDuringWrite, NoFileIsTornOrOverwrittenAndNoTemporaryOutlivesTheCleanUp) {
    fbtest::WorkDir dir;
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // Kills spread over about two rounds of the child's loop, however fast
    // the disk syncs: time a few rounds here first.
    const auto before = std::chrono::steady_clock::now();
    for (long i = 0; i < 3; ++i) {
        writeLineFile(kProgressFile, progress(i + 1));
        writeAnswerFile(answers(i));
    }
    const long roundUs = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - before).count() / 3;
    std::uniform_int_distribution<long> delayUs(0, std::clamp(roundUs * 5 / 2, 1000L, 50000L));

    std::map<std::string, std::string> answerFiles; // name -> content when first seen
    for (int n = 0; n < 3; ++n)
        answerFiles.emplace(answerFileName(n), readFileBytes(answerFileName(n)));
    long lastVersion = 3;
    int kills = 0, temporaries = 0, placeholders = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long round = 1; round <= kKills && std::chrono::steady_clock::now() - start < kTimeLimit; ++round) {
        const auto claiming = static_cast<Claiming>(round % 3);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            runChild(round, claiming);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);
        ++kills;

        // Old or new, never torn, never older than what was seen before.
        {
            const long v = progressVersion(readFileBytes(kProgressFile));
            ASSERT_GE(v, lastVersion) << "round " << round << ": bogen.prt torn or gone back";
            lastVersion = v;
        }
        for (const QString& entry : QDir::current().entryList(QDir::Files | QDir::Hidden)) {
            const std::string name = entry.toStdString();
            if (isTemporaryName(name)) {
                ++temporaries;
                continue;
            }
            if (name == kProgressFile)
                continue;
            ASSERT_TRUE(entry.endsWith(".bgn")) << "round " << round << ": stray file " << name;
            const std::string bytes = readFileBytes(name);
            const auto [known, fresh] = answerFiles.emplace(name, bytes);
            if (!fresh) {
                ASSERT_EQ(bytes, known->second) << "round " << round << ": " << name << " was changed";
                continue;
            }
            // A kill between claiming a name and moving the answers in
            // leaves it empty, which reads as a defective file.
            if (bytes.empty() && claiming == Claiming::Placeholder) {
                ++placeholders;
                continue;
            }
            ASSERT_GE(answerId(bytes), round * 100000) << "round " << round << ": " << name << " is partial";
        }
        removeStaleTemporaries(".");
        for (const QString& entry : QDir::current().entryList(QDir::Files | QDir::Hidden))
            ASSERT_FALSE(isTemporaryName(entry.toStdString())) << "left after the clean-up: " << entry.toStdString();
    }
    EXPECT_GE(kills, 100);
    std::cout << kills << " kills " << roundUs << " us per loop: bogen.prt at version " << lastVersion << ", " << answerFiles.size()
              << " answer files (" << placeholders << " empty), " << temporaries
              << " temporaries removed\n";
}
