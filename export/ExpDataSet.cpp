// The dialog's work on the dataset: offering its fields, preparing and
// restoring their visible flags and running a writer over it; and the
// dataset as a writer's row source.
#include "export/ExpDataSet.h"

#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/ExportaTov.h"

#include "db/FbCustomDataSet.h"
#include "db/FbUtils.h"
#include "rtl/format.h"
#include "rtl/strutil.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>

#include <algorithm>
#include <climits>

namespace exporta {

Tipo tipoDe(const TField& campo) {
    switch (campo.DataType()) {
    case ftString:
        return Tipo::Texto;
    case ftSmallint:
        return Tipo::Pequeno;
    case ftInteger:
        return Tipo::Inteiro;
    case ftLargeint:
        return Tipo::Grande;
    case ftBoolean:
        return Tipo::Logico;
    case ftFloat:
        return Tipo::Real;
    case ftCurrency:
    case ftBCD:
        return Tipo::Moeda;
    case ftDate:
        return Tipo::Data;
    case ftTime:
        return Tipo::Hora;
    case ftDateTime:
        return Tipo::DataHora;
    default:
        return Tipo::Outro;
    }
}

FonteDataSet::FonteDataSet(TFbCustomDataSet& ds) : ds_(ds) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField& f = ds.Fields(i);
        if (!f.Visible()) continue;
        campos_.push_back(&f);
        tipos_.push_back(tipoDe(f));
    }
}

int FonteDataSet::totalCampos() const {
    return ds_.FieldCount();
}

const std::string& FonteDataSet::nome(int coluna) const {
    return campos_[static_cast<std::size_t>(coluna)]->FieldName();
}

const std::string& FonteDataSet::rotulo(int coluna) const {
    return campos_[static_cast<std::size_t>(coluna)]->DisplayLabel();
}

std::int64_t FonteDataSet::registros() {
    return ds_.RecordCount();
}
void FonteDataSet::primeiro() {
    ds_.First();
}
bool FonteDataSet::fim() {
    return ds_.Eof();
}
void FonteDataSet::proximo() {
    ds_.Next();
}
void FonteDataSet::desabilitaControles() {
    ds_.DisableControls();
}
void FonteDataSet::habilitaControles() {
    ds_.EnableControls();
}

void FonteDataSet::acrescentaTexto(int coluna, std::string& saida) {
    const TField& f = *campos_[static_cast<std::size_t>(coluna)];
    const rtl::FormatSettings& fs = rtl::formatSettings();
    switch (tipos_[static_cast<std::size_t>(coluna)]) {
    case Tipo::Texto:
        f.AppendAsString(saida);
        break;
    case Tipo::Pequeno:
        saida += BooleanText(f.AsInteger() == 1);
        break;
    case Tipo::Inteiro:
        rtl::appendIntToStr(saida, f.AsInteger());
        break;
    case Tipo::Grande:
        rtl::appendIntToStr(saida, f.AsLargeInt());
        break;
    case Tipo::Logico:
        saida += BooleanText(f.AsBoolean());
        break;
    case Tipo::Real:
    case Tipo::Moeda:
        rtl::appendFloatToStr(saida, f.AsFloat(), fs);
        break;
    // A date field's own text is these same patterns (short date, long time,
    // "c"), parsed once per field instead of once per cell.
    case Tipo::Data:
        if (!f.IsNull() && f.AsDateTime() != rtl::zeroDate) f.AppendAsString(saida);
        break;
    case Tipo::Hora:
        if (f.IsNull())
            rtl::appendFormatDateTime(saida, fs.longTimeFormat, 0, fs);
        else
            f.AppendAsString(saida);
        break;
    case Tipo::DataHora:
        // A missing date-time is no date at all, not 30/12/1899.
        f.AppendAsString(saida);
        break;
    case Tipo::Outro:
        break;
    }
}

void FonteDataSet::acrescentaTextoWeb(int coluna, std::string& saida) {
    if (tipos_[static_cast<std::size_t>(coluna)] == Tipo::Moeda)
        rtl::appendCurrencyText(saida, campos_[static_cast<std::size_t>(coluna)]->AsCurrency(), 2,
                                12);
    else
        acrescentaTexto(coluna, saida);
}

std::string FonteDataSet::texto(int coluna) {
    std::string r;
    acrescentaTexto(coluna, r);
    return r;
}

std::string FonteDataSet::textoWeb(int coluna) {
    std::string r;
    acrescentaTextoWeb(coluna, r);
    return r;
}

Valor FonteDataSet::valor(int coluna) {
    const TField& f = *campos_[static_cast<std::size_t>(coluna)];
    Valor v;
    switch (tipos_[static_cast<std::size_t>(coluna)]) {
    case Tipo::Texto:
        v.tipo = Valor::Tipo::Texto;
        v.texto = f.AsString();
        break;
    case Tipo::Inteiro:
        v.tipo = Valor::Tipo::Inteiro;
        v.inteiro = f.AsInteger();
        break;
    case Tipo::Real:
        v.tipo = Valor::Tipo::Real;
        v.real = f.AsFloat();
        break;
    case Tipo::Moeda:
        v.tipo = Valor::Tipo::Moeda;
        v.moeda = f.AsCurrency();
        break;
    case Tipo::Pequeno:
    case Tipo::Logico:
    case Tipo::Data:
    case Tipo::Hora:
        v.tipo = Valor::Tipo::Texto;
        v.texto = texto(coluna);
        break;
    case Tipo::Grande:
    case Tipo::DataHora:
    case Tipo::Outro:
        break;
    }
    return v;
}

} // namespace exporta

namespace {

std::string l1(const QString& s) {
    QByteArray b = s.toLatin1();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

bool ofertavel(TFieldType t) {
    return t != ftBlob && t != ftMemo && t != ftGraphic && t != ftFmtMemo;
}

} // namespace

void TExportaTov::carregaCampos() {
    std::vector<std::string> nomes;
    if (FDataSet) {
        for (int i = 0; i < FDataSet->FieldCount(); ++i) {
            TField& f = FDataSet->Fields(i);
            if (!f.Visible()) continue;
            const std::string formato = DefaultDisplayFormat(f.DataType(), f.FieldName());
            if (!formato.empty()) f.SetDisplayFormat(formato);
            if (ofertavel(f.DataType())) nomes.push_back(f.FieldName());
        }
    }
    carregaNomes(nomes);
}

void TExportaTov::PreparaCampos() {
    const int n = FDataSet->FieldCount();
    FVisiveis.assign(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i)
        FVisiveis[static_cast<std::size_t>(i)] = FDataSet->Fields(i).Visible();
    for (int i = 0; i < n; ++i)
        FDataSet->Fields(i).SetVisible(false);
    for (int i = 0; i < lbExp->count(); ++i)
        FDataSet->FieldByName(l1(lbExp->item(i)->text())).SetVisible(true);
}

void TExportaTov::RestauraCampos() {
    const int n = std::min(FDataSet->FieldCount(), static_cast<int>(FVisiveis.size()));
    for (int i = 0; i < n; ++i)
        FDataSet->Fields(i).SetVisible(FVisiveis[static_cast<std::size_t>(i)]);
}

bool TExportaTov::executaEscritor(const std::string& arquivo) {
    // The flags and the control updates come back on every path, also when
    // the writer fails halfway.
    struct Restaura {
        TExportaTov& d;
        bool preparado = false;
        bool desabilitado = false;
        ~Restaura() {
            if (preparado) d.RestauraCampos();
            if (desabilitado) {
                try {
                    d.FDataSet->EnableControls();
                } catch (...) {
                }
            }
        }
    } restaura{*this};

    restaura.preparado = true;
    PreparaCampos();
    FDataSet->Last();
    FDataSet->First();
    barra->setMaximum(std::max(0, FDataSet->RecordCount()));
    barra->setValue(0);
    FDataSet->DisableControls();
    restaura.desabilitado = true;

    exporta::FonteDataSet fonte(*FDataSet);
    exporta::Progresso progresso = [this](std::int64_t pos, std::int64_t max) {
        int m = static_cast<int>(std::min<std::int64_t>(max, INT_MAX));
        if (barra->maximum() != m) barra->setMaximum(m);
        barra->setValue(static_cast<int>(std::min<std::int64_t>(pos, m)));
    };
    if (rbTxt->isChecked())
        return exporta::ExpText(arquivo, fonte, l1(edSepC->text()), l1(edSepT->text()), progresso);
    if (rbDoc->isChecked()) return exporta::ExpWord(arquivo, fonte, progresso);
    if (rbHtml->isChecked())
        return owner_ ? owner_->ExpHtml(arquivo, fonte, progresso)
                      : exporta::ExpHtml(arquivo, fonte, {}, nullptr, progresso);
    if (rbExcel->isChecked()) return exporta::ExpExcel(arquivo, fonte, progresso);
    return exporta::ExpXml(arquivo, fonte, progresso);
}
