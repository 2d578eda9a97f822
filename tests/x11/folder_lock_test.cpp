// Two copies of the program in one folder, as real processes on the display.
#include "app/folder_lock.h"
#include "tests/support/test_env.h"
#include "tests/x11/window_system.h"

#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <gtest/gtest.h>

TEST(X11Folder, OneProgramPerWorkingFolder) {
    if (!x11test::haveDisplay())
        GTEST_SKIP() << "needs an X server with a window manager (scripts/test.d/20-x11.sh starts one)";
    auto start = [](const QString& folder) {
        auto* p = new QProcess(qApp);
        p->setWorkingDirectory(folder);
        p->start(QStringLiteral(FB_PROGRAM), {});
        return p;
    };
    auto holds = [](QProcess* p, const QString& folder) { // the lock file names p
        return fbtest::waitUntil([&] {
            qint64 pid = 0;
            QString host, app;
            return QLockFile(folder + "/" + fb::kFolderLockFile).getLockInfo(&pid, &host, &app) && pid == p->processId();
        }, 20000);
    };
    auto listing = [](const QString& folder) { // names, times and contents
        QStringList out;
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden); it.hasNext();) {
            const QString path = it.next();
            out << path << QFileInfo(path).lastModified().toString(Qt::ISODateWithMs)
                << QString::fromStdString(fbtest::readBytes(path.toStdString()));
        }
        return out;
    };
    QTemporaryDir a, b;
    fbtest::writeBytes(a.filePath("bogen.prt").toStdString(), "recipient=x\r\nPAGE Persona1\r\n");
    QProcess* first = start(a.path());
    ASSERT_TRUE(holds(first, a.path()));
    const QStringList before = listing(a.path());
    QProcess* second = start(a.path()); // says so in a box and ends when it is answered
    QProcess find;
    const QStringList box{"search", "--onlyvisible", "--pid", QString::number(second->processId()), "--name", "^Warning$"};
    ASSERT_TRUE(fbtest::waitUntil([&] { find.start("xdotool", box); find.waitForFinished(); return find.exitCode() == 0; }, 20000));
    const WId w = QString::fromLatin1(find.readAllStandardOutput()).trimmed().toULongLong();
    fbtest::waitUntil([] { return false; }, 300);
    EXPECT_TRUE(x11test::screenshot(x11test::outerRect(w), "second-program-refused"));
    ASSERT_TRUE(x11test::pressKeys(w, "Return") && second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(second->readAllStandardError()).contains(QString::fromUtf8("bereits geöffnet.")));
    EXPECT_EQ(listing(a.path()), before);
    QProcess* other = start(b.path());
    EXPECT_TRUE(holds(other, b.path()));
    first->kill(); // SIGKILL: the lock file stays, naming a dead process
    first->waitForFinished();
    QProcess* next = start(a.path());
    EXPECT_TRUE(holds(next, a.path()));
    for (QProcess* p : {other, next}) {
        EXPECT_EQ(p->state(), QProcess::Running);
        p->kill();
        p->waitForFinished();
    }
}
