#include "import/Texto.h"

#include "rtl/charset.h"

#include <algorithm>
#include <array>
#include <map>

namespace importa {

namespace {

bool utf8BemFormado(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = c >= 0xF0 && c <= 0xF4  ? 4
                          : c >= 0xE0             ? 3
                          : c >= 0xC2 && c < 0xE0 ? 2
                                                  : 0;
        if (len == 0 || i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::string_view semBom(std::string_view s) {
    return s.substr(0, 3) == "\xEF\xBB\xBF" ? s.substr(3) : s;
}

} // namespace

std::string textoEmUtf8(std::string_view bytes, Codificacao forcada) {
    bytes = semBom(bytes);
    if (forcada == Codificacao::Utf8) return rtl::toUtf8(bytes, rtl::cs::Utf8);
    return rtl::toUtf8(bytes, rtl::cs::Win1252);
}

std::string textoEmUtf8(std::string_view bytes, Codificacao* usada) {
    const Codificacao c =
        utf8BemFormado(semBom(bytes)) ? Codificacao::Utf8 : Codificacao::Windows1252;
    if (usada) *usada = c;
    return textoEmUtf8(bytes, c);
}

FormatoTexto detectaFormato(std::string_view t) {
    FormatoTexto f;
    // Counted outside double quotes over the first lines.
    constexpr std::array<char, 4> candidatos{'\t', ';', ',', '|'};
    std::vector<std::array<int, 4>> porLinha;
    std::array<int, 4> atual{};
    bool aspas = false, algo = false, abreAspas = false, abreApostrofo = false;
    char anterior = '\n';
    for (std::size_t i = 0; i < t.size() && porLinha.size() < 50; ++i) {
        const char c = t[i];
        if (c == '"') {
            if (!aspas &&
                (anterior == '\n' || anterior == '\r' ||
                 std::find(candidatos.begin(), candidatos.end(), anterior) != candidatos.end()))
                abreAspas = true;
            aspas = !aspas;
        } else if (c == '\'' && !aspas &&
                   (anterior == '\n' || std::find(candidatos.begin(), candidatos.end(), anterior) !=
                                            candidatos.end())) {
            abreApostrofo = true;
        }
        if (!aspas && (c == '\n' || c == '\r')) {
            if (algo) porLinha.push_back(atual);
            atual = {};
            algo = false;
        } else {
            algo = true;
            if (!aspas)
                for (std::size_t k = 0; k < candidatos.size(); ++k)
                    if (c == candidatos[k]) ++atual[k];
        }
        anterior = c;
    }
    if (algo) porLinha.push_back(atual);
    int melhor = -1, melhorLinhas = 0;
    for (std::size_t k = 0; k < candidatos.size(); ++k) {
        // The count most lines share, and how many share it.
        std::map<int, int> vezes;
        for (const auto& l : porLinha)
            if (l[k] > 0) ++vezes[l[k]];
        int linhas = 0;
        for (const auto& [n, v] : vezes)
            linhas = std::max(linhas, v);
        if (linhas > melhorLinhas) {
            melhor = static_cast<int>(k);
            melhorLinhas = linhas;
        }
    }
    if (melhor >= 0) f.separador = candidatos[static_cast<std::size_t>(melhor)];
    f.qualificador = !abreAspas && abreApostrofo ? '\'' : '"';
    return f;
}

bool LeitorTexto::proxima(Linha& l) {
    const std::size_t n = t_.size();
    for (;;) {
        if (pos_ >= n) return false;
        // Lines without anything are skipped.
        if (t_[pos_] == '\n' || t_[pos_] == '\r') {
            if (t_[pos_] == '\r' && pos_ + 1 < n && t_[pos_ + 1] == '\n') ++pos_;
            ++pos_;
            ++linha_;
            continue;
        }
        break;
    }
    l.numero = linha_;
    std::size_t usadas = 0;
    auto novaCelula = [&]() -> std::string& {
        if (usadas == l.celulas.size()) l.celulas.emplace_back();
        std::string& c = l.celulas[usadas++];
        c.clear();
        return c;
    };
    std::string* cel = &novaCelula();
    const char q = f_.qualificador, sep = f_.separador;
    bool inicio = true;
    while (pos_ < n) {
        const char c = t_[pos_];
        if (inicio && q && c == q) {
            // A qualified cell: up to the lone qualifier; what follows it up
            // to the separator is kept as it is.
            ++pos_;
            while (pos_ < n) {
                const char d = t_[pos_];
                if (d == q) {
                    if (pos_ + 1 < n && t_[pos_ + 1] == q) {
                        *cel += q;
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                if (d == '\n' || (d == '\r' && !(pos_ + 1 < n && t_[pos_ + 1] == '\n'))) ++linha_;
                *cel += d;
                ++pos_;
            }
            inicio = false;
            continue;
        }
        if (c == sep) {
            cel = &novaCelula();
            inicio = true;
            ++pos_;
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (c == '\r' && pos_ + 1 < n && t_[pos_ + 1] == '\n') ++pos_;
            ++pos_;
            ++linha_;
            break;
        }
        *cel += c;
        inicio = false;
        ++pos_;
    }
    l.celulas.resize(usadas);
    return true;
}

} // namespace importa
