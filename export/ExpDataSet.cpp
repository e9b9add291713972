// The dialog's work on the dataset: offering its fields, preparing and
// restoring their visible flags and running a writer over it.
#include "export/ExportaTov.h"

#include <stdexcept>

void TExportaTov::carregaCampos() {
    carregaNomes({});
}

void TExportaTov::PreparaCampos() {}

void TExportaTov::RestauraCampos() {}

bool TExportaTov::executaEscritor(const std::string&) {
    throw std::logic_error("the table dataset is not available in this build");
}
