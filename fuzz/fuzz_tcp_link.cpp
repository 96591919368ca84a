// Fuzz target: any bytes as what the gateway sends after the authentication block, read in
// pieces. The first byte says how many of the next bytes (1 to 8) give the sizes of the
// successive reads (cycled); the rest is the stream: the 3-byte verdict, then TCP frames. The
// verdict must take exactly its 3 bytes. The frames taken must not depend on how the reads cut
// the stream, except that a length byte below 3 drops the rest of the read it came in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/tcp_framing.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool holds) {
  if (!holds) __builtin_trap();
}

struct Frame {
  std::uint8_t kind;
  Bytes payload;
  bool operator==(const Frame&) const = default;
};

struct Assembled {
  std::vector<Frame> frames;
  bool dropped = false;  // a length byte below 3 dropped bytes
  bool operator==(const Assembled&) const = default;
};

// Read sizes, 1 to kTcpReadSize bytes, taken in turn from `sizes` and cycled.
class Reads {
 public:
  explicit Reads(std::span<const std::uint8_t> sizes) : sizes_(sizes) {}
  std::size_t next() {
    if (sizes_.empty()) return qm::kTcpReadSize;
    return 1 + sizes_[at_++ % sizes_.size()] % qm::kTcpReadSize;
  }

 private:
  std::span<const std::uint8_t> sizes_;
  std::size_t at_ = 0;
};

// The stream through the assembler as the transport reads it: a read only when no frame is
// buffered, every frame taken before the next read.
Assembled assemble(std::span<const std::uint8_t> stream, Reads reads) {
  Assembled out;
  qm::TcpFrameAssembler assembler;
  for (std::size_t at = 0;;) {
    while (assembler.frame_buffered()) {
      if (const auto frame = assembler.take()) {
        check(!frame->payload.empty() && frame->payload.size() <= 253);
        out.frames.push_back({frame->kind, Bytes(frame->payload.begin(), frame->payload.end())});
      } else {
        out.dropped = true;
        check(!assembler.frame_buffered());
      }
    }
    if (at == stream.size()) break;
    const std::span<std::uint8_t> room = assembler.room();
    check(room.size() == qm::kTcpReadSize);
    const std::size_t n = std::min(reads.next(), stream.size() - at);
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), n, room.begin());
    assembler.received(n);
    at += n;
  }
  check(!assembler.take());  // what is left is a frame still on its way
  return out;
}

// The frames in the stream by the rule alone: each frame's length byte leads to the next frame;
// a length below 3 is not a frame, and the next frame starts with the read after it.
Assembled expected(std::span<const std::uint8_t> stream, Reads reads) {
  Assembled out;
  std::size_t read_end = 0;
  for (std::size_t at = 0; at < stream.size();) {
    while (read_end <= at)
      read_end += reads.next();
    const std::size_t length = stream[at];
    if (length < 3) {
      out.dropped = true;
      at = read_end;
      continue;
    }
    if (at + length > stream.size()) break;
    out.frames.push_back(
        {stream[at + 1], Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 2),
                               stream.begin() + static_cast<std::ptrdiff_t>(at + length))});
    at += length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  if (input.empty()) return 0;
  const std::size_t n = std::min<std::size_t>(1 + input[0] % 8, input.size() - 1);
  const auto sizes = input.subspan(1, n);
  std::span<const std::uint8_t> stream = input.subspan(1 + n);

  // The verdict is read first, in the same pieces; it never takes a byte past its own.
  qm::TcpVerdict verdict;
  Reads verdict_reads(sizes);
  while (!verdict.complete() && !stream.empty()) {
    const std::span<std::uint8_t> room = verdict.room();
    check(room.size() == qm::TcpVerdict::kBytes - (input.size() - 1 - n - stream.size()));
    const std::size_t got = std::min({verdict_reads.next(), room.size(), stream.size()});
    std::copy_n(stream.begin(), got, room.begin());
    verdict.received(got);
    stream = stream.subspan(got);
  }
  check(verdict.complete() == (input.size() - 1 - n >= qm::TcpVerdict::kBytes));

  const Assembled cut = assemble(stream, Reads(sizes));
  check(cut == expected(stream, Reads(sizes)));
  const Assembled whole = assemble(stream, Reads({}));
  check(whole == expected(stream, Reads({})));
  if (!cut.dropped) check(cut == whole);
  return 0;
}
