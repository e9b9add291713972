#pragma once
// A tiny tmpfs mounted over a test folder, to meet a full device or a
// read-only folder for real. Needs the right to mount (root); `montado()`
// tells whether it worked so the test can skip otherwise.
#include <string>
#include <sys/mount.h>

namespace exptest {

class Montagem {
public:
    Montagem(const std::string& pasta, bool somenteLeitura, const char* tamanho = "size=64k")
        : pasta_(pasta) {
        montado_ =
            ::mount("tmpfs", pasta.c_str(), "tmpfs", somenteLeitura ? MS_RDONLY : 0, tamanho) == 0;
    }
    ~Montagem() {
        if (montado_) ::umount2(pasta_.c_str(), MNT_DETACH);
    }
    Montagem(const Montagem&) = delete;
    Montagem& operator=(const Montagem&) = delete;
    bool montado() const { return montado_; }
    /// Makes a read-only mount writable, or the other way round.
    bool remonta(bool somenteLeitura) {
        return ::mount("tmpfs", pasta_.c_str(), "tmpfs",
                       MS_REMOUNT | (somenteLeitura ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    std::string pasta_;
    bool montado_ = false;
};

} // namespace exptest
