// Settings files byte for byte, shared by the Linux and the Windows suites.
#pragma once

#include <string>

namespace qm::testing {

// The job ("/home/u/Café/한국어/📷", "/media/usb/バックアップ", "📷"), which code page 932
// cannot hold, as the settings file holds it: UTF-8 after a byte-order mark.
inline const std::string kUtf8Job =
    "\xEF\xBB\xBF"
    "\"/home/u/Caf\xC3\xA9/\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4/\xF0\x9F\x93\xB7\"\r\n"
    "\"/media/usb/\xE3\x83\x90\xE3\x83\x83\xE3\x82\xAF\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\"\r\n"
    "\"\xF0\x9F\x93\xB7\"\r\n";

}  // namespace qm::testing
