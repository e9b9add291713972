#pragma once
// Files the program writes for the user (exports, Office documents) replace
// their target only once they are whole and on disk: a failure halfway never
// leaves half a file and never costs the previous one.
#include <cstddef>
#include <string>

namespace rtl {

/// A file being written in place of `target`. Everything goes into a hidden
/// temporary file in the target's folder; `commit` flushes it to disk, gives
/// it the permissions of a newly created file and renames it over the target.
/// Destroying an uncommitted object removes the temporary file and leaves the
/// target as it was. Non-copyable.
///
/// The file is filled either through `write` / `line` (buffered) or by a
/// library that writes it by name (`path`), even one that replaces it by a
/// rename of its own.
///
/// Every failure throws std::runtime_error with a Portuguese message naming
/// the target, what went wrong and what to do (rtl/fileerror.h).
class SafeFile {
public:
    /// Creates the temporary file; fails when the folder does not exist or
    /// cannot be written.
    explicit SafeFile(const std::string& target);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    const std::string& target() const { return target_; }
    /// The temporary file, for a library that writes a file by name.
    const std::string& path() const { return temp_; }

    /// Appends bytes as they are.
    void write(const char* data, std::size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }
    /// Appends `text` followed by carriage return and line feed.
    void line(const std::string& text);

    /// Flushes, syncs, sets the permissions and renames the file over the
    /// target. On failure the target is untouched.
    void commit();

private:
    void flush();
    void writeAll(const char* data, std::size_t size);
    [[noreturn]] void fail(const char* what, int error) const;

    std::string target_;
    std::string temp_;
    std::string buffer_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace rtl
