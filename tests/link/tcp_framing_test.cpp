// The TCP frame assembler fed read by read, as the transport feeds it; the cuts between reads
// are chosen here, which a socket cannot promise.
#include "link/tcp_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/far_side.h"

namespace qm::test {
namespace {

// Feeds each read as the transport does (every buffered frame taken before the next read) and
// returns the frames taken, as "kind: payload hex".
std::vector<std::string> assemble(const std::vector<Bytes>& reads) {
  TcpFrameAssembler assembler;
  std::vector<std::string> out;
  const auto take_all = [&] {
    while (assembler.frame_buffered()) {
      if (const auto frame = assembler.take()) {
        out.push_back(std::to_string(frame->kind) + ": " +
                      to_hex(Bytes(frame->payload.begin(), frame->payload.end())));
      }
    }
  };
  for (const Bytes& read : reads) {
    take_all();
    const auto room = assembler.room();
    EXPECT_EQ(room.size(), kTcpReadSize);
    std::copy(read.begin(), read.end(), room.begin());
    assembler.received(read.size());
  }
  take_all();
  return out;
}

TEST(TcpFrameAssembler, FramesCutAnywhere_AreTakenWholeAndInOrder) {
  Bytes longest = {255, 1};
  for (int i = 0; i < 253; ++i)
    longest.push_back(static_cast<std::uint8_t>(i));
  const std::string longest_hex = "1: " + to_hex(Bytes(longest.begin() + 2, longest.end()));
  // The longest frame over four reads, the last of which also brings a whole frame and the
  // first byte of another, completed by the next read.
  std::vector<Bytes> reads;
  for (std::ptrdiff_t at = 0; at < 240; at += 80)
    reads.emplace_back(longest.begin() + at, longest.begin() + at + 80);
  Bytes fourth(longest.begin() + 240, longest.end());
  for (std::uint8_t b : hex("05 02 41 42 43 04"))
    fourth.push_back(b);
  reads.push_back(fourth);
  reads.push_back(hex("01 47 02"));
  EXPECT_EQ(assemble(reads), (std::vector<std::string>{longest_hex, "2: 41 42 43", "1: 47 02"}));
}

TEST(TcpFrameAssembler, LengthBelowThree_DropsTheRestOfItsReadOnly) {
  for (const std::uint8_t bad : Bytes{0, 1, 2}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(assemble({Bytes{4, 1, 0x47, 0x02, bad, 4, 1, 0x47, 0x03}, hex("04 01 47 04")}),
              (std::vector<std::string>{"1: 47 02", "1: 47 04"}));
  }
}

}  // namespace
}  // namespace qm::test
