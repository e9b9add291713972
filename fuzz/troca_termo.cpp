// The filter builder's translation of operator words: the fixed table over a
// sentence, and single replacements with arbitrary words.
#include "filter/TrocaTermo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string termo = in.ConsumeRandomLengthString(16);
    const std::string troca = in.ConsumeRandomLengthString(24);
    const std::string texto = in.ConsumeRemainingBytesAsString();

    const std::string sentenca = TraduzSentenca(texto);
    // The longest replacement of the table adds 14 characters; each one
    // consumes at least one character of the sentence it was given.
    check(sentenca.size() <= texto.size() * 15 * termos.size() + texto.size(),
          "translation grew without bound");

    // Between quotes of either kind the text is the user's and stays as typed.
    if (texto.find_first_of("'\"") == std::string::npos) {
        for (const char* aspa : {"'", "\""}) {
            const std::string citado = aspa + texto + aspa;
            check(TraduzSentenca(citado) == citado, "a word replaced between quotes");
        }
    }

    const std::string trocado = TrocaTermo(texto, termo, troca);
    if (termo.empty()) check(trocado == texto, "an empty word changed the text");
    // Every replacement consumes at least one character of the text as given.
    const size_t growth = troca.size() > termo.size() ? troca.size() - termo.size() : 0;
    check(trocado.size() <= texto.size() + texto.size() * growth, "replacement grew without bound");
    // A text without the word and without any of its upper-case forms stays
    // as it is.
    if (!termo.empty()) {
        std::string upper = texto;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (upper.find(termo) == std::string::npos)
            check(trocado == texto, "changed without a match");
    }
    return 0;
}
