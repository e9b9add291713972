#pragma once
// The export component: the one entry the main window calls, `Executar`,
// which shows the export dialog, and the HTML writer with the component's
// cell event.
#include "export/Exporta.h"

#include <string>

class TFbCustomDataSet;

/// The export component: `Executar` shows the export dialog for `DataSet`.
/// Owned by the main window; never owns the dataset.
class TExpTov {
public:
    /// Optional; raised by the HTML writer for every cell.
    exporta::TKHTMLFormatCellEvent OnFormatCell;
    /// The dataset to export; must be open when `Executar` runs.
    TFbCustomDataSet* DataSet = nullptr;

    /// Builds the export dialog, shows it modally (centred over the active
    /// window) and destroys it. Needs a running QApplication.
    void Executar();

    /// The HTML writer with this component's OnFormatCell.
    bool ExpHtml(const std::string& arquivo, exporta::Fonte& fonte,
                 const exporta::Progresso& progresso = {});
    /// The same over the visible fields of `ds`.
    bool ExpHtml(const std::string& arquivo, TFbCustomDataSet& ds);
};
