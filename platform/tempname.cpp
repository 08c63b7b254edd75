// Names of the temporary files a save writes beside the file it replaces.
#include "tempname.h"

namespace qm {
namespace {

// The decimal number at the start of `text`, and how many digits it took.
std::optional<unsigned long> number(std::string_view text, std::size_t& digits) {
  unsigned long value = 0;
  digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 12)
    value = value * 10 + static_cast<unsigned long>(text[digits++] - '0');
  if (digits == 0) return std::nullopt;
  return value;
}

}  // namespace

std::string temporaryName(std::string_view fileName, unsigned long processId, unsigned long n) {
  return std::string(fileName) + ".tmp" + std::to_string(processId) + "-" + std::to_string(n);
}

std::optional<unsigned long> temporaryWriter(std::string_view fileName, std::string_view entry) {
  const std::string prefix = std::string(fileName) + ".tmp";
  if (!entry.starts_with(prefix)) return std::nullopt;
  std::string_view rest = entry.substr(prefix.size());
  std::size_t digits = 0;
  const std::optional<unsigned long> first = number(rest, digits);
  if (!first) return std::nullopt;
  rest.remove_prefix(digits);
  if (rest.empty()) return 0;  // the older form, without the writer's id
  if (rest.front() != '-' || !number(rest.substr(1), digits) || digits != rest.size() - 1)
    return std::nullopt;
  return first;
}

}  // namespace qm
