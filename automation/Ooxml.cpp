#include "automation/Ooxml.h"

#include "automation/Automation.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace automation::ooxml {

void appendXmlText(std::string& out, std::string_view latin1) {
    for (unsigned char c : latin1) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
}

std::string toUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() + latin1.size() / 8);
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

PendingFile::PendingFile(const std::string& target) : target_(target) {
    namespace fs = std::filesystem;
    fs::path t(target);
    fs::path dir = t.has_parent_path() ? t.parent_path() : fs::path(".");
    std::string tmpl = (dir / ("." + t.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw EOleError("N\xe3o foi poss\xedvel criar o arquivo " + target + ": " +
                        std::strerror(errno));
    ::close(fd);
    temp_ = tmpl;
}

PendingFile::~PendingFile() {
    if (!done_) std::remove(temp_.c_str());
}

void PendingFile::commit() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp_.c_str(), 0666 & ~mask);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        throw EOleError("N\xe3o foi poss\xedvel gravar o arquivo " + target_ + ": " +
                        std::strerror(errno));
    done_ = true;
}

} // namespace automation::ooxml
