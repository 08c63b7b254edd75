// The toolkit backend of this build, made for a program's main().
#pragma once

#include <memory>
#include <string>

#include "backend.h"

namespace qm {

// Implemented once per toolkit backend (Qt on Linux, Win32 on Windows).
std::unique_ptr<Backend> createBackend(int& argc, char** argv, std::string appTitle);

}  // namespace qm
