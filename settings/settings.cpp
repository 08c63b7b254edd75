// The settings store on top of the platform's records, code page and files.
#include "settings.h"

#include "errors.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "os/textfile.h"
#include "os/windir.h"
#include "records.h"
#include "utf8.h"

namespace qm {
namespace {

// Marks a file written as UTF-8. No file in code page 932 starts with it: every record
// starts with a double quote, and 0xEF is no lead byte there.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A job that the ANSI code page holds is written in it, byte for byte as ever; only a
// job with a character outside it (é, Korean, emoji) is written as UTF-8 after a BOM.
std::string encode(const std::string& text, const std::string& path) {
  try {
    return toAnsi(text, path);
  } catch (const RuntimeError&) {
    if (!isValidUtf8(text)) throw RuntimeError(err::kInvalidCall, path);
    return std::string(kUtf8Bom) + text;
  }
}

std::string decode(std::string bytes, const std::string& path) {
  if (!bytes.starts_with(kUtf8Bom)) return fromAnsi(bytes, path);
  bytes.erase(0, kUtf8Bom.size());
  if (!isValidUtf8(bytes)) throw RuntimeError(err::kPathFileAccess, path);
  return bytes;
}

}  // namespace

std::string lookupWindowsDirectory(unsigned bufferWidth) {
  // A fixed-length buffer of spaces; the call writes the directory and a NUL into it
  // only when it fits, and what stands before the first NUL is the result.
  const unsigned width = windowsDirectoryBufferWidth(bufferWidth);
  std::string buffer(width, ' ');
  getWindowsDirectoryA(buffer.data(), width);
  return buffer.substr(0, buffer.find('\0'));
}

std::string settingsPath(std::string_view windowsDirectory) {
  return std::string(windowsDirectory) + kPathSeparator + kSettingsFileName;
}

std::string lastRunPath(std::string_view windowsDirectory) {
  return std::string(windowsDirectory) + kPathSeparator + kLastRunFileName;
}

void writeSettings(const std::string& path, const CopySettings& job) {
  std::string text;
  for (const std::string* value : {&job.SourcePath, &job.DestinationPath, &job.BaseName})
    appendRecord(text, *value, path);
  replaceFileAtomically(path, encode(text, path));
}

CopySettings readSettings(const std::string& path) {
  FieldReader reader(decode(readWholeFile(path), path), path);
  CopySettings job;
  job.SourcePath = reader.next();
  job.DestinationPath = reader.next();
  job.BaseName = reader.next();
  return job;
}

bool settingsFileExists(const std::string& path) {
  return fileExists(path);
}

}  // namespace qm
