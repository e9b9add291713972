#pragma once
// Output files of the writers: written into a temporary file beside the
// target and renamed over it only when the last line is in, so a failed
// export never leaves half a file and never costs the previous one.
#include <string>

namespace exporta {

/// A file being written in place of `destino`. Lines are buffered and
/// streamed to a temporary file in the target's folder; `conclui` moves it
/// over the target. Destroying an unfinished object removes the temporary
/// file and leaves the target as it was. Non-copyable.
class TArquivoSeguro {
public:
    /// Creates the temporary file. Throws std::runtime_error when the folder
    /// does not exist or cannot be written.
    explicit TArquivoSeguro(const std::string& destino);
    ~TArquivoSeguro();
    TArquivoSeguro(const TArquivoSeguro&) = delete;
    TArquivoSeguro& operator=(const TArquivoSeguro&) = delete;

    /// Appends bytes as they are. Throws std::runtime_error on a write error.
    void escreve(const char* dados, std::size_t tamanho);
    void escreve(const std::string& texto) { escreve(texto.data(), texto.size()); }
    /// Appends `texto` followed by carriage return and line feed.
    void linha(const std::string& texto);

    /// Flushes, syncs and renames the file over the target. Throws
    /// std::runtime_error on failure, in which case the target is untouched.
    void conclui();

    const std::string& destino() const { return destino_; }

private:
    void descarrega();
    [[noreturn]] void falha(const std::string& oque, int erro);

    std::string destino_;
    std::string temporario_;
    std::string buffer_;
    int fd_ = -1;
    bool concluido_ = false;
};

} // namespace exporta
