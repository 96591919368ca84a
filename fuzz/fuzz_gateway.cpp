// Fuzz target: any bytes a program sends to the simulator's gateway, arriving in pieces.
// The first byte chooses whether the secret is asked and how the rest is cut into reads;
// without a secret every frame reaches the simulated units, so their handlers are fuzzed too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "sim/buses.h"
#include "sim/wall.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t choice = data[0];
  const std::span<const std::uint8_t> stream(data + 1, size - 1);

  qm::sim::WallConfig config;
  config.channels = {16, 9, 0, 0};
  config.unit.compaction_ms = 0;
  config.clock = [t = std::uint64_t{0}]() mutable { return t += 3; };  // the same every run
  qm::sim::SimWall wall(config);
  qm::sim::GatewaySession session(wall, (choice & 0x80) ? "s3cret" : "");

  const std::size_t piece = (choice & 0x3F) + 1u;
  std::vector<qm::sim::Bytes> writes;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    const bool go_on =
        session.feed(stream.subspan(at, std::min(piece, stream.size() - at)), writes);
    for (const qm::sim::Bytes& w : writes) {
      // Every write is a whole frame whose first byte is its length (frames are not split
      // here), and the wall never answers with more than a frame can hold.
      if (w.size() < 2 || w[0] != w.size()) std::abort();
    }
    writes.clear();
    if (!go_on) break;
  }
  return 0;
}
