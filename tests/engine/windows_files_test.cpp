// Answer files where Windows differs: user folders beyond any 8-bit code
// page, a folder that refuses writes, and temporaries another program holds.
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "platform/files.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace fb;

namespace {
QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}
} // namespace

TEST(WindowsFiles, UserFoldersWithAnyCharactersHoldTheFiles) {
    fbtest::WorkDir dir;
    // "Jürgen Müller" fits Windows-1252; the Polish and Chinese letters fit no
    // 8-bit code page, so only wide-character calls reach this folder.
    const QString user = QString::fromUtf8("J\u00fcrgen M\u00fcller \u0141\u4e2d");
    ASSERT_TRUE(QDir::current().mkpath(user + "/Fragebogen"));
    ASSERT_TRUE(QDir::setCurrent(user + "/Fragebogen"));
    EXPECT_EQ(writeAnswerFile({"recipient=a&subject=Bogendaten", "Name=J\xFCrgen"}), 0);
    EXPECT_EQ(writeAnswerFile({"second"}), 1);
    writeLineFile("bogen.prt", {"PAGE Persona2"});
    EXPECT_EQ(readLineFile("bogen.prt"), (std::vector<std::string>{"PAGE Persona2"}));
    EXPECT_EQ(contentOf(QDir::current().filePath("00000000.bgn")),
              QByteArray("recipient=a&subject=Bogendaten&Name=J\xFCrgen\r\n"));

    // A leftover of a killed run in that folder, named through its wide path.
    const QString leftover = QDir::current().filePath("~fragebogen-00000000000000aa.tmp");
    {
        QFile f(leftover);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("left by a kill");
    }
    EXPECT_EQ(removeStaleTemporaries(files::encodeName(QDir::currentPath())), 1);
    EXPECT_FALSE(QFile::exists(leftover));

    // A name in Windows-1252 bytes, with the folder, as the send dialog gives it.
    QDir::setCurrent(QString::fromStdString(dir.path()));
    const std::string named = "J\xFCrgen M\xFCller/Notiz.prt";
    ASSERT_TRUE(QDir::current().mkdir(QString::fromUtf8("J\u00fcrgen M\u00fcller")));
    writeLineFile(named, {"a", "b"});
    EXPECT_TRUE(fileExists(named));
    EXPECT_EQ(readLineFile(named), (std::vector<std::string>{"a", "b"}));
    deleteFile(named);
    EXPECT_FALSE(fileExists(named));
}

TEST(WindowsFiles, ATemporaryAnotherProgramWritesIsLeftAlone) {
    fbtest::WorkDir dir;
    const std::string held = dir.file("~fragebogen-00000000000000ee.tmp");
    const int fd = files::createNew(held, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(files::lockExclusive(fd, true));
    ASSERT_EQ(files::writeSome(fd, "being written", 13), 13);
    fbtest::writeBytes(dir.file("~fragebogen-00000000000000aa.tmp"), "left by a kill");
    EXPECT_EQ(removeStaleTemporaries(dir.path()), 1);
    EXPECT_TRUE(fbtest::fileExistsAt(held));
    // Its writer may still move it into place.
    EXPECT_EQ(files::renameNoReplace(held, dir.file("00000000.bgn")), 0);
    files::closeFile(fd);
    EXPECT_EQ(fbtest::readBytes(dir.file("00000000.bgn")), "being written");
    EXPECT_EQ(removeStaleTemporaries(dir.path()), 0);
}

// scripts/windows/run-tests.sh names a folder that refuses writes (a
// read-only mount seen through Wine's drive Z:).
TEST(WindowsFiles, AFolderThatRefusesWritesIsReported) {
    const char* folder = std::getenv("FB_READONLY_FOLDER");
    if (!folder || !*folder)
        GTEST_SKIP() << "FB_READONLY_FOLDER names no read-only folder";
    fbtest::WorkDir dir;
    ASSERT_TRUE(QDir::setCurrent(QString::fromLocal8Bit(folder)));
    const int probe = files::createNew("probe", 0666);
    if (probe >= 0) {
        files::closeFile(probe);
        files::removeFile("probe");
        GTEST_SKIP() << folder << " takes writes";
    }
    EXPECT_THROW(writeLineFile("bogen.prt", {"x"}), EFileError);
    EXPECT_THROW(writeAnswerFile({"x"}), EFileError);
    EXPECT_TRUE(files::folderEntries(".").empty()) << "nothing may be left behind";
}
