#include "export/ExpExcel.h"

#include "export/ExpWord.h"
#include "rtl/dialogs.h"

#include <optional>
#include <vector>

namespace exporta {

namespace {

constexpr std::int32_t kLinhasDaPlanilha = 1048576;
std::int32_t linhasDefinidas = 0;

// A date cell for a date, time or date-time column; the cell as the other
// writers send it for the rest, and for days a sheet cannot hold as dates.
std::optional<automation::Variant> celulaPlanilha(Fonte& fonte, int c) {
    const Tipo t = fonte.tipo(c);
    if (t == Tipo::Data || t == Tipo::Hora || t == Tipo::DataHora) {
        rtl::TDateTime d = 0;
        if (!fonte.dataHora(c, d)) return std::nullopt;
        if (d >= 61 || (t == Tipo::Hora && d >= 0 && d < 1))
            return automation::Variant(automation::OleDate{d});
    }
    return office::celula(fonte, c, true);
}

} // namespace

std::int32_t linhasPorPlanilha() {
    return linhasDefinidas > 0 ? linhasDefinidas : kLinhasDaPlanilha - 1;
}

void defineLinhasPorPlanilha(std::int32_t linhas) {
    linhasDefinidas = linhas;
}

bool ExpExcel(const std::string& arquivo, Fonte& fonte, const Progresso& progresso,
              int* planilhas) {
    using automation::AutoObject;

    AutoObject X;
    try {
        X = automation::attachOrCreate("Excel.Application");
    } catch (const std::exception&) {
        rtl::dialogs().message("N\xe3o foi poss\xedvel executar o MS-EXCEL");
        return false;
    }
    office::Encerramento encerramento(X);

    // The property is spelled in lower case here; the server resolves names
    // ignoring case.
    X.set("visible", false);
    encerramento.adicionado(X.get("Workbooks").call("Add"));

    office::Suspensao suspensao(fonte);
    fonte.primeiro();

    const std::int64_t registros = fonte.registros();
    const int visiveis = fonte.colunas();
    const std::int32_t porPlanilha = linhasPorPlanilha();

    std::int64_t escritos = 0;
    if (progresso) progresso(0, registros);

    std::vector<automation::Variant> cabecalho;
    for (int c = 0; c < visiveis; ++c)
        cabecalho.push_back(office::textoUtf8(fonte.rotulo(c)));
    auto escreveCabecalho = [&] {
        for (int c = 0; c < visiveis; ++c)
            X.set("Cells", {1, c + 1}, cabecalho[static_cast<std::size_t>(c)]);
    };
    escreveCabecalho();

    int folhas = 1;
    std::int32_t linha = 2;
    while (!fonte.fim()) {
        if (linha - 1 > porPlanilha) {
            // A sheet's last row is taken: the rows go on in a new sheet,
            // under the same header.
            X.get("ActiveWorkBook").get("Worksheets").call("Add");
            ++folhas;
            escreveCabecalho();
            linha = 2;
        }
        for (int c = 0; c < visiveis; ++c)
            if (auto v = celulaPlanilha(fonte, c)) X.set("Cells", {linha, c + 1}, *v);
        fonte.proximo();
        ++linha;
        ++escritos;
        if (progresso) progresso(escritos, registros);
    }

    office::salvaComo(X.get("ActiveWorkBook"), arquivo, progresso);
    X.get("ActiveWorkBook").call("Close", {false});
    suspensao.retoma();
    X.call("Quit");
    encerramento.concluido();
    X.release();
    if (planilhas) *planilhas = folhas;
    return true;
}

} // namespace exporta
