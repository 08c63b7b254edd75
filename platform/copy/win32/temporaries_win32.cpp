// Temporary names carrying the run's process id and start time, and stale ones removed.
#include <atomic>
#include <cstdint>
#include <optional>

#include "errors.h"
#include "os/run.h"
#include "copy_errors.h"
#include "os/win32/wide.h"
#include "temporaries.h"

namespace qm::win32 {
namespace {

constexpr std::wstring_view kPrefix = L".qm-";
constexpr std::wstring_view kSuffix = L".tmp";
constexpr unsigned kMaxAttempts = 1000;

std::atomic<unsigned> nextSerial{0};

std::optional<std::uint64_t> parseHex(std::wstring_view text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                      : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  return value;
}

}  // namespace

std::wstring temporaryName(const std::wstring& folder, unsigned serial) {
  return folder + L"\\" + widen(qm::temporaryName(os::thisRun(), serial));
}

unsigned nextTemporarySerial() {
  return nextSerial.load();
}

Handle createTemporaryFile(const std::wstring& folder, DWORD access, DWORD attributes,
                           std::wstring& path) {
  for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
    path = temporaryName(folder, nextSerial++);
    Handle h(CreateFileW(path.c_str(), access, 0, nullptr, CREATE_NEW,
                         attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (h.valid()) return h;
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return h;
  }
  throwNumber(err::kPathFileAccess, path);
}

bool isStaleTemporary(std::wstring_view name) {
  if (const auto owner = temporaryOwner(narrow(name))) return os::runEnded(*owner);
  // The forms of earlier builds, in hexadecimal: process, start time and serial, or
  // process and serial.
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  std::wstring_view fields =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  std::vector<std::uint64_t> values;
  while (!fields.empty()) {
    const std::size_t dash = fields.find(L'-');
    const auto value = parseHex(fields.substr(0, dash));
    if (!value) return false;
    values.push_back(*value);
    fields = dash == std::wstring_view::npos ? std::wstring_view{} : fields.substr(dash + 1);
  }
  if (values.size() == 3) return os::runEnded({0, values[0], values[1]});
  if (values.size() == 2) return os::runEnded({0, values[0], 0});
  return false;
}

void removeStaleTemporaries(const std::wstring& folder, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (e.isFolder() || !isStaleTemporary(e.name)) continue;
    const std::wstring path = folder + L"\\" + e.name;
    if (e.attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

}  // namespace qm::win32
