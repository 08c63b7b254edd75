// Named data streams listed with FindFirstStreamW and copied one by one.
#include <windows.h>

#include "copy_errors.h"
#include "os/win32/handle.h"
#include "streams.h"

namespace qm::win32 {
namespace {

constexpr std::wstring_view kDataSuffix = L":$DATA";

// The named data streams of `path` (":name:$DATA"), the unnamed main stream left out.
std::vector<std::wstring> namedStreams(const std::wstring& path) {
  std::vector<std::wstring> out;
  WIN32_FIND_STREAM_DATA d;
  HANDLE h = FindFirstStreamW(path.c_str(), FindStreamInfoStandard, &d, 0);
  // No streams to list (ERROR_HANDLE_EOF), or a file system without them.
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    const std::wstring_view name = d.cStreamName;
    if (name != L"::$DATA" && name.ends_with(kDataSuffix)) out.emplace_back(name);
  } while (FindNextStreamW(h, &d));
  FindClose(h);
  return out;
}

void copyStream(const std::wstring& from, HANDLE out, const std::wstring& to,
                std::vector<char>& buffer) {
  Handle in(
      CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!in.valid()) throwCopyError(GetLastError(), from);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      throwCopyError(GetLastError(), from);
    if (got == 0) return;
    DWORD put = 0;
    if (!WriteFile(out, buffer.data(), got, &put, nullptr) || put != got)
      throwCopyError(GetLastError(), to);
  }
}

}  // namespace

void copyNamedStreams(const std::wstring& from, const std::wstring& to, std::vector<char>& buffer) {
  for (const std::wstring& stream : namedStreams(from)) {
    const std::wstring target = to + stream;
    // A volume that refuses streams says so here, before any byte.
    Handle out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out.valid()) {
      const DWORD code = GetLastError();
      if (isRefusedMetadata(code)) return;
      throwCopyError(code, target);
    }
    copyStream(from + stream, out.get(), target, buffer);
    if (!out.close()) throwCopyError(GetLastError(), target);
  }
}

}  // namespace qm::win32
