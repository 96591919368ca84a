// A whole link as the program builds it (settings values, traffic log in a temporary folder,
// clock, recording UI) for tests to drive directly.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/link.h"
#include "platform/socket.h"
#include "support/far_side.h"
#include "support/recording_ui.h"

namespace qm::test {

class LinkRig : public ::testing::Test {
 protected:
  LinkRig()
      : folder_(std::filesystem::temp_directory_path() /
                ("qm_link_" + std::to_string(::getpid()) + "_" + current_test_name())),
        log_(folder_),
        link_(settings_, log_, ui_, clock_) {}
  ~LinkRig() override {
    log_.log_enable(false);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Opens port COM1 on the pseudo-terminal's slave.
  void open_serial(PtyPair& pty) {
    link_.set_port_device(1, pty.slave_path());
    settings_.com_port = 0;
    ASSERT_EQ(link_.com_open_configured(), 1);
  }

  // Points the remote link at a gateway on this machine.
  void aim_at(const ScriptedGateway& gateway, std::string key = "") {
    settings_.address = *platform::parse_ipv4("127.0.0.1");
    settings_.tcp_port = gateway.port();
    settings_.key = std::move(key);
  }

  std::string log_text() const {
    std::ifstream in(folder_ / kLogFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  static std::string current_test_name() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "_" + info->name() : "none";
  }

  std::filesystem::path folder_;
  SettingsValues settings_;
  TrafficLog log_;
  RecordingUi ui_;
  TickClock clock_;
  Link link_;
};

}  // namespace qm::test
