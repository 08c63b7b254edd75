// Names of temporary files, one scheme for the copy and for saves of the settings file.
#include "tempname.h"

#include <charconv>

namespace qm {
namespace {

// The decimal number that makes up all of `text` (at most 20 digits).
std::optional<std::uint64_t> number(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || rest != text.data() + text.size()) return std::nullopt;
  return value;
}

// The owner of the earlier form ".tmp<process>-<n>" or ".tmp<digits>" (`rest` follows
// ".tmp").
std::optional<TemporaryOwner> earlierOwner(std::string_view rest) {
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos) {
    if (!number(rest)) return std::nullopt;
    return TemporaryOwner{};
  }
  const auto process = number(rest.substr(0, dash));
  if (!process || !number(rest.substr(dash + 1))) return std::nullopt;
  return TemporaryOwner{0, *process, 0};
}

}  // namespace

std::string temporaryName(const TemporaryOwner& owner, std::uint64_t serial) {
  return ".qm-" + std::to_string(owner.space) + "-" + std::to_string(owner.process) + "-" +
         std::to_string(owner.started) + "-" + std::to_string(serial) + ".tmp";
}

std::optional<TemporaryOwner> temporaryOwner(std::string_view name) {
  constexpr std::string_view kPrefix = ".qm-", kSuffix = ".tmp";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
  name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  std::uint64_t fields[4] = {};
  for (int i = 0; i < 4; ++i) {
    const std::size_t end = i < 3 ? name.find('-') : name.size();
    if (end == std::string_view::npos) return std::nullopt;
    const auto field = number(name.substr(0, end));
    if (!field) return std::nullopt;
    fields[i] = *field;
    name.remove_prefix(i < 3 ? end + 1 : end);
  }
  return TemporaryOwner{fields[0], fields[1], fields[2]};
}

std::string temporaryNameBeside(std::string_view fileName, const TemporaryOwner& owner,
                                std::uint64_t serial) {
  return std::string(fileName) + temporaryName(owner, serial);
}

std::optional<TemporaryOwner> temporaryOwnerBeside(std::string_view fileName,
                                                   std::string_view entry) {
  if (!entry.starts_with(fileName)) return std::nullopt;
  const std::string_view rest = entry.substr(fileName.size());
  if (rest.starts_with(".tmp")) return earlierOwner(rest.substr(4));
  return temporaryOwner(rest);
}

}  // namespace qm
