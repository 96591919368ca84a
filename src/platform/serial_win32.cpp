// Serial ports on Windows: the comm API with overlapped reads, writes and event waits.

#include "platform/win32.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/serial.h"

namespace qm::platform {

namespace {

// A manual-reset event for one kind of overlapped operation, or null.
HANDLE make_event() {
  return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void close_if_open(HANDLE h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

class Win32Serial final : public SerialDevice {
 public:
  explicit Win32Serial(HANDLE port) : port_(port) {
    read_.hEvent = make_event();
    write_.hEvent = make_event();
    wait_.hEvent = make_event();
  }

  ~Win32Serial() override {
    // Discard unread input only: output already written still goes out, so the last frame
    // sent before closing is not cut off.
    (void)PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    CloseHandle(port_);
    close_if_open(read_.hEvent);
    close_if_open(write_.hEvent);
    close_if_open(wait_.hEvent);
  }

  bool configure() {
    if (read_.hEvent == nullptr || write_.hEvent == nullptr || wait_.hEvent == nullptr) {
      return false;
    }
    (void)SetupComm(port_, 4096, 4096);
    purge();

    // Reads return what is queued at once (read() never asks for more than that); a write
    // may take 100 ms per byte before the driver gives up on it.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = 100;
    timeouts.WriteTotalTimeoutConstant = 0;
    (void)SetCommTimeouts(port_, &timeouts);

    dcb_ = DCB{};
    dcb_.DCBlength = sizeof dcb_;
    if (!GetCommState(port_, &dcb_)) return false;
    dcb_.BaudRate = CBR_19200;
    dcb_.ByteSize = 8;
    dcb_.Parity = NOPARITY;
    dcb_.StopBits = ONESTOPBIT;
    dcb_.fBinary = 1u;
    dcb_.fParity = 1u;
    dcb_.fOutxCtsFlow = 0u;
    dcb_.fOutxDsrFlow = 0u;
    dcb_.fDtrControl = DTR_CONTROL_DISABLE;
    dcb_.fRtsControl = RTS_CONTROL_DISABLE;
    dcb_.fOutX = 0u;
    dcb_.fInX = 0u;
    dcb_.XonLim = 100;
    dcb_.XoffLim = 100;
    dcb_.XonChar = 0;
    dcb_.XoffChar = 0;
    if (!SetCommState(port_, &dcb_)) return false;

    // wait_readable() sleeps on the arrival of a byte. A driver that refuses the mask is
    // still usable; wait_readable() then polls the queue instead.
    (void)SetCommMask(port_, EV_RXCHAR);
    return true;
  }

  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    DWORD queued = 0;
    if (!queued_bytes(queued)) return 0;
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(n, queued));
    if (count == 0) return 0;
    DWORD got = 0;
    if (ReadFile(port_, buffer, count, &got, &read_)) return got;
    if (GetLastError() == ERROR_IO_PENDING) {
      got = finish(read_);
    } else {
      got = 0;
    }
    clear_errors();
    return got;
  }

  bool write(const std::uint8_t* bytes, std::size_t n) override {
    // The driver takes at most a DWORD's worth per call; the link's writes are far smaller.
    while (n > 0) {
      const DWORD count = static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD));
      DWORD put = 0;
      if (!WriteFile(port_, bytes, count, &put, &write_)) {
        if (GetLastError() != ERROR_IO_PENDING) {
          clear_errors();
          return false;
        }
        // Once the driver has accepted the write it counts as done, even if the write
        // time-out cut it short.
        (void)finish(write_);
      }
      bytes += count;
      n -= count;
    }
    return true;
  }

  bool set_baud(std::uint32_t baud) override {
    // The kept settings take the new rate even when the driver refuses it.
    dcb_.BaudRate = baud;
    return SetCommState(port_, &dcb_) != 0;
  }

  int wait_readable(int timeout_ms) override {
    const std::uint64_t deadline =
        monotonic_ms() + static_cast<std::uint64_t>(std::max(timeout_ms, 0));
    for (;;) {
      DWORD queued = 0;
      if (!queued_bytes(queued)) return -1;  // the port is gone: nothing can arrive
      if (queued > 0) return 1;
      const DWORD left = remaining(deadline);
      if (left == 0) return 0;
      switch (wait_for_char(left)) {
        case CharWait::Arrived:
          continue;  // look at the queue again: the byte may already have been read
        case CharWait::TimedOut:
          return has_queued() ? 1 : 0;
        case CharWait::Unsupported:
          // No event from this driver: look at the queue now and then.
          sleep_ms(std::min<DWORD>(left, kPollMs));
          continue;
      }
    }
  }

  void purge() override {
    (void)PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }

 private:
  enum class CharWait { Arrived, TimedOut, Unsupported };

  static constexpr DWORD kPollMs = 10;

  static DWORD remaining(std::uint64_t deadline) {
    const std::uint64_t now = monotonic_ms();
    if (now >= deadline) return 0;
    return static_cast<DWORD>(std::min<std::uint64_t>(deadline - now, MAXDWORD - 1));
  }

  // The number of bytes waiting in the input queue; also clears the port's error state,
  // which otherwise stops all transfers after a line error. False when the port is gone.
  bool queued_bytes(DWORD& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) return false;
    queued = status.cbInQue;
    return true;
  }

  bool has_queued() {
    DWORD queued = 0;
    return queued_bytes(queued) && queued > 0;
  }

  void clear_errors() {
    DWORD errors = 0;
    (void)ClearCommError(port_, &errors, nullptr);
  }

  // Waits for an overlapped transfer to complete: the bytes it moved, 0 when it failed.
  DWORD finish(OVERLAPPED& op) {
    DWORD moved = 0;
    while (!GetOverlappedResult(port_, &op, &moved, TRUE)) {
      if (GetLastError() != ERROR_IO_INCOMPLETE) {
        clear_errors();
        return 0;
      }
    }
    return moved;
  }

  // Sleeps until the driver reports a received byte or `ms` passes.
  CharWait wait_for_char(DWORD ms) {
    DWORD events = 0;
    if (WaitCommEvent(port_, &events, &wait_)) {
      // A driver that keeps completing at once without a byte would make the caller spin.
      return (events & EV_RXCHAR) != 0 ? CharWait::Arrived : CharWait::Unsupported;
    }
    if (GetLastError() != ERROR_IO_PENDING) return CharWait::Unsupported;
    // A byte that arrived between the caller's look at the queue and the start of the wait
    // raises no new event, so look once more now that the wait is armed.
    if (!has_queued()) {
      if (WaitForSingleObject(wait_.hEvent, ms) == WAIT_OBJECT_0) {
        DWORD ignored = 0;
        (void)GetOverlappedResult(port_, &wait_, &ignored, FALSE);
        return CharWait::Arrived;
      }
    }
    // Setting the mask again ends the pending wait; it must be finished before wait_ can be
    // used again.
    (void)SetCommMask(port_, EV_RXCHAR);
    DWORD ignored = 0;
    (void)GetOverlappedResult(port_, &wait_, &ignored, TRUE);
    return has_queued() ? CharWait::Arrived : CharWait::TimedOut;
  }

  HANDLE port_;
  DCB dcb_{};
  OVERLAPPED read_{};
  OVERLAPPED write_{};
  OVERLAPPED wait_{};
};

}  // namespace

std::string serial_device_name(int n) {
  const std::string var = "QUADRIMON_COM" + std::to_string(n);
  if (auto named = env_var(var.c_str()); named && !named->empty()) return *named;
  // The short "COMn:" form reaches only COM1 to COM9; higher ports need the device
  // namespace prefix.
  if (n < 10) return "COM" + std::to_string(n) + ":";
  return "\\\\.\\COM" + std::to_string(n);
}

std::vector<SerialAdapter> serial_adapters(const std::filesystem::path&) {
  return {};  // USB adapters are COM ports here
}

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& device, std::error_code*) {
  HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto port = std::make_unique<Win32Serial>(handle);
  if (!port->configure()) return nullptr;
  return port;
}

}  // namespace qm::platform
