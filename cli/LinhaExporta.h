#pragma once
// brivane-exporta: one table's rows into a file, from the command line, the
// way the export dialog writes them.
#include <iosfwd>
#include <string>
#include <vector>

namespace linha {

/// Exit statuses: the file was written; the export failed (the previous
/// file is left as it was); the command line was wrong.
enum Saida { Escrito = 0, Falhou = 1, Uso = 2 };

/// Runs the command with `args` (the arguments after the program's name).
/// Help goes to `saida`, messages to `erro` (UTF-8), and, when `andamento`
/// is set (standard error is a terminal), the progress too. `ambiente`
/// reads an environment variable (ISC_USER, ISC_PASSWORD); null when unset.
int exporta(const std::vector<std::string>& args, std::ostream& saida, std::ostream& erro,
            bool andamento, const char* (*ambiente)(const char*));

/// The text of --help.
std::string ajuda();

} // namespace linha
