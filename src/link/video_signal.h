// The signal state of a unit's video input, as its digitiser's status register (read with
// function 13 at 0x48 / 0x4A, sub-address 0x1F) tells it: bit 0 locked, bit 6 no signal, and
// bit 5 a flag whose meaning depends on the video system: on PAL-N, SECAM and NTSC (50Hz) a set
// bit on a locked input is a sync error, on NTSC-N and PAL (60Hz) a clear one is.
#pragma once

#include <array>
#include <cstdint>

namespace qm {

inline constexpr std::uint8_t kSignalRegisterSub = 0x1F;
inline constexpr std::array<std::uint8_t, 2> kSignalRegister = {0x48, 0x4A};  // channel 0, 1

enum class SignalState : int {
  kUndetermined = -1,
  kInSync = 0,
  kSyncError = 1,
  kNoColour = 2,
  kNoSignal = 3,
};

inline constexpr std::uint8_t kSignalLocked = 0x01;
inline constexpr std::uint8_t kSignalLost = 0x40;
inline constexpr std::uint8_t kSignalFlag = 0x20;
inline constexpr int kVideoSystems = 5;  // PAL-N, NTSC-N, SECAM, NTSC (50Hz), PAL (60Hz)

// The flag value that makes a locked input of the system show a sync error.
constexpr std::uint8_t sync_error_flag(int system) {
  constexpr std::array<std::uint8_t, kVideoSystems> kFlag = {0x20, 0, 0x20, 0x20, 0};
  return system >= 0 && system < kVideoSystems ? kFlag[static_cast<std::size_t>(system)] : 0x20;
}

constexpr SignalState classify_signal(std::uint8_t status, int system) {
  const int lock = status & (kSignalLocked | kSignalLost);
  if (lock == 0) return SignalState::kNoColour;
  if (lock == kSignalLocked)
    return (status & kSignalFlag) == sync_error_flag(system) ? SignalState::kSyncError
                                                             : SignalState::kInSync;
  return SignalState::kNoSignal;
}

// A status byte that reads as `state` on an input of the system (what a unit in that state
// reports).
constexpr std::uint8_t signal_status_byte(SignalState state, int system) {
  switch (state) {
    case SignalState::kInSync:
      return static_cast<std::uint8_t>(kSignalLocked | (sync_error_flag(system) ^ kSignalFlag));
    case SignalState::kSyncError:
      return static_cast<std::uint8_t>(kSignalLocked | sync_error_flag(system));
    case SignalState::kNoColour:
      return 0;
    default:
      return kSignalLost;
  }
}

}  // namespace qm
