#include "export/ExpTov.h"

#include "rtl/format.h"

namespace exporta {

std::string textoLogico(bool valor) {
    return valor ? "SIM" : "N\xc3O";
}

std::string textoReal(double valor) {
    return rtl::floatToStr(valor);
}

std::string textoMoeda(rtl::Currency moeda) {
    return rtl::currencyText(moeda, 2, 12);
}

std::string textoInteiro(std::int64_t valor) {
    return rtl::intToStr(valor);
}

std::string textoData(rtl::TDateTime data) {
    return data == rtl::zeroDate ? std::string() : rtl::dateToStr(data);
}

std::string textoHora(rtl::TDateTime hora) {
    return rtl::timeToStr(hora);
}

std::string textoDataHora(rtl::TDateTime dataHora) {
    return rtl::dateTimeToStr(dataHora);
}

} // namespace exporta
