// SHA-256 on Linux by OpenSSL's libcrypto, which uses the processor's SHA instructions.
#include "os/digest.h"

#include <openssl/evp.h>

#include <new>

namespace qm {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void start(EVP_MD_CTX* context) {
  if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
}

}  // namespace

struct Sha256::State {
  State() : context(EVP_MD_CTX_new()) {
    if (!context) throw std::bad_alloc();
    start(context);
  }
  ~State() { EVP_MD_CTX_free(context); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  EVP_MD_CTX* context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::add(const void* bytes, std::size_t count) {
  EVP_DigestUpdate(state_->context, bytes, count);
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(state_->context, digest, &size);
  start(state_->context);
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += kHexDigits[digest[i] >> 4];
    text += kHexDigits[digest[i] & 15];
  }
  return text;
}

}  // namespace qm
