#include "export/ExpTabela.h"

#include "db/FbError.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"

#include <cctype>

namespace exporta {

void mostraCampos(TFbCustomDataSet& ds, const std::vector<std::string>& campos,
                  const TFbCustomDataSet* modelo) {
    for (int i = 0; i < ds.FieldCount(); ++i)
        ds.Fields(i).SetVisible(false);
    for (const std::string& nome : campos) {
        TField& f = ds.FieldByName(nome);
        f.SetVisible(true);
        if (const TField* m = modelo ? modelo->FindField(nome) : nullptr)
            f.SetDisplayLabel(m->DisplayLabel());
    }
}

LeituraTabela::LeituraTabela(TFbTable& tabela, const std::vector<std::string>& campos) {
    cursor_.SelectLike(tabela);
    cursor_.SetUnidirectional(true);
    // Counted before the rows are read, on the same transaction: the total
    // of the progress without a pass over the rows.
    total_ = cursor_.CountRows();
    cursor_.Open();
    mostraCampos(cursor_, campos, &tabela);
    fonte_ = std::make_unique<FonteDataSet>(cursor_, total_);
}

LeituraTabela::~LeituraTabela() {
    fonte_.reset();
    try {
        cursor_.Close();
    } catch (...) {
    }
}

bool formatoDe(const std::string& nome, Formato& formato) {
    std::string n;
    for (char c : nome)
        n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (n == "txt")
        formato = Formato::Texto;
    else if (n == "html" || n == "htm")
        formato = Formato::Html;
    else if (n == "xml")
        formato = Formato::Xml;
    else if (n == "docx" || n == "doc")
        formato = Formato::Word;
    else if (n == "xlsx" || n == "xls")
        formato = Formato::Excel;
    else
        return false;
    return true;
}

std::vector<std::string> camposOfertados(const TFbCustomDataSet& ds) {
    std::vector<std::string> nomes;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        const TFieldType t = ds.Fields(i).DataType();
        if (t != ftBlob && t != ftMemo && t != ftGraphic && t != ftFmtMemo)
            nomes.push_back(ds.Fields(i).FieldName());
    }
    return nomes;
}

bool exportaTabela(TFbTable& tabela, const Pedido& pedido, const Progresso& progresso,
                   int* planilhas) {
    if (planilhas) *planilhas = 1;
    LeituraTabela leitura(tabela, pedido.campos.empty() ? camposOfertados(tabela) : pedido.campos);
    if (progresso) progresso(0, leitura.total());
    Fonte& fonte = leitura.fonte();
    const std::string& alvo = pedido.arquivo;
    switch (pedido.formato) {
    case Formato::Texto:
        return ExpText(alvo, fonte, pedido.separadorCampos, pedido.separadorTexto, progresso);
    case Formato::Html:
        return ExpHtml(alvo, fonte, pedido.aoFormatarCelula, pedido.remetente, progresso);
    case Formato::Xml:
        return ExpXml(alvo, fonte, progresso);
    case Formato::Word:
        return ExpWord(alvo, fonte, progresso);
    case Formato::Excel:
        return ExpExcel(alvo, fonte, progresso, planilhas);
    }
    return false;
}

} // namespace exporta
