#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fb;
using fbtest::readBytes;
using fbtest::writeBytes;

TEST(LineFiles, WrittenWithCrLfAndReadBack) {
    fbtest::WorkDir dir;
    writeLineFile("bogen.prt", {"recipient=a&subject=Bogendaten", "Name=Eva ", "PAGE Persona1"});
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "recipient=a&subject=Bogendaten\r\nName=Eva \r\nPAGE Persona1\r\n");
    EXPECT_EQ(readLineFile("bogen.prt").size(), 3u);
    writeBytes(dir.file("x"), std::string("a\rb\nc\0d", 7));
    EXPECT_EQ(readLineFile("x"), (std::vector<std::string>{"a", "b", "c"}));
    writeBytes(dir.file("empty"), "");
    EXPECT_TRUE(readLineFile("empty").empty());
    EXPECT_THROW(readLineFile("missing"), EFileError);
    deleteFile("missing"); // no error
}

TEST(LineFiles, AFailingWriteKeepsTheOldFileWhole) {
    fbtest::WorkDir dir;
    writeLineFile("bogen.prt", {"old"});
    // The disk fills up after a few bytes.
    std::size_t budget = 5;
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        if (budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(size, budget);
        budget -= n;
        return ::write(fd, data, n);
    });
    try {
        writeLineFile("bogen.prt", {"a much longer new content"});
        FAIL() << "the write did not fail";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("\"bogen.prt\""), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No space"), std::string::npos);
    }
    setWriteCall(nullptr);
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "old\r\n");
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1) << "temporary left";
}

namespace {

// Root writes into a directory whatever its mode says; a read-only mount stops
// it. The mount lives in a private mount namespace of a child process, so
// nothing outside the test sees it. Exit codes: 0 reported, 1 not reported,
// 2 another error, 3 no private mount namespace on this machine.
int writeIntoReadOnlyMountAsRoot(const std::string& path, std::string& why) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        return 3;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFd[0]);
        auto refuse = [&](const char* what) {
            const std::string text = std::string(what) + ": " + std::strerror(errno);
            (void)!::write(pipeFd[1], text.data(), text.size());
            ::_exit(3);
        };
        if (::unshare(CLONE_NEWNS) != 0)
            refuse("unshare(CLONE_NEWNS)");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            refuse("mount --make-rprivate /");
        if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0)
            refuse("mount --bind");
        if (::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            refuse("mount -o remount,bind,ro");
        if (::chdir(path.c_str()) != 0) // enter the mount, not the directory beneath it
            ::_exit(2);
        try {
            writeLineFile("bogen.prt", {"x"});
            ::_exit(1);
        } catch (const EFileError&) {
            ::_exit(0);
        } catch (...) {
            ::_exit(2);
        }
    }
    ::close(pipeFd[1]);
    char buf[256];
    const ssize_t n = child > 0 ? ::read(pipeFd[0], buf, sizeof buf) : 0;
    ::close(pipeFd[0]);
    if (n > 0)
        why.assign(buf, static_cast<size_t>(n));
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 2;
    return WEXITSTATUS(status);
}

} // namespace

TEST(LineFiles, ReadOnlyDirectoryIsReported) {
    fbtest::WorkDir dir;
    if (::geteuid() == 0) {
        std::string why;
        const int result = writeIntoReadOnlyMountAsRoot(dir.path(), why);
        if (result == 3)
            GTEST_SKIP() << "root writes into read-only directories, and this machine allows no private "
                            "read-only mount ("
                         << why << ")";
        EXPECT_EQ(result, 0) << "1: the write was not reported, 2: it failed otherwise";
        EXPECT_FALSE(fbtest::fileExistsAt(dir.file("bogen.prt")));
        return;
    }
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_THROW(writeLineFile("bogen.prt", {"x"}), EFileError);
    ::chmod(dir.path().c_str(), 0755);
}

TEST(AnswerFiles, NumberingFillsGapsAndNeverOverwrites) {
    fbtest::WorkDir dir;
    EXPECT_EQ(answerFileName(0), "00000000.bgn");
    EXPECT_EQ(answerFileName(12), "00000012.bgn");
    EXPECT_EQ(writeAnswerFile({"recipient=a&subject=Bogendaten", "Name=x", "Geschlecht=2"}), 0);
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), "recipient=a&subject=Bogendaten&Name=x&Geschlecht=2\r\n");
    writeBytes(dir.file("00000002.bgn"), "other\r\n");
    EXPECT_EQ(writeAnswerFile({"b"}), 1);
    EXPECT_EQ(writeAnswerFile({"c"}), 3);
    EXPECT_EQ(readBytes(dir.file("00000002.bgn")), "other\r\n");
    // A claimed name is never replaced, even when it appears between the
    // check and the write.
    EXPECT_FALSE(createLineFileExclusive("00000002.bgn", {"x"}));
    EXPECT_EQ(readBytes(dir.file("00000002.bgn")), "other\r\n");
}
