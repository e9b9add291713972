#include "export/ExpWord.h"

#include "rtl/charset.h"
#include "rtl/dialogs.h"

#include <limits>
#include <stdexcept>

namespace exporta {

namespace office {

std::optional<automation::Variant> variante(const Valor& v) {
    switch (v.tipo) {
    case Valor::Tipo::Texto:
        return automation::Variant(v.texto);
    case Valor::Tipo::Inteiro:
        return automation::Variant(v.inteiro);
    case Valor::Tipo::Real:
        return automation::Variant(v.real);
    case Valor::Tipo::Moeda:
        return automation::Variant(v.moeda);
    case Valor::Tipo::Nenhum:
        break;
    }
    return std::nullopt;
}

automation::Variant textoUtf8(const std::string& utf8) {
    std::string latin1;
    if (rtl::fromUtf8(utf8, rtl::cs::Iso8859_1, latin1))
        return automation::Variant(std::move(latin1));
    return automation::Variant::utf8(utf8);
}

std::optional<automation::Variant> celula(Fonte& fonte, int coluna, bool numeros) {
    Valor v = fonte.valor(coluna);
    if (numeros && v.numero) return automation::Variant(v.real);
    if (v.tipo == Valor::Tipo::Nenhum) {
        Tipo t = fonte.tipo(coluna);
        if (t == Tipo::DataHora || t == Tipo::Grande)
            return automation::Variant(fonte.texto(coluna));
    }
    if (v.tipo == Valor::Tipo::Texto) {
        const int cs = fonte.charSet(coluna);
        if (cs != rtl::cs::None && cs != rtl::cs::Octets && cs != rtl::cs::Iso8859_1)
            return automation::Variant::utf8(rtl::toUtf8(v.texto, cs));
    }
    return variante(v);
}

Encerramento::~Encerramento() {
    if (concluido_ || !app_.bound()) return;
    if (adicionado_.bound()) try {
            adicionado_.call("Close", {false});
        } catch (...) {
        }
    try {
        app_.call("Quit");
    } catch (...) {
    }
}

void salvaComo(const automation::AutoObject& documento, const std::string& arquivo,
               const Progresso& progresso) {
    automation::ScopedCallProgress acompanha([&progresso](std::int64_t feito, std::int64_t total) {
        return progresso.segue(feito, total);
    });
    try {
        documento.call("SaveAs", {arquivo});
    } catch (const automation::ECancelled&) {
        throw Cancelada();
    }
}

} // namespace office

bool ExpWord(const std::string& arquivo, Fonte& fonte, const Progresso& progresso) {
    using automation::AutoObject;

    if (fonte.totalCampos() >= 64) {
        rtl::dialogs().message("O Word permite receber no m\xe1ximo 63 colunas.");
        return false;
    }
    AutoObject W;
    try {
        W = automation::attachOrCreate("Word.Application");
    } catch (const std::exception&) {
        rtl::dialogs().message("N\xe3o foi poss\xedvel executar o MS-WORD");
        return false;
    }
    office::Encerramento encerramento(W);
    office::Suspensao suspensao(fonte);

    W.set("Visible", false);
    encerramento.adicionado(W.get("Documents").call("Add"));

    const std::int64_t registros = fonte.registros();
    const int visiveis = fonte.colunas();
    if (registros >= std::numeric_limits<std::int32_t>::max())
        throw std::runtime_error("Registros demais para uma tabela do Word");

    W.get("ActiveDocument").get("PageSetup").set("Orientation", 1);
    W.get("ActiveDocument")
        .get("Tables")
        .call("Add", {W.get("ActiveDocument").get("Range"),
                      static_cast<std::int32_t>(registros + 1), visiveis});
    W.get("ActiveDocument")
        .get("Range")
        .get("Tables")
        .get("Item", {1})
        .call("AutoFormat", {1, 1, 1, 1, 1, 1, 0, 0, 0, 1});

    auto insere = [&](std::int32_t linha, std::int32_t coluna, const automation::Variant& v) {
        W.get("ActiveDocument")
            .get("Tables")
            .get("Item", {1})
            .get("Cell", {linha, coluna})
            .get("Range")
            .call("InsertAfter", {v});
    };

    for (int c = 0; c < visiveis; ++c)
        insere(1, c + 1, office::textoUtf8(fonte.rotulo(c)));

    std::int32_t linha = 1;
    std::int64_t escritos = 0;
    if (progresso) progresso(0, registros);
    fonte.primeiro();
    while (!fonte.fim()) {
        ++linha;
        for (int c = 0; c < visiveis; ++c)
            if (auto v = office::celula(fonte, c)) insere(linha, c + 1, *v);
        fonte.proximo();
        ++escritos;
        if (progresso) progresso(escritos, registros);
    }

    W.get("ActiveDocument").get("Range").get("Tables").get("Item", {1}).call("UpdateAutoFormat");
    // The save replaces the file of that name only once the new one is whole:
    // deleting it first would lose it to a save that fails or is cancelled.
    office::salvaComo(W.get("ActiveDocument"), arquivo, progresso);
    suspensao.retoma();
    W.get("ActiveDocument").call("Close", {false});
    W.call("Quit");
    encerramento.concluido();
    W.release();
    return true;
}

} // namespace exporta
