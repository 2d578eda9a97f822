// Answer files and bogen.prt on FAT and exFAT as a USB stick brings them,
// mounted through FUSE: no hard links, no rename that keeps an existing
// name, no file modes. Here the engine's real calls claim the numbers, down
// to the empty placeholder (file_claims_test.cpp only fakes the errors).
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "tests/engine/disk_image.h"
#include "tests/engine/kill_run.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fbtest {
// Names the parameter in test listings.
void PrintTo(DiskFormat format, std::ostream* out) { *out << formatName(format); }
} // namespace fbtest

using namespace fb;
using fbtest::DiskFormat;
using fbtest::DiskImage;
using fbtest::readBytes;
using fbtest::writeBytes;

namespace {

const std::string kHeader = "recipient=humor-studie@localhost&subject=Bogendaten";
const std::string kSent = "Daten erfolgreich gesendet.";

// The names in the working directory, sorted. A FUSE driver keeps a file
// that is removed or replaced while still open as ".fuse_hidden..." until
// the close reaches it, and the kernel sends that on after close() has
// returned: such names are waited for (bounded) to go.
std::vector<std::string> entries() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(".")) {
            while (const dirent* e = ::readdir(dir))
                if (std::string name = e->d_name; name != "." && name != "..")
                    names.push_back(name);
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        const bool settling = std::any_of(names.begin(), names.end(),
                                          [](const std::string& n) { return n.starts_with(".fuse_hidden"); });
        if (!settling || std::chrono::steady_clock::now() >= end)
            return names;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> answerNames(int count) {
    std::vector<std::string> names;
    for (int n = 0; n < count; ++n)
        names.push_back(answerFileName(n));
    return names;
}

struct Umask {
    mode_t old;
    explicit Umask(mode_t mask) : old(::umask(mask)) {}
    ~Umask() { ::umask(old); }
};

// A descriptor closed however the test ends: one left open on the stick
// would keep it from unmounting.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Forked children, each reaped (bounded) or killed however the test ends:
// none may outlive it with its working directory on the stick.
class Children {
public:
    Children() = default;
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;
    ~Children() {
        while (!pids_.empty())
            reap(pids_.back(), std::chrono::milliseconds(0));
    }
    void add(pid_t pid) { pids_.push_back(pid); }
    // The child's wait status, or -1 if it had to be killed.
    int reap(pid_t pid, std::chrono::milliseconds limit) {
        const auto at = std::find(pids_.begin(), pids_.end(), pid);
        if (at == pids_.end())
            return -1;
        pids_.erase(at);
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status;
    }

private:
    std::vector<pid_t> pids_;
};

// One image per test, mounted, and the working directory at its root.
class OnStick : public ::testing::TestWithParam<DiskFormat> {
protected:
    void SetUp() override {
        disk_ = std::make_unique<DiskImage>(GetParam());
        if (!disk_->skipReason().empty())
            GTEST_SKIP() << fbtest::formatName(GetParam()) << " image not available: " << disk_->skipReason();
        ASSERT_EQ(disk_->error(), "");
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(disk_->root())));
    }

    // Unmounting also fails if a file on the stick was left open, and the
    // checker then reads the image as the next computer would.
    void TearDown() override {
        setWriteCall(nullptr);
        QDir::setCurrent(oldDir_);
        if (!disk_ || !disk_->mounted())
            return;
        EXPECT_EQ(disk_->unmount(), "");
        bool ran = false;
        const std::string verdict = disk_->check(&ran);
        EXPECT_EQ(verdict, "") << "the file system checker finds the image damaged";
    }

    std::unique_ptr<DiskImage> disk_;
    QString oldDir_ = QDir::currentPath();
};

} // namespace

// What the rest relies on: on these file systems the claim really ends with
// the placeholder, and the locks that guard temporaries work.
TEST_P(OnStick, HasNoLinksNoRenameThatKeepsTheTargetAndNoModesButLocks) {
    writeBytes("a", "a");
    writeBytes("b", "b");
    errno = 0;
    EXPECT_EQ(::link("a", "c"), -1);
    EXPECT_TRUE(errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS)
        << "link: " << std::strerror(errno);
    errno = 0;
    EXPECT_EQ(::renameat2(AT_FDCWD, "a", AT_FDCWD, "c", RENAME_NOREPLACE), -1);
    EXPECT_TRUE(errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP)
        << "renameat2: " << std::strerror(errno);

    struct stat st {};
    const int chmodResult = ::chmod("a", 0640);
    ASSERT_EQ(::stat("a", &st), 0);
    EXPECT_TRUE(chmodResult != 0 || (st.st_mode & 0777) != 0640) << "the file system keeps modes";

    {
        const Fd holder(::open("a", O_RDONLY | O_CLOEXEC));
        const Fd other(::open("a", O_RDONLY | O_CLOEXEC));
        ASSERT_GE(holder.fd, 0);
        ASSERT_GE(other.fd, 0);
        EXPECT_EQ(::flock(holder.fd, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
        EXPECT_EQ(::flock(other.fd, LOCK_EX | LOCK_NB), -1);
        EXPECT_EQ(errno, EWOULDBLOCK);
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"a", "b"}));
}

TEST_P(OnStick, NumberingFillsGapsNeverOverwritesAndReadsBackByteForByte) {
    // Windows-1252 text and a value long enough to span many clusters.
    std::string longValue;
    for (int i = 0; i < 150000; ++i)
        longValue += static_cast<char>(0x20 + (i * 7919) % 0xE0);
    const std::vector<std::string> first{kHeader, "Name=J\xFCrgen M\xFCller ", "Kommentar=" + longValue};
    EXPECT_EQ(writeAnswerFile(first), 0);
    EXPECT_EQ(readFileBytes("00000000.bgn"), joinAnswers(first) + "\r\n");

    // Written elsewhere in upper case: the same name on these file systems.
    writeBytes("00000002.BGN", "another program's\r\n");
    // An empty file is what a kill between claim and move leaves here.
    writeBytes("00000004.bgn", "");
    EXPECT_EQ(writeAnswerFile({kHeader, "Nr=1"}), 1);
    EXPECT_EQ(writeAnswerFile({kHeader, "Nr=3"}), 3);
    EXPECT_EQ(writeAnswerFile({kHeader, "Nr=5"}), 5);
    EXPECT_FALSE(createLineFileExclusive("00000002.bgn", {"ours"}));
    EXPECT_FALSE(createLineFileExclusive("00000004.bgn", {"ours"}));

    EXPECT_EQ(readFileBytes("00000000.bgn"), joinAnswers(first) + "\r\n");
    EXPECT_EQ(readFileBytes("00000001.bgn"), kHeader + "&Nr=1\r\n");
    EXPECT_EQ(readFileBytes("00000002.BGN"), "another program's\r\n");
    EXPECT_EQ(readFileBytes("00000003.bgn"), kHeader + "&Nr=3\r\n");
    EXPECT_EQ(readFileBytes("00000004.bgn"), "");
    EXPECT_EQ(readFileBytes("00000005.bgn"), kHeader + "&Nr=5\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"00000000.bgn", "00000001.bgn", "00000002.BGN", "00000003.bgn",
                                                   "00000004.bgn", "00000005.bgn"}))
        << "a temporary or placeholder was left";
}

TEST_P(OnStick, ANameTakenDuringTheWriteIsNotReplaced) {
    // Another program creates the name while ours writes its temporary:
    // once with content, once as the empty claim of another writer.
    std::string takeWith = "theirs\r\n";
    std::string target = "00000000.bgn";
    int interfered = 0;
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        if (!fbtest::fileExistsAt(target)) {
            writeBytes(target, takeWith);
            ++interfered;
        }
        return ::write(fd, data, size);
    });
    EXPECT_FALSE(createLineFileExclusive(target, {"ours"}));
    EXPECT_EQ(readFileBytes("00000000.bgn"), "theirs\r\n");

    takeWith = "";
    target = "00000001.bgn";
    EXPECT_EQ(writeAnswerFile({"ours"}), 2);
    EXPECT_EQ(interfered, 2);
    setWriteCall(nullptr);

    EXPECT_EQ(readFileBytes("00000000.bgn"), "theirs\r\n");
    EXPECT_EQ(readFileBytes("00000001.bgn"), "");
    EXPECT_EQ(readFileBytes("00000002.bgn"), "ours\r\n");
    EXPECT_EQ(entries(), answerNames(3)) << "a temporary or placeholder was left";
}

TEST_P(OnStick, TwoWriterProcessesNeverClaimOneNumberAndLoseNothing) {
    constexpr int kEach = 25;
    int go[2];
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    Fd goRead(go[0]);
    auto goWrite = std::make_unique<Fd>(go[1]);
    Children children;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            ::close(go[1]);
            char c;
            // Both start together when the pipe closes.
            [[maybe_unused]] const auto n = ::read(go[0], &c, 1);
            try {
                for (int i = 0; i < kEach; ++i)
                    writeAnswerFile({kHeader, "writer=" + std::to_string(w), "i=" + std::to_string(i)});
            } catch (...) {
                ::_exit(3);
            }
            ::_exit(0);
        }
        children.add(writers[w]);
    }
    goWrite.reset();
    for (const pid_t w : writers) {
        const int status = children.reap(w, std::chrono::seconds(15));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer ended with status " << status;
    }

    std::set<std::string> expected, found;
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < kEach; ++i)
            expected.insert(kHeader + "&writer=" + std::to_string(w) + "&i=" + std::to_string(i) + "\r\n");
    for (int n = 0; n < 2 * kEach; ++n)
        found.insert(readBytes(answerFileName(n)));
    EXPECT_EQ(found, expected) << "an answer was overwritten, lost or left empty";
    EXPECT_EQ(entries(), answerNames(2 * kEach));
}

TEST_P(OnStick, ProgressFileIsReplacedAndASentAnswerFileStaysWhole) {
    const std::vector<std::string> started{kHeader, "Name=Eva", "PAGE Persona1"};
    std::vector<std::string> later = started;
    for (int k = 0; k < 300; ++k)
        later.push_back("F" + std::to_string(k) + "=\xE4" + std::to_string(k));
    later.push_back("PAGE Witze3");
    writeLineFile(kProgressFile, started);
    EXPECT_EQ(readFileBytes(kProgressFile), "recipient=humor-studie@localhost&subject=Bogendaten\r\nName=Eva\r\nPAGE Persona1\r\n");
    writeLineFile(kProgressFile, later);
    EXPECT_EQ(readLineFile(kProgressFile), later);
    writeLineFile(kProgressFile, started);
    EXPECT_EQ(readLineFile(kProgressFile), started);

    // Marked as sent the way the send window does it; the umask and a
    // chmod that the file system drops or refuses must not fail the save.
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        Umask umask(mask);
        const int n = writeAnswerFile({kHeader, "Name=Eva", "umask=" + std::to_string(mask)});
        const std::string name = answerFileName(n);
        const std::string answers = readFileBytes(name);
        ::chmod(name.c_str(), 0400);
        std::vector<std::string> lines = readLineFile(name);
        lines.push_back(kSent);
        EXPECT_NO_THROW(writeLineFile(name, lines));
        EXPECT_EQ(readFileBytes(name), answers + kSent + "\r\n");
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"00000000.bgn", "00000001.bgn", kProgressFile}));
}

// A full stick fails the save with an error and leaves what was there:
// no partial answer file, no claimed empty name, no temporary.
TEST_P(OnStick, AFullStickFailsTheSaveAndKeepsWhatWasThere) {
    writeLineFile(kProgressFile, {kHeader, "PAGE Persona1"});
    EXPECT_EQ(writeAnswerFile({kHeader, "Nr=0"}), 0);
    {
        // Fill it, then give back a few clusters.
        const Fd filler(::open("filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_GE(filler.fd, 0);
        const std::string block(1 << 20, 'f');
        off_t size = 0;
        for (long n; (n = ::write(filler.fd, block.data(), block.size())) > 0;)
            size += n;
        ASSERT_GT(size, 0);
        ASSERT_EQ(::ftruncate(filler.fd, size > 16384 ? size - 16384 : 0), 0);
    }
    const std::vector<std::string> big{kHeader, "Kommentar=" + std::string(200000, 'k')};
    EXPECT_THROW(writeAnswerFile(big), EFileError);
    EXPECT_THROW(writeLineFile(kProgressFile, big), EFileError);
    EXPECT_EQ(readFileBytes(kProgressFile), kHeader + "\r\nPAGE Persona1\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"00000000.bgn", kProgressFile, "filler"}));
    // What still fits is saved.
    EXPECT_EQ(writeAnswerFile({kHeader, "Nr=1"}), 1);
    EXPECT_EQ(readFileBytes("00000001.bgn"), kHeader + "&Nr=1\r\n");
}

TEST_P(OnStick, StartUpCleanUpRemovesOnlyLeftoverTemporariesOfOurs) {
    const std::vector<std::string> leftovers = {
        "~fragebogen-00000000000000aa.tmp", "~fragebogen-00000000000000bb.tmp", "~fragebogen-0123456789abcdef.tmp",
        "~fragebogen-fedcba9876543210.tmp", "~fragebogen-5555555555555555.tmp"};
    const std::vector<std::string> others = {
        "~fragebogen-00000000000000AB.tmp", "~fragebogen-0123456789abcde.tmp", "fragebogen-00000000000000aa.tmp",
        "00000000.bgn.tmp-Ab12Cd", "notes.tmp", "bogen.prt", "00000000.bgn"};
    for (const std::string& name : leftovers)
        writeBytes(name, name == leftovers[1] ? "" : kHeader + "&left by a kill");
    for (const std::string& name : others)
        writeBytes(name, "keep");
    ASSERT_EQ(::mkdir("~fragebogen-00000000000000cc.tmp", 0755), 0);
    // Another running program is writing this one.
    const std::string held = "~fragebogen-00000000000000ee.tmp";
    writeBytes(held, "being written");
    auto holder = std::make_unique<Fd>(::open(held.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_GE(holder->fd, 0);
    ASSERT_EQ(::flock(holder->fd, LOCK_EX), 0);

    EXPECT_EQ(removeStaleTemporaries("."), static_cast<int>(leftovers.size()));
    std::vector<std::string> kept = others;
    kept.push_back("~fragebogen-00000000000000cc.tmp");
    kept.push_back(held);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(), kept);
    for (const std::string& name : others)
        EXPECT_EQ(readFileBytes(name), "keep") << name;
    EXPECT_TRUE(QFileInfo("~fragebogen-00000000000000cc.tmp").isDir());
    EXPECT_EQ(readFileBytes(held), "being written");

    // A program starting while ours writes leaves our temporaries alone.
    int cleanUps = 0;
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        cleanUps += removeStaleTemporaries(".") == 0;
        return ::write(fd, data, size);
    });
    writeLineFile("bogen.prt", {"new"});
    EXPECT_EQ(writeAnswerFile({"answers"}), 1);
    setWriteCall(nullptr);
    EXPECT_EQ(cleanUps, 2);
    EXPECT_EQ(readFileBytes("bogen.prt"), "new\r\n");
    EXPECT_EQ(readFileBytes("00000001.bgn"), "answers\r\n");

    holder.reset();
    EXPECT_EQ(removeStaleTemporaries("."), 1) << "released by its writer";
    EXPECT_FALSE(fbtest::fileExistsAt(held));
}

// Whatever moment a writer dies at, bogen.prt is old or new, an answer file
// is whole or the empty claim, none is changed later, and the clean-up
// takes every temporary left.
TEST_P(OnStick, AWriterKilledAtAnyMomentTearsNothing) {
    const fbtest::KillRun run{.kills = 60, .timeLimit = std::chrono::seconds(8), .shortestSpreadUs = 2000, .names = entries};
    fbtest::KillRunOutcome out;
    fbtest::killWritersAtRandom(run, out);
    if (HasFatalFailure())
        return;
    EXPECT_GE(out.kills, 10);
    std::cout << fbtest::formatName(GetParam()) << ": " << out.kills << " kills, " << out.roundUs
              << " us per loop, bogen.prt at version " << out.lastVersion << ", " << out.answerFiles
              << " answer files (" << out.emptyClaims << " empty), " << out.temporaries << " temporaries removed\n";
}

INSTANTIATE_TEST_SUITE_P(UsbStick, OnStick, ::testing::Values(DiskFormat::Fat, DiskFormat::ExFat),
                         [](const auto& info) { return std::string(info.param == DiskFormat::Fat ? "Fat" : "ExFat"); });
