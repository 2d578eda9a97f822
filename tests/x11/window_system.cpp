#include "tests/x11/window_system.h"

#include "tests/support/test_env.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

namespace x11test {
namespace {

// Keeps this process drawing while a tool reads the screen; bounded.
bool finish(QProcess& p) {
    for (int i = 0; i < 500 && !p.waitForFinished(20); ++i)
        QCoreApplication::processEvents();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString xprop(WId window, const char* property) {
    return run("xprop", {"-id", QString::number(window), property}).trimmed();
}

int field(const QString& text, const char* label) {
    const QRegularExpression re(QString::fromLatin1(label) + R"(:\s*(-?\d+))");
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

bool haveDisplay() { return QGuiApplication::platformName() == "xcb" && !qgetenv("DISPLAY").isEmpty(); }

std::string textProperty(WId window, const char* property) {
    const QString out = xprop(window, property);
    const qsizetype first = out.indexOf('"');
    const qsizetype last = out.lastIndexOf('"');
    if (first < 0 || last <= first)
        return {};
    return out.mid(first + 1, last - first - 1).toStdString();
}

std::vector<long> numbers(WId window, const char* property) {
    const QString out = xprop(window, property);
    std::vector<long> values;
    const qsizetype eq = out.indexOf('=');
    if (eq < 0)
        return values;
    for (const QString& part : out.mid(eq + 1).split(',', Qt::SkipEmptyParts))
        values.push_back(part.trimmed().toLong());
    return values;
}

std::vector<long> sizeHints(WId window) {
    const QString out = xprop(window, "WM_NORMAL_HINTS");
    std::vector<long> values;
    for (const char* what : {"minimum", "maximum"}) {
        const QRegularExpression re(QString("program specified %1 size: (\\d+) by (\\d+)").arg(what));
        const auto m = re.match(out);
        values.push_back(m.hasMatch() ? m.captured(1).toLong() : -1);
        values.push_back(m.hasMatch() ? m.captured(2).toLong() : -1);
    }
    return values;
}

std::vector<std::string> atoms(WId window, const char* property) {
    const QString out = xprop(window, property);
    std::vector<std::string> names;
    const qsizetype eq = out.indexOf('=');
    if (eq < 0)
        return names;
    for (const QString& part : out.mid(eq + 1).split(',', Qt::SkipEmptyParts))
        names.push_back(part.trimmed().toStdString());
    return names;
}

bool hasAtom(WId window, const char* property, const std::string& name) {
    for (const std::string& a : atoms(window, property))
        if (a == name)
            return true;
    return false;
}

QRect clientRect(WId window) {
    const QString out = run("xwininfo", {"-id", QString::number(window)});
    return {field(out, "Absolute upper-left X"), field(out, "Absolute upper-left Y"), field(out, "Width"),
            field(out, "Height")};
}

QRect outerRect(WId window) {
    const std::vector<long> e = numbers(window, "_NET_FRAME_EXTENTS");
    const QRect client = clientRect(window);
    if (e.size() != 4)
        return client;
    return client.adjusted(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]),
                           static_cast<int>(e[3]));
}

QSize screenSize() {
    const QString out = run("xwininfo", {"-root"});
    return {field(out, "Width"), field(out, "Height")};
}

bool waitFramed(QWidget& window, int timeoutMs) {
    const WId id = window.winId();
    QRect last;
    int stable = 0;
    // Framed when the extents are there and the outer rectangle has kept
    // still for a few rounds (the program may resize once it knows them).
    return fbtest::waitUntil(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (numbers(id, "_NET_FRAME_EXTENTS").size() != 4 || !window.isVisible())
                return false;
            const QRect now = outerRect(id);
            stable = now == last ? stable + 1 : 0;
            last = now;
            return stable >= 3;
        },
        timeoutMs);
}

bool screenshot(const QRect& rect, const std::string& name) {
    const QByteArray dir = qgetenv("FRAGEBOGEN_SCREENSHOTS");
    if (dir.isEmpty())
        return true;
    QDir().mkpath(QString::fromUtf8(dir));
    QCoreApplication::processEvents();
    const QString file = QString::fromUtf8(dir) + "/" + QString::fromStdString(name) + ".png";
    QProcess p;
    p.start("import", {"-window", "root", "-crop",
                       QString("%1x%2+%3+%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y()),
                       "+repage", file});
    return finish(p) && QFileInfo::exists(file);
}

bool pressKeys(WId window, const std::string& keys) {
    QProcess p;
    p.start("xdotool", {"windowactivate", "--sync", QString::number(window), "key", "--clearmodifiers",
                        QString::fromStdString(keys)});
    return finish(p);
}

} // namespace x11test
