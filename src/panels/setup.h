// The Setup panel: the link (a serial port, or the remote gateway), the primary unit, the
// installed units with their channels, the field rate, giving every connected unit one ID,
// detecting the installed units (idle jobs 5..8), saving the settings, and the gateway's IP
// configuration. Every choice changes the live settings at once; nothing is undone on close.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "panels/panel_services.h"

namespace qm {

// Port box entries.
inline constexpr char kPortEntry[] = "COM%d:";
inline constexpr char kPortNone[] = "None";
inline constexpr int kListedPorts = 8;  // COM1..COM8 are offered, higher ports never
// USB serial adapters follow as COM9: and up, the configured one keeping its number.
inline constexpr int kLastPort = 254;

// The link test of "Set Unit ID" and "Auto".
inline constexpr char kComPortErrorTitle[] = " COM Port Error";
inline constexpr char kComPortErrorText[] = "A COM Port needs to be selected";

// "Set Unit ID".
inline constexpr char kSetIdTitle[] = " Set ID";
inline constexpr char kSetIdQuestion[] =
    "You are about to set the ID of all connected units\nto %d, are you sure you want to do this?";

// "Auto".
inline constexpr char kPollingUnit[] = " Polling unit %d";
inline constexpr char kAutoInstallTitle[] = " Auto install";
inline constexpr char kUnit0NotDetected[] =
    "UNIT 0 has not been detected.\nEither connect unit 0, or assign\naddress 0 to one of the "
    "units.";
inline constexpr char kNoUnitsDetected[] = "No units detected.";

// "Save settings".
inline constexpr char kSaveTitle[] = " Save";
inline constexpr char kSaveQuestion[] = "Save settings?";

// "IP Configuration".
inline constexpr char kTcpConfigTitle[] = "TCP configuration";
inline constexpr char kTcpConfigInvalid[] = "Invalid TCP connection parameters";
inline constexpr std::size_t kMaxPortDigits = 5;
inline constexpr std::size_t kMaxSecretLength = 31;

// One entry of the port box.
struct PortEntry {
  int port = -1;         // 0-based port index; -1 for "None"
  std::string text;      // "COM%d:" or "None"
  std::string device;    // the device the port opens; empty for "None"
  bool adapter = false;  // a USB serial adapter: its device becomes the settings' ComDevice
};

// How one unit's row of the installed-units controls looks.
struct UnitRow {
  bool installed = false;       // its box is checked (unit 0 has no box: always installed)
  bool radios_enabled = false;  // its "9", "16", "25" radios can be chosen
  int checked = 0;              // the radio checked: 9, 16 or 25; 0 for none
};

class SetupPanel {
 public:
  explicit SetupPanel(PanelServices services);

  // Opening the dialog: builds the port list (COM1..COM8: the configured port untouched,
  // every other one only if it can be opened now; then every USB serial adapter plugged in,
  // and the configured adapter even when it is not; then "None"), applies the unit 0 rule of
  // the installed-units controls, and makes a selection of all units unit 0.
  void open();

  const std::vector<PortEntry>& ports() const { return ports_; }
  // The port box's entry: the configured port's, "None" for no port, -1 for none at all.
  int current_entry() const { return current_; }
  // The operator chose entry `entry` of the port box (-1: none): port application.
  int choose_port(int entry);
  // Port application with the current entry: a different port releases the open one and
  // opens the chosen one ("None", or a port that fails to open, leaves none); no entry
  // releases any port. Shows the link status; the result is ComPort.
  int apply_port();

  // Remote link: true while IP is set. set_remote switches it and returns whether the remote
  // link is active afterwards (a failed connection leaves the local link).
  bool remote() const;
  bool set_remote(bool remote);

  // The installed-units controls for units 0..3 as the settings give them.
  std::array<UnitRow, 4> unit_rows() const;
  // A unit's "9", "16" or "25" radio.
  void set_channels(int unit, int channels);
  // A unit's box (units 1..3): installing gives it 16 channels, removing sets it to 0.
  void install_unit(int unit, bool installed);

  // "Primary unit ID": the selected unit.
  int primary() const;
  void select_primary(int unit);

  void set_field_rate(int rate);
  int field_rate() const;

  // "Set Unit ID": after the link test and the operator's Yes, every connected unit gets the
  // selected ID (a broadcast of function 6). True when it was sent.
  bool set_unit_id();

  // "Auto": after the link test, starts the scan of units 0..3 unless an idle job is already
  // active. False when the link test failed.
  bool start_auto() { return link_ready() && (begin_auto(), true); }
  // One idle step of the scan: job 5..8 polls unit job - 5 for its output configuration.
  // After unit 3 the job ends, the installed-units controls are set again (the callback),
  // and a missing unit 0 is reported.
  void auto_step(int job) { take_unit_reply(job, poll_unit(services_.link, job)); }
  void on_units_changed(std::function<void()> callback) { units_changed_ = std::move(callback); }

  // The two halves of the above for a GUI whose link thread does the link's part:
  // A link for "Set Unit ID" and "Auto": the remote link, or a port after port application
  // (link thread).
  bool link_ready();
  // Starts the scan unless an idle job is active (GUI thread).
  void begin_auto();
  // The reply of unit job - 5 to the output configuration request, or none (link thread).
  std::optional<UnitFrame> poll_unit(Link& link, int job);
  // Takes that reply into the installed units and moves the scan on (GUI thread).
  void take_unit_reply(int job, const std::optional<UnitFrame>& reply);

  // "Save settings": asks, and writes the settings file on Yes. True when written.
  bool save_settings();

 private:
  // Unit 0 is always installed, with 9, 16 or 25 channels (anything else becomes 16).
  void normalise_unit0();

  PanelServices services_;
  std::vector<PortEntry> ports_;
  int current_ = -1;
  std::array<bool, 4> answered_{};
  std::function<void()> units_changed_;
};

// The fields of the "IP Configuration" dialog as text.
struct IpFields {
  std::string address;
  std::string port;
  std::string secret;
};

// A dotted-quad IPv4 address (four decimal parts 0..255) in network byte order, or none.
std::optional<std::uint32_t> parse_dotted_quad(const std::string& text);
// A TCP port of at most 5 digits in 1..65535, or none.
std::optional<std::uint16_t> parse_tcp_port(const std::string& text);

class IpConfiguration {
 public:
  // Remembers the gateway at opening, to tell on OK whether it changed.
  explicit IpConfiguration(PanelServices services);

  // What the fields show at opening: the address, the port, the secret if one is set.
  IpFields fields() const;
  // "OK": takes the address, then the port (refused: "Invalid TCP connection parameters",
  // and the dialog stays open), then the secret (empty removes it). A changed gateway is
  // reconnected while the remote link is active. True when the dialog may close.
  bool accept(const IpFields& entered) {
    if (!take(entered)) return false;
    if (gateway_changed()) reconnect(services_.link);
    return true;
  }
  // The halves of accept: taking the fields (false: refused, the dialog stays open), whether
  // the active remote link must be reconnected, and the reconnection (on the link thread).
  bool take(const IpFields& entered);
  bool gateway_changed() const;
  static void reconnect(Link& link);

 private:
  PanelServices services_;
  std::uint32_t opened_address_;
  std::uint16_t opened_port_;
};

}  // namespace qm
