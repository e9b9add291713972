#include "import/Planilha.h"

#include "rtl/datetime.h"

#include <expat.h>
#include <zip.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

namespace importa {

namespace {

struct Zip {
    zip_t* z = nullptr;
    explicit Zip(const std::string& caminho) {
        int erro = 0;
        z = zip_open(caminho.c_str(), ZIP_RDONLY, &erro);
        if (!z) throw EPlanilha("O arquivo \"" + caminho + "\" não é uma planilha .xlsx legível.");
    }
    ~Zip() {
        if (z) zip_discard(z);
    }
    Zip(const Zip&) = delete;
    Zip& operator=(const Zip&) = delete;

    /// The part `nome`; empty when `opcional` and it is missing.
    std::string parte(const std::string& nome, bool opcional = false) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(z, nome.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            if (opcional) return {};
            throw EPlanilha("A planilha não tem a parte " + nome + ".");
        }
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(zip_fopen(z, nome.c_str(), 0),
                                                             &zip_fclose);
        if (!f) throw EPlanilha("A parte " + nome + " da planilha não pode ser lida.");
        std::string out(static_cast<std::size_t>(st.size), '\0');
        zip_int64_t lido = 0;
        while (lido < static_cast<zip_int64_t>(out.size())) {
            const zip_int64_t n =
                zip_fread(f.get(), out.data() + lido, out.size() - static_cast<std::size_t>(lido));
            if (n <= 0) throw EPlanilha("A parte " + nome + " da planilha está danificada.");
            lido += n;
        }
        return out;
    }
};

// A SAX pass over one XML part with the prefixes dropped from the names.
struct Xml {
    std::function<void(std::string_view nome, const char** atributos)> abre;
    std::function<void(std::string_view nome)> fecha;
    std::function<void(std::string_view texto)> texto;

    static std::string_view local(const char* nome) {
        std::string_view n(nome);
        const std::size_t p = n.rfind(':');
        return p == std::string_view::npos ? n : n.substr(p + 1);
    }
    void le(const std::string& conteudo, const std::string& parte) {
        std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> p(
            XML_ParserCreate("UTF-8"), &XML_ParserFree);
        XML_SetUserData(p.get(), this);
        XML_SetElementHandler(
            p.get(),
            [](void* u, const char* n, const char** a) {
                auto* x = static_cast<Xml*>(u);
                if (x->abre) x->abre(local(n), a);
            },
            [](void* u, const char* n) {
                auto* x = static_cast<Xml*>(u);
                if (x->fecha) x->fecha(local(n));
            });
        XML_SetCharacterDataHandler(p.get(), [](void* u, const char* s, int len) {
            auto* x = static_cast<Xml*>(u);
            if (x->texto) x->texto(std::string_view(s, static_cast<std::size_t>(len)));
        });
        if (XML_Parse(p.get(), conteudo.data(), static_cast<int>(conteudo.size()), 1) ==
            XML_STATUS_ERROR)
            throw EPlanilha("A parte " + parte + " da planilha não é XML válido (" +
                            XML_ErrorString(XML_GetErrorCode(p.get())) + ").");
    }
};

std::string atributo(const char** a, std::string_view nome) {
    for (; a && *a; a += 2)
        if (Xml::local(a[0]) == nome) return a[1];
    return {};
}

struct Folha {
    std::string nome, alvo;
};

struct Livro {
    std::vector<Folha> folhas;
    bool base1904 = false;
};

Livro leLivro(Zip& z) {
    Livro l;
    std::map<std::string, std::string> alvos;
    Xml rels;
    rels.abre = [&](std::string_view n, const char** a) {
        if (n == "Relationship") alvos[atributo(a, "Id")] = atributo(a, "Target");
    };
    rels.le(z.parte("xl/_rels/workbook.xml.rels"), "xl/_rels/workbook.xml.rels");
    Xml livro;
    livro.abre = [&](std::string_view n, const char** a) {
        if (n == "sheet") {
            std::string alvo = alvos[atributo(a, "id")];
            alvo = !alvo.empty() && alvo[0] == '/' ? alvo.substr(1) : "xl/" + alvo;
            l.folhas.push_back({atributo(a, "name"), alvo});
        } else if (n == "workbookPr") {
            const std::string b = atributo(a, "date1904");
            l.base1904 = b == "1" || b == "true";
        }
    };
    livro.le(z.parte("xl/workbook.xml"), "xl/workbook.xml");
    if (l.folhas.empty()) throw EPlanilha("A planilha não tem folhas.");
    return l;
}

enum class Formato { Numero, Data, Hora, DataHora };

// What a number format code shows: letters of dates and times outside
// quotes, brackets and escapes.
Formato formatoDoCodigo(const std::string& codigo) {
    bool data = false, hora = false;
    for (std::size_t i = 0; i < codigo.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(codigo[i])));
        if (c == '"') {
            i = codigo.find('"', i + 1);
            if (i == std::string::npos) break;
        } else if (c == '[') {
            // [h], [mm] are elapsed time; [Red], [$-416] are not letters of the format.
            const std::size_t f = codigo.find(']', i);
            if (f == std::string::npos) break;
            const std::string dentro = codigo.substr(i + 1, f - i - 1);
            if (!dentro.empty() && (dentro[0] == 'h' || dentro[0] == 'm' || dentro[0] == 's'))
                hora = true;
            i = f;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == 'd' || c == 'y') {
            data = true;
        } else if (c == 'h' || c == 's') {
            hora = true;
        } else if (c == 'm') {
            data = data || !hora; // "m" after an hour is minutes
        }
    }
    if (data && hora) return Formato::DataHora;
    if (data) return Formato::Data;
    if (hora) return Formato::Hora;
    return Formato::Numero;
}

Formato formatoEmbutido(int id) {
    if (id >= 14 && id <= 17) return Formato::Data;
    if (id == 22) return Formato::DataHora;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) return Formato::Hora;
    return Formato::Numero;
}

std::vector<Formato> leEstilos(Zip& z) {
    std::map<int, Formato> codigos;
    std::vector<Formato> xfs;
    bool emXfs = false;
    Xml x;
    x.abre = [&](std::string_view n, const char** a) {
        if (n == "numFmt") {
            codigos[std::atoi(atributo(a, "numFmtId").c_str())] =
                formatoDoCodigo(atributo(a, "formatCode"));
        } else if (n == "cellXfs") {
            emXfs = true;
        } else if (n == "xf" && emXfs) {
            const int id = std::atoi(atributo(a, "numFmtId").c_str());
            const auto c = codigos.find(id);
            xfs.push_back(c != codigos.end() ? c->second : formatoEmbutido(id));
        }
    };
    x.fecha = [&](std::string_view n) {
        if (n == "cellXfs") emXfs = false;
    };
    const std::string estilos = z.parte("xl/styles.xml", true);
    if (!estilos.empty()) x.le(estilos, "xl/styles.xml");
    return xfs;
}

std::vector<std::string> leTextos(Zip& z) {
    std::vector<std::string> textos;
    bool emT = false, emFonetica = false;
    Xml x;
    x.abre = [&](std::string_view n, const char**) {
        if (n == "si") textos.emplace_back();
        if (n == "rPh") emFonetica = true;
        if (n == "t") emT = true;
    };
    x.fecha = [&](std::string_view n) {
        if (n == "t") emT = false;
        if (n == "rPh") emFonetica = false;
    };
    x.texto = [&](std::string_view s) {
        if (emT && !emFonetica && !textos.empty()) textos.back() += s;
    };
    const std::string partes = z.parte("xl/sharedStrings.xml", true);
    if (!partes.empty()) x.le(partes, "xl/sharedStrings.xml");
    return textos;
}

// "AB12" -> 27 (0-based column); -1 without letters.
int colunaDe(const std::string& ref) {
    int c = 0;
    std::size_t i = 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i)
        c = c * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
    return i == 0 ? -1 : c - 1;
}

std::string dataIso(double serial, Formato f, bool base1904) {
    if (base1904) serial += 1462;
    rtl::DateParts d;
    rtl::TimeParts t;
    rtl::decodeDateTime(serial, d, t);
    char b[40];
    if (f == Formato::Hora) {
        std::snprintf(b, sizeof b, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.msec);
        return b;
    }
    if (f == Formato::Data) { // the day the cell shows, a time it hides left out
        std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
        return b;
    }
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", d.year, d.month, d.day, t.hour,
                  t.minute, t.second, t.msec);
    return b;
}

} // namespace

std::vector<std::string> folhasDaPlanilha(const std::string& caminho) {
    Zip z(caminho);
    std::vector<std::string> nomes;
    for (const auto& f : leLivro(z).folhas)
        nomes.push_back(f.nome);
    return nomes;
}

FontePlanilha::FontePlanilha(const std::string& caminho, int folha) {
    Zip z(caminho);
    const Livro livro = leLivro(z);
    if (folha < 0 || static_cast<std::size_t>(folha) >= livro.folhas.size())
        throw EPlanilha("A planilha não tem a folha " + std::to_string(folha + 1) + ".");
    const std::vector<Formato> estilos = leEstilos(z);
    const std::vector<std::string> textos = leTextos(z);
    const std::string& alvo = livro.folhas[static_cast<std::size_t>(folha)].alvo;

    Linha linha;
    std::vector<bool> numeros;
    int proximaColuna = 0;
    std::string tipo, valor;
    int estilo = 0, coluna = 0;
    bool emValor = false, emCelula = false;
    auto poe = [&](int c, std::string s, bool numero) {
        if (c < 0) c = proximaColuna;
        proximaColuna = c + 1;
        if (static_cast<std::size_t>(c) >= linha.celulas.size()) {
            linha.celulas.resize(static_cast<std::size_t>(c) + 1);
            numeros.resize(static_cast<std::size_t>(c) + 1);
        }
        linha.celulas[static_cast<std::size_t>(c)] = std::move(s);
        numeros[static_cast<std::size_t>(c)] = numero;
    };
    Xml x;
    x.abre = [&](std::string_view n, const char** a) {
        if (n == "row") {
            linha.celulas.clear();
            numeros.clear();
            proximaColuna = 0;
            const std::string r = atributo(a, "r");
            linha.numero = r.empty() ? (linhas_.empty() ? 1 : linhas_.back().numero + 1)
                                     : std::atoi(r.c_str());
        } else if (n == "c") {
            emCelula = true;
            tipo = atributo(a, "t");
            estilo = std::atoi(atributo(a, "s").c_str());
            coluna = colunaDe(atributo(a, "r"));
            valor.clear();
        } else if (emCelula && (n == "v" || n == "t")) {
            emValor = true;
        }
    };
    x.texto = [&](std::string_view s) {
        if (emValor) valor += s;
    };
    x.fecha = [&](std::string_view n) {
        if (n == "v" || n == "t") {
            emValor = false;
        } else if (n == "c") {
            emCelula = false;
            if (tipo == "s") {
                const std::size_t i = static_cast<std::size_t>(std::atol(valor.c_str()));
                poe(coluna, i < textos.size() ? textos[i] : std::string(), false);
            } else if (tipo == "b") {
                poe(coluna, valor == "1" ? "true" : "false", false);
            } else if (tipo == "inlineStr" || tipo == "str" || tipo == "e") {
                poe(coluna, valor, false);
            } else if (valor.empty()) {
                poe(coluna, {}, false);
            } else {
                const Formato f = estilo >= 0 && static_cast<std::size_t>(estilo) < estilos.size()
                                      ? estilos[static_cast<std::size_t>(estilo)]
                                      : Formato::Numero;
                char* fim = nullptr;
                const double d = std::strtod(valor.c_str(), &fim);
                if (f != Formato::Numero && fim && *fim == '\0' && std::isfinite(d))
                    poe(coluna, dataIso(d, f, livro.base1904), false);
                else
                    poe(coluna, valor, true);
            }
        } else if (n == "row") {
            bool algo = false;
            for (const auto& c : linha.celulas)
                algo = algo || !c.empty();
            if (algo) {
                linhas_.push_back(linha);
                numeros_.push_back(numeros);
            }
        }
    };
    x.le(z.parte(alvo), alvo);
}

bool FontePlanilha::proxima(Linha& l) {
    if (atual_ >= linhas_.size()) return false;
    l = linhas_[atual_++];
    return true;
}

bool FontePlanilha::numerosEmC(std::size_t celula, const Linha&) const {
    if (atual_ == 0) return false;
    const auto& n = numeros_[atual_ - 1];
    return celula < n.size() && n[celula];
}

} // namespace importa
