#include "export/ExpTov.h"

bool TExpTov::ExpHtml(const std::string& arquivo, exporta::Fonte& fonte,
                      const exporta::Progresso& progresso) {
    return exporta::ExpHtml(arquivo, fonte, OnFormatCell, this, progresso);
}
