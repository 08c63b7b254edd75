// SHA-256 of a stream of bytes, by the system's own cryptography library.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qm {

// Hashes the bytes added to it, in pieces of any size. SHA-256, because every Linux
// machine checks its lines with `sha256sum -c` and no program of ours is needed for that.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;

  void add(const void* bytes, std::size_t count);
  // The digest of everything added, as 64 lowercase hexadecimal digits; the hash starts
  // afresh after it.
  std::string hex();

 private:
  struct State;  // the library's context, by system
  std::unique_ptr<State> state_;
};

}  // namespace qm
