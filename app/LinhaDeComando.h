#pragma once
// The command line: "brivane [arquivo]", plus --help and --version. Both
// answer on the terminal without opening a window, so they work where there
// is no display at all.
#include <QString>
#include <QStringList>

#include <optional>

class TFPrincipal;

namespace app {

/// Answers --help, --version and a wrong command line (unknown option, more
/// than one file) by printing, before any window system is touched. Returns
/// the exit code then; nothing when the program goes on to its window.
std::optional<int> respondeSemJanela(int argc, char** argv);

/// The database file named by `argumentos` (the program's arguments without
/// its own name), put into "Arquivo de trabalho". A file that exists here
/// goes in with its full path, so it still names the same file when the
/// folder changes; anything else (a server's "host:path") goes in as typed.
/// Nothing else changes: the user still connects.
void usaArgumentos(TFPrincipal& w, const QStringList& argumentos);

} // namespace app
