#pragma once
// Shared helpers of the GUI tests: a fresh working directory per test and a
// bounded wait that keeps the event loop running.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <string>

namespace fbtest {

class WorkDir {
public:
    WorkDir() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~WorkDir() { QDir::setCurrent(old_); }
    std::string path() const { return dir_.path().toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

private:
    QTemporaryDir dir_;
    QString old_;
};

inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void writeBytes(const std::string& path, const std::string& bytes);
std::string readBytes(const std::string& path);
inline bool fileExistsAt(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

} // namespace fbtest
