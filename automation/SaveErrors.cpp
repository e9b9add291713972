// The failures of the two libraries that write the Office files, told the
// user in Portuguese. Their own texts ("Seek error", "Zip generic error
// ZIP_ERRNO while creating the xlsx file") go at the end, for support.
#include "automation/ServerKit.h"

#include "rtl/fileerror.h"

#include <cerrno>
#include <xlsxwriter.h>
#include <zip.h>

namespace automation::kit {

namespace {

const char* const kDiskFailed =
    "A grava\xe7\xe3o no disco falhou. Verifique se h\xe1 espa\xe7o livre e "
    "permiss\xe3o para gravar na pasta, e tente de novo.";

std::string internalFailure(const char* what) {
    return std::string("Houve um erro interno ao montar ") + what +
           ". Tente de novo; se o erro se repetir, informe o suporte.";
}

} // namespace

std::string zipSaveError(const std::string& target, int zipCode, int systemError,
                         const std::string& original) {
    std::string advice;
    if (systemError != 0) {
        advice = rtl::fileErrorAdvice(systemError);
    } else {
        switch (zipCode) {
        case ZIP_ER_MEMORY:
            advice = rtl::fileErrorAdvice(ENOMEM);
            break;
        case ZIP_ER_RENAME:
        case ZIP_ER_CLOSE:
        case ZIP_ER_SEEK:
        case ZIP_ER_READ:
        case ZIP_ER_WRITE:
        case ZIP_ER_OPEN:
        case ZIP_ER_TMPOPEN:
        case ZIP_ER_REMOVE:
        case ZIP_ER_TELL:
        case ZIP_ER_EOF:
            advice = kDiskFailed;
            break;
        default:
            advice = internalFailure("o documento");
        }
    }
    return rtl::fileErrorMessage("gravar", target, advice, original);
}

std::string xlsxSaveError(const std::string& target, int code, int systemError,
                          const std::string& original) {
    std::string advice;
    bool disk = false;
    switch (code) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        advice = rtl::fileErrorAdvice(ENOMEM);
        break;
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        disk = true;
        advice = systemError != 0 ? rtl::fileErrorAdvice(systemError) : kDiskFailed;
        break;
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
        advice = "A pasta de trabalho ficou grande demais. Exporte menos linhas ou colunas.";
        break;
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED:
        advice = "Um texto passa do limite de 32.767 caracteres de uma c\xe9lula. Exporte sem "
                 "esse campo.";
        break;
    case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
        advice = "A planilha passaria do limite de 1.048.576 linhas ou 16.384 colunas. Exporte "
                 "menos linhas ou colunas.";
        break;
    default:
        advice = internalFailure("a pasta de trabalho");
    }
    // The library's text names the step but not the system's reason.
    std::string detail = original;
    if (disk && systemError != 0) {
        if (!detail.empty() && detail.back() == '.') detail.pop_back();
        detail += ": " + rtl::systemErrorText(systemError);
    }
    return rtl::fileErrorMessage("gravar", target, advice, detail);
}

} // namespace automation::kit
