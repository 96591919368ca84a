// A whole App beside a simulated wall, for tests that drive panels, the runner or dialogs:
// the App's settings in a temporary folder, a recording operator interface, and the wall
// reachable over a real pseudo-terminal (connect_serial) or a real loopback gateway
// (start_gateway / connect_tcp).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/unit_frame.h"
#include "panels/setup.h"
#include "platform/socket.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/far_side.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm::test {

class WallRig : public ::testing::Test {
 protected:
  // A wall of units with these channel counts, otherwise as a unit leaves the factory.
  explicit WallRig(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0})
      : WallRig(wall_of(channels)) {}
  explicit WallRig(const sim::WallConfig& config)
      : folder_("rig"), app_(ui_, Settings(folder_ / "Quadrimon", folder_)), wall_(config) {
    // The machine's own serial ports and adapters never take part: every listed port names a
    // device that does not exist until a test connects one, and no adapter is plugged in.
    for (int n = 1; n <= kListedPorts; ++n)
      app_.link.set_port_device(n, (folder_ / ("noport" + std::to_string(n))).string());
    app_.link.set_device_folder(folder_ / "dev");
  }
  ~WallRig() override {
    app_.log.log_enable(false);
    app_.link.com_release();
    app_.link.tcp_disconnect();
  }

  static sim::WallConfig wall_of(std::array<std::uint8_t, 4> channels) {
    sim::WallConfig c;
    c.channels = channels;
    return c;
  }

  // A file of unit 0's flash as the unit holds it, and one put there directly.
  std::optional<Bytes> stored(int sector, const std::string& name) {
    std::optional<Bytes> out;
    wall_.with_unit(0, [&](sim::SimUnit& u) {
      if (const auto* f = u.flash().file(sector, name)) out = *f;
    });
    return out;
  }
  void store(int sector, const std::string& name, const Bytes& data) {
    wall_.with_unit(0,
                    [&](sim::SimUnit& u) { ASSERT_TRUE(u.flash().put_file(sector, name, data)); });
  }
  // The wall on a pseudo-terminal configured as COM1 and opened.
  void connect_serial() {
    serial_ = std::make_unique<sim::SerialBus>(wall_, false);
    ASSERT_TRUE(serial_->start());
    app_.link.set_port_device(1, serial_->device());
    app_.settings.values.com_port = 0;
    ASSERT_EQ(app_.link.com_open_configured(), 1);
  }
  // The wall behind a gateway on 127.0.0.1, remote access enabled, not yet connected.
  void start_gateway() {
    gateway_ = std::make_unique<sim::Gateway>(wall_, sim::GatewayOptions{});
    ASSERT_TRUE(gateway_->start());
    auto& v = app_.settings.values;
    v.enable_ip = true;
    v.address = *platform::parse_ipv4("127.0.0.1");
    v.tcp_port = gateway_->port();
  }
  // The same, connected.
  void connect_tcp() {
    start_gateway();
    ASSERT_EQ(app_.link.tcp_connect(), 1);
  }

  // The messages other than polls that the wall received, as hex lines ("07 01 28 05"),
  // once at least `at_least` have come or after 2 s.
  std::vector<std::string> sent_to_units(std::size_t at_least = 0) const {
    return received(at_least, false);
  }
  // The same for the polls.
  std::vector<std::string> polls_sent(std::size_t at_least = 0) const {
    return received(at_least, true);
  }

  TempFolder folder_;
  RecordingUi ui_;
  App app_;
  sim::SimWall wall_;
  std::unique_ptr<sim::Gateway> gateway_;
  std::unique_ptr<sim::SerialBus> serial_;

 private:
  std::vector<std::string> received(std::size_t at_least, bool polls) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
      const auto transcript = wall_.transcript();
      std::vector<std::string> out;
      for (const auto& e : transcript)
        if (e.direction == sim::Direction::ToUnits && ((e.message[0] & kTypePoll) != 0) == polls)
          out.push_back(to_hex(e.message));
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (out.size() >= at_least || left.count() <= 0) return out;
      // Wakes at the wall's next message, not on a timer.
      wall_.wait_transcript(transcript.size() + 1, static_cast<int>(left.count()));
    }
  }
};

}  // namespace qm::test
