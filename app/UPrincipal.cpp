#include "app/UPrincipal.h"

#include "app/Aplicacao.h"
#include "app/Controles.h"
#include "app/Espera.h"
#include "app/Grade.h"
#include "app/Importar.h"
#include "app/Nomes.h"
#include "app/UTabelas.h"
#include "rtl/strutil.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>

#include <limits>

const char* const TFPrincipal::kEmail = "dev@brivane.org";
const char* const TFPrincipal::kSite = "www.brivane.org";

namespace {

const QString kSemTabela = QStringLiteral("  TABELA: Nenhuma");
const QString kDesconectado = QStringLiteral("  Banco: DESCONECTADO");
const QString kConectado = QStringLiteral("  Banco: CONECTADO");

void mensagem(const QString& texto) {
    rtl::dialogs().message(app::latin1(texto));
}

QFont fonte(int px, bool negrito = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(px);
    f.setBold(negrito);
    return f;
}

QLabel* rotulo(QWidget* pai, const QString& texto, int x, int y, const QFont& f) {
    auto* l = new QLabel(texto, pai);
    l->setFont(f);
    l->setTextFormat(Qt::PlainText);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QLineEdit* edicao(QWidget* pai, const char* nome, const QRect& r, const QString& texto = {}) {
    auto* e = new QLineEdit(texto, pai);
    e->setObjectName(QString::fromLatin1(nome));
    e->setGeometry(r);
    e->setFont(fonte(13));
    QPalette p = e->palette();
    p.setColor(QPalette::Text, Qt::blue);
    e->setPalette(p);
    return e;
}

app::TSpeedButton* botao(QWidget* pai, const char* nome, const QRect& r, const QString& texto,
                         const char* glifo) {
    auto* b = new app::TSpeedButton(pai);
    b->setObjectName(QString::fromLatin1(nome));
    b->setGeometry(r);
    b->setText(texto);
    b->setFont(fonte(13));
    b->setIcon(app::glifo(QString::fromLatin1(glifo)));
    return b;
}

QGroupBox* grupo(QWidget* pai, const char* nome, const QRect& r, const QString& titulo = {}) {
    auto* g = new QGroupBox(titulo, pai);
    g->setObjectName(QString::fromLatin1(nome));
    g->setGeometry(r);
    return g;
}

/// Shows "*" for each character of a password, whatever the style's habit.
class TEstiloSenha : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* opt, const QWidget* w,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, opt, w, ret);
    }
};

bool semLista(TFieldType t) {
    return t == ftBlob || t == ftMemo || t == ftFmtMemo || t == ftGraphic;
}

} // namespace

void AplicaFormatos(TFbCustomDataSet& ds) {
    if (!ds.Active()) return;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField& f = ds.Fields(i);
        const std::string formato = DefaultDisplayFormat(f.DataType(), f.FieldName());
        if (!formato.empty()) f.SetDisplayFormat(formato);
    }
}

/// Gives every opening of the table its display formats, also the
/// reopenings after replication, clearing and filtering.
class TFPrincipal::Formatador : public TFbDataSetObserver {
public:
    explicit Formatador(TFbCustomDataSet& ds) : ds_(ds) { ds_.AddObserver(this); }
    ~Formatador() override { ds_.RemoveObserver(this); }
    void DataSetOpened(TFbCustomDataSet& ds) override { AplicaFormatos(ds); }

private:
    TFbCustomDataSet& ds_;
};

TFPrincipal::TFPrincipal(QWidget* parent) : QWidget(parent) {
    // Database objects.
    conexao.SetAllowStreamedConnected(false);
    conexao.SetLoginPrompt(false);
    conexao.SetSQLDialect(3);
    conexao.SetIdleTimer(0);
    transacao.SetAutoCommit(false);
    transacao.SetDefaultDatabase(&conexao);
    transacao.SetIdleTimer(0);
    conexao.SetDefaultTransaction(&transacao);
    tabela.SetDatabase(&conexao);
    tabela.SetTransaction(&transacao);
    tabela.SetBufferChunks(1000);
    sql.SetDatabase(&conexao);
    sql.SetTransaction(&transacao);
    sql.SetParamCheck(true);
    ExpTov1.DataSet = &tabela;
    // Registered before the grid's model, so the formats are in place when
    // the grid first reads the new fields.
    formatador_ = std::make_unique<Formatador>(tabela);
    acoes_ = std::make_unique<TAcoes>(conexao, transacao, tabela, sql, this);
    acoes_->reaplicaFormatos = [this] { AplicaFormatos(tabela); };

    odAbre.title = "Base de dados de trabalho";
    odAbre.filters = {"Arquivo Firebird (FDB) (*.fdb)", "Arquivo Interbase (GDB) (*.gdb)",
                      "Firebird & Interbase (*.fdb *.gdb)"};
    odAbre.selectedFilter = 2;
    odAbre.defaultExt = "fdb";

    // The window.
    setObjectName(QStringLiteral("FPrincipal"));
    setWindowTitle(QStringLiteral("  Brivane - Replicação de registros Firebird & Intebase"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(560, 560);
    setFont(fonte(13));
    const QFont f11 = fonte(11);

    gbLocais = grupo(this, "gbLocais", {11, 8, 390, 153},
                     QStringLiteral("   [  Local da base de dados  ]   "));
    gbLocais->setFont(fonte(13, true));
    lb1 = rotulo(gbLocais, QStringLiteral("Arquivo de trabalho"), 13, 33, f11);
    ed1 = edicao(gbLocais, "ed1", {13, 49, 339, 24});
    SpeedButton5 = botao(gbLocais, "SpeedButton5", {352, 48, 30, 27}, {}, "pasta");
    lb2 = rotulo(gbLocais, QStringLiteral("Usuário"), 13, 92, f11);
    ed2 = edicao(gbLocais, "ed2", {13, 108, 108, 24}, QStringLiteral("SYSDBA"));
    lb3 = rotulo(gbLocais, QStringLiteral("Senha"), 141, 92, f11);
    ed3 = edicao(gbLocais, "ed3", {141, 108, 84, 24}, QStringLiteral("plumtower"));
    ed3->setEchoMode(QLineEdit::Password);
    auto* estilo = new TEstiloSenha();
    estilo->setParent(ed3);
    ed3->setStyle(estilo);
    SpeedButton6 = botao(gbLocais, "SpeedButton6", {231, 106, 149, 26},
                         QStringLiteral(" &Conectar banco"), "conectar");
    SpeedButton6->setFont(fonte(11, true));

    gbBotoes = grupo(this, "gbBotoes", {407, 8, 143, 153});
    b1 = botao(gbBotoes, "b1", {9, 13, 124, 26}, QStringLiteral(" &Abrir tabelas"), "tabelas");
    SpeedButton1 =
        botao(gbBotoes, "SpeedButton1", {9, 39, 124, 26}, QStringLiteral(" &Filtrar"), "filtrar");
    SpeedButton2 =
        botao(gbBotoes, "SpeedButton2", {9, 65, 124, 26}, QStringLiteral(" &Replicar"), "replicar");
    SpeedButton3 =
        botao(gbBotoes, "SpeedButton3", {9, 91, 124, 26}, QStringLiteral(" &Limpar"), "limpar");
    SpeedButton4 =
        botao(gbBotoes, "SpeedButton4", {9, 117, 124, 26}, QStringLiteral(" &Sair"), "sair");
    for (auto* b : {b1, SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4})
        b->setMargin(15);

    GroupBox1 = grupo(this, "GroupBox1", {11, 167, 539, 66});
    lb5 = rotulo(GroupBox1, QStringLiteral("Campo a ser replicado"), 13, 15, f11);
    cb1 = new QComboBox(GroupBox1);
    cb1->setObjectName(QStringLiteral("cb1"));
    cb1->setGeometry(13, 31, 200, 24);
    cb1->setEditable(false);
    cb1->setFont(fonte(13));
    {
        QPalette p = cb1->palette();
        p.setColor(QPalette::Text, Qt::blue);
        p.setColor(QPalette::ButtonText, Qt::blue);
        cb1->setPalette(p);
    }
    lb4 = rotulo(GroupBox1, QStringLiteral("Informação à replicar"), 220, 15, f11);
    ed4 = edicao(GroupBox1, "ed4", {219, 31, 166, 24});
    // A pasted value longer than Qt's default limit must not be cut short.
    ed4->setMaxLength(std::numeric_limits<int>::max());
    SpeedButton7 = botao(GroupBox1, "SpeedButton7", {411, 14, 123, 46},
                         QStringLiteral(" &Exportar"), "exportar");

    GroupBox2 = grupo(this, "GroupBox2", {11, 238, 539, 283});
    dbGrid = new app::TGrade(GroupBox2);
    dbGrid->setObjectName(QStringLiteral("dbGrid"));
    dbGrid->setGeometry(6, 10, 525, 254);
    dbGrid->setFont(fonte(9));
    dbGrid->horizontalHeader()->setFont(fonte(11, true));
    ds1_ = std::make_unique<app::TGradeModelo>(tabela);
    acoes_->mostraFiltro = [this](const std::string& c) {
        lbFiltro->setText(QString::fromUtf8(c.data(), static_cast<qsizetype>(c.size())));
    };
    dbGrid->setModelo(ds1_.get());
    dbGrid->aoColar = [this] { app::colaLinhas(*acoes_); };
    dbGrid->aoImportar = [this] { app::importaArquivo(*acoes_); };
    lbFiltro = new QLabel(GroupBox2);
    lbFiltro->setObjectName(QStringLiteral("lbFiltro"));
    lbFiltro->setTextFormat(Qt::PlainText);
    {
        QFont fi = fonte(11);
        fi.setItalic(true);
        lbFiltro->setFont(fi);
        QPalette p = lbFiltro->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        lbFiltro->setPalette(p);
        const int h = QFontMetrics(fi).height();
        lbFiltro->setGeometry(2, 283 - 2 - h, 535, h);
    }

    const QColor azul(0, 128, 192);
    QFont rodape = fonte(11, true);
    QFont link = rodape;
    link.setUnderline(true);
    lb6 = rotulo(this, QStringLiteral("Brivane - Florianópolis - SC - Brasil"), 12, 523, rodape);
    JvLinkLabel1 = new app::TLinkLabel(QString::fromLatin1(kEmail) + QStringLiteral(" - "), this);
    JvLinkLabel1->setFont(link);
    JvLinkLabel1->adjustSize();
    JvLinkLabel1->move(347, 523);
    jvlnklbl1 = new app::TLinkLabel(QString::fromLatin1(kSite), this);
    jvlnklbl1->setFont(link);
    jvlnklbl1->adjustSize();
    jvlnklbl1->move(459, 523);
    for (QLabel* l : {lb6, static_cast<QLabel*>(JvLinkLabel1), static_cast<QLabel*>(jvlnklbl1)}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, azul);
        l->setPalette(p);
    }

    sb1 = new app::TStatusBar(this);
    sb1->setObjectName(QStringLiteral("sb1"));
    sb1->setGeometry(0, 560 - 19, 560, 19);
    // The size of the window's small captions: at the window's own 13 px
    // "  Banco: DESCONECTADO" would not fit its 150 pixels.
    sb1->setFont(fonte(11));
    sb1->addPanel(300, Qt::AlignLeft, kSemTabela);
    sb1->addPanel(150, Qt::AlignLeft, kDesconectado);
    sb1->addPanel(10, Qt::AlignHCenter, QStringLiteral("Versão ") + app::versao());

    // Only the edits, the combo and the grid take the focus, in this order.
    for (QWidget* w : std::initializer_list<QWidget*>{ed1, ed2, ed3, cb1, ed4, dbGrid})
        w->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(ed1, ed2);
    setTabOrder(ed2, ed3);
    setTabOrder(ed3, cb1);
    setTabOrder(cb1, ed4);
    setTabOrder(ed4, dbGrid);

    using app::liga;
    liga(SpeedButton5, &QAbstractButton::clicked, this, [this] { SpeedButton5Click(); });
    liga(SpeedButton6, &QAbstractButton::clicked, this, [this] { SpeedButton6Click(); });
    liga(b1, &QAbstractButton::clicked, this, [this] { b1Click(); });
    liga(SpeedButton1, &QAbstractButton::clicked, this, [this] { SpeedButton1Click(); });
    liga(SpeedButton2, &QAbstractButton::clicked, this, [this] { SpeedButton2Click(); });
    liga(SpeedButton3, &QAbstractButton::clicked, this, [this] { SpeedButton3Click(); });
    liga(SpeedButton4, &QAbstractButton::clicked, this, [this] { SpeedButton4Click(); });
    liga(SpeedButton7, &QAbstractButton::clicked, this, [this] { SpeedButton7Click(); });
    liga(JvLinkLabel1, &app::TLinkLabel::clicked, this, [this] { JvLinkLabel1Click(); });
    liga(jvlnklbl1, &app::TLinkLabel::clicked, this, [this] { jvlnklbl1Click(); });
    app::defineConexaoPerdida([this](const std::string& detalhe) { ConexaoPerdida(detalhe); });
}

TFPrincipal::~TFPrincipal() {
    app::defineConexaoPerdida({});
    // The grid's view must let go of the model before the model goes.
    dbGrid->setModelo(nullptr);
}

void TFPrincipal::ConexaoPerdida(const std::string& detalhe) {
    try {
        // Forced: the transactions and the detach are not waited for, and
        // their failures (the server is gone) are no news. The table closes
        // with them, which empties the grid.
        if (conexao.Connected()) conexao.DoDisconnect(true);
    } catch (...) {
    }
    setPainel(0, kSemTabela);
    setPainel(1, kDesconectado);
    rtl::dialogs().message("A conex\xe3o com o servidor do banco de dados foi perdida. Para "
                           "continuar, clique em \"Conectar banco\".\rDetalhe t\xe9"
                           "cnico: " +
                           detalhe);
}

QString TFPrincipal::painel(int i) const {
    return sb1->panelText(i);
}

void TFPrincipal::setPainel(int i, const QString& texto) {
    sb1->setPanelText(i, texto);
}

void TFPrincipal::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (e->spontaneous()) return;
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    app::executaProtegido([this] { FormShow(); });
}

void TFPrincipal::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
}

void TFPrincipal::FormShow() {
    campos.clear();
    std::string pasta = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (pasta.empty() || pasta.back() != '/') pasta += '/';
    odAbre.initialDir = pasta;
}

void TFPrincipal::FormClose() {
    campos.clear();
    try {
        conexao.Close();
    } catch (...) {
        // Leaving must not be stopped by a connection that fails to close.
    }
}

void TFPrincipal::SpeedButton5Click() {
    std::string arquivo;
    if (rtl::dialogs().openFile(odAbre, arquivo)) ed1->setText(QFile::decodeName(arquivo.c_str()));
}

void TFPrincipal::SpeedButton6Click() {
    // The name goes to the file system as its own bytes, so a folder named
    // with accents ("Área de Trabalho") is found.
    const std::string arquivo = QFile::encodeName(ed1->text()).toStdString();
    if (rtl::trim(arquivo).empty()) {
        mensagem(QStringLiteral("Informe o arquivo de base de dados."));
        return;
    }
    setPainel(0, kSemTabela);
    setPainel(1, kDesconectado);
    try {
        conexao.Close();
        conexao.SetDatabaseName(arquivo);
        conexao.ClearParams();
        conexao.AddParam("user_name=" + app::latin1(ed2->text()));
        conexao.AddParam("password=" + app::latin1(ed3->text()));
        conexao.Open();
        setPainel(1, kConectado);
        mensagem(QStringLiteral("Conectado!!!"));
    } catch (...) {
        mensagem(QStringLiteral("Base de dados inválida."));
    }
}

void TFPrincipal::b1Click() {
    if (!conexao.Connected()) return;
    TFTabelas escolha(this);
    std::vector<std::string> nomes;
    conexao.ListTableNames(nomes, false);
    app::ordenaNomes(nomes);
    if (nomes.empty()) {
        mensagem(QStringLiteral("Não existem tabelas nesta base de dados."));
        return;
    }
    escolha.preenche(nomes);
    escolha.exec();
    if (!escolha.confirmou) return;
    // Confirming with nothing selected leaves the open table as it is.
    const auto nome = escolha.selecionada();
    if (!nome) return;
    AbreTabela(*nome);
}

void TFPrincipal::AbreTabela(const std::string& nome) {
    tabela.Close();
    // A new table starts unfiltered, in its key order.
    tabela.SetFiltered(false);
    tabela.SetFilter("");
    tabela.SetIndexFieldNames("");
    tabela.SetIndexDescending(false);
    lbFiltro->clear();
    tabela.SetTableName(nome);
    bool aberta = false;
    try {
        app::TEspera espera(conexao, this);
        aberta = app::abreEsperando(espera, tabela);
    } catch (...) {
        ConfiguraCampos();
        throw;
    }
    ConfiguraCampos();
    setPainel(0,
              aberta ? QStringLiteral("  TABELA: ") + app::deNome(tabela.TableName()) : kSemTabela);
}

void TFPrincipal::ConfiguraCampos() {
    if (tabela.Active()) {
        cb1->clear();
        campos.clear();
        AplicaFormatos(tabela);
        for (int i = 0; i < tabela.FieldCount(); ++i) {
            const TField& f = tabela.Fields(i);
            if (semLista(f.DataType())) continue;
            const std::string& nome = f.FieldName();
            cb1->addItem(app::deNome(nome),
                         QByteArray(nome.data(), static_cast<qsizetype>(nome.size())));
            campos.push_back(f.FieldName());
        }
    }
    if (cb1->count() > 0) cb1->setCurrentIndex(0);
}

void TFPrincipal::SpeedButton1Click() {
    acoes_->Filtrar(campos);
}

void TFPrincipal::SpeedButton2Click() {
    // The column as the server named it; the value as the user typed it.
    const QByteArray campo = cb1->currentData().toByteArray();
    acoes_->Replicar(campo.isNull() ? app::latin1(cb1->currentText()) : campo.toStdString(),
                     app::utf8(ed4->text()));
}

void TFPrincipal::SpeedButton3Click() {
    acoes_->Limpar();
}

void TFPrincipal::SpeedButton4Click() {
    close();
}

void TFPrincipal::SpeedButton7Click() {
    if (conexao.Connected() && tabela.Active()) ExpTov1.Executar();
}

void TFPrincipal::JvLinkLabel1Click() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kEmail)));
}

void TFPrincipal::jvlnklbl1Click() {
    QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromLatin1(kSite)));
}
