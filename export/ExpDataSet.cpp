// The dataset as a writer's row source, and the value formatting the
// writers share.
#include "export/ExpDataSet.h"

#include "db/FbCustomDataSet.h"
#include "db/FbUtils.h"
#include "rtl/charset.h"
#include "rtl/format.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace exporta {

bool NumeroExato(std::string_view texto, char separador, double& v) {
    std::string numero; // with a point, for the conversion
    std::size_t i = 0;
    const std::size_t n = texto.size();
    bool negativo = false;
    if (i < n && (texto[i] == '-' || texto[i] == '+')) negativo = texto[i++] == '-';
    std::string digitos;
    bool ponto = false;
    for (; i < n; ++i) {
        const char c = texto[i];
        if (c >= '0' && c <= '9') {
            digitos += c;
            numero += c;
        } else if (c == separador && !ponto) {
            ponto = true;
            numero += '.';
        } else {
            break;
        }
    }
    if (digitos.empty()) return false;
    if (i < n && (texto[i] == 'E' || texto[i] == 'e')) {
        numero.append(texto.substr(i));
        numero[numero.size() - (n - i)] = 'e';
        i = n;
    }
    if (i != n) return false;
    const std::size_t primeiro = digitos.find_first_not_of('0');
    if (primeiro == std::string::npos) {
        // Zero; a negative zero has no number cell that keeps its sign.
        v = 0;
        return !negativo;
    }
    const std::size_t ultimo = digitos.find_last_not_of('0');
    if (ultimo - primeiro + 1 > 15) return false;
    double d = 0;
    const auto r = std::from_chars(numero.data(), numero.data() + numero.size(), d);
    if (r.ec != std::errc() || r.ptr != numero.data() + numero.size()) return false;
    // Up to 15 digits survive a normal double unchanged; tiny or huge
    // magnitudes do not.
    if (!std::isfinite(d) || std::fabs(d) < DBL_MIN) return false;
    v = negativo ? -d : d;
    return true;
}

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

FonteDataSet::FonteDataSet(TFbCustomDataSet& ds, std::int64_t registros)
    : ds_(ds), registros_(registros) {
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

std::string FonteDataSet::rotulo(int coluna) const {
    // A label the program set is Latin-1 text, a name is metadata: both
    // read right through nameToUtf8, which takes ill-formed UTF-8 as Latin-1.
    return rtl::nameToUtf8(campos_[static_cast<std::size_t>(coluna)]->DisplayLabel());
}

int FonteDataSet::charSet(int coluna) const {
    const auto i = static_cast<std::size_t>(coluna);
    return tipos_[i] == Tipo::Texto ? campos_[i]->CharSetId() : rtl::cs::None;
}

std::int64_t FonteDataSet::registros() {
    return registros_ >= 0 ? registros_ : ds_.RecordCount();
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
        // Exact numbers, zoned moments and byte strings as the grid shows them.
        if (f.ExactKind() != TFbExactKind::None)
            f.AppendDisplayText(saida);
        else
            f.AppendAsString(saida);
        break;
    case Tipo::Pequeno: {
        // 0 and 1 are flags and read as such; any other value is a number
        // (a group, a quantity, a code) that must not be lost.
        const int v = f.AsInteger();
        if (v == 0 || v == 1)
            saida += BooleanText(v == 1);
        else
            rtl::appendIntToStr(saida, v);
        break;
    }
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

bool FonteDataSet::dataHora(int coluna, rtl::TDateTime& valor) {
    const TField& f = *campos_[static_cast<std::size_t>(coluna)];
    switch (tipos_[static_cast<std::size_t>(coluna)]) {
    case Tipo::Hora:
        valor = f.IsNull() ? 0 : f.AsDateTime();
        return true;
    case Tipo::Data:
    case Tipo::DataHora:
        if (f.IsNull()) return false;
        valor = f.AsDateTime();
        return valor != rtl::zeroDate;
    default:
        return false;
    }
}

Valor FonteDataSet::valor(int coluna) {
    const TField& f = *campos_[static_cast<std::size_t>(coluna)];
    Valor v;
    switch (tipos_[static_cast<std::size_t>(coluna)]) {
    case Tipo::Texto:
        v.tipo = Valor::Tipo::Texto;
        if (f.ExactKind() == TFbExactKind::None) {
            v.texto = f.AsString();
            break;
        }
        v.texto = f.DisplayText();
        if (f.ExactKind() == TFbExactKind::Decimal || f.ExactKind() == TFbExactKind::DecFloat)
            v.numero = NumeroExato(f.AsString(), rtl::formatSettings().decimalSeparator, v.real);
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
        if (int n = f.AsInteger(); n != 0 && n != 1) {
            v.tipo = Valor::Tipo::Inteiro;
            v.inteiro = n;
            break;
        }
        v.tipo = Valor::Tipo::Texto;
        v.texto = texto(coluna);
        break;
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
