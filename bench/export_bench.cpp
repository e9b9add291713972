// Time and peak memory of every export format on a generated 12-column
// table (embedded engine), each beside its floor measured in the same run:
// the client API's fetch loop writing the same text (text, HTML, XML), the
// same document by hand (Word) or the same cells with libxlsxwriter in
// constant memory (Excel). Every measurement runs in its own child process
// so that its peak resident size is its own.
// Usage: bench_export [--formatos txt,html,xml,docx,xlsx] [rows...]
// (default 100000 1000000).
#include "bench/export_kit.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "rtl/settings.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace benchexp;

bool escreve(const std::string& formato, const std::string& alvo, exporta::Fonte& fonte) {
    if (formato == "txt") return exporta::ExpText(alvo, fonte, ",", "''");
    if (formato == "html") return exporta::ExpHtml(alvo, fonte, {}, nullptr);
    if (formato == "xml") return exporta::ExpXml(alvo, fonte);
    if (formato == "docx") return exporta::ExpWord(alvo, fonte);
    return exporta::ExpExcel(alvo, fonte);
}

void linha(const char* nome, const Medida& m, long linhas, const Medida* piso) {
    std::printf("  %-16s %8.2f s %9.0f rows/s  peak %8.1f MB", nome, m.segundos,
                linhas / m.segundos, m.picoKb / 1024.0);
    if (piso)
        std::printf("  %5.2fx floor time  %+8.1f MB vs floor", m.segundos / piso->segundos,
                    (m.picoKb - piso->picoKb) / 1024.0);
    if (m.bytes) std::printf("  %ju bytes", m.bytes);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> tamanhos;
    std::vector<std::string> formatos = {"txt", "html", "xml", "docx", "xlsx"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--formatos") == 0 && i + 1 < argc) {
            formatos.clear();
            std::string l = argv[++i];
            for (std::size_t p = 0; p <= l.size();) {
                std::size_t v = l.find(',', p);
                if (v == std::string::npos) v = l.size();
                formatos.push_back(l.substr(p, v - p));
                p = v + 1;
            }
            continue;
        }
        tamanhos.push_back(std::atol(argv[i]));
    }
    if (tamanhos.empty()) tamanhos = {100000, 1000000};
    rtl::setFormatSettings(rtl::brazilianSettings());

    fs::path pasta = fs::temp_directory_path() / ("export_bench_" + std::to_string(getpid()));
    fs::create_directories(pasta);
    std::printf("exports of a 12-column table (embedded engine), each beside its floor\n");
    for (long linhas : tamanhos) {
        std::string banco = (pasta / ("itens_" + std::to_string(linhas) + ".fdb")).string();
        Medida criacao = umFilho([&] {
            double t0 = agora();
            criaBanco(banco, linhas);
            return agora() - t0;
        });
        std::printf("\n%ld rows (table generated in %.1f s)\n", linhas, criacao.segundos);
        std::string alvoPiso = (pasta / "piso").string();
        Medida pisoTxt = umFilho([&] { return pisoTexto(banco, alvoPiso); }, alvoPiso);
        linha("floor: API+text", pisoTxt, linhas, nullptr);
        Medida pisoXlsx, pisoDocx;
        for (const std::string& formato : formatos) {
            if (formato == "xlsx" && pisoXlsx.segundos < 0) {
                pisoXlsx = umFilho([&] { return pisoExcel(banco, alvoPiso); }, alvoPiso);
                linha("floor: API+xlsx", pisoXlsx, linhas, nullptr);
            }
            if (formato == "docx" && pisoDocx.segundos < 0) {
                pisoDocx = umFilho([&] { return pisoWord(banco, alvoPiso); }, alvoPiso);
                linha("floor: API+docx", pisoDocx, linhas, nullptr);
            }
            std::string alvo = (pasta / ("saida." + formato)).string();
            Medida m = umFilho(
                [&] {
                    return exportaArquivo(banco, [&](exporta::Fonte& f) {
                        if (!escreve(formato, alvo, f))
                            std::fprintf(stderr, "  %s: writer refused\n", formato.c_str());
                    });
                },
                alvo);
            linha(("export " + formato).c_str(), m, linhas,
                  formato == "xlsx"   ? &pisoXlsx
                  : formato == "docx" ? &pisoDocx
                                      : &pisoTxt);
            fs::remove(alvo);
        }
        fs::remove(alvoPiso);
        fs::remove(banco);
    }
    fs::remove_all(pasta);
    return 0;
}
