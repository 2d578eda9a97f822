// Answer files on file systems without hard links, file modes, and the
// removal of temporary files that a killed program left behind.
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "platform/files.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif
#include <unistd.h> // write(); MinGW has it too

using namespace fb;
using fbtest::readBytes;
using fbtest::writeBytes;

namespace {

// How the file system under test answers the two calls that claim a name
// without replacing it; 0 means the real call works.
struct FileSystem {
    const char* label;
    int renameError;
    int linkError;
};

// Counts which of the claiming calls ran, and restores every seam after.
struct Seams {
    std::atomic<int> renames = 0;
    std::atomic<int> links = 0;
    explicit Seams(const FileSystem& fs) {
        setRenameNoReplaceCall([this, err = fs.renameError](const char* from, const char* to) {
            ++renames;
            if (err == 0)
                return files::renameNoReplace(from, to);
            errno = err;
            return -1;
        });
        setLinkCall([this, err = fs.linkError](const char* from, const char* to) {
            ++links;
            if (err == 0)
                return files::hardLink(from, to);
            errno = err;
            return -1;
        });
    }
    ~Seams() {
        setRenameNoReplaceCall(nullptr);
        setLinkCall(nullptr);
        setWriteCall(nullptr);
    }
};

#ifndef _WIN32 // file modes are POSIX
struct Umask {
    mode_t old;
    explicit Umask(mode_t mask) : old(::umask(mask)) {}
    ~Umask() { ::umask(old); }
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}
#endif

QStringList filesIn(const fbtest::WorkDir& dir) {
    QStringList names = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::System | QDir::Hidden);
    names.sort();
    return names;
}

const FileSystem kFileSystems[] = {
    {"renameNoReplace", 0, 0},
    {"linkWithoutRenameFlags", EINVAL, 0},
    {"linkOnOldKernel", ENOSYS, 0},
    {"fatNoLinks", EINVAL, EPERM},
    {"smbNoLinks", EINVAL, ENOTSUP},
    {"oldKernelNoLinks", ENOSYS, EOPNOTSUPP},
};

class AnswerClaims : public ::testing::TestWithParam<FileSystem> {};

} // namespace

TEST_P(AnswerClaims, NumberingFillsGapsNeverOverwritesAndLeavesNoTemporary) {
    fbtest::WorkDir dir;
    Seams seams(GetParam());
    EXPECT_EQ(writeAnswerFile({"recipient=a&subject=Bogendaten", "Name=x", "Geschlecht=2"}), 0);
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), "recipient=a&subject=Bogendaten&Name=x&Geschlecht=2\r\n");
    writeBytes(dir.file("00000002.bgn"), "other\r\n");
    EXPECT_EQ(writeAnswerFile({"b"}), 1);
    EXPECT_EQ(writeAnswerFile({"c"}), 3);
    EXPECT_EQ(readBytes(dir.file("00000001.bgn")), "b\r\n");
    EXPECT_EQ(readBytes(dir.file("00000002.bgn")), "other\r\n");
    EXPECT_EQ(readBytes(dir.file("00000003.bgn")), "c\r\n");
    EXPECT_EQ(filesIn(dir), (QStringList{"00000000.bgn", "00000001.bgn", "00000002.bgn", "00000003.bgn"}));
    // The rename is tried first; links only where it has no such flag.
    EXPECT_EQ(seams.renames, 3);
    EXPECT_EQ(seams.links, GetParam().renameError ? 3 : 0);
}

TEST_P(AnswerClaims, ANameTakenDuringTheWriteIsNotReplaced) {
    fbtest::WorkDir dir;
    Seams seams(GetParam());
    // Another program creates the file while ours writes its temporary.
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        if (!fbtest::fileExistsAt(dir.file("00000000.bgn")))
            writeBytes(dir.file("00000000.bgn"), "theirs\r\n");
        return ::write(fd, data, size);
    });
    EXPECT_FALSE(createLineFileExclusive("00000000.bgn", {"ours"}));
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), "theirs\r\n");
    EXPECT_EQ(writeAnswerFile({"ours"}), 1);
    EXPECT_EQ(readBytes(dir.file("00000001.bgn")), "ours\r\n");
    EXPECT_EQ(filesIn(dir), (QStringList{"00000000.bgn", "00000001.bgn"}));
}

TEST_P(AnswerClaims, TwoWritersNeverClaimOneNumber) {
    fbtest::WorkDir dir;
    Seams seams(GetParam());
    constexpr int kEach = 40;
    auto writer = [](char who) {
        for (int i = 0; i < kEach; ++i)
            writeAnswerFile({std::string(1, who), std::to_string(i)});
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    std::set<std::string> contents;
    for (int n = 0; n < 2 * kEach; ++n)
        contents.insert(readBytes(dir.file(answerFileName(n))));
    EXPECT_EQ(contents.size(), 2u * kEach) << "an answer was overwritten or lost";
    EXPECT_TRUE(contents.contains("a&0\r\n") && contents.contains("b&" + std::to_string(kEach - 1) + "\r\n"));
    EXPECT_EQ(filesIn(dir).size(), 2 * kEach);
}

#ifndef _WIN32
TEST_P(AnswerClaims, NewFilesFollowTheUmask) {
    fbtest::WorkDir dir;
    Seams seams(GetParam());
    {
        Umask mask(077);
        EXPECT_EQ(writeAnswerFile({"private"}), 0);
        EXPECT_EQ(modeOf(dir.file("00000000.bgn")), 0600u);
    }
    Umask mask(022);
    EXPECT_EQ(writeAnswerFile({"shared"}), 1);
    EXPECT_EQ(modeOf(dir.file("00000001.bgn")), 0644u);
}
#endif

INSTANTIATE_TEST_SUITE_P(FileSystems, AnswerClaims, ::testing::ValuesIn(kFileSystems),
                         [](const auto& info) { return std::string(info.param.label); });

#ifndef _WIN32 // modes, links and flock; Windows: windows_files_test.cpp
TEST(FileModes, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
    fbtest::WorkDir dir;
    {
        Umask mask(077);
        writeLineFile("bogen.prt", {"a"});
        EXPECT_EQ(modeOf(dir.file("bogen.prt")), 0600u);
        // Marked as sent under a narrower umask: the group keeps reading.
        writeBytes(dir.file("00000000.bgn"), "x\r\n");
        ::chmod(dir.file("00000000.bgn").c_str(), 0640);
        writeLineFile("00000000.bgn", {"x", "Daten erfolgreich gesendet."});
        EXPECT_EQ(modeOf(dir.file("00000000.bgn")), 0640u);
    }
    Umask mask(022);
    writeLineFile("new.prt", {"a"});
    EXPECT_EQ(modeOf(dir.file("new.prt")), 0644u);
    // A private answer file stays private when it is marked as sent.
    writeBytes(dir.file("00000001.bgn"), "y\r\n");
    ::chmod(dir.file("00000001.bgn").c_str(), 0600);
    writeLineFile("00000001.bgn", {"y", "Daten erfolgreich gesendet."});
    EXPECT_EQ(modeOf(dir.file("00000001.bgn")), 0600u);
    EXPECT_EQ(readBytes(dir.file("00000001.bgn")), "y\r\nDaten erfolgreich gesendet.\r\n");
    writeLineFile("bogen.prt", {"b"});
    EXPECT_EQ(modeOf(dir.file("bogen.prt")), 0600u);
}

TEST(Temporaries, OnlyOurPatternIsRemovedAndNotWhileItIsWritten) {
    fbtest::WorkDir dir;
    EXPECT_TRUE(isTemporaryName("~fragebogen-0123456789abcdef.tmp"));
    const std::vector<std::string> others = {
        "~fragebogen-0123456789ABCDEF.tmp", // upper case
        "~fragebogen-0123456789abcde.tmp",  // 15 digits
        "~fragebogen-0123456789abcdef0.tmp", // 17 digits
        "~fragebogen-0123456789abcdeg.tmp",
        "~fragebogen-0123456789abcdef.tmp~",
        "fragebogen-0123456789abcdef.tmp",
        "00000000.bgn.tmp-Ab12Cd", // the old pattern: may be anyone's
        "bogen.prt",
        "notes.tmp",
    };
    for (const std::string& name : others) {
        EXPECT_FALSE(isTemporaryName(name)) << name;
        writeBytes(dir.file(name), "keep");
    }
    writeBytes(dir.file("~fragebogen-00000000000000aa.tmp"), "recipient=left by a kill");
    writeBytes(dir.file("~fragebogen-00000000000000bb.tmp"), "");
    // A directory and a link of that name are no temporaries of ours.
    ASSERT_EQ(::mkdir(dir.file("~fragebogen-00000000000000cc.tmp").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("bogen.prt", dir.file("~fragebogen-00000000000000dd.tmp").c_str()), 0);
    // Another running program holds this one.
    writeBytes(dir.file("~fragebogen-00000000000000ee.tmp"), "being written");
    const int held = ::open(dir.file("~fragebogen-00000000000000ee.tmp").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(removeStaleTemporaries("."), 2);
    for (const std::string& name : others)
        EXPECT_EQ(readBytes(dir.file(name)), "keep") << name;
    EXPECT_FALSE(fbtest::fileExistsAt(dir.file("~fragebogen-00000000000000aa.tmp")));
    EXPECT_FALSE(fbtest::fileExistsAt(dir.file("~fragebogen-00000000000000bb.tmp")));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(dir.file("~fragebogen-00000000000000cc.tmp"))).isDir());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(dir.file("~fragebogen-00000000000000dd.tmp"))).isSymLink());
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "keep");
    EXPECT_EQ(readBytes(dir.file("~fragebogen-00000000000000ee.tmp")), "being written");
    ::close(held);
    EXPECT_EQ(removeStaleTemporaries(dir.path()), 1) << "released by its writer";
}
#endif

TEST(Temporaries, OurOwnWritesAreNamedByThePatternAndSurviveAStartingProgram) {
    fbtest::WorkDir dir;
    writeLineFile("bogen.prt", {"old"});
    int seen = 0;
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        for (const QString& name : QDir::current().entryList(QDir::Files | QDir::Hidden))
            if (isTemporaryName(name.toStdString()))
                ++seen;
        // A second program starts while this write is under way.
        EXPECT_EQ(removeStaleTemporaries("."), 0);
        return ::write(fd, data, size);
    });
    writeLineFile("bogen.prt", {"new"});
    EXPECT_EQ(writeAnswerFile({"answers"}), 0);
    setWriteCall(nullptr);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "new\r\n");
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), "answers\r\n");
    EXPECT_EQ(filesIn(dir), (QStringList{"00000000.bgn", "bogen.prt"}));
}
