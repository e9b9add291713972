#include "cli/LinhaExporta.h"

#include "db/FbDatabase.h"
#include "db/FbError.h"
#include "db/FbTable.h"
#include "export/ExpTabela.h"
#include "filter/TrocaTermo.h"
#include "rtl/charset.h"
#include "rtl/dialogs.h"

#include <chrono>
#include <cstdio>
#include <ibase.h>
#include <ostream>

namespace linha {

namespace {

// The main window's defaults, after Firebird's own variables.
const char* const kUsuario = "SYSDBA";
const char* const kSenha = "plumtower";

/// What the writers say through the dialogs (a column limit, a server that
/// cannot start) goes to standard error; there is nobody to answer.
class DialogosDoConsole : public rtl::UserDialogs {
public:
    explicit DialogosDoConsole(std::ostream& erro) : erro_(erro) {}
    void message(const std::string& texto) override { diz(texto); }
    bool question(const std::string&, const std::string& texto) override {
        diz(texto);
        return false;
    }
    void errorBox(const std::string& texto) override { diz(texto); }
    bool openFile(const FileDialog&, std::string&) override { return false; }
    bool saveFile(const FileDialog&, std::string&) override { return false; }
    std::string ultima;

private:
    void diz(const std::string& texto) {
        ultima = texto;
        erro_ << "brivane-exporta: " << rtl::nameToUtf8(texto) << '\n';
    }
    std::ostream& erro_;
};

struct Opcoes {
    std::string usuario, senha, campos, filtro, formato;
    std::string sepCampos = ",", sepTexto = "''";
    bool temSepCampos = false, temSepTexto = false;
    std::vector<std::string> posicionais;
    bool ajuda = false;
};

std::vector<std::string> separa(const std::string& lista) {
    std::vector<std::string> r;
    std::size_t p = 0;
    while (p <= lista.size()) {
        std::size_t v = lista.find(',', p);
        if (v == std::string::npos) v = lista.size();
        std::string nome = lista.substr(p, v - p);
        while (!nome.empty() && nome.front() == ' ')
            nome.erase(0, 1);
        while (!nome.empty() && nome.back() == ' ')
            nome.pop_back();
        if (!nome.empty()) r.push_back(nome);
        p = v + 1;
    }
    return r;
}

/// False with `problema` set when the line is wrong.
bool le(const std::vector<std::string>& args, Opcoes& o, std::string& problema) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (a == "-h" || a == "--help" || a == "--ajuda") {
            o.ajuda = true;
            continue;
        }
        if (a.size() < 2 || a.compare(0, 2, "--") != 0 || a == "--") {
            if (a == "--") {
                o.posicionais.insert(o.posicionais.end(), args.begin() + i + 1, args.end());
                break;
            }
            o.posicionais.push_back(a);
            continue;
        }
        std::string valor;
        bool temValor = false;
        if (auto igual = a.find('='); igual != std::string::npos) {
            valor = a.substr(igual + 1);
            a = a.substr(0, igual);
            temValor = true;
        }
        std::string* destino = a == "--usuario"            ? &o.usuario
                               : a == "--senha"            ? &o.senha
                               : a == "--campos"           ? &o.campos
                               : a == "--filtro"           ? &o.filtro
                               : a == "--formato"          ? &o.formato
                               : a == "--separador-campos" ? &o.sepCampos
                               : a == "--separador-texto"  ? &o.sepTexto
                                                           : nullptr;
        if (!destino) {
            problema = "opção desconhecida: " + a;
            return false;
        }
        if (!temValor) {
            if (i + 1 >= args.size()) {
                problema = "falta o valor de " + a;
                return false;
            }
            valor = args[++i];
        }
        *destino = valor;
        if (a == "--separador-campos") o.temSepCampos = true;
        if (a == "--separador-texto") o.temSepTexto = true;
    }
    if (o.ajuda) return true;
    if (o.posicionais.size() != 3) {
        problema = "informe BANCO, TABELA e ARQUIVO";
        return false;
    }
    return true;
}

std::string extensao(const std::string& arquivo) {
    const std::size_t barra = arquivo.find_last_of('/');
    const std::size_t ponto = arquivo.find_last_of('.');
    if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) return {};
    return arquivo.substr(ponto + 1);
}

/// The message of a failure of the database, in Portuguese, the library's
/// own words after "Detalhe técnico:".
std::string mensagemDoBanco(const EDatabaseError& e, const std::string& fase) {
    std::string diz = fase;
    if (auto* fb = dynamic_cast<const EFbError*>(&e)) {
        if (fb->IBErrorCode() == isc_login)
            diz = "usuário ou senha inválidos";
        else if (fb->ConnectionLost())
            diz = "a conexão com o servidor foi perdida";
    }
    return diz + ".\nDetalhe técnico: " + rtl::nameToUtf8(e.what());
}

} // namespace

std::string ajuda() {
    return "Uso: brivane-exporta [OPÇÕES] BANCO TABELA ARQUIVO\n"
           "\n"
           "Exporta as linhas da TABELA do BANCO para o ARQUIVO, como a janela de\n"
           "exportação do Brivane as escreve.\n"
           "\n"
           "  --usuario U           usuário do banco (padrão: ISC_USER, senão SYSDBA)\n"
           "  --senha S             senha (padrão: ISC_PASSWORD, senão a padrão do programa);\n"
           "                        prefira ISC_PASSWORD, que não aparece na lista de processos\n"
           "  --campos A,B,...      campos exportados (padrão: todos, menos memorandos e blobs);\n"
           "                        saem sempre na ordem dos campos da tabela\n"
           "  --filtro CONDIÇÃO     condição nas palavras da janela de filtro\n"
           "                        (por exemplo: \"VALOR > 100 E NOME COM 'A%'\")\n"
           "  --formato F           txt, html, xml, docx ou xlsx (padrão: a extensão do ARQUIVO)\n"
           "  --separador-campos C  separador de campos do texto (padrão: ,)\n"
           "  --separador-texto C   delimitador de texto (padrão: ', como na janela)\n"
           "  -h, --help            mostra esta ajuda\n"
           "\n"
           "O ARQUIVO anterior só é substituído quando o novo está completo.\n"
           "Saída: 0 quando o arquivo foi escrito; 1 quando a exportação falhou;\n"
           "2 quando a linha de comando está errada.\n";
}

int exporta(const std::vector<std::string>& args, std::ostream& saida, std::ostream& erro,
            bool andamento, const char* (*ambiente)(const char*)) {
    Opcoes o;
    std::string problema;
    if (!le(args, o, problema)) {
        erro << "brivane-exporta: " << problema << "\nUse --help para ver as opções.\n";
        return Uso;
    }
    if (o.ajuda) {
        saida << ajuda();
        return Escrito;
    }
    const std::string& banco = o.posicionais[0];
    const std::string& nomeTabela = o.posicionais[1];
    exporta::Pedido pedido;
    pedido.arquivo = o.posicionais[2];
    const std::string formato = o.formato.empty() ? extensao(pedido.arquivo) : o.formato;
    if (!exporta::formatoDe(formato, pedido.formato)) {
        erro << "brivane-exporta: formato desconhecido"
             << (formato.empty() ? std::string() : ": " + formato)
             << " (use --formato txt, html, xml, docx ou xlsx)\n";
        return Uso;
    }
    pedido.campos = separa(o.campos);
    // The separators are Latin-1, as the dialog's edits give them.
    if (!rtl::fromUtf8(o.sepCampos, rtl::cs::Iso8859_1, pedido.separadorCampos) ||
        !rtl::fromUtf8(o.sepTexto, rtl::cs::Iso8859_1, pedido.separadorTexto)) {
        erro << "brivane-exporta: separador fora do Latin-1\n";
        return Uso;
    }
    auto variavel = [&](const char* nome) {
        const char* v = ambiente ? ambiente(nome) : nullptr;
        return v ? std::string(v) : std::string();
    };
    std::string usuario = o.usuario.empty() ? variavel("ISC_USER") : o.usuario;
    std::string senha = o.senha.empty() ? variavel("ISC_PASSWORD") : o.senha;
    if (usuario.empty()) usuario = kUsuario;
    if (senha.empty()) senha = kSenha;

    DialogosDoConsole dialogos(erro);
    rtl::UserDialogs* anteriores = rtl::setDialogs(&dialogos);
    struct Restaura {
        rtl::UserDialogs* d;
        ~Restaura() { rtl::setDialogs(d); }
    } restaura{anteriores};

    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    std::string fase = "não foi possível abrir o banco " + banco;
    try {
        conexao.SetDatabaseName(banco);
        conexao.SetParams({"user_name=" + usuario, "password=" + senha});
        conexao.SetLoginPrompt(false);
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        conexao.Open();
        fase = "não foi possível abrir a tabela " + nomeTabela;
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        tabela.SetTableName(nomeTabela);
        tabela.Open();
        for (const std::string& c : pedido.campos)
            if (!tabela.FindField(c)) {
                erro << "brivane-exporta: a tabela " << nomeTabela << " não tem o campo " << c
                     << ".\n";
                return Falhou;
            }
        if (!o.filtro.empty()) {
            std::vector<NomeExibido> nomes;
            for (int i = 0; i < tabela.FieldCount(); ++i)
                nomes.emplace_back(rtl::nameToUtf8(tabela.Fields(i).FieldName()),
                                   tabela.Fields(i).FieldName());
            std::string condicao;
            if (!CodificaCondicao(TraduzSentenca(o.filtro), conexao.TextCharSetId(), nomes,
                                  condicao)) {
                erro << "brivane-exporta: filtro recusado: o texto tem caracteres que o banco "
                        "não guarda.\n";
                return Falhou;
            }
            tabela.SetFilterForNextOpen(condicao, true);
        }
        fase = o.filtro.empty() ? "não foi possível ler a tabela " + nomeTabela
                                : "filtro recusado pelo servidor";

        auto inicio = std::chrono::steady_clock::now();
        auto ultimo = inicio - std::chrono::seconds(1);
        bool mostrou = false;
        exporta::Progresso progresso;
        if (andamento)
            progresso = [&](std::int64_t pos, std::int64_t max) {
                auto agora = std::chrono::steady_clock::now();
                if (agora - ultimo < std::chrono::milliseconds(250) && pos != max) return;
                ultimo = agora;
                mostrou = true;
                if (max >= 0)
                    erro << "\r" << pos << " de " << max << " linhas" << std::flush;
                else
                    erro << "\rgravando o arquivo..." << std::flush;
            };
        int planilhas = 1;
        bool escrito = false;
        try {
            escrito = exporta::exportaTabela(tabela, pedido, progresso, &planilhas);
        } catch (const EDatabaseError&) {
            if (mostrou) erro << "\n";
            throw;
        } catch (const std::exception& e) {
            if (mostrou) erro << "\n";
            erro << "brivane-exporta: " << rtl::nameToUtf8(e.what()) << '\n';
            return Falhou;
        }
        if (mostrou) erro << "\n";
        if (!escrito) return Falhou; // the writer said why
        if (planilhas > 1)
            erro << "brivane-exporta: " << planilhas << " planilhas escritas em " << pedido.arquivo
                 << ".\n";
        return Escrito;
    } catch (const EDatabaseError& e) {
        erro << "brivane-exporta: " << mensagemDoBanco(e, fase) << '\n';
        return Falhou;
    } catch (const std::exception& e) {
        erro << "brivane-exporta: " << rtl::nameToUtf8(e.what()) << '\n';
        return Falhou;
    }
}

} // namespace linha
