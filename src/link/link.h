// The device link: one serial port or one TCP connection to a gateway, and the unit message
// protocol on top of them. Exactly one thread drives a Link at a time.
//
// Routing, applied by every send and receive:
//  1. remote-link flag IP set: traffic goes through the TCP socket; with no socket open,
//     nothing is sent and nothing is received (no fall-back to the serial port);
//  2. otherwise an open serial port carries it (or the local transport put in its place);
//  3. otherwise sends do nothing and receives yield nothing.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "base/operator_ui.h"
#include "link/link_transport.h"
#include "link/serial_transport.h"
#include "link/settings.h"
#include "link/tcp_transport.h"
#include "link/tick_clock.h"
#include "link/traffic_log.h"
#include "link/unit_frame.h"
#include "platform/serial.h"

namespace qm {

// Texts the link shows in the status line.
inline constexpr const char* kStatusConnecting = "Connecting to %s:%d";
inline constexpr const char* kStatusAuthenticating = "Authenticating";
inline constexpr const char* kStatusUnableToInitialise = "Unable to initialise %s:%d";
inline constexpr const char* kStatusNoKeepAlive = "Unable to set keep-alive TCP option %s:%d";
inline constexpr const char* kStatusNoNoDelay = "Unable to set no-delay TCP option %s:%d";
inline constexpr const char* kStatusUnableToConnect = "Unable to connect to server";
inline constexpr const char* kStatusServerDisconnected = "Server disconnected";
inline constexpr const char* kStatusAuthTimeout = "Authentication timeout";
inline constexpr const char* kStatusAuthFailure = "Authentication failure";
inline constexpr const char* kStatusSendFailure = "TCP send failure";
inline constexpr const char* kStatusPortLost = "COM%d: stopped accepting data and was closed";
inline constexpr const char* kStatusPortDenied =
    "No permission to open %s: ask for membership of its group (dialout)";

// Waits of the link, in milliseconds (a request's reply wait is its transport's).
inline constexpr std::uint32_t kPollWaitMs = 2500;
inline constexpr int kAuthenticationWaitMs = 2000;
inline constexpr int kConnectTimeoutMs = 5000;

// The text of the status bar's link part: " TCP/IP", " COM%u:" or "   -".
std::string link_status_text(bool ip, int com_port);

// The 21-byte authentication block for a shared secret: 2, four zeros, then the MD5 of the
// block with a zero digest followed by the secret's characters.
std::array<std::uint8_t, 21> authentication_block(const std::string& secret);

class Link {
 public:
  Link(SettingsValues& settings, TrafficLog& log, OperatorUi& ui, TickClock& clock);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // --- Transport ---------------------------------------------------------------------

  // Port n (1 = COM1) opens `device` instead of the platform's name for it.
  void set_port_device(int n, std::string device);
  // The device port n opens: the one set for it, else the settings' ComDevice for the
  // configured port, else the platform's name for it.
  std::string port_device(int n) const;
  // The USB serial adapters plugged in, looked for under `dev` (/dev unless set).
  std::vector<platform::SerialAdapter> serial_adapters() const;
  void set_device_folder(std::filesystem::path dev) { device_folder_ = std::move(dev); }

  // Opens port n; none when it cannot be opened, `why` then holding the system's reason.
  std::unique_ptr<SerialPort> com_open(int n, std::error_code* why = nullptr) const;
  static void com_close(std::unique_ptr<SerialPort> port);
  static std::size_t com_read(SerialPort& port, std::size_t n, std::uint8_t* buffer);
  static int com_write(SerialPort& port, const std::uint8_t* bytes, std::size_t count);
  int com_read_byte();
  int com_write_byte(std::uint8_t byte);
  int com_set_speed(std::uint32_t baud);
  int com_select_port(int n);
  int com_open_configured();
  void com_release();
  bool serial_open() const { return serial_.usable(); }
  // Whether the routing rule has a transport that carries traffic now.
  bool linked() { return transport() != nullptr; }

  int tcp_connect();
  void tcp_disconnect();
  // Sends one TCP frame; a payload above 82 bytes is refused (false) and nothing is sent.
  bool tcp_send_frame(std::uint8_t kind, const std::uint8_t* payload, std::size_t n);
  bool tcp_open() const { return tcp_.usable(); }

  // Puts a transport in the serial port's place (a simulated wall in the same process): it
  // carries the traffic whenever the remote-link flag is clear, while an open serial port
  // stays open but idle. None gives the place back to the serial port.
  void set_local_transport(std::unique_ptr<LinkTransport> transport);

  void link_output_raw(std::size_t count, const std::uint8_t* bytes);
  void show_link_status();

  // --- Unit message protocol -----------------------------------------------------------

  // Sends one message; data above 76 bytes is refused (false) and nothing is sent.
  bool unit_send(std::uint8_t device, std::uint8_t address, std::uint8_t function,
                 std::span<const std::uint8_t> data);
  void unit_send_poll(std::uint8_t device, std::uint8_t address);
  std::optional<UnitFrame> unit_get(std::uint8_t device, std::uint8_t address,
                                    std::uint8_t function, std::span<const std::uint8_t> data);
  // Polls the selected unit up to `tries` times: 0 answered, 2 the answer had the poll bit, 1
  // no answer. The first frame answers; with selected_only only a frame from the selected unit
  // does (any unit's when all are selected), others being passed over until the try's time
  // is up.
  int unit_poll(int tries, bool selected_only = false);
  // Polls unit `address` up to `tries` times, whichever unit is selected; only a frame from
  // that unit answers. The results are unit_poll's.
  int unit_poll_unit(std::uint8_t address, int tries);
  // Takes in the frames that have already arrived, for at most most_ms (a peer that floods
  // the link cannot hold it longer).
  void drain(std::uint32_t most_ms);
  int unit_wait_any(std::uint32_t ms);
  std::optional<UnitFrame> link_receive();
  // The first frame that arrives within ms; none once ms have passed, whatever keeps
  // arriving. A wait begun on a link ends at once when that link goes away (no frame can come
  // any more); with no link at the start it lasts the full ms.
  std::optional<UnitFrame> receive_within(std::uint32_t ms);

  std::uint32_t tick_ms() const { return clock_.tick_ms(); }
  void tick_reset() { clock_.tick_reset(); }

  // Blocks until the active link may have input or ms pass; with no link it sleeps.
  void wait_for_input(std::uint32_t ms);

 private:
  // The transport that carries traffic now, by the routing rule; none when nothing does.
  LinkTransport* transport();
  std::uint8_t selected_address() const;
  // unit_poll of one address; with only_that_unit, frames from other units are passed over.
  int poll_address(std::uint8_t address, int tries, bool only_that_unit);
  // Fails a connection attempt: drop the link, show the text.
  int tcp_fail(const std::string& text);
  // The serial port stopped taking bytes: release it and say so.
  void serial_lost();
  // The TCP connection failed: drop the remote link and say so.
  void tcp_failed(TcpFailure failure);

  SettingsValues& settings_;
  TrafficLog& log_;
  OperatorUi& ui_;
  TickClock& clock_;
  std::map<int, std::string> port_devices_;
  std::filesystem::path device_folder_ = "/dev";

  SerialTransport serial_;
  TcpTransport tcp_;
  std::unique_ptr<LinkTransport> local_;
};

}  // namespace qm
