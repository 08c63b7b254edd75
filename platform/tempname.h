// Names of temporary files, one scheme for the copy and for saves of the settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The run that made a temporary file: its pid namespace where the system has them (else
// 0), its process, and the process's start time (0 where not known), so that a reused
// process number is told apart from the run.
struct TemporaryOwner {
  std::uint64_t space = 0;
  std::uint64_t process = 0;
  std::uint64_t started = 0;
  bool operator==(const TemporaryOwner&) const = default;
};

// ".qm-<space>-<process>-<started>-<serial>.tmp": short, made of characters every volume
// takes, and telling a later run whether the run that made it still runs.
std::string temporaryName(const TemporaryOwner& owner, std::uint64_t serial);

// The owner of a name that temporaryName made; nothing for any other name.
std::optional<TemporaryOwner> temporaryOwner(std::string_view name);

// The temporary file a save writes beside the file `fileName` it replaces: the file's
// name followed by temporaryName, so that the leftovers of one file are told from those
// of another in the same folder.
std::string temporaryNameBeside(std::string_view fileName, const TemporaryOwner& owner,
                                std::uint64_t serial);

// For a name found beside `fileName`: the owner when it is one of our temporary files of
// that file. The forms of earlier versions count too: "<file name>.tmp<process>-<n>" as
// the process alone, "<file name>.tmp<digits>" as an owner of 0 (not known).
std::optional<TemporaryOwner> temporaryOwnerBeside(std::string_view fileName,
                                                   std::string_view entry);

// A temporary file of a save older than this is left over whatever its owner says: a save
// takes milliseconds.
inline constexpr long kStaleTemporarySeconds = 3600;

}  // namespace qm
