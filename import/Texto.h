#pragma once
// Rows of cells read from text: what the clipboard holds (tab-separated, as
// spreadsheets and the grid's Ctrl+C put it) and CSV/TXT files.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace importa {

/// How a file's bytes are read.
enum class Codificacao { Utf8, Windows1252 };

/// The file's text as UTF-8: a UTF-8 byte order mark is dropped; text that
/// is well-formed UTF-8 is taken as it is, anything else as Windows-1252
/// (what the program's own Latin-1 files and Western spreadsheets write).
/// `usada` tells which was taken.
std::string textoEmUtf8(std::string_view bytes, Codificacao* usada = nullptr);
/// The same with the reading fixed by the user.
std::string textoEmUtf8(std::string_view bytes, Codificacao forcada);

/// The separator between cells and the character that encloses a cell
/// holding separators, line breaks or itself (doubled inside); '\0' for
/// none.
struct FormatoTexto {
    char separador = '\t';
    char qualificador = '"';
};

/// The format the first lines show: the separator among tab, ';', ',' and
/// '|' that splits most of them into the same number of cells (a tab when
/// none does), the qualifier '"' unless no cell opens with it and some open
/// with '\''.
FormatoTexto detectaFormato(std::string_view utf8);

/// One row: the line of the source where it starts (1 = the first) and its
/// cells, qualifiers removed.
struct Linha {
    int numero = 0;
    std::vector<std::string> celulas;
};

/// Reads rows one at a time from text that stays alive meanwhile. Line
/// breaks are "\r\n", "\n" or "\r"; a break inside a qualified cell belongs
/// to the cell. Lines that hold nothing at all are skipped, and so is the
/// break at the end of the last line.
class LeitorTexto {
public:
    LeitorTexto(std::string_view utf8, FormatoTexto formato) : t_(utf8), f_(formato) {}
    /// The next row into `l` (cells reused); false at the end.
    bool proxima(Linha& l);
    /// Back to the first row.
    void reinicia() {
        pos_ = 0;
        linha_ = 1;
    }

private:
    std::string_view t_;
    FormatoTexto f_;
    std::size_t pos_ = 0;
    int linha_ = 1;
};

} // namespace importa
