#pragma once
// Writers killed at random moments: a forked child writes bogen.prt and
// answer files in a loop until SIGKILL, round after round, and after every
// kill the working directory is checked: bogen.prt old or new and never
// older than before, every answer file whole (or the empty claim where that
// is allowed) and never changed once seen, and no temporary left after the
// start-up clean-up. Failures are reported as gtest failures of the caller.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace fbtest {

struct KillRun {
    int kills;                           // at most
    std::chrono::seconds timeLimit;      // for all of them
    long shortestSpreadUs;               // of the random delay before a kill
    // Runs in the child before it writes (seams, say).
    std::function<void(long round)> prepareChild = [](long) {};
    // Whether a kill in this round may leave an empty claimed answer file.
    std::function<bool(long round)> emptyClaimAllowed = [](long) { return true; };
    // The names in the working directory.
    std::function<std::vector<std::string>()> names;
};

struct KillRunOutcome {
    int kills = 0;
    long roundUs = 0;
    long lastVersion = 0;
    std::size_t answerFiles = 0;
    int emptyClaims = 0;
    int temporaries = 0;
};

// Runs in the current directory, which should be empty; check the outcome's
// kill count, and HasFatalFailure(), afterwards.
void killWritersAtRandom(const KillRun& run, KillRunOutcome& outcome);

} // namespace fbtest
