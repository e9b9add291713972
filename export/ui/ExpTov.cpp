#include "export/ui/ExpTov.h"

#include "export/ExpDataSet.h"
#include "export/ui/ExportaTov.h"

#include <QApplication>

#include <memory>

bool TExpTov::ExpHtml(const std::string& arquivo, exporta::Fonte& fonte,
                      const exporta::Progresso& progresso) {
    return exporta::ExpHtml(arquivo, fonte, OnFormatCell, this, progresso);
}

bool TExpTov::ExpHtml(const std::string& arquivo, TFbCustomDataSet& ds) {
    exporta::FonteDataSet fonte(ds);
    return ExpHtml(arquivo, fonte);
}

void TExpTov::Executar() {
    // Destroyed on every path, also when filling the lists throws.
    auto dialogo = std::make_unique<TExportaTov>(this, QApplication::activeWindow());
    dialogo->carregaCampos();
    dialogo->exec();
}
