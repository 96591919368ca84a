// The MD5 digest that the gateway's authentication is built on, computed by the platform's own
// cryptography library so that no extra library is needed where the system has one.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace qm::platform {

using Md5Digest = std::array<std::uint8_t, 16>;

// The MD5 digest of the pieces, taken one after the other as one message; all zeros when the
// platform cannot compute one (the gateway then refuses the authentication).
Md5Digest md5_digest(std::initializer_list<std::span<const std::uint8_t>> pieces);

}  // namespace qm::platform
