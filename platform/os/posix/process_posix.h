// The POSIX parts of program start: where a bare name is found, and a detached start.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The folder of the running program (from /proc/self/exe).
std::string ownProgramFolder();

// The full path of a program named by its bare file name: a trailing ".exe" is dropped,
// then the name is looked for in `ownFolder`, then in `cwd`. Throws RuntimeError 53
// when it is in neither, 70 when the file found there cannot be run.
std::string resolveProgram(std::string_view bareName, const std::string& ownFolder,
                           const std::string& cwd);

// Starts the program in a new session and returns at once; the started program is no
// child of this one, so nothing waits for it and no zombie remains. Throws RuntimeError
// when it cannot be run.
void startDetached(const std::string& path);

}  // namespace qm
