#include "link/tcp_framing.h"

#include <algorithm>
#include <cstring>

namespace qm {

namespace {
// The shortest frame: length, kind and one payload byte.
constexpr std::uint8_t kMinTcpFrame = 3;
}  // namespace

bool TcpFrameAssembler::frame_buffered() const {
  if (begin_ == end_) return false;
  const std::uint8_t length = buffer_[begin_];
  return length < kMinTcpFrame || begin_ + length <= end_;
}

std::span<std::uint8_t> TcpFrameAssembler::room() {
  // Keep a frame's first bytes at the front so that its remainder can be appended.
  if (begin_ > 0) {
    std::memmove(buffer_, buffer_ + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  return std::span(buffer_ + end_, std::min(kTcpReadSize, sizeof buffer_ - end_));
}

void TcpFrameAssembler::received(std::size_t n) {
  end_ += std::min(n, sizeof buffer_ - end_);
}

std::optional<TcpFrame> TcpFrameAssembler::take() {
  if (begin_ == end_) return std::nullopt;
  const std::uint8_t length = buffer_[begin_];
  if (length < kMinTcpFrame) {
    clear();  // not a frame: nothing after it can be trusted
    return std::nullopt;
  }
  if (begin_ + length > end_) return std::nullopt;  // the rest is still on its way
  const std::uint8_t* frame = buffer_ + begin_;
  begin_ += length;
  if (begin_ == end_) clear();
  return TcpFrame{frame[1], std::span(frame + 2, length - 2u)};
}

void TcpVerdict::received(std::size_t n) {
  got_ += std::min(n, kBytes - got_);
}

}  // namespace qm
