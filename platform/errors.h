// Run-time errors with their classic numbers, and the signal that ends the program.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The classic run-time error numbers that handlers compare or report.
namespace err {
inline constexpr int kInvalidCall = 5;         // invalid procedure call or argument
inline constexpr int kBadFileName = 52;        // bad file name or number
inline constexpr int kFileNotFound = 53;       // file not found
inline constexpr int kDeviceIo = 57;           // device I/O error
inline constexpr int kFileExists = 58;         // file already exists
inline constexpr int kDiskFull = 61;           // disk full
inline constexpr int kPastEnd = 62;            // input past end of file
inline constexpr int kDeviceUnavailable = 68;  // device unavailable
inline constexpr int kPermissionDenied = 70;   // permission denied
inline constexpr int kDiskNotReady = 71;       // disk not ready
inline constexpr int kPathFileAccess = 75;     // path/file access error
inline constexpr int kPathNotFound = 76;       // path not found
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kClipboardBusy = 521;  // the clipboard cannot be opened
}  // namespace err

// The Japanese description the system shows for an error number.
std::string errorDescription(int number);

// A failing platform operation throws this. `path` names the file or folder concerned,
// empty when there is none.
struct RuntimeError {
  int number;
  std::string description;
  std::string path;

  RuntimeError(int num, std::string_view onPath = {});
  RuntimeError(int num, std::string desc, std::string onPath);
};

// Thrown to end the program at once. Deliberately unrelated to RuntimeError and
// std::exception so that no error handling catches it on its way to the dispatcher.
struct ProgramEnd {};

[[noreturn]] void endProgram();

// The text of the default report of an unhandled error: number, description, file.
std::string unhandledErrorReport(const RuntimeError& e);

}  // namespace qm
