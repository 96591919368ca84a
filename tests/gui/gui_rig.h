// A whole program for GUI tests: an App with its settings in a temporary folder and a
// recording operator interface, beside a simulated wall reached over a real loopback gateway
// or a real pseudo-terminal. Dialogs under test are built on this App directly.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QString>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "platform/socket.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/recording_ui.h"

namespace qm::test {

class GuiRig : public ::testing::Test {
 protected:
  explicit GuiRig(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0})
      : folder_(std::filesystem::temp_directory_path() /
                ("qm_gui_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        app_(ui_, Settings(folder_ / "Quadrimon", folder_)),
        wall_([&] {
          sim::WallConfig c;
          c.channels = channels;
          return c;
        }()) {
    std::filesystem::create_directories(folder_);
  }
  ~GuiRig() override {
    app_.log.log_enable(false);
    app_.link.com_release();
    app_.link.tcp_disconnect();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // The wall behind a gateway on 127.0.0.1, remote access enabled and connected.
  void connect_tcp() {
    gateway_ = std::make_unique<sim::Gateway>(wall_, sim::GatewayOptions{});
    ASSERT_TRUE(gateway_->start());
    auto& v = app_.settings.values;
    v.enable_ip = true;
    v.address = *platform::parse_ipv4("127.0.0.1");
    v.tcp_port = gateway_->port();
    ASSERT_EQ(app_.link.tcp_connect(), 1);
  }
  // The wall on a pseudo-terminal opened as COM1.
  void connect_serial() {
    serial_ = std::make_unique<sim::SerialBus>(wall_, false);
    ASSERT_TRUE(serial_->start());
    app_.link.set_port_device(1, serial_->device());
    app_.settings.values.com_port = 0;
    ASSERT_EQ(app_.link.com_open_configured(), 1);
  }

  // The child of `parent` with the object name, or null.
  template <typename T>
  static T* child(QWidget* parent, const QString& name) {
    return parent->findChild<T*>(name);
  }

  // The unit messages the program sent to the wall, as hex lines.
  std::vector<std::string> sent_to_units() const {
    std::vector<std::string> out;
    for (const auto& e : wall_.transcript())
      if (e.direction == sim::Direction::ToUnits && !(e.message[0] & 0x40)) {
        std::string line;
        char two[4];
        for (std::uint8_t b : e.message) {
          std::snprintf(two, sizeof two, "%02X", b);
          line += (line.empty() ? "" : " ") + std::string(two);
        }
        out.push_back(line);
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
