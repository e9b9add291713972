// Time and peak memory of the Word and Excel writers (through the built-in
// automation servers, saving real files) on a generated table, beside the
// text writer over the same rows. Each measurement runs in its own child
// process. Usage: bench_office_bench [rows...] (default 100000).
#include "bench/export_kit.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "rtl/settings.h"

#include <cstdlib>
#include <vector>

namespace {

using namespace benchexp;

void escreve(const std::string& formato, const std::string& alvo, exporta::FonteDataSet& fonte) {
    bool ok = formato == "texto"  ? exporta::ExpText(alvo, fonte, ",", "''")
              : formato == "word" ? exporta::ExpWord(alvo, fonte)
                                  : exporta::ExpExcel(alvo, fonte);
    if (!ok) std::fprintf(stderr, "  %s: writer refused\n", formato.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> tamanhos;
    for (int i = 1; i < argc; ++i)
        tamanhos.push_back(std::atol(argv[i]));
    if (tamanhos.empty()) tamanhos = {100000};
    rtl::setFormatSettings(rtl::brazilianSettings());

    fs::path pasta = fs::temp_directory_path() / ("office_bench_" + std::to_string(getpid()));
    fs::create_directories(pasta);
    std::printf("Word and Excel writers over a table of 7 columns (embedded engine)\n");
    for (long linhas : tamanhos) {
        std::string banco = (pasta / ("itens_" + std::to_string(linhas) + ".fdb")).string();
        Medida criacao = umFilho([&] {
            double t0 = agora();
            criaBanco(banco, linhas);
            return agora() - t0;
        });
        std::printf("\n%ld rows (table generated in %.1f s)\n", linhas, criacao.segundos);
        Medida bruto = umFilho([&] { return cicloBruto(banco); });
        std::printf("  %-22s %8.2f s %10.0f rows/s  peak %7ld KB\n", "raw fetch loop",
                    bruto.segundos, linhas / bruto.segundos, bruto.picoKb);
        double texto = 0;
        for (const char* formato : {"texto", "word", "excel"}) {
            std::string alvo = (pasta / (std::string("saida.") + formato)).string();
            Medida m = umFilho(
                [&] {
                    return exportaArquivo(
                        banco, [&](exporta::FonteDataSet& f) { escreve(formato, alvo, f); });
                },
                alvo);
            if (std::string(formato) == "texto") texto = m.segundos;
            std::printf("  %-14s %8.2f s %10.0f rows/s  peak %7ld KB  %6.2fx raw  %6.2fx text"
                        "  %ju bytes\n",
                        (std::string("export ") + formato).c_str(), m.segundos, linhas / m.segundos,
                        m.picoKb, m.segundos / bruto.segundos, m.segundos / texto, m.bytes);
            fs::remove(alvo);
        }
        fs::remove(banco);
    }
    fs::remove_all(pasta);
    return 0;
}
