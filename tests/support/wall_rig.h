// A whole App beside a simulated wall, for tests that drive panels, the runner or dialogs:
// the App's settings in a temporary folder, a recording operator interface, and the wall
// reachable over a real pseudo-terminal (connect_serial) or a real loopback gateway
// (start_gateway / connect_tcp).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/unit_frame.h"
#include "platform/socket.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/recording_ui.h"

namespace qm::test {

class WallRig : public ::testing::Test {
 protected:
  explicit WallRig(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0})
      : folder_(std::filesystem::temp_directory_path() /
                ("qm_rig_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        app_(ui_, Settings(folder_ / "Quadrimon", folder_)),
        wall_([&] {
          sim::WallConfig c;
          c.channels = channels;
          return c;
        }()) {
    std::filesystem::create_directories(folder_);
  }
  ~WallRig() override {
    app_.log.log_enable(false);
    app_.link.com_release();
    app_.link.tcp_disconnect();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
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

  // The non-poll messages the wall received, as hex lines; waits up to 2 s for `at_least`.
  std::vector<std::string> sent_to_units(std::size_t at_least = 0) const {
    std::vector<std::string> out;
    for (int tries = 0; tries < 200; ++tries) {
      out.clear();
      for (const auto& e : wall_.transcript()) {
        if (e.direction != sim::Direction::ToUnits || (e.message[0] & kTypePoll)) continue;
        std::string line;
        char two[4];
        for (std::uint8_t b : e.message) {
          std::snprintf(two, sizeof two, "%02X", b);
          if (!line.empty()) line += ' ';
          line += two;
        }
        out.push_back(line);
      }
      if (out.size() >= at_least) break;
      wall_.wait_transcript(wall_.transcript().size() + 1, 10);
    }
    return out;
  }

  std::filesystem::path folder_;
  RecordingUi ui_;
  App app_;
  sim::SimWall wall_;
  std::unique_ptr<sim::Gateway> gateway_;
  std::unique_ptr<sim::SerialBus> serial_;
};

}  // namespace qm::test
