// Conversion between UTF-8 in memory and the ANSI code page of the settings file.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// UTF-8 to the ANSI code page (932 on Linux). A character the code page cannot hold
// faithfully (no mapping, or one that does not convert back to the same character)
// throws RuntimeError 5 naming `context`.
std::string toAnsi(std::string_view utf8, std::string_view context);
// The ANSI code page to UTF-8. Bytes that are not valid in the code page throw
// RuntimeError 75 naming `context`.
std::string fromAnsi(std::string_view ansi, std::string_view context);

}  // namespace qm
