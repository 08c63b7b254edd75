// SHA-256 on Windows by the system's CryptoAPI (advapi32, which every Windows has).
#include "os/digest.h"

#include <windows.h>
#include <wincrypt.h>

#include <new>

namespace qm {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr DWORD kDigestBytes = 32;

}  // namespace

// The provider for the process's hashes, and the hash under way; a new one after each
// digest, since CryptoAPI's hashes cannot be reused.
struct Sha256::State {
  State() {
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
      throw std::bad_alloc();
    start();
  }
  ~State() {
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  void start() {
    if (hash) CryptDestroyHash(hash);
    hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) throw std::bad_alloc();
  }
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::add(const void* bytes, std::size_t count) {
  const auto* from = static_cast<const BYTE*>(bytes);
  while (count > 0) {  // the API takes at most a DWORD at a time
    const DWORD piece = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    CryptHashData(state_->hash, from, piece, 0);
    from += piece;
    count -= piece;
  }
}

std::string Sha256::hex() {
  BYTE digest[kDigestBytes] = {};
  DWORD size = kDigestBytes;
  CryptGetHashParam(state_->hash, HP_HASHVAL, digest, &size, 0);
  state_->start();
  std::string text;
  for (DWORD i = 0; i < size; ++i) {
    text += kHexDigits[digest[i] >> 4];
    text += kHexDigits[digest[i] & 15];
  }
  return text;
}

}  // namespace qm
