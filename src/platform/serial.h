// A serial port: raw 8N1 at a chosen baud rate, no flow control, non-blocking reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace qm::platform {

// The device that port n (1 = COM1) names: the environment variable QUADRIMON_COMn when set,
// else /dev/ttyS<n-1> on POSIX and "COMn:" on Windows (\\.\COMn from COM10 on).
std::string serial_device_name(int n);

// A USB serial adapter or modem that is plugged in.
struct SerialAdapter {
  std::string device;  // what to open: its stable /dev/serial/by-id name where it has one,
                       // else its kernel device (/dev/ttyUSB0)
  std::string name;    // its kernel name: ttyUSB0, ttyACM0
  std::string id;      // its stable name (ttyUSB0's by-id link name); empty when none
};

// The USB serial adapters under `dev` (/dev): every ttyUSB* and ttyACM* device, by its
// /dev/serial/by-id link where one names it, in the order of their kernel names (ttyACM
// before ttyUSB, then by number). None on Windows, where adapters are COM ports.
std::vector<SerialAdapter> serial_adapters(const std::filesystem::path& dev = "/dev");

class SerialDevice {
 public:
  // Opens the device exclusively, sets 19200 baud 8N1, raw, no flow control, receiver on,
  // modem-control lines off, and purges both directions. None when it cannot be opened or
  // configured; `why`, when given, then holds the system's reason where there is one.
  static std::unique_ptr<SerialDevice> open(const std::string& device,
                                            std::error_code* why = nullptr);

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
