#pragma once
// The table dataset seen as a writer's row source.
#include "export/Exporta.h"

#include <vector>

class TField;
class TFbCustomDataSet;

namespace exporta {

/// The visible fields of `ds`, in field order, as the writers see them.
/// The set of fields is taken when the object is made; the dataset must
/// stay open, with the same fields, while the object is used.
///
/// Cell texts, with the current regional settings: strings as stored;
/// booleans "SIM" / "N\xc3O"; small integers "SIM" for 1, "N\xc3O" for 0
/// (and null), any other value in decimal; integers and large
/// integers in decimal; floats, and currency in the text writer, in the
/// general number format; currency in `textoWeb` in the regional currency
/// format with 2 decimals; dates in the short date format, empty when null
/// or the zero date; times in the long time format; date-times as short
/// date and long time (time left out at midnight), empty when null. Other
/// null values read as their kind's zero.
class FonteDataSet : public Fonte {
public:
    /// `registros`: the row count to report, when known beforehand (a
    /// forward-only dataset's own count is 1); negative: the dataset's.
    explicit FonteDataSet(TFbCustomDataSet& ds, std::int64_t registros = -1);

    int totalCampos() const override;
    int colunas() const override { return static_cast<int>(campos_.size()); }
    const std::string& nome(int coluna) const override;
    std::string rotulo(int coluna) const override;
    Tipo tipo(int coluna) const override { return tipos_[static_cast<std::size_t>(coluna)]; }
    int charSet(int coluna) const override;

    std::int64_t registros() override;
    void primeiro() override;
    bool fim() override;
    void proximo() override;

    std::string texto(int coluna) override;
    std::string textoWeb(int coluna) override;
    Valor valor(int coluna) override;
    bool dataHora(int coluna, rtl::TDateTime& valor) override;
    void acrescentaTexto(int coluna, std::string& saida) override;
    void acrescentaTextoWeb(int coluna, std::string& saida) override;

    void desabilitaControles() override;
    void habilitaControles() override;

private:
    TFbCustomDataSet& ds_;
    std::vector<TField*> campos_;
    std::vector<Tipo> tipos_;
    std::int64_t registros_ = -1;
};

/// The writers' kind of a dataset field kind.
Tipo tipoDe(const TField& campo);

} // namespace exporta
