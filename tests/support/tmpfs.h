#pragma once
// A tiny tmpfs mounted over a test folder, to meet a full device or a
// read-only folder for real. Needs the right to mount (root); `mounted()`
// tells whether it worked so the test can skip otherwise.
#include <string>
#include <sys/mount.h>

namespace fbtest {

class Tmpfs {
public:
    Tmpfs(const std::string& folder, bool readOnly, const char* size = "size=64k")
        : folder_(folder) {
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, size) == 0;
    }
    ~Tmpfs() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return mounted_; }
    /// Makes a read-only mount writable, or the other way round.
    bool remount(bool readOnly) {
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                       nullptr) == 0;
    }

private:
    std::string folder_;
    bool mounted_ = false;
};

} // namespace fbtest
