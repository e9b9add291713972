#include "export/Exporta.h"

#include "export/ExpCodificacao.h"
#include "rtl/safefile.h"

#include <vector>

namespace exporta {

namespace {

void acrescentaEscapado(std::string& r, std::string_view texto) {
    for (char c : texto) {
        if (c == '&')
            r += "&amp;";
        else if (c == '<')
            r += "&lt;";
        else if (c == '>')
            r += "&gt;";
        else
            r += c;
    }
}

void formata(const TKHTMLFormatCellEvent& evento, TExpTov* sender, int linha, int coluna,
             const std::string& campo, std::string& atributos, std::string& dado) {
    if (!evento) return;
    try {
        evento(sender, linha, coluna, campo, atributos, dado);
    } catch (...) {
        // A handler's failure must not cost the user the page: the cell
        // goes out as the handler left it.
    }
}

} // namespace

std::string escapaHtml(const std::string& texto) {
    std::string r;
    r.reserve(texto.size());
    acrescentaEscapado(r, texto);
    return r;
}

bool ExpHtml(const std::string& arquivo, Fonte& fonte, const TKHTMLFormatCellEvent& OnFormatCell,
             TExpTov* Sender, const Progresso& progresso) {
    rtl::SafeFile saida(arquivo);
    const int colunas = fonte.colunas();
    const std::int64_t total = fonte.registros();
    const Codificacao cod = Codificacao::de(fonte, false);
    std::vector<int> sets;
    for (int k = 0; k < colunas; ++k)
        sets.push_back(fonte.charSet(k));
    if (progresso) progresso(0, total);
    saida.line("<html>");
    // A page without a declared charset is read as Windows-1252, which
    // agrees with the Latin-1 page byte for byte where it has characters.
    saida.line(cod.utf8 ? "<head> <meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=UTF-8\"> <title> Listagem </title> </head>"
                        : "<head> <title> Listagem </title> </head>");
    saida.line("<body>");
    saida.line("<table border = \"1\" rows = \"" + std::to_string(total) +
               "\" bordercolor=\"#000000\" cellspacing=\"0\" cellpadding=\"2\">");
    saida.line("<tr>");
    std::string atributos, dado;
    for (int k = 0; k < colunas; ++k) {
        atributos.clear();
        dado.clear();
        cod.acrescentaUtf8(dado, escapaHtml(fonte.rotulo(k)), referencia);
        formata(OnFormatCell, Sender, 1, k + 1, fonte.nome(k), atributos, dado);
        saida.line("<th " + atributos + " >" + dado + " </th>");
    }
    saida.line("</tr>");

    fonte.primeiro();
    std::string linha, valor, escapado;
    for (int row = 2; !fonte.fim(); ++row) {
        saida.line("<tr>");
        for (int k = 0; k < colunas; ++k) {
            atributos.clear();
            valor.clear();
            fonte.acrescentaTextoWeb(k, valor);
            dado.clear();
            const auto ku = static_cast<std::size_t>(k);
            if (cod.colunas[ku] == Conversao::Copia) {
                acrescentaEscapado(dado, valor);
            } else {
                escapado.clear();
                acrescentaEscapado(escapado, valor);
                Codificacao::acrescenta(dado, escapado, sets[ku], cod.colunas[ku]);
            }
            if (dado.empty()) dado = "&nbsp";
            formata(OnFormatCell, Sender, row, k + 1, fonte.nome(k), atributos, dado);
            linha.assign("<td nowrap ");
            linha += atributos;
            linha += " >";
            linha += dado;
            linha += " </td>";
            saida.line(linha);
        }
        saida.line("</tr>");
        if (progresso) progresso(row - 1, total);
        fonte.proximo();
    }
    saida.line("</table>");
    saida.line("</body>");
    saida.line("</html>");
    saida.commit();
    return true;
}

} // namespace exporta
