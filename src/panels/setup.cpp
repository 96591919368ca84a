#include "panels/setup.h"

#include <algorithm>
#include <cstring>

#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "link/function_codes.h"
#include "link/unit_selection.h"

namespace qm {

namespace {

// A full encoder configuration reply: its count byte covers type, address and function too.
constexpr std::size_t kOutputConfigCount =
    kMessageHeaderBytes + find_function_code(kFnOutputConfig)->reply_data;
constexpr std::size_t kMonitorsByte = 5;  // data byte of the monitor count

bool standard_channels(int channels) {
  return channels == 9 || channels == 16 || channels == 25;
}

bool valid_unit(int unit) {
  return unit >= 0 && unit <= 3;
}

}  // namespace

SetupPanel::SetupPanel(PanelServices services) : services_(services) {}

void SetupPanel::open() {
  auto& values = services_.settings.values;
  ports_.clear();
  current_ = -1;
  const bool adapter_configured = values.com_port >= 0 && !values.com_device.empty();
  for (int n = 1; n <= kListedPorts; ++n) {
    const bool configured = n - 1 == values.com_port && !adapter_configured;
    // Another port is offered only if it can be opened now; the probe closes it at once.
    if (!configured && !services_.link.com_open(n)) continue;
    if (configured) current_ = static_cast<int>(ports_.size());
    ports_.push_back({n - 1, strprintf(kPortEntry, n), services_.link.port_device(n)});
  }

  // Adapters are offered whether or not they open now: one this user may not open is still
  // there to be chosen, and choosing it says why it did not open.
  std::vector<std::string> adapters;
  for (const auto& adapter : services_.link.serial_adapters())
    adapters.push_back(adapter.device);
  if (adapter_configured &&
      std::find(adapters.begin(), adapters.end(), values.com_device) == adapters.end())
    adapters.insert(adapters.begin(), values.com_device);
  const int kept = adapter_configured && values.com_port >= kListedPorts ? values.com_port : -1;
  int next = kListedPorts;
  for (const std::string& device : adapters) {
    const bool configured = adapter_configured && device == values.com_device;
    int port = configured && kept >= 0 ? kept : -1;
    if (port < 0) {
      while (next == kept)
        ++next;
      if (next >= kLastPort) break;
      port = next++;
    }
    if (configured) current_ = static_cast<int>(ports_.size());
    ports_.push_back({port, strprintf(kPortEntry, port + 1), device, true});
  }
  if (values.com_port == -1) current_ = static_cast<int>(ports_.size());
  ports_.push_back({-1, kPortNone, {}});

  normalise_unit0();
  if (values.id < 0) select_unit(services_.settings.values, services_.ui, 0);
}

int SetupPanel::choose_port(int entry) {
  current_ = entry >= 0 && entry < static_cast<int>(ports_.size()) ? entry : -1;
  return apply_port();
}

int SetupPanel::apply_port() {
  auto& values = services_.settings.values;
  if (current_ >= 0) {
    const PortEntry& entry = ports_[static_cast<std::size_t>(current_)];
    const std::string device = entry.adapter ? entry.device : std::string();
    if (entry.port != values.com_port || device != values.com_device) {
      services_.link.com_release();
      values.com_port = entry.port;
      values.com_device = device;
      services_.link.com_open_configured();  // a port that fails to open leaves ComPort at -1
    }
  } else {
    services_.link.com_release();
  }
  services_.link.show_link_status();
  return values.com_port;
}

bool SetupPanel::remote() const {
  return services_.settings.values.ip;
}

bool SetupPanel::set_remote(bool remote) {
  auto& values = services_.settings.values;
  if (remote && !values.ip) {
    values.ip = true;
    services_.link.tcp_connect();  // a failure drops the link again and clears IP
  } else if (!remote && values.ip) {
    values.ip = false;
    services_.link.show_link_status();
    services_.link.tcp_disconnect();
  }
  return values.ip;
}

std::array<UnitRow, 4> SetupPanel::unit_rows() const {
  std::array<UnitRow, 4> rows{};
  for (std::size_t u = 0; u < rows.size(); ++u) {
    const int channels = services_.settings.values.units[u];
    rows[u].installed = u == 0 || channels != 0;
    rows[u].radios_enabled = rows[u].installed;
    rows[u].checked = standard_channels(channels) ? channels : 0;
  }
  return rows;
}

void SetupPanel::set_channels(int unit, int channels) {
  if (!valid_unit(unit) || !standard_channels(channels)) return;
  services_.settings.values.units[unit] = static_cast<std::uint8_t>(channels);
}

void SetupPanel::install_unit(int unit, bool installed) {
  if (unit < 1 || unit > 3) return;
  services_.settings.values.units[unit] = installed ? 16 : 0;
}

int SetupPanel::primary() const {
  return services_.settings.values.id;
}

void SetupPanel::select_primary(int unit) {
  if (valid_unit(unit)) select_unit(services_.settings.values, services_.ui, unit);
}

void SetupPanel::set_field_rate(int rate) {
  if (rate == 50 || rate == 60) services_.settings.values.field_rate = rate;
}

int SetupPanel::field_rate() const {
  return services_.settings.values.field_rate == 60 ? 60 : 50;
}

bool SetupPanel::link_ready() {
  // The remote link needs no port; without it, port application must leave one.
  if (!services_.settings.values.ip && apply_port() == -1) {
    services_.ui.message_box(kComPortErrorTitle, kComPortErrorText, BoxButtons::Ok,
                             BoxIcon::Warning);
    return false;
  }
  return true;
}

bool SetupPanel::set_unit_id() {
  if (!link_ready()) return false;
  const int id = services_.settings.values.id < 0 ? 0 : services_.settings.values.id;
  if (services_.ui.message_box(kSetIdTitle, strprintf(kSetIdQuestion, id),
                               BoxButtons::YesNoDefaultNo, BoxIcon::Warning) != BoxAnswer::Yes)
    return false;
  const std::uint8_t data[] = {static_cast<std::uint8_t>(id)};
  return services_.link.unit_send(kDeviceUnit, kAddressAll, kFnSetId, data);
}

void SetupPanel::begin_auto() {
  if (services_.idle.job() == kJobNone) services_.idle.set_job(kJobAutoInstall);
}

std::optional<UnitFrame> SetupPanel::poll_unit(Link& link, int job) {
  const int unit = job - kJobAutoInstall;
  if (!valid_unit(unit)) return std::nullopt;
  services_.ui.show_status(strprintf(kPollingUnit, unit));
  return link.unit_get(kDeviceUnit, static_cast<std::uint8_t>(unit), kFnOutputConfig, {});
}

void SetupPanel::take_unit_reply(int job, const std::optional<UnitFrame>& reply) {
  const int unit = job - kJobAutoInstall;
  if (!valid_unit(unit)) return;
  if (unit == 0) answered_ = {};
  auto& values = services_.settings.values;
  const auto u = static_cast<std::size_t>(unit);
  if (!reply) {
    values.units[u] = 0;
  } else {
    answered_[u] = true;
    if (reply->count == kOutputConfigCount) values.units[u] = reply->data()[kMonitorsByte];
  }

  if (unit < 3) {
    services_.idle.set_job(job + 1);
    return;
  }
  services_.idle.set_job(kJobNone);
  services_.ui.clear_status();
  normalise_unit0();
  if (units_changed_) units_changed_();
  if (answered_[0]) return;
  const bool others = answered_[1] || answered_[2] || answered_[3];
  services_.ui.message_box(kAutoInstallTitle, others ? kUnit0NotDetected : kNoUnitsDetected,
                           BoxButtons::Ok, BoxIcon::Error);
}

bool SetupPanel::save_settings() {
  if (services_.ui.message_box(kSaveTitle, kSaveQuestion, BoxButtons::YesNo, BoxIcon::Question) !=
      BoxAnswer::Yes)
    return false;
  return services_.settings.settings_save();
}

void SetupPanel::normalise_unit0() {
  auto& unit0 = services_.settings.values.units[0];
  if (unit0 != 9 && unit0 != 25) unit0 = 16;
}

// --- IP Configuration -------------------------------------------------------------------

std::optional<std::uint32_t> parse_dotted_quad(const std::string& text) {
  std::uint8_t parts[4] = {};
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    parts[i] = static_cast<std::uint8_t>(value);
  }
  if (at != text.size()) return std::nullopt;
  // Network byte order: the first part is the first byte in memory.
  std::uint32_t address = 0;
  std::memcpy(&address, parts, sizeof address);
  return address;
}

std::optional<std::uint16_t> parse_tcp_port(const std::string& text) {
  if (text.empty() || text.size() > kMaxPortDigits) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

IpConfiguration::IpConfiguration(PanelServices services)
    : services_(services),
      opened_address_(services.settings.values.address),
      opened_port_(services.settings.values.tcp_port) {}

IpFields IpConfiguration::fields() const {
  const auto& values = services_.settings.values;
  std::uint8_t parts[4] = {};
  std::memcpy(parts, &values.address, sizeof parts);
  return {strprintf("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]),
          std::to_string(values.tcp_port), values.key};
}

bool IpConfiguration::take(const IpFields& entered) {
  auto& values = services_.settings.values;
  const auto address = parse_dotted_quad(entered.address);
  if (address) values.address = *address;  // taken even when the port is refused
  const auto port = parse_tcp_port(entered.port);
  if (!address || !port) {
    services_.ui.message_box(kTcpConfigTitle, kTcpConfigInvalid, BoxButtons::Ok, BoxIcon::Error);
    return false;
  }
  values.tcp_port = *port;
  values.key = entered.secret.substr(0, kMaxSecretLength);  // empty removes the secret
  return true;
}

bool IpConfiguration::gateway_changed() const {
  const auto& values = services_.settings.values;
  return values.ip && (values.address != opened_address_ || values.tcp_port != opened_port_);
}

void IpConfiguration::reconnect(Link& link) {
  link.tcp_disconnect();
  link.tcp_connect();
}

}  // namespace qm
