// Names of the temporary files a save writes beside the file it replaces.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// "<file name>.tmp<process id>-<n>": the id of the saving process tells a later save
// whether the file is the leftover of a save that was killed.
std::string temporaryName(std::string_view fileName, unsigned long processId, unsigned long n);

// For a name found beside `fileName`: whether it is one of our temporary files, and if
// so the process that wrote it (0 for the older form "<file name>.tmp<digits>").
std::optional<unsigned long> temporaryWriter(std::string_view fileName, std::string_view entry);

// A temporary file of ours older than this is left over whatever its process id says
// (ids are reused): a save takes milliseconds.
inline constexpr long kStaleTemporarySeconds = 3600;

}  // namespace qm
