// The settings store on top of the platform's records, code page and files.
#include "settings.h"

#include "codepage.h"
#include "paths.h"
#include "records.h"
#include "textfile.h"
#include "windir.h"

namespace qm {

std::string lookupWindowsDirectory(TextBox& txtWinDir, unsigned bufferWidth) {
  // A fixed-length buffer of spaces; the call writes the directory and a NUL into it
  // only when it fits, and the text box keeps what stands before the first NUL.
  std::string buffer(bufferWidth, ' ');
  getWindowsDirectoryA(buffer.data(), bufferWidth);
  txtWinDir.setText(buffer);
  return txtWinDir.text();
}

std::string settingsPath(TextBox& txtWinDir, unsigned bufferWidth) {
  return lookupWindowsDirectory(txtWinDir, bufferWidth) + kPathSeparator + kSettingsFileName;
}

void writeSettings(const std::string& path, const CopySettings& job) {
  std::string text;
  for (const std::string* value : {&job.SourcePath, &job.DestinationPath, &job.BaseName})
    appendRecord(text, *value, path);
  replaceFileAtomically(path, toAnsi(text, path));
}

void readSettings(const std::string& path, CopySettings& job) {
  FieldReader reader(fromAnsi(readWholeFile(path), path), path);
  job.SourcePath = reader.next();
  job.DestinationPath = reader.next();
  job.BaseName = reader.next();
}

bool settingsFileExists(const std::string& path) { return fileExists(path); }

}  // namespace qm
