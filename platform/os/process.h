// Starting another program by its bare file name, as both programs do.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Starts the program `bareName` (no folder), looked for beside the running program and
// then in the current folder, with the window style `windowStyle` (1: normal with the
// focus), and returns at once without waiting for it. Throws RuntimeError 53 when the
// file is in neither folder, another number when it cannot be started.
void startProgramByName(std::string_view bareName, int windowStyle);

// This computer's name on the network; empty where the system does not say.
std::string machineName();

}  // namespace qm
