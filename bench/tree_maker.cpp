// Builds and alters the folder trees the copy benchmark times.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace stdfs = std::filesystem;

bool writeRandomFile(const std::string& path, size_t size, std::mt19937_64& random) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // At most 1 MiB at a time, and no more words drawn than the file needs: the trees of
  // tiny files would otherwise spend their time filling a block they barely use.
  std::vector<uint64_t> block(std::min<size_t>(size / sizeof(uint64_t) + 1, 1 << 17));
  bool ok = true;
  while (size > 0 && ok) {
    const size_t chunk = std::min(size, block.size() * sizeof(uint64_t));
    for (size_t word = 0; word * sizeof(uint64_t) < chunk; ++word) block[word] = random();
    ok = ::write(fd, block.data(), chunk) == static_cast<ssize_t>(chunk);
    size -= chunk;
  }
  return ::close(fd) == 0 && ok;
}

// 25 folders of 20 folders, 40 files of 1-8 KiB in each: 20,000 files in 525 folders.
bool makeSmall(const std::string& root, std::mt19937_64& random) {
  for (int top = 0; top < 25; ++top) {
    for (int sub = 0; sub < 20; ++sub) {
      const std::string folder =
          root + "/group" + std::to_string(top) + "/part" + std::to_string(sub);
      stdfs::create_directories(folder);
      for (int file = 0; file < 40; ++file) {
        const size_t size = 1024 + random() % (7 * 1024 + 1);
        if (!writeRandomFile(folder + "/file" + std::to_string(file) + ".dat", size, random)) {
          return false;
        }
      }
    }
  }
  return true;
}

// Leaf folders of 100 files of 1-1,024 bytes, 40 leaves to a group: 200,000 files in 2,050
// folders by default, or as many as asked (rounded down to whole leaves).
bool makeTiny(const std::string& root, long files, std::mt19937_64& random) {
  for (long leaf = 0; leaf < files / 100; ++leaf) {
    const std::string folder =
        root + "/group" + std::to_string(leaf / 40) + "/part" + std::to_string(leaf % 40);
    stdfs::create_directories(folder);
    for (int file = 0; file < 100; ++file) {
      const size_t size = 1 + random() % 1024;
      if (!writeRandomFile(folder + "/file" + std::to_string(file) + ".dat", size, random)) {
        return false;
      }
    }
  }
  return true;
}

// One folder of as many files of 1-1,024 bytes as asked (200,000 by default): a folder far
// larger than any the copy keeps whole in memory.
bool makeFlat(const std::string& root, long files, std::mt19937_64& random) {
  stdfs::create_directories(root);
  for (long file = 0; file < files; ++file) {
    const size_t size = 1 + random() % 1024;
    if (!writeRandomFile(root + "/file" + std::to_string(file) + ".dat", size, random))
      return false;
  }
  return true;
}

bool makeBig(const std::string& root, std::mt19937_64& random) {
  stdfs::create_directories(root);
  for (int file = 0; file < 8; ++file) {
    if (!writeRandomFile(root + "/big" + std::to_string(file) + ".bin", size_t{128} << 20,
                         random)) {
      return false;
    }
  }
  return true;
}

// Gives every file new contents of the same size and a modification time one minute later.
bool changeAll(const std::string& root, std::mt19937_64& random) {
  for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string path = entry.path().string();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!writeRandomFile(path, static_cast<size_t>(st.st_size), random)) return false;
    const struct timespec times[2] = {{st.st_mtim.tv_sec + 60, 0}, {st.st_mtim.tv_sec + 60, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool counted =
      argc == 4 && (std::strcmp(argv[1], "tiny") == 0 || std::strcmp(argv[1], "flat") == 0);
  if (argc != 3 && !counted) {
    std::fprintf(stderr, "usage: %s small|big|change FOLDER\n       %s tiny|flat FOLDER [FILES]\n",
                 argv[0], argv[0]);
    return 2;
  }
  std::mt19937_64 random(std::random_device{}());
  const std::string command = argv[1];
  bool ok = false;
  if (command == "small") ok = makeSmall(argv[2], random);
  if (command == "tiny") ok = makeTiny(argv[2], argc == 4 ? std::atol(argv[3]) : 200000, random);
  if (command == "flat") ok = makeFlat(argv[2], argc == 4 ? std::atol(argv[3]) : 200000, random);
  if (command == "big") ok = makeBig(argv[2], random);
  if (command == "change") ok = changeAll(argv[2], random);
  if (!ok) std::fprintf(stderr, "%s %s failed: %s\n", argv[1], argv[2], std::strerror(errno));
  return ok ? 0 : 1;
}
