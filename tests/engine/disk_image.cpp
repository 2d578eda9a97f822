#include "tests/engine/disk_image.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <algorithm>
#include <fstream>
#include <linux/loop.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fbtest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kMountWait = milliseconds(5000);
constexpr auto kDriverExitWait = milliseconds(5000);
constexpr auto kLoopReleaseWait = milliseconds(3000);
constexpr auto kToolWait = milliseconds(20000);
constexpr auto kPoll = milliseconds(10);

std::string errorText(int err) { return std::strerror(err); }

// Root's PATH may lack the sbin directories where mkfs and mount helpers live.
std::string findTool(const std::string& name) {
    const QString tool = QString::fromStdString(name);
    QString path = QStandardPaths::findExecutable(tool);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(tool, {"/usr/local/sbin", "/usr/sbin", "/sbin"});
    return path.toStdString();
}

std::string readText(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::string lastLines(const std::string& text, std::size_t count) {
    const QStringList all = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    return all.mid(std::max<qsizetype>(0, all.size() - static_cast<qsizetype>(count))).join(" | ").toStdString();
}

// Runs a tool to its end (bounded); its exit status, or -1 when it could not
// run or had to be killed, and what it wrote.
int runTool(const std::string& tool, const QStringList& args, std::string& output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(tool), args);
    const bool finished = process.waitForFinished(static_cast<int>(kToolWait.count()));
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    output = process.readAll().toStdString();
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Waits up to limit for pid to end; true with its status if it did.
bool waitForExit(pid_t pid, Clock::duration limit, int* status) {
    const auto end = Clock::now() + limit;
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD))
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
}

std::string describeStatus(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("signal ") + ::strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// A path as /proc/self/mountinfo writes it.
std::string mountinfoEscaped(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

bool isMountPoint(const std::string& path) {
    const std::string want = mountinfoEscaped(path);
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point && point == want)
            return true;
    }
    return false;
}

} // namespace

const char* formatName(DiskFormat format) { return format == DiskFormat::Fat ? "FAT" : "exFAT"; }

DiskImage::DiskImage(DiskFormat format, int sizeMiB) : format_(format) {
    setUp(sizeMiB);
    if (!skip_.empty() || !error_.empty())
        unmount();
}

void DiskImage::setUp(int sizeMiB) {
    if (::geteuid() != 0) {
        skip_ = "mounting a disk image needs root (running as uid " + std::to_string(::geteuid()) + ")";
        return;
    }
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
        skip_ = "no usable /dev/fuse: " + errorText(errno);
        return;
    }
    ::close(fuse);
    const bool fat = format_ == DiskFormat::Fat;
    std::string mkfs = findTool(fat ? "mkfs.vfat" : "mkfs.exfat");
    const std::string driver = findTool(fat ? "fusefat" : "mount.exfat-fuse");
    if (mkfs.empty() || driver.empty()) {
        skip_ = std::string(mkfs.empty() ? (fat ? "mkfs.vfat" : "mkfs.exfat") : (fat ? "fusefat" : "mount.exfat-fuse")) +
                " is not installed (package " +
                (mkfs.empty() ? (fat ? "dosfstools" : "exfatprogs") : (fat ? "fusefat" : "exfat-fuse")) + ")";
        return;
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fragebogen-disk-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error_ = "mkdtemp " + pattern + ": " + errorText(errno);
        return;
    }
    dir_ = pattern;
    image_ = dir_ + "/disk.img";
    mountPoint_ = dir_ + "/mnt";
    log_ = dir_ + "/log";
    const int img = ::open(image_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (img < 0 || ::ftruncate(img, static_cast<off_t>(sizeMiB) << 20) != 0) {
        error_ = "creating " + image_ + ": " + errorText(errno);
        if (img >= 0)
            ::close(img);
        return;
    }
    ::close(img);
    if (::mkdir(mountPoint_.c_str(), 0755) != 0) {
        error_ = "mkdir " + mountPoint_ + ": " + errorText(errno);
        return;
    }
    std::string output;
    if (const int rc = runTool(mkfs, {QString::fromStdString(image_)}, output); rc != 0) {
        error_ = mkfs + " failed (" + std::to_string(rc) + "): " + lastLines(output, 5);
        return;
    }
    if (fat) {
        // In the foreground (-f) so that it stays our child.
        startDriver(driver, "");
    } else {
        attachLoop();
        if (!skip_.empty() || !error_.empty())
            return;
        startDriver(driver, "/dev/loop" + std::to_string(loopNumber_));
    }
    if (driver_ > 0 && waitForMount() && loopFd_ >= 0) {
        // The driver has the device open now; from here on its last close
        // detaches it.
        ::close(loopFd_);
        loopFd_ = -1;
    }
}

void DiskImage::attachLoop() {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
        skip_ = "no loop devices: /dev/loop-control: " + errorText(errno);
        return;
    }
    const int backing = ::open(image_.c_str(), O_RDWR | O_CLOEXEC);
    for (int attempt = 0; attempt < 20 && backing >= 0; ++attempt) {
        const int n = ::ioctl(control, LOOP_CTL_GET_FREE);
        if (n < 0) {
            skip_ = "no free loop device: " + errorText(errno);
            break;
        }
        const std::string device = "/dev/loop" + std::to_string(n);
        const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            skip_ = "loop device " + device + " cannot be opened: " + errorText(errno);
            break;
        }
        loop_config config{};
        config.fd = static_cast<__u32>(backing);
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        std::snprintf(reinterpret_cast<char*>(config.info.lo_file_name), LO_NAME_SIZE, "%s", image_.c_str());
        if (::ioctl(fd, LOOP_CONFIGURE, &config) == 0) {
            loopFd_ = fd;
            loopNumber_ = n;
            break;
        }
        const int err = errno;
        ::close(fd);
        if (err == EBUSY) // another test took it between the two calls
            continue;
        skip_ = "cannot attach the image to " + device + " (LOOP_CONFIGURE): " + errorText(err);
        break;
    }
    if (backing < 0)
        error_ = "open " + image_ + ": " + errorText(errno);
    else if (loopFd_ < 0 && skip_.empty())
        error_ = "no loop device stayed free";
    if (backing >= 0)
        ::close(backing);
    ::close(control);
}

void DiskImage::startDriver(const std::string& tool, const std::string& device) {
    const bool fat = format_ == DiskFormat::Fat;
    std::vector<std::string> args =
        fat ? std::vector<std::string>{tool, "-f", "-o", "rw+", image_, mountPoint_}
            // exfat-fuse knows no -f; its debug switch keeps it in the foreground.
            : std::vector<std::string>{tool, "-d", device, mountPoint_};
    std::vector<char*> argv = argvOf(args);
    const int out = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2];
    if (out < 0 || in < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        error_ = "preparing the driver: " + errorText(errno);
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Should this process die, the driver unmounts (FUSE drivers do so
        // on SIGTERM).
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(argv[0], argv.data());
        const int err = errno;
        [[maybe_unused]] const auto n = ::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(out);
    ::close(in);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        error_ = "fork: " + errorText(errno);
        return;
    }
    int err = 0;
    const long n = ::read(report[0], &err, sizeof err);
    ::close(report[0]);
    if (n == static_cast<long>(sizeof err)) {
        ::waitpid(pid, nullptr, 0);
        skip_ = "cannot run " + tool + ": " + errorText(err);
        return;
    }
    driver_ = pid;
}

bool DiskImage::waitForMount() {
    const auto end = Clock::now() + kMountWait;
    for (;;) {
        if (isMountPoint(mountPoint_))
            return true;
        int status = 0;
        if (::waitpid(driver_, &status, WNOHANG) == driver_) {
            driver_ = -1;
            // The driver refused (no permission to mount here, no FUSE in
            // the kernel): nothing this test can change.
            skip_ = "the FUSE driver ended (" + describeStatus(status) + ") without mounting: " +
                    lastLines(readText(log_), 5);
            return false;
        }
        if (Clock::now() >= end) {
            error_ = "the file system did not appear within 5 s: " + lastLines(readText(log_), 5);
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

std::string DiskImage::unmount() {
    std::string problems;
    auto note = [&](const std::string& what) { problems += (problems.empty() ? "" : "; ") + what; };
    if (driver_ > 0) {
        if (isMountPoint(mountPoint_) && ::umount2(mountPoint_.c_str(), 0) != 0) {
            note("umount " + mountPoint_ + ": " + errorText(errno) + " (detached lazily)");
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        }
        int status = 0;
        if (!waitForExit(driver_, kDriverExitWait, &status)) {
            note("the FUSE driver did not end after the unmount");
            ::kill(driver_, SIGTERM);
            if (!waitForExit(driver_, milliseconds(2000), &status)) {
                ::kill(driver_, SIGKILL);
                ::waitpid(driver_, &status, 0);
            }
        }
        driver_ = -1;
    }
    // A driver that died without unmounting leaves a dead mount.
    if (!mountPoint_.empty() && isMountPoint(mountPoint_)) {
        note("still mounted after the driver ended");
        ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    if (const std::string loop = releaseLoop(); !loop.empty())
        note(loop);
    return problems;
}

std::string DiskImage::releaseLoop() {
    if (loopFd_ >= 0) {
        ::close(loopFd_);
        loopFd_ = -1;
    }
    if (loopNumber_ < 0)
        return {};
    std::string problem;
    struct stat img {};
    const bool haveImage = ::stat(image_.c_str(), &img) == 0;
    const std::string device = "/dev/loop" + std::to_string(loopNumber_);
    const auto end = Clock::now() + kLoopReleaseWait;
    for (;;) {
        const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        loop_info64 info{};
        const bool ours = ::ioctl(fd, LOOP_GET_STATUS64, &info) == 0 && haveImage &&
                          info.lo_device == img.st_dev && info.lo_inode == img.st_ino;
        if (ours && Clock::now() >= end) {
            ::ioctl(fd, LOOP_CLR_FD, 0);
            problem = device + " did not detach itself";
        }
        ::close(fd);
        if (!ours || Clock::now() >= end)
            break;
        std::this_thread::sleep_for(kPoll);
    }
    loopNumber_ = -1;
    return problem;
}

std::string DiskImage::check(bool* ran) {
    *ran = false;
    if (image_.empty() || driver_ > 0)
        return "not checked: the image is not unmounted";
    const std::string fsck = findTool(format_ == DiskFormat::Fat ? "fsck.vfat" : "fsck.exfat");
    if (fsck.empty())
        return {};
    *ran = true;
    std::string output;
    const int rc = runTool(fsck, {"-n", QString::fromStdString(image_)}, output);
    return rc == 0 ? std::string() : "exit " + std::to_string(rc) + ": " + output;
}

DiskImage::~DiskImage() {
    unmount();
    if (dir_.empty())
        return;
    // Never a recursive removal: nothing may be mounted below by now, but
    // if it were, rmdir fails instead of deleting through the mount.
    ::unlink(image_.c_str());
    ::unlink(log_.c_str());
    ::rmdir(mountPoint_.c_str());
    ::rmdir(dir_.c_str());
}

} // namespace fbtest
