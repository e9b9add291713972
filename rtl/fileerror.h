#pragma once
// A file that cannot be written, told the user in Portuguese: what happened
// (disk full, no permission, read-only disk, missing folder, file in use)
// and what to do about it, with the system's or the library's own text
// after it for whoever gives support. Texts are Latin-1, as everywhere.
#include <string>

namespace rtl {

/// What the system error `error` (an errno value) means while writing a
/// file, and what the user can do: one or two sentences ending in a full
/// stop, for instance for ENOSPC "N\xe3o h\xe1 espa\xe7o livre no disco. Libere
/// espa\xe7o ou grave em outro disco." Every value gives a text; 0 and
/// unknown values a general one.
std::string fileErrorAdvice(int error);

/// The system's own text for `error`, in English whatever the locale.
std::string systemErrorText(int error);

/// The whole message: "N\xe3o foi poss\xedvel " + `action` + " o arquivo " +
/// `target` + ". " + `advice` + a line break + "Detalhe t\xe9cnico: " +
/// `detail`. `action` is a verb ("criar", "gravar", "substituir").
std::string fileErrorMessage(const std::string& action, const std::string& target,
                             const std::string& advice, const std::string& detail);

/// The same from a system error: its advice, and its system text as detail.
std::string fileErrorMessage(const std::string& action, const std::string& target, int error);

} // namespace rtl
