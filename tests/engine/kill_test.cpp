// A child process writes the progress file and answer files in a loop and is
// killed at random moments; whatever moment it dies at, no file is torn.
// The children claim answer numbers in turn by each of the three ways.
#include "engine/line_file.h"
#include "tests/engine/kill_run.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>

using namespace fb;

namespace {

enum class Claiming { Rename, Link, Placeholder };

Claiming claimingOf(long round) { return static_cast<Claiming>(round % 3); }

void fakeFileSystem(long round) {
    const Claiming claiming = claimingOf(round);
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
}

std::vector<std::string> names() {
    std::vector<std::string> result;
    for (const QString& entry : QDir::current().entryList(QDir::Files | QDir::Hidden))
        result.push_back(entry.toStdString());
    return result;
}

} // namespace

TEST(KillDuringWrite, NoFileIsTornOrOverwrittenAndNoTemporaryOutlivesTheCleanUp) {
    fbtest::WorkDir dir;
    const fbtest::KillRun run{.kills = 300,
                              .timeLimit = std::chrono::seconds(40),
                              .shortestSpreadUs = 1000,
                              .prepareChild = fakeFileSystem,
                              .emptyClaimAllowed = [](long round) { return claimingOf(round) == Claiming::Placeholder; },
                              .names = names};
    fbtest::KillRunOutcome out;
    fbtest::killWritersAtRandom(run, out);
    if (HasFatalFailure())
        return;
    EXPECT_GE(out.kills, 100);
    std::cout << out.kills << " kills " << out.roundUs << " us per loop: bogen.prt at version " << out.lastVersion
              << ", " << out.answerFiles << " answer files (" << out.emptyClaims << " empty), " << out.temporaries
              << " temporaries removed\n";
}
