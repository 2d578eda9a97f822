#pragma once
// Drives the reference study server (scripts/study-server) from a test.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <string>

namespace fb::testing {

inline QString studyServerScript() { return QStringLiteral(FRAGEBOGEN_SOURCE_DIR "/scripts/study-server"); }

// Runs one study-server command on STATE and returns what it printed.
// Started by root the server drops to an unprivileged user, who must be able
// to enter the folder holding STATE: a test's temporary folder is private.
inline QString runStudyServer(const QStringList& args, const QString& state) {
    const QString parent = QFileInfo(state).absolutePath();
    QFile::setPermissions(parent, QFile::permissions(parent) | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    QProcess p;
    p.start(studyServerScript(), QStringList(args) << "--state" << state);
    EXPECT_TRUE(p.waitForFinished(90000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace fb::testing
