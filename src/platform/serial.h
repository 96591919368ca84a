// A serial port: raw 8N1 at a chosen baud rate, no flow control, non-blocking reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qm::platform {

// The device that port n (1 = COM1) names: the environment variable QUADRIMON_COMn when set,
// else /dev/ttyS<n-1> on POSIX and "COMn:" on Windows (\\.\COMn from COM10 on).
std::string serial_device_name(int n);

class SerialDevice {
 public:
  // Opens the device exclusively, sets 19200 baud 8N1, raw, no flow control, receiver on,
  // modem-control lines off, and purges both directions. None when it cannot be opened or
  // configured.
  static std::unique_ptr<SerialDevice> open(const std::string& device);

  // Closing discards unread input; output already written is still transmitted.
  virtual ~SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Reads what is queued, at most n bytes; never waits. 0 when nothing is queued.
  virtual std::size_t read(std::uint8_t* buffer, std::size_t n) = 0;
  // Writes all bytes, waiting for the driver to take them; false when the write is refused.
  virtual bool write(const std::uint8_t* bytes, std::size_t n) = 0;
  // Applies a new baud rate; false when the driver refuses it.
  virtual bool set_baud(std::uint32_t baud) = 0;
  // Blocks until a byte can be read or timeout_ms passes: 1 readable, 0 timed out, -1 the
  // port is gone (hung up, unplugged): nothing can arrive any more.
  virtual int wait_readable(int timeout_ms) = 0;
  // Discards everything queued in both directions.
  virtual void purge() = 0;

 protected:
  SerialDevice() = default;
};

}  // namespace qm::platform
