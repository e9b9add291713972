#include "export/ExpExcel.h"

#include "export/ExpWord.h"
#include "rtl/dialogs.h"

#include <limits>
#include <stdexcept>

namespace exporta {

bool ExpExcel(const std::string& arquivo, Fonte& fonte, const Progresso& progresso) {
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
    if (registros >= std::numeric_limits<std::int32_t>::max())
        throw std::runtime_error("Registros demais para uma planilha do Excel");

    std::int64_t escritos = 0;
    if (progresso) progresso(0, registros);

    for (int c = 0; c < visiveis; ++c)
        X.set("Cells", {1, c + 1}, office::textoUtf8(fonte.rotulo(c)));

    // The count read above decides how many rows are written; the end test
    // only guards against a dataset that holds fewer rows than it said, which
    // would otherwise repeat its last row.
    std::int32_t linha = 2;
    for (std::int64_t i = 0; i < registros && !fonte.fim(); ++i) {
        for (int c = 0; c < visiveis; ++c)
            if (auto v = office::celula(fonte, c, true)) X.set("Cells", {linha, c + 1}, *v);
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
    return true;
}

} // namespace exporta
