// What a failed creation of a named entry in a destination folder means.
#include "create_error.h"

#include "copy_errors.h"
#include "temporaries.h"

namespace qm::win32 {

int createErrorNumber(const std::wstring& path, DWORD code, bool probe) {
  if (code != ERROR_ACCESS_DENIED && code != ERROR_INVALID_PARAMETER) return copyErrorNumber(code);
  if (!probe || folderTakesNewEntries(path.substr(0, path.rfind(L'\\')))) return err::kBadFileName;
  return err::kPermissionDenied;
}

bool folderTakesNewEntries(const std::wstring& folder) {
  std::wstring probe;
  Handle h = createTemporaryFile(folder, GENERIC_WRITE, FILE_ATTRIBUTE_HIDDEN, probe);
  if (!h.valid()) return false;
  h.close();
  DeleteFileW(probe.c_str());
  return true;
}

}  // namespace qm::win32
