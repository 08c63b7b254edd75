// UTF-8 and UTF-16 conversion.
#pragma once

#include <string>
#include <string_view>

namespace qm::win32 {

// UTF-8 to UTF-16; invalid UTF-8 throws RuntimeError 5.
std::wstring widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string narrow(std::wstring_view wide);

}  // namespace qm::win32
