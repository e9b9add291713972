#include "import/Importacao.h"

#include "rtl/charset.h"
#include "rtl/format.h"

#include <limits>
#include <optional>
#include <stdexcept>

namespace importa {

namespace {

bool calculada(const TFbColumnFacts& c) {
    return c.Computed;
}

bool blobBinario(const TFbColumnFacts& c) {
    return c.FieldType == 261 && c.SubType != 1;
}

bool memo(const TFbColumnFacts& c) {
    return c.FieldType == 261 && c.SubType == 1;
}

// What the grid shows for a memo instead of its content.
bool marcaDeMemo(std::string_view s) {
    return s == "(MEMO)" || s == "(Memo)";
}

std::string tituloDe(const TFbColumnFacts& c) {
    return rtl::nameToUtf8(c.Name);
}

} // namespace

std::string tituloComparavel(std::string_view utf8) {
    while (!utf8.empty() && (utf8.front() == ' ' || utf8.front() == '\t'))
        utf8.remove_prefix(1);
    while (!utf8.empty() && (utf8.back() == ' ' || utf8.back() == '\t'))
        utf8.remove_suffix(1);
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = rtl::nextCodePoint(utf8, i);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
        rtl::appendCodePoint(out, c);
    }
    return out;
}

Mapa mapeia(const Linha& primeira, const Linha* segunda, const TFbTableFacts& facts,
            const rtl::FormatSettings& fs) {
    Mapa m;
    const auto& cols = facts.Columns;
    std::vector<std::string> titulos;
    for (const auto& c : cols)
        titulos.push_back(tituloComparavel(tituloDe(c)));
    auto acha = [&](const std::string& cel) -> int {
        const std::string t = tituloComparavel(cel);
        for (std::size_t k = 0; k < titulos.size(); ++k)
            if (titulos[k] == t) return static_cast<int>(k);
        return -1;
    };
    std::size_t cheias = 0, achadas = 0;
    for (const auto& cel : primeira.celulas) {
        if (tituloComparavel(cel).empty()) continue;
        ++cheias;
        if (acha(cel) >= 0) ++achadas;
    }
    // Titles when they all name columns; when only most do, when the line
    // is no row of values either (a row of texts may name a column by chance).
    m.titulos = achadas > 0 && achadas == cheias;
    if (!m.titulos && achadas > 0 && 2 * achadas >= cheias) {
        TFbImportValue v;
        for (std::size_t i = 0; i < primeira.celulas.size() && i < cols.size() && !m.titulos; ++i)
            if (!cols[i].Computed && !blobBinario(cols[i]))
                m.titulos = !converte(primeira.celulas[i], {&cols[i], {}}, fs, v).empty();
    }
    const Linha* dados = m.titulos ? segunda : &primeira;

    auto inclui = [&](const TFbColumnFacts& c, std::size_t celula) {
        const std::string t = tituloDe(c);
        if (calculada(c)) {
            m.avisos.push_back("A coluna " + t + " é calculada e fica de fora.");
            return;
        }
        if (blobBinario(c)) {
            m.avisos.push_back("A coluna " + t + " guarda dados binários e fica de fora.");
            return;
        }
        if (memo(c) && dados && celula < dados->celulas.size() &&
            marcaDeMemo(dados->celulas[celula])) {
            m.avisos.push_back("A coluna " + t +
                               " traz \"(MEMO)\" em vez do texto (cópia da grade) e fica de fora.");
            return;
        }
        for (const auto& d : m.destinos)
            if (d.coluna == &c) {
                m.avisos.push_back("O título " + t + " aparece mais de uma vez; vale o primeiro.");
                return;
            }
        m.destinos.push_back({&c, t});
        m.celula.push_back(celula);
    };

    if (m.titulos) {
        m.celulasMaximas = primeira.celulas.size();
        for (std::size_t i = 0; i < primeira.celulas.size(); ++i) {
            const int k = acha(primeira.celulas[i]);
            if (k >= 0)
                inclui(cols[static_cast<std::size_t>(k)], i);
            else if (!tituloComparavel(primeira.celulas[i]).empty())
                m.avisos.push_back("O título " + primeira.celulas[i] +
                                   " não é coluna da tabela e fica de fora.");
        }
    } else {
        m.celulasMaximas = cols.size();
        const std::size_t n = std::min(primeira.celulas.size(), cols.size());
        for (std::size_t i = 0; i < n; ++i)
            inclui(cols[i], i);
    }
    return m;
}

Importacao::Importacao(std::shared_ptr<const TFbTableFacts> facts, std::unique_ptr<Fonte> fonte,
                       rtl::FormatSettings fs)
    : facts_(std::move(facts)), fonte_(std::move(fonte)), fs_(std::move(fs)), fsC_(fs_) {
    fsC_.decimalSeparator = '.';
    fsC_.thousandSeparator = '\0';
    Linha a, b;
    fonte_->reinicia();
    if (fonte_->proxima(a)) {
        const bool temSegunda = fonte_->proxima(b);
        mapa_ = mapeia(a, temSegunda ? &b : nullptr, *facts_, fs_);
    }
}

std::vector<std::string> Importacao::colunas() const {
    std::vector<std::string> out;
    for (const auto& d : mapa_.destinos)
        out.push_back(d.coluna->Name);
    return out;
}

std::string Importacao::converteLinha(const Linha& l, std::vector<TFbImportValue>& valores) {
    if (l.celulas.size() > mapa_.celulasMaximas) {
        for (std::size_t i = mapa_.celulasMaximas; i < l.celulas.size(); ++i)
            if (!l.celulas[i].empty())
                return "a linha tem " + std::to_string(l.celulas.size()) + " células; " +
                       (mapa_.titulos ? "os títulos são " : "a tabela tem ") +
                       std::to_string(mapa_.celulasMaximas);
    }
    static const std::string vazia;
    for (std::size_t k = 0; k < mapa_.destinos.size(); ++k) {
        const std::size_t ci = mapa_.celula[k];
        const std::string& cel = ci < l.celulas.size() ? l.celulas[ci] : vazia;
        valores.emplace_back();
        std::string r = converte(cel, mapa_.destinos[k], fonte_->numerosEmC(ci, l) ? fsC_ : fs_,
                                 valores.back());
        if (!r.empty()) return r;
    }
    return {};
}

bool Importacao::verifica(Verificacao& v, std::size_t amostra, std::size_t maxProblemas,
                          const std::function<bool(long long)>& andamento) {
    v = {};
    fonte_->reinicia();
    Linha l;
    std::vector<TFbImportValue> valores;
    bool primeira = true;
    while (fonte_->proxima(l)) {
        if (primeira && mapa_.titulos) {
            primeira = false;
            continue;
        }
        primeira = false;
        ++v.linhas;
        valores.clear();
        const std::string r = converteLinha(l, valores);
        if (!r.empty()) {
            ++v.ruins;
            if (v.problemas.size() < maxProblemas) v.problemas.push_back({l.numero, r});
        } else if (v.amostra.size() < amostra) {
            std::vector<std::string> textos;
            for (std::size_t k = 0; k < valores.size(); ++k)
                textos.push_back(textoDoValor(valores[k], *mapa_.destinos[k].coluna, fs_));
            v.amostra.push_back(std::move(textos));
        }
        if (andamento && (v.linhas & 1023) == 0 && !andamento(v.linhas)) return false;
    }
    return true;
}

long long Importacao::grava(TFbImportWriter& w, bool pular,
                            const std::function<bool(long long)>& andamento, std::size_t lote) {
    if (lote == 0) lote = static_cast<std::size_t>(w.RowsPerTrip());
    fonte_->reinicia();
    Linha l;
    std::vector<TFbImportValue> valores, scratch;
    std::vector<int> linhas;
    valores.reserve(lote * mapa_.destinos.size());
    long long escritas = 0;
    bool primeira = true;
    auto descarrega = [&] {
        if (linhas.empty()) return;
        w.Write(valores, linhas);
        escritas += static_cast<long long>(linhas.size());
        valores.clear();
        linhas.clear();
        if (andamento && !andamento(escritas)) throw EImportacaoCancelada();
    };
    while (fonte_->proxima(l)) {
        if (primeira && mapa_.titulos) {
            primeira = false;
            continue;
        }
        primeira = false;
        const std::size_t antes = valores.size();
        const std::string r = converteLinha(l, valores);
        if (!r.empty()) {
            valores.resize(antes);
            if (pular) continue;
            throw std::runtime_error("Linha " + std::to_string(l.numero) + ": " + r);
        }
        linhas.push_back(l.numero);
        if (linhas.size() >= lote) descarrega();
    }
    descarrega();
    return escritas;
}

EImportacaoRecusada::EImportacaoRecusada(int linha, std::string servidor)
    : std::runtime_error(linha > 0 ? "O servidor recusou a linha " + std::to_string(linha) + ": " +
                                         servidor
                                   : "O servidor recusou a importação: " + servidor),
      linha_(linha), servidor_(std::move(servidor)) {}

long long gravaTudo(Importacao& imp, TFbDatabase& db, TFbTransaction& tr, bool pular,
                    const std::function<bool(long long)>& andamento,
                    const std::atomic<bool>* cancelado, int linhasPorIda, bool terminar) {
    auto desfaz = [&] {
        try {
            if (terminar && tr.Active()) tr.Rollback();
        } catch (...) {
            // A connection that went away took the transaction with it.
        }
    };
    auto pedido = [&] { return cancelado && cancelado->load(); };
    std::optional<TFbImportWriter> w;
    try {
        if (!tr.Active()) tr.StartTransaction();
        w.emplace(db, tr, imp.facts().Relation, FbImportColumns(imp.facts(), imp.colunas()));
        if (linhasPorIda > 0) w->SetRowsPerTrip(linhasPorIda);
        const long long n = imp.grava(*w, pular, [&](long long feitas) {
            return !pedido() && (!andamento || andamento(feitas));
        });
        if (pedido()) throw EImportacaoCancelada();
        w.reset();
        if (terminar) tr.Commit();
        return n;
    } catch (const EFbError& e) {
        desfaz();
        if (e.ConnectionLost()) throw;
        if (pedido()) throw EImportacaoCancelada();
        throw EImportacaoRecusada(w ? w->FailedLine() : 0, e.Message());
    } catch (...) {
        desfaz();
        throw;
    }
}

std::string textoDoValor(const TFbImportValue& v, const TFbColumnFacts& c,
                         const rtl::FormatSettings& fs) {
    auto deDia = [](std::int64_t dia, std::uint32_t fracao) {
        return static_cast<double>(dia - 15018) + fracao / (86400.0 * 10000.0);
    };
    std::string latin;
    switch (v.Type) {
    case TFbImportValue::Null:
        return {};
    case TFbImportValue::Int: {
        std::string d = std::to_string(v.I < 0 ? -(v.I + 1) : v.I);
        if (v.I < 0) { // |INT64_MIN| written without overflow
            int k = static_cast<int>(d.size()) - 1;
            while (k >= 0 && d[static_cast<std::size_t>(k)] == '9')
                d[static_cast<std::size_t>(k--)] = '0';
            if (k < 0)
                d.insert(d.begin(), '1');
            else
                ++d[static_cast<std::size_t>(k)];
        }
        const std::size_t casas = static_cast<std::size_t>(-c.Scale);
        if (casas > 0) {
            if (d.size() <= casas) d.insert(0, casas - d.size() + 1, '0');
            d.insert(d.size() - casas, 1, fs.decimalSeparator);
        }
        return v.I < 0 ? "-" + d : d;
    }
    case TFbImportValue::Double:
        latin = rtl::floatToStr(v.F, fs);
        break;
    case TFbImportValue::Date:
        latin = rtl::dateToStr(deDia(v.I, 0), fs);
        break;
    case TFbImportValue::Time:
        latin = rtl::timeToStr(deDia(15018, v.T), fs);
        break;
    case TFbImportValue::Stamp:
        latin = rtl::dateTimeToStr(deDia(v.I, v.T), fs);
        break;
    case TFbImportValue::Bool:
        return v.I ? "SIM" : "NÃO";
    case TFbImportValue::Text:
        return rtl::toUtf8(v.S, c.FieldType == 14 || c.FieldType == 37 || c.FieldType == 261
                                    ? c.CharSetId
                                    : rtl::cs::Utf8);
    }
    return rtl::toUtf8(latin, rtl::cs::Iso8859_1);
}

} // namespace importa
