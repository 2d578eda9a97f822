#pragma once
// A freshly formatted FAT or exFAT image mounted through FUSE for one test,
// as a USB stick would be: no hard links, no rename that refuses to replace,
// no file modes. The kernel here may have no driver for either, FUSE is
// enough. Everything lives in a temporary directory; the destructor unmounts,
// frees the loop device and removes the directory, also after a failed
// assertion. The FUSE driver runs in the foreground as our child and is told
// to unmount should this process die, and the loop device (exFAT needs a
// block device) is set to detach itself when the driver lets go of it.
#include <string>
#include <sys/types.h>

namespace fbtest {

enum class DiskFormat { Fat, ExFat };

const char* formatName(DiskFormat format);

class DiskImage {
public:
    explicit DiskImage(DiskFormat format, int sizeMiB = 32);
    ~DiskImage();
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;

    // Why the image cannot be had on this machine (not root, no /dev/fuse,
    // a tool or the loop device missing), or empty.
    const std::string& skipReason() const { return skip_; }
    // What went wrong where it should have worked, or empty.
    const std::string& error() const { return error_; }
    bool mounted() const { return driver_ > 0; }
    // The mounted file system's root directory.
    const std::string& root() const { return mountPoint_; }

    // Unmounts and waits (bounded) for the driver and the loop device to go.
    // Returns what did not go cleanly, or empty. Idempotent.
    std::string unmount();
    // The file system checker's verdict on the unmounted image: empty when
    // clean, else its output. Sets *ran to false where it is not installed.
    std::string check(bool* ran);

private:
    void setUp(int sizeMiB);
    void startDriver(const std::string& tool, const std::string& device);
    bool waitForMount();
    void attachLoop();
    std::string releaseLoop();

    DiskFormat format_;
    std::string dir_;
    std::string image_;
    std::string mountPoint_;
    std::string log_;
    std::string skip_;
    std::string error_;
    pid_t driver_ = -1;
    int loopFd_ = -1;
    int loopNumber_ = -1;
};

} // namespace fbtest
