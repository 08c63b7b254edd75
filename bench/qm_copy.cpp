// Command-line front end to the folder copy, used by the benchmarks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "copy_folder.h"
#include "errors.h"

namespace {

// Options come from the environment so the benchmark can tune the engine without
// changing this program: QM_WORKERS, QM_REFLINK (0 turns reflinks off).
qm::CopyOptions optionsFromEnvironment() {
  qm::CopyOptions options;
  if (const char* workers = std::getenv("QM_WORKERS")) {
    options.workers = static_cast<unsigned>(std::strtoul(workers, nullptr, 10));
  }
  if (const char* reflink = std::getenv("QM_REFLINK")) options.tryReflink = reflink[0] != '0';
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE DESTINATION\n", argv[0]);
    return 2;
  }
  try {
    qm::fs::copyFolder(argv[1], argv[2], optionsFromEnvironment());
  } catch (const qm::RuntimeError& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number, error.path.c_str());
    return 1;
  }
  return 0;
}
