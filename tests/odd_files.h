// Things that can stand at the path of Copy.Copy instead of a plain job file, and a
// guard that ends a test which blocks on one.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace qm::testing {

struct OddFile {
  const char* what;
  std::function<void(const std::string& path)> make;
};

// A FIFO (alone and behind a link), an endless device, a folder, a job with an 8 MB
// value, and jobs with a NUL inside a value.
inline std::vector<OddFile> oddSettingsFiles() {
  using namespace std::string_literals;
  auto write = [](const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  };
  return {
      {"FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }},
      {"link to a FIFO",
       [](const std::string& p) {
         ::mkfifo((p + ".fifo").c_str(), 0644);
         std::filesystem::create_symlink(p + ".fifo", p);
       }},
      {"link to /dev/zero",
       [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
      {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
      {"8 MB value",
       [write](const std::string& p) {
         write(p, "\"/src/" + std::string(8 << 20, 'a') + "\"\r\n\"/dst\"\r\n\"a\"\r\n");
       }},
      {"NUL in a quoted value",
       [write](const std::string& p) { write(p, "\"/src\"\r\n\"/tmp/x\0junk\"\r\n\"src\"\r\n"s); }},
      {"NUL in an unquoted value",
       [write](const std::string& p) { write(p, "/src\0/etc\r\n/dst\r\nsrc\r\n"s); }},
  };
}

// Ends the test program when the scope takes longer than `seconds`: a read that blocks
// fails the suite instead of hanging it.
class HangGuard {
 public:
  explicit HangGuard(unsigned seconds = 20) { ::alarm(seconds); }
  ~HangGuard() { ::alarm(0); }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;
};

}  // namespace qm::testing
