#include "export/ExpArquivo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace exporta {

namespace {

// Large enough that a million short lines cost a few hundred system calls.
constexpr std::size_t kBuffer = 256 * 1024;

std::string pastaDe(const std::string& caminho) {
    auto barra = caminho.find_last_of('/');
    if (barra == std::string::npos) return ".";
    if (barra == 0) return "/";
    return caminho.substr(0, barra);
}

std::string nomeDe(const std::string& caminho) {
    auto barra = caminho.find_last_of('/');
    return barra == std::string::npos ? caminho : caminho.substr(barra + 1);
}

mode_t modoNovoArquivo() {
    // mkstemp creates 0600; a file the user exports should get the same
    // permissions as one created the ordinary way.
    mode_t mascara = umask(0);
    umask(mascara);
    return 0666 & ~mascara;
}

} // namespace

TArquivoSeguro::TArquivoSeguro(const std::string& destino) : destino_(destino) {
    std::string modelo = pastaDe(destino) + "/." + nomeDe(destino) + ".XXXXXX";
    std::vector<char> nome(modelo.begin(), modelo.end());
    nome.push_back('\0');
    fd_ = mkstemp(nome.data());
    if (fd_ < 0) falha("criar", errno);
    temporario_ = nome.data();
    buffer_.reserve(kBuffer);
}

TArquivoSeguro::~TArquivoSeguro() {
    if (fd_ >= 0) ::close(fd_);
    if (!concluido_ && !temporario_.empty()) ::unlink(temporario_.c_str());
}

void TArquivoSeguro::falha(const std::string& oque, int erro) {
    throw std::runtime_error("N\xe3o foi poss\xedvel " + oque + " o arquivo " + destino_ + ": " +
                             std::strerror(erro));
}

void TArquivoSeguro::descarrega() {
    const char* p = buffer_.data();
    std::size_t resta = buffer_.size();
    while (resta > 0) {
        ssize_t n = ::write(fd_, p, resta);
        if (n < 0) {
            if (errno == EINTR) continue;
            falha("gravar", errno);
        }
        p += n;
        resta -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void TArquivoSeguro::escreve(const char* dados, std::size_t tamanho) {
    if (buffer_.size() + tamanho > kBuffer) {
        descarrega();
        if (tamanho > kBuffer) {
            buffer_.assign(dados, tamanho);
            descarrega();
            return;
        }
    }
    buffer_.append(dados, tamanho);
}

void TArquivoSeguro::linha(const std::string& texto) {
    escreve(texto);
    escreve("\r\n", 2);
}

void TArquivoSeguro::conclui() {
    descarrega();
    // A full device may accept the writes and fail only here.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) falha("gravar", errno);
    if (::fchmod(fd_, modoNovoArquivo()) != 0) falha("gravar", errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) falha("gravar", errno);
    if (::rename(temporario_.c_str(), destino_.c_str()) != 0) falha("substituir", errno);
    concluido_ = true;
}

} // namespace exporta
