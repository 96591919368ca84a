// Fuzz target: any bytes as a binary sequence file, listed at both field rates.
#include <cstddef>
#include <cstdint>
#include <span>

#include "compiler/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> image(data, size);
  volatile std::size_t n = qm::decode_sequence(image, 50).size();
  n = qm::decode_sequence(image, 60).size();
  (void)n;
  return 0;
}
