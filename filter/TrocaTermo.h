#pragma once
// Translation of the filter builder's Portuguese operator words into SQL.
// Plain C++ on the bytes of an ASCII-based text (UTF-8 from the window), no
// toolkit, so that anything (the window, a
// fuzzer) can call it.
#include <array>
#include <string>
#include <utility>
#include <vector>

/// One row of the translation table: every occurrence of `termo` becomes `troca`.
struct Termo {
    const char* termo;
    const char* troca;
};

/// The translation table, applied to each sentence in this order. Rows 12 to
/// 17 accept the text produced by clicking a date-part cell and then the
/// " ( " cell, which puts two blanks before the parenthesis.
extern const std::array<Termo, 17> termos;

/// Returns `texto` with every occurrence of `termo` replaced by `troca`,
/// scanning from left to right. The comparison uses the upper-case form of
/// the text (letters a to z), so a word typed in lower case matches an
/// upper-case `termo`. After a replacement the scan resumes one character
/// before it (" LIKE ": four characters into it), so an occurrence whose
/// leading blank is the trailing blank of the replacement is replaced too:
/// "A E E B" gives "A AND AND B".
///
/// Text inside single-quoted literals ('...', with '' standing for a quote)
/// and inside double-quoted names ("...", with "" standing for a quote) is
/// never replaced; inside either, the other kind of quote is an ordinary
/// character. An occurrence made only of characters inserted by earlier
/// replacements is not replaced either, which keeps the scan finite whatever
/// `termo` and `troca` are; one that also takes in a character of the text as
/// given is. An empty `termo` leaves the text as it is.
std::string TrocaTermo(std::string texto, const std::string& termo, const std::string& troca);

/// Passes `sentenca` through TrocaTermo once per row of `termos`, in order,
/// each pass working on the output of the previous one.
std::string TraduzSentenca(const std::string& sentenca);

/// A name shown to the user (UTF-8) and the bytes the server gave for it.
using NomeExibido = std::pair<std::string, std::string>;

/// The translated condition `utf8` (text the user composed, in UTF-8) as SQL
/// text for the server: the text of each single-quoted literal encoded in
/// the character set `conjunto` (rtl::fromUtf8; '' stays a quote inside),
/// and, outside literals, each shown name of `nomes` whose bytes differ from
/// its UTF-8 put back as those bytes (the longest name first). The rest goes
/// as it stands. False, leaving `saida` unspecified, when a literal holds a
/// character the set lacks.
bool CodificaCondicao(const std::string& utf8, int conjunto, const std::vector<NomeExibido>& nomes,
                      std::string& saida);
