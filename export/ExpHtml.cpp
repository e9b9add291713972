#include "export/Exporta.h"

#include "rtl/safefile.h"

namespace exporta {

namespace {

void acrescentaEscapado(std::string& r, const std::string& texto) {
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
    if (progresso) progresso(0, total);
    saida.line("<html>");
    saida.line("<head> <title> Listagem </title> </head>");
    saida.line("<body>");
    saida.line("<table border = \"1\" rows = \"" + std::to_string(total) +
               "\" bordercolor=\"#000000\" cellspacing=\"0\" cellpadding=\"2\">");
    saida.line("<tr>");
    std::string atributos, dado;
    for (int k = 0; k < colunas; ++k) {
        atributos.clear();
        dado = escapaHtml(fonte.rotulo(k));
        formata(OnFormatCell, Sender, 1, k + 1, fonte.nome(k), atributos, dado);
        saida.line("<th " + atributos + " >" + dado + " </th>");
    }
    saida.line("</tr>");

    fonte.primeiro();
    std::string linha, valor;
    for (int row = 2; !fonte.fim(); ++row) {
        saida.line("<tr>");
        for (int k = 0; k < colunas; ++k) {
            atributos.clear();
            valor.clear();
            fonte.acrescentaTextoWeb(k, valor);
            dado.clear();
            acrescentaEscapado(dado, valor);
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
