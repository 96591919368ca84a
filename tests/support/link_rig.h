// A whole link as the program builds it (settings values, traffic log in a temporary folder,
// clock, recording UI) for tests to drive directly.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "link/link.h"
#include "platform/socket.h"
#include "support/far_side.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm::test {

class LinkRig : public ::testing::Test {
 protected:
  LinkRig() : folder_("link"), log_(folder_.path()), link_(settings_, log_, ui_, clock_) {}
  ~LinkRig() override { log_.log_enable(false); }

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

  TempFolder folder_;
  SettingsValues settings_;
  TrafficLog log_;
  RecordingUi ui_;
  TickClock clock_;
  Link link_;
};

}  // namespace qm::test
