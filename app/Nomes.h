#pragma once
// Lists of names offered to the user for a choice are sorted ascending,
// ignoring case, by the user's locale collation.
#include <string>
#include <vector>

namespace app {

/// Sorts `nomes` (as the server gives them, shown through deNome) in place, ignoring case, with the
/// collation of the default locale (QLocale()). Equal names keep their order.
void ordenaNomes(std::vector<std::string>& nomes);

} // namespace app
