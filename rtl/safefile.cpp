#include "rtl/safefile.h"

#include "rtl/fileerror.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rtl {

namespace {

// Large enough that a million short lines cost a few hundred system calls.
constexpr std::size_t kBuffer = 256 * 1024;

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's file creation mask, read without changing it: setting and
// restoring it with umask() would leave every other thread creating files
// under a mask of 0 for that moment. Linux tells it in /proc/self/status.
mode_t creationMask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    // Kernels before 4.7 do not say it; read it once, the first time.
    static const mode_t once = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return once;
}

mode_t newFileMode() {
    // mkstemp creates 0600; a file the user saves should get the same
    // permissions as one created the ordinary way.
    return 0666 & ~creationMask();
}

} // namespace

SafeFile::SafeFile(const std::string& target) : target_(target) {
    std::string pattern = folderOf(target) + "/." + nameOf(target) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) fail("criar", errno);
    temp_ = name.data();
}

SafeFile::~SafeFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void SafeFile::fail(const char* what, int error) const {
    throw std::runtime_error(fileErrorMessage(what, target_, error));
}

void SafeFile::flush() {
    writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void SafeFile::writeAll(const char* p, std::size_t left) {
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("gravar", errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void SafeFile::write(const char* data, std::size_t size) {
    if (buffer_.capacity() < kBuffer) buffer_.reserve(kBuffer);
    if (buffer_.size() + size > kBuffer) {
        flush();
        if (size > kBuffer) {
            // Straight to the file: no copy, and the buffer keeps its size.
            writeAll(data, size);
            return;
        }
    }
    buffer_.append(data, size);
}

void SafeFile::line(const std::string& text) {
    write(text);
    write("\r\n", 2);
}

void SafeFile::commit() {
    flush();
    // A library that wrote by name may have put a file of its own there (a
    // rename over the temporary name); what gets synced is the file now
    // under that name.
    struct stat mine {
    }, there{};
    if (::fstat(fd_, &mine) != 0) fail("gravar", errno);
    if (::stat(temp_.c_str(), &there) != 0) fail("gravar", errno);
    if (mine.st_dev != there.st_dev || mine.st_ino != there.st_ino) {
        int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) fail("gravar", errno);
        ::close(fd_);
        fd_ = fd;
    }
    // A full device may accept the writes and fail only here.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail("gravar", errno);
    if (::fchmod(fd_, newFileMode()) != 0) fail("gravar", errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("gravar", errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) fail("substituir", errno);
    committed_ = true;
    // The rename itself reaches the disk with the folder; a file system that
    // cannot sync a folder has nothing more to offer, so that is no failure.
    int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace rtl
