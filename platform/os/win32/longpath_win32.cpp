// Absolute and long-path forms of Win32 paths, final paths and containment tests.
#include <windows.h>

#include <algorithm>

#include "errors.h"
#include "longpath.h"
#include "wide.h"

namespace qm::win32 {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";

bool isSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// Length of the part that must keep its trailing separator: "C:\" or "\\?\C:\".
std::size_t rootLength(std::wstring_view p) {
  std::size_t start = p.starts_with(kLongPrefix) ? kLongPrefix.size() : 0;
  if (p.size() >= start + 3 && p[start + 1] == L':' && isSeparator(p[start + 2])) return start + 3;
  return 0;
}

void dropTrailingSeparators(std::wstring& p) {
  const std::size_t keep = rootLength(p);
  while (p.size() > std::max<std::size_t>(keep, 1) && isSeparator(p.back())) p.pop_back();
}

}  // namespace

std::wstring absolutePath(std::wstring_view path) {
  const std::wstring in(path);
  if (in.starts_with(kLongPrefix)) {
    std::wstring out = in;
    dropTrailingSeparators(out);
    return out;
  }
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        GetFullPathNameW(in.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0) throw RuntimeError(err::kPathFileAccess, narrow(path));
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.assign(n + 1, L'\0');
  }
  dropTrailingSeparators(buf);
  return buf;
}

std::wstring longPath(std::wstring_view absolute) {
  if (absolute.starts_with(kLongPrefix)) return std::wstring(absolute);
  if (absolute.size() > 2 && isSeparator(absolute[0]) && isSeparator(absolute[1]))
    return std::wstring(kUncPrefix) + std::wstring(absolute.substr(2));
  return std::wstring(kLongPrefix) + std::wstring(absolute);
}

std::wstring plainPath(std::wstring_view path) {
  if (path.starts_with(kUncPrefix)) return L"\\\\" + std::wstring(path.substr(kUncPrefix.size()));
  if (path.starts_with(kLongPrefix)) return std::wstring(path.substr(kLongPrefix.size()));
  return std::wstring(path);
}

bool isSameOrInside(std::wstring_view inner, std::wstring_view outer) {
  while (!outer.empty() && isSeparator(outer.back())) outer.remove_suffix(1);
  while (!inner.empty() && isSeparator(inner.back())) inner.remove_suffix(1);
  if (inner.size() < outer.size()) return false;
  if (CompareStringOrdinal(inner.data(), static_cast<int>(outer.size()), outer.data(),
                           static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL)
    return false;
  return inner.size() == outer.size() || isSeparator(inner[outer.size()]);
}

std::wstring finalPathOf(HANDLE h) {
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  if (n == 0 || n >= buf.size()) return L"";
  buf.resize(n);
  dropTrailingSeparators(buf);
  return buf;
}

std::wstring plannedFinalPath(const std::wstring& path) {
  std::wstring existing = path, rest;
  for (;;) {
    HANDLE h =
        CreateFileW(existing.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      const std::wstring resolved = finalPathOf(h);
      CloseHandle(h);
      // Without a final path the spelled path still gives a sound comparison.
      return resolved.empty() ? path : resolved + rest;
    }
    const std::size_t cut = existing.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut < rootLength(existing)) return path;
    rest = existing.substr(cut) + rest;
    existing.resize(cut);
  }
}

}  // namespace qm::win32
