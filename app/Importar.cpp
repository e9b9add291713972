#include "app/Importar.h"

#include "app/Aplicacao.h"
#include "app/Espera.h"
#include "app/UAcoes.h"
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "import/Planilha.h"
#include "rtl/charset.h"
#include "rtl/dialogs.h"
#include "rtl/settings.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <atomic>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

namespace app {

namespace {

QString q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const char separadores[] = {'\t', ';', ',', '|'};
const char qualificadores[] = {'"', '\'', '\0'};

std::string linhas(long long n) {
    return std::to_string(n) + (n == 1 ? " linha" : " linhas");
}

} // namespace

TFImportar::TFImportar(std::function<Previa(const OpcoesLeitura&)> prepara, OpcoesLeitura opcoes,
                       bool formatoEditavel, const std::vector<std::string>& folhas, QWidget* dono)
    : QDialog(dono), prepara_(std::move(prepara)), amostra_(new QTableWidget(this)),
      problemas_(new QListWidget(this)), resumo_(new QLabel(this)),
      importar_(new QPushButton(QStringLiteral("Importar"), this)),
      pularRuins_(new QPushButton(QStringLiteral("Pular as linhas com problemas"), this)) {
    setObjectName(QStringLiteral("FImportar"));
    setWindowTitle(QStringLiteral("Importar linhas"));
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);
    resumo_->setWordWrap(true);
    resumo_->setTextFormat(Qt::PlainText);
    layout->addWidget(resumo_);
    const importa::FormatoTexto& formato = opcoes.formato;
    if (folhas.size() > 1) {
        folha_ = new QComboBox(this);
        for (const auto& f : folhas)
            folha_->addItem(q(f));
        folha_->setCurrentIndex(opcoes.folha);
        auto* linha = new QHBoxLayout;
        linha->addWidget(new QLabel(QStringLiteral("Planilha:"), this));
        linha->addWidget(folha_);
        linha->addStretch();
        layout->addLayout(linha);
        connect(folha_, &QComboBox::currentIndexChanged, this,
                [this] { executaProtegido([this] { recarrega(); }); });
    }
    if (formatoEditavel) {
        separador_ = new QComboBox(this);
        separador_->addItems({QStringLiteral("Tabulação"), QStringLiteral("Ponto e vírgula (;)"),
                              QStringLiteral("Vírgula (,)"), QStringLiteral("Barra vertical (|)")});
        qualificador_ = new QComboBox(this);
        qualificador_->addItems({QStringLiteral("Aspas (\")"), QStringLiteral("Apóstrofo (')"),
                                 QStringLiteral("Nenhum")});
        for (int i = 0; i < 4; ++i)
            if (separadores[i] == formato.separador) separador_->setCurrentIndex(i);
        for (int i = 0; i < 3; ++i)
            if (qualificadores[i] == formato.qualificador) qualificador_->setCurrentIndex(i);
        auto* linha = new QHBoxLayout;
        linha->addWidget(new QLabel(QStringLiteral("Separador:"), this));
        linha->addWidget(separador_);
        linha->addWidget(new QLabel(QStringLiteral("Qualificador:"), this));
        linha->addWidget(qualificador_);
        linha->addStretch();
        layout->addLayout(linha);
        connect(separador_, &QComboBox::currentIndexChanged, this,
                [this] { executaProtegido([this] { recarrega(); }); });
        connect(qualificador_, &QComboBox::currentIndexChanged, this,
                [this] { executaProtegido([this] { recarrega(); }); });
    }
    amostra_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    amostra_->verticalHeader()->setVisible(false);
    layout->addWidget(amostra_, 3);
    layout->addWidget(new QLabel(QStringLiteral("Linhas com problemas:"), this));
    layout->addWidget(problemas_, 2);

    auto* cancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    importar_->setObjectName(QStringLiteral("importar"));
    pularRuins_->setObjectName(QStringLiteral("pularRuins"));
    cancelar->setObjectName(QStringLiteral("cancelar"));
    // Skipping rows is always a choice of its own, never what Enter does.
    pularRuins_->setAutoDefault(false);
    pularRuins_->setDefault(false);
    cancelar->setAutoDefault(false);
    importar_->setDefault(true);
    auto* botoes = new QHBoxLayout;
    botoes->addWidget(pularRuins_);
    botoes->addStretch();
    botoes->addWidget(importar_);
    botoes->addWidget(cancelar);
    layout->addLayout(botoes);
    connect(importar_, &QPushButton::clicked, this, [this] {
        pular_ = false;
        accept();
    });
    connect(pularRuins_, &QPushButton::clicked, this, [this] {
        pular_ = true;
        accept();
    });
    connect(cancelar, &QPushButton::clicked, this, &QDialog::reject);

    previa_ = prepara_(opcoes);
    mostra();
}

void TFImportar::recarrega() {
    OpcoesLeitura o;
    if (separador_) {
        o.formato.separador = separadores[std::max(0, separador_->currentIndex())];
        o.formato.qualificador = qualificadores[std::max(0, qualificador_->currentIndex())];
    }
    if (folha_) o.folha = std::max(0, folha_->currentIndex());
    try {
        previa_ = prepara_(o);
    } catch (const importa::EImportacaoCancelada&) {
        reject(); // the user gave the import up while it was being read again
        return;
    }
    mostra();
}

void TFImportar::mostra() {
    const importa::Verificacao& v = previa_.verificacao;
    const importa::Mapa& m = previa_.importacao->mapa();
    std::string r =
        linhas(v.linhas) + " para a tabela " +
        rtl::nameToUtf8(previa_.importacao->facts().Relation) +
        (m.titulos ? ", colunas pelos títulos da primeira linha." : ", colunas pela posição.");
    for (const auto& a : m.avisos)
        r += "\n" + a;
    if (m.destinos.empty()) r += "\nNenhuma coluna da tabela recebe valores.";
    if (v.ruins > 0)
        r += "\n" + linhas(v.ruins) +
             " com problemas: nada é gravado enquanto existirem, a não ser que escolha pulá-las.";
    resumo_->setText(q(r));

    amostra_->clear();
    amostra_->setColumnCount(static_cast<int>(m.destinos.size()));
    QStringList titulos;
    for (const auto& d : m.destinos)
        titulos << q(d.titulo);
    amostra_->setHorizontalHeaderLabels(titulos);
    amostra_->setRowCount(static_cast<int>(v.amostra.size()));
    for (std::size_t i = 0; i < v.amostra.size(); ++i)
        for (std::size_t k = 0; k < v.amostra[i].size(); ++k)
            amostra_->setItem(static_cast<int>(i), static_cast<int>(k),
                              new QTableWidgetItem(q(v.amostra[i][k])));

    problemas_->clear();
    for (const auto& p : v.problemas)
        problemas_->addItem(q("Linha " + std::to_string(p.linha) + ": " + p.motivo));
    if (v.ruins > static_cast<long long>(v.problemas.size()))
        problemas_->addItem(
            q("... e mais " + linhas(v.ruins - static_cast<long long>(v.problemas.size())) + "."));

    const bool algo = !m.destinos.empty() && v.linhas > v.ruins;
    importar_->setEnabled(algo && v.ruins == 0);
    pularRuins_->setVisible(v.ruins > 0);
    pularRuins_->setEnabled(algo);
    pularRuins_->setText(q("Pular " + linhas(v.ruins) + " com problemas e importar"));
}

void colaLinhas(TAcoes& a) {
    if (!a.tabela.Active()) return;
    importaTexto(a, utf8(QGuiApplication::clipboard()->text()), false);
}

void importaArquivo(TAcoes& a) {
    if (!a.tabela.Active()) return;
    rtl::UserDialogs::FileDialog d;
    d.title = "Importar arquivo";
    d.filters = {"Texto separado ou planilha (*.csv *.txt *.xlsx)", "Todos os arquivos (*)"};
    std::string nome;
    if (!rtl::dialogs().openFile(d, nome)) return;
    std::string fim = nome.size() >= 5 ? nome.substr(nome.size() - 5) : std::string();
    for (char& c : fim)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (fim == ".xlsx") {
        importaPlanilha(a, nome);
        return;
    }
    std::ifstream in(nome, std::ios::binary);
    std::ostringstream conteudo;
    conteudo << in.rdbuf();
    if (!in) {
        rtl::dialogs().message(paraCaixa("Não foi possível ler o arquivo \"" + nome + "\"."));
        return;
    }
    importaTexto(a, importa::textoEmUtf8(conteudo.str()), true);
}

namespace {

bool recebeLinhas(TAcoes& a) {
    if (!a.tabela.Active()) return false;
    if (a.tabela.ReadOnly() || !a.tabela.Facts()) {
        rtl::dialogs().message(paraCaixa("A tabela aberta não recebe linhas."));
        return false;
    }
    return true;
}

using Fabrica = std::function<std::unique_ptr<importa::Fonte>(const OpcoesLeitura&)>;

void importaDe(TAcoes& a, Fabrica fabrica, OpcoesLeitura opcoes, bool formatoEditavel,
               const std::vector<std::string>& folhas);

} // namespace

void importaTexto(TAcoes& a, std::string utf8, bool arquivo) {
    if (!recebeLinhas(a)) return;
    if (utf8.find_first_not_of(" \t\r\n") == std::string::npos) {
        rtl::dialogs().message(paraCaixa("Não há linhas para importar."));
        return;
    }
    const auto texto = std::make_shared<const std::string>(std::move(utf8));
    OpcoesLeitura opcoes;
    if (arquivo) opcoes.formato = importa::detectaFormato(*texto);
    importaDe(a,
              [texto](const OpcoesLeitura& o) {
                  return std::make_unique<importa::FonteTexto>(*texto, o.formato);
              },
              opcoes, arquivo, {});
}

void importaPlanilha(TAcoes& a, const std::string& caminho) {
    if (!recebeLinhas(a)) return;
    std::vector<std::string> folhas;
    try {
        folhas = importa::folhasDaPlanilha(caminho);
    } catch (const importa::EPlanilha& e) {
        rtl::dialogs().message(paraCaixa(e.what()));
        return;
    }
    importaDe(
        a,
        [caminho](const OpcoesLeitura& o) {
            return std::make_unique<importa::FontePlanilha>(caminho, o.folha);
        },
        {}, false, folhas);
}

namespace {

void importaDe(TAcoes& a, Fabrica fabrica, OpcoesLeitura opcoes, bool formatoEditavel,
               const std::vector<std::string>& folhas) {
    TFbTable& t = a.tabela;
    const std::shared_ptr<const TFbTableFacts> facts = t.Facts();
    const rtl::FormatSettings fs = rtl::formatSettings();
    TFbDatabase& conexao = t.Database() ? *t.Database() : a.conexao;
    QWidget* dono = a.janela;
    // The check of a large file takes seconds: on the wait's thread, with
    // the rows counted and "Cancelar", which gives up the import.
    auto prepara = [facts, fabrica, fs, &conexao, dono](const OpcoesLeitura& o) {
        Previa p;
        p.importacao = std::make_unique<importa::Importacao>(facts, fabrica(o), fs);
        TEspera espera(conexao, dono);
        std::atomic<long long> lidas{0};
        espera.andamento = [&lidas] {
            return QStringLiteral("Verificando as linhas... %1").arg(lidas.load());
        };
        try {
            espera.executaComMarca([&](const std::atomic<bool>& pare) {
                p.importacao->verifica(p.verificacao, 20, 1000, [&](long long n) {
                    lidas = n;
                    return !pare.load();
                });
            });
        } catch (...) {
            if (espera.cancelada()) throw importa::EImportacaoCancelada();
            throw;
        }
        return p;
    };
    std::optional<TFImportar> janela;
    try {
        janela.emplace(prepara, opcoes, formatoEditavel, folhas, a.janela);
    } catch (const importa::EPlanilha& e) {
        rtl::dialogs().message(paraCaixa(e.what()));
        return;
    } catch (const importa::EImportacaoCancelada&) {
        return;
    }
    if (janela->exec() != QDialog::Accepted) return;
    Previa& p = janela->previa();
    const bool pular = janela->pular();
    const long long total = p.verificacao.linhas - (pular ? p.verificacao.ruins : 0);

    TFbDatabase& db = t.Database() ? *t.Database() : a.conexao;
    TFbTransaction& tr = t.Transaction() ? *t.Transaction() : a.transacao;
    TEspera espera(db, a.janela);
    std::atomic<long long> feitas{0};
    espera.andamento = [&] {
        return QStringLiteral("Importando... %1 de %2 linhas").arg(feitas.load()).arg(total);
    };
    long long escritas = 0;
    std::exception_ptr erro;
    try {
        {
            TBuscasSuspensas suspensas(t);
            espera.executaComMarca([&](const std::atomic<bool>& pare) {
                escritas = importa::gravaTudo(
                    *p.importacao, db, tr, pular,
                    [&](long long k) {
                        feitas = k;
                        return true;
                    },
                    &pare, 0, false);
            });
        }
        // Here, not on the wait's thread: ending the transaction closes the
        // table, whose observers are the windows.
        tr.Commit();
    } catch (...) {
        erro = std::current_exception();
    }
    if (erro) {
        if (conexaoPerdida(erro)) std::rethrow_exception(erro);
        try {
            if (tr.Active()) tr.Rollback();
        } catch (...) {
            if (conexaoPerdida(std::current_exception())) throw;
        }
        std::string texto;
        try {
            std::rethrow_exception(erro);
        } catch (const importa::EImportacaoCancelada&) {
            texto = "Importação cancelada; nada foi gravado.";
        } catch (const std::exception& e) {
            texto = espera.cancelada() ? "Importação cancelada; nada foi gravado."
                                       : std::string("Nada foi gravado.\r") + e.what();
        }
        rtl::dialogs().message(paraCaixa(texto));
    } else {
        std::string texto = linhas(escritas) + (escritas == 1 ? " importada." : " importadas.");
        if (pular && p.verificacao.ruins > 0)
            texto += " " + linhas(p.verificacao.ruins) + " com problemas " +
                     (p.verificacao.ruins == 1 ? "foi pulada." : "foram puladas.");
        rtl::dialogs().message(paraCaixa(texto));
    }
    // The table reopens with its filter as it was, showing the new rows.
    if (!t.Active() && abreEsperando(espera, t) && a.reaplicaFormatos) a.reaplicaFormatos();
}

} // namespace

} // namespace app
