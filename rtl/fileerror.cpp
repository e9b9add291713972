#include "rtl/fileerror.h"

#include <cerrno>
#include <cstring>
#include <locale.h>

namespace rtl {

// In English whatever the user's locale: support reads it the same
// everywhere, and it stays plain ASCII inside a Latin-1 message.
std::string systemErrorText(int error) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (c != static_cast<locale_t>(0)) return strerror_l(error, c);
    return std::strerror(error);
}

std::string fileErrorAdvice(int error) {
    switch (error) {
    case ENOSPC:
        return "N\xe3o h\xe1 espa\xe7o livre no disco. Libere espa\xe7o ou grave em outro disco.";
    case EDQUOT:
        return "A cota de espa\xe7o em disco do usu\xe1rio acabou. Libere espa\xe7o ou grave em "
               "outro disco.";
    case EFBIG:
        return "O arquivo ficou grande demais para este disco. Grave em outro disco ou exporte "
               "menos linhas.";
    case EACCES:
    case EPERM:
        return "N\xe3o h\xe1 permiss\xe3o para gravar nesta pasta ou neste arquivo. Escolha outra "
               "pasta, ou pe\xe7"
               "a acesso a quem administra o computador.";
    case EROFS:
        return "O disco ou a pasta \xe9 somente leitura. Grave em outra pasta ou em outro disco.";
    case ENOENT:
    case ENOTDIR:
        return "A pasta n\xe3o existe (pode ter sido apagada, renomeada ou desconectada). Escolha "
               "uma pasta que exista.";
    case EBUSY:
    case ETXTBSY:
        return "O arquivo est\xe1 em uso por outro programa. Feche o programa que o usa e tente "
               "de novo.";
    case EISDIR:
        return "J\xe1 existe uma pasta com este nome. Escolha outro nome para o arquivo.";
    case ENAMETOOLONG:
        return "O nome do arquivo ou da pasta \xe9 longo demais. Escolha um nome mais curto.";
    case EIO:
        return "O disco falhou ao gravar. Verifique o disco ou grave em outro.";
    case EMFILE:
    case ENFILE:
        return "H\xe1 arquivos abertos demais. Feche outros programas e tente de novo.";
    case ENOMEM:
        return "Falta mem\xf3ria. Feche outros programas e tente de novo.";
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case ENOTCONN:
    case ETIMEDOUT:
        return "O disco ou a pasta de rede deixou de responder. Verifique a conex\xe3o e tente de "
               "novo.";
    default:
        return "O sistema recusou a grava\xe7\xe3o. Tente de novo ou grave em outra pasta.";
    }
}

std::string fileErrorMessage(const std::string& action, const std::string& target,
                             const std::string& advice, const std::string& detail) {
    return "N\xe3o foi poss\xedvel " + action + " o arquivo " + target + ". " + advice +
           "\nDetalhe t\xe9"
           "cnico: " +
           detail;
}

std::string fileErrorMessage(const std::string& action, const std::string& target, int error) {
    return fileErrorMessage(action, target, fileErrorAdvice(error), systemErrorText(error));
}

} // namespace rtl
