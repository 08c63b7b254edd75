// The author's contact address that error reports put on the clipboard.
#pragma once

namespace qm {

// One fixed address shared by both programs (a domain reserved for examples).
inline constexpr const char* kAuthorAddress = "quillmar-author@example.com";

}  // namespace qm
