// MD5 through the system's Cryptography API: Next Generation (bcrypt.dll).
#include "platform/win32.h"

// clang-format off
#include <bcrypt.h>
// clang-format on

#include <climits>

#include "platform/digest.h"

namespace qm::platform {

namespace {

// The algorithm and hash handles, closed on every way out.
struct Md5Handles {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~Md5Handles() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

bool succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

Md5Digest md5_digest(std::initializer_list<std::span<const std::uint8_t>> pieces) {
  Md5Digest result{};
  Md5Handles h;
  if (!succeeded(BCryptOpenAlgorithmProvider(&h.algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
    return result;
  // With no hash object buffer given, the provider allocates and frees it itself.
  if (!succeeded(BCryptCreateHash(h.algorithm, &h.hash, nullptr, 0, nullptr, 0, 0))) return result;
  for (const auto piece : pieces) {
    // BCryptHashData takes ULONG sizes and a non-const pointer that it only reads.
    auto* data = const_cast<std::uint8_t*>(piece.data());
    std::size_t left = piece.size();
    while (left > 0) {
      const ULONG chunk = left > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(left);
      if (!succeeded(BCryptHashData(h.hash, data, chunk, 0))) return Md5Digest{};
      data += chunk;
      left -= chunk;
    }
  }
  Md5Digest digest{};
  if (!succeeded(BCryptFinishHash(h.hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
    return result;
  return digest;
}

}  // namespace qm::platform
