// The platform's MD5: the published test vectors, and pieces digested as one message.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/digest.h"

namespace qm::platform {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string hex(const Md5Digest& digest) {
  std::string out;
  for (const auto b : digest) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    out.append(two);
  }
  return out;
}

TEST(Md5Digest, KnownVectors) {
  EXPECT_EQ(hex(md5_digest({})), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex(md5_digest({bytes("")})), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex(md5_digest({bytes("abc")})), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hex(md5_digest({bytes("12345678901234567890123456789012345678901234567890123456789012"
                                  "345678901234567890")})),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Digest, PiecesAreOneMessage) {
  const auto whole = md5_digest({bytes("message digest")});
  EXPECT_EQ(hex(whole), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5_digest({bytes("mess"), bytes(""), bytes("age dig"), bytes("est")}), whole);
}

TEST(Md5Digest, InputLongerThanOneBlockWithZeroBytes) {
  // A million zero bytes crosses many 64-byte blocks and holds bytes a string would end at.
  const std::vector<std::uint8_t> zeros(1000000, 0);
  EXPECT_EQ(hex(md5_digest({zeros})), "879f4bba57ed37c9ec5e5aedf9864698");
}

}  // namespace
}  // namespace qm::platform
