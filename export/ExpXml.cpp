#include "export/Exporta.h"

#include "rtl/safefile.h"

#include <vector>

namespace exporta {

namespace {

// Bytes are ISO-8859-1 code points, the document's declared encoding.
bool inicioDeNome(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || c >= 0xF8;
}

bool parteDeNome(unsigned char c) {
    return inicioDeNome(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

void acrescentaLimpo(std::string& r, const std::string& valor) {
    for (char c : valor) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '<' || c == '>' || c == '&')
            r += ' ';
        else if (u >= 0x20 || u == '\t' || u == '\n' || u == '\r')
            r += c;
        // other control characters are not allowed anywhere in an XML 1.0 document
    }
}

} // namespace

std::string nomeXml(const std::string& rotulo) {
    std::string r;
    r.reserve(rotulo.size() + 1);
    for (char c : rotulo)
        r += parteDeNome(static_cast<unsigned char>(c)) ? c : '_';
    // A digit (or "-", ".") may continue a name but not start one.
    if (r.empty() || !inicioDeNome(static_cast<unsigned char>(r[0]))) r.insert(r.begin(), '_');
    return r;
}

std::string valorXml(const std::string& valor) {
    std::string r;
    r.reserve(valor.size());
    acrescentaLimpo(r, valor);
    return r;
}

bool ExpXml(const std::string& arquivo, Fonte& fonte, const Progresso& progresso) {
    rtl::SafeFile saida(arquivo);
    saida.line("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    saida.line("<Exportacao>");
    const int colunas = fonte.colunas();
    std::vector<std::string> abre, fecha;
    for (int k = 0; k < colunas; ++k) {
        std::string nome = nomeXml(fonte.rotulo(k));
        abre.push_back("    <" + nome + ">");
        fecha.push_back("</" + nome + ">");
    }
    const std::int64_t total = fonte.registros();
    std::int64_t escritos = 0;
    if (progresso) progresso(0, total);
    fonte.primeiro();
    std::string linha, valor;
    while (!fonte.fim()) {
        saida.line("  <Registros>");
        for (int k = 0; k < colunas; ++k) {
            linha = abre[k];
            valor.clear();
            fonte.acrescentaTextoWeb(k, valor);
            acrescentaLimpo(linha, valor);
            linha += fecha[k];
            saida.line(linha);
        }
        saida.line("  </Registros>");
        ++escritos;
        if (progresso) progresso(escritos, total);
        fonte.proximo();
    }
    saida.line("</Exportacao>");
    saida.commit();
    return true;
}

} // namespace exporta
