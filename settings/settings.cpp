// The settings store on top of the platform's records, code page and files.
#include "settings.h"

#include "codepage.h"
#include "paths.h"
#include "records.h"
#include "textfile.h"
#include "windir.h"

namespace qm {

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

void writeSettings(const std::string& path, const CopySettings& job) {
  std::string text;
  for (const std::string* value : {&job.SourcePath, &job.DestinationPath, &job.BaseName})
    appendRecord(text, *value, path);
  replaceFileAtomically(path, toAnsi(text, path));
}

CopySettings readSettings(const std::string& path) {
  FieldReader reader(fromAnsi(readWholeFile(path), path), path);
  CopySettings job;
  job.SourcePath = reader.next();
  job.DestinationPath = reader.next();
  job.BaseName = reader.next();
  return job;
}

bool settingsFileExists(const std::string& path) { return fileExists(path); }

}  // namespace qm
