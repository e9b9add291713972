#pragma once
// Helpers for the files the built-in servers save: Latin-1 text into UTF-8
// XML, and a temporary file beside the target that replaces it only once it
// is complete.
#include <string>
#include <string_view>

namespace automation::ooxml {

/// Appends `latin1` to `out` as UTF-8 XML character data: &, <, > and "
/// escaped; characters XML 1.0 forbids (controls other than tab, line feed
/// and carriage return) dropped.
void appendXmlText(std::string& out, std::string_view latin1);

/// Latin-1 to UTF-8, with nothing escaped or dropped.
std::string toUtf8(std::string_view latin1);

/// A file being written next to `target` (same folder, hidden temporary
/// name). commit() renames it over the target; otherwise the destructor
/// removes it. Throws automation::EOleError when the folder is not writable.
class PendingFile {
public:
    explicit PendingFile(const std::string& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return temp_; }
    /// Gives the file the permissions a newly created file gets and renames
    /// it over the target. Throws EOleError on failure.
    void commit();

private:
    std::string target_;
    std::string temp_;
    bool done_ = false;
};

} // namespace automation::ooxml
