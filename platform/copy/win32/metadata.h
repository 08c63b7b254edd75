// Metadata calls of the copy, under the rule that a volume refusing metadata never fails it.
#pragma once

#include <windows.h>

#include <string>

#include "copy_errors.h"

namespace qm::win32 {

// Runs `call`, which sets metadata (times, attributes) on a file or folder of the copy and
// returns whether it succeeded. A refusal by the volume (see isRefusedMetadata) leaves
// the metadata as the volume holds it; any other failure throws with the copy's number.
// The last error is cleared first: some drivers fail such calls without setting one.
template <typename Call>
void metadataCall(Call&& call, const std::wstring& path) {
  SetLastError(ERROR_SUCCESS);
  if (call()) return;
  const DWORD code = GetLastError();
  if (!isRefusedMetadata(code)) throwCopyError(code, path);
}

}  // namespace qm::win32
