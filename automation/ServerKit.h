#pragma once
// Small helpers shared by the built-in servers: name matching, argument
// checks and the error texts a client sees.
#include "automation/Automation.h"

#include <string>
#include <string_view>

namespace automation::kit {

/// Member names resolve ignoring ASCII case, as automation servers do.
bool sameName(std::string_view a, std::string_view b);

[[noreturn]] void unknownName(std::string_view object, std::string_view name);
[[noreturn]] void badParamCount(std::string_view name);
[[noreturn]] void disconnected();
/// "O membro requisitado da cole\xe7\xe3o n\xe3o existe."
[[noreturn]] void noSuchMember();

/// A member read or called (Get or Method, as a late-bound client may use
/// either) with between min and max arguments. Throws otherwise.
void readOrCall(std::string_view name, Invoke kind, std::size_t nargs, std::size_t min,
                std::size_t max);
/// A property assignment without index arguments: exactly one value.
void assignment(std::string_view name, Invoke kind, std::size_t nargs);

} // namespace automation::kit
