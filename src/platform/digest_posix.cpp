// MD5 through OpenSSL's EVP interface.
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "platform/digest.h"

namespace qm::platform {

Md5Digest md5_digest(std::initializer_list<std::span<const std::uint8_t>> pieces) {
  Md5Digest result{};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(),
                                                                   &EVP_MD_CTX_free);
  if (!md || EVP_DigestInit_ex(md.get(), EVP_md5(), nullptr) != 1) return result;
  for (const auto piece : pieces)
    EVP_DigestUpdate(md.get(), piece.data(), piece.size());
  unsigned char digest[EVP_MAX_MD_SIZE] = {};
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(md.get(), digest, &size) != 1 || size != result.size()) return result;
  std::copy_n(digest, result.size(), result.begin());
  return result;
}

}  // namespace qm::platform
