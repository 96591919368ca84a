#include "panels/setup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim_io.h"
#include "platform/socket.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

// An App with settings in a temporary folder beside a simulated wall (whose ports name
// devices that do not exist, so the machine's own serial ports never take part).
class SetupTest : public test::WallRig {
 protected:
  explicit SetupTest(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0})
      : WallRig(channels), panel_(app_.panel_services()) {
    app_.idle.set_step(kJobAutoInstall, kJobAutoInstall + 3,
                       [this](int job) { panel_.auto_step(job); });
  }

  bool called(const std::string& call) const {
    const auto calls = ui_.calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  void run_scan() {
    for (int i = 0; i < 4; ++i)
      app_.idle.idle(IdleSource::Dialog);
  }

  SetupPanel panel_;
};

TEST_F(SetupTest, PortList_OffersTheConfiguredPortAndThoseThatOpen) {
  auto pty = platform::PseudoTerminal::open();
  ASSERT_TRUE(pty);
  app_.link.set_port_device(3, pty->slave_path());
  app_.settings.values.com_port = 4;  // COM5: listed although its device does not exist

  panel_.open();
  const auto& ports = panel_.ports();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].text, "COM3:");
  EXPECT_EQ(ports[0].port, 2);
  EXPECT_EQ(ports[0].device, pty->slave_path());
  EXPECT_EQ(ports[1].text, "COM5:");
  EXPECT_EQ(ports[2].text, "None");
  EXPECT_EQ(ports[2].port, -1);
  EXPECT_EQ(panel_.current_entry(), 1);
  EXPECT_FALSE(app_.link.serial_open());  // the probe closed COM3 again

  app_.settings.values.com_port = -1;
  panel_.open();
  ASSERT_EQ(panel_.ports().size(), 2u);
  EXPECT_EQ(panel_.current_entry(), 1);  // "None"
}

TEST_F(SetupTest, PortList_OffersUsbAdaptersUnderStableNamesAndNumbers) {
  namespace fs = std::filesystem;
  auto usb = platform::PseudoTerminal::open();
  auto acm = platform::PseudoTerminal::open();
  ASSERT_TRUE(usb && acm);
  const fs::path dev = folder_ / "dev";
  const fs::path by_id = dev / "serial" / "by-id";
  const fs::path stable = by_id / "usb-Maker_Adapter_A1-if00-port0";
  fs::create_directories(by_id);
  fs::create_symlink(usb->slave_path(), dev / "ttyUSB0");
  fs::create_symlink("../../ttyUSB0", stable);
  fs::create_symlink(acm->slave_path(), dev / "ttyACM0");
  std::ofstream(dev / "ttyUSB10").put('\0');  // no by-id name: listed under its own
  std::ofstream(dev / "ttyS0").put('\0');     // a built-in port is a COM port, not an adapter

  panel_.open();
  auto texts = [&] {
    std::vector<std::string> t;
    for (const PortEntry& e : panel_.ports())
      t.push_back(e.text + " " + e.device);
    return t;
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"COM9: " + (dev / "ttyACM0").string(),
                                               "COM10: " + stable.string(),
                                               "COM11: " + (dev / "ttyUSB10").string(), "None "}));

  // Chosen: the settings keep the stable name, and the port opens through it.
  EXPECT_EQ(panel_.choose_port(1), 9);
  EXPECT_EQ(app_.settings.values.com_device, stable.string());
  EXPECT_TRUE(app_.link.serial_open());
  EXPECT_TRUE(called("link: COM10:"));
  EXPECT_NE(app_.settings.settings_text().find("ComPort = COM10:\nComDevice = \"" +
                                               stable.string() + "\"\n"),
            std::string::npos);

  // Plugged in again as ttyUSB1 with another adapter taking ttyUSB0: it keeps COM10:.
  app_.link.com_release();
  app_.settings.values.com_port = 9;
  app_.settings.values.com_device = stable.string();
  fs::rename(dev / "ttyUSB0", dev / "ttyUSB1");
  fs::remove(stable);
  fs::create_symlink("../../ttyUSB1", stable);
  std::ofstream(dev / "ttyUSB0").put('\0');
  EXPECT_EQ(app_.link.com_open_configured(), 1);  // as at start-up: through the stable name
  panel_.open();
  EXPECT_EQ(texts(),
            (std::vector<std::string>{
                "COM9: " + (dev / "ttyACM0").string(), "COM11: " + (dev / "ttyUSB0").string(),
                "COM10: " + stable.string(), "COM12: " + (dev / "ttyUSB10").string(), "None "}));
  EXPECT_EQ(panel_.current_entry(), 2);

  // Unplugged, the configured adapter is still offered; choosing COM1 forgets its device.
  fs::remove(stable);
  fs::remove(dev / "ttyUSB1");
  panel_.open();
  ASSERT_EQ(panel_.ports()[static_cast<std::size_t>(panel_.current_entry())].device,
            stable.string());
  app_.link.set_port_device(1, acm->slave_path());
  panel_.open();
  EXPECT_EQ(panel_.choose_port(0), 0);
  EXPECT_EQ(app_.settings.values.com_device, "");
  EXPECT_EQ(app_.settings.settings_text().find("ComDevice"), std::string::npos);
}

TEST_F(SetupTest, PortApplication_OpensChosenPortAndNoneReleasesIt) {
  connect_serial();
  panel_.open();
  ASSERT_EQ(panel_.current_entry(), 0);

  EXPECT_EQ(panel_.apply_port(), 0);  // unchanged: the open port stays
  EXPECT_TRUE(app_.link.serial_open());

  ui_.clear();
  EXPECT_EQ(panel_.choose_port(1), -1);  // "None"
  EXPECT_FALSE(app_.link.serial_open());
  EXPECT_TRUE(called("link:   -"));

  EXPECT_EQ(panel_.choose_port(0), 0);
  EXPECT_TRUE(app_.link.serial_open());
  EXPECT_TRUE(called("link: COM1:"));

  EXPECT_EQ(panel_.choose_port(-1), -1);  // no entry at all releases the port
  EXPECT_FALSE(app_.link.serial_open());
}

TEST_F(SetupTest, Units_OpeningAppliesTheUnit0RuleAndSelectsAUnit) {
  auto& v = app_.settings.values;
  v.units[0] = 7;
  v.units[1] = 12;
  v.units[2] = 0;
  v.units[3] = 25;
  v.id = -1;
  panel_.open();

  EXPECT_EQ(v.units[0], 16);
  EXPECT_EQ(v.id, 0);
  EXPECT_TRUE(called("unit: ID0"));
  const auto rows = panel_.unit_rows();
  EXPECT_TRUE(rows[0].installed);
  EXPECT_EQ(rows[0].checked, 16);
  EXPECT_TRUE(rows[1].installed);  // an odd count: installed, no radio checked
  EXPECT_TRUE(rows[1].radios_enabled);
  EXPECT_EQ(rows[1].checked, 0);
  EXPECT_FALSE(rows[2].installed);
  EXPECT_FALSE(rows[2].radios_enabled);
  EXPECT_EQ(rows[3].checked, 25);

  v.units[0] = 9;
  panel_.open();
  EXPECT_EQ(v.units[0], 9);
}

TEST_F(SetupTest, SetUnitId_WithoutLinkWarnsAndAsksNothing) {
  panel_.open();
  EXPECT_FALSE(panel_.set_unit_id());
  EXPECT_EQ(ui_.calls().back(), "box: COM Port Error|A COM Port needs to be selected");
  EXPECT_FALSE(panel_.start_auto());
  EXPECT_EQ(app_.idle.job(), kJobNone);
}

TEST_F(SetupTest, SetUnitId_BroadcastsTheSelectedIdAfterYes) {
  connect_serial();
  panel_.open();
  panel_.select_primary(2);

  ui_.answer({BoxAnswer::No});
  EXPECT_FALSE(panel_.set_unit_id());
  EXPECT_TRUE(
      called("box: Set ID|You are about to set the ID of all connected units\nto 2, are "
             "you sure you want to do this?"));

  ui_.answer({BoxAnswer::Yes});
  EXPECT_TRUE(panel_.set_unit_id());
  EXPECT_EQ(sent_to_units(1), std::vector<std::string>{"87 FF 06 02"});
}

TEST_F(SetupTest, SetUnitId_RemoteLinkNeedsNoPort) {
  start_gateway();
  ASSERT_EQ(app_.link.tcp_connect(), 1);
  panel_.open();
  panel_.select_primary(3);
  ui_.answer({BoxAnswer::Yes});
  EXPECT_TRUE(panel_.set_unit_id());
  // The gateway takes a broadcast as address 0 with the broadcast bit.
  EXPECT_EQ(sent_to_units(1), std::vector<std::string>{"87 00 06 03"});
}

TEST_F(SetupTest, Auto_AllUnitsAnswerTakesTheirMonitorCounts) {
  connect_serial();
  auto& v = app_.settings.values;
  v.units[2] = 25;
  panel_.open();
  int changed = 0;
  panel_.on_units_changed([&] { ++changed; });

  ASSERT_TRUE(panel_.start_auto());
  EXPECT_EQ(app_.idle.job(), kJobAutoInstall);
  app_.idle.idle(IdleSource::Dialog);
  EXPECT_TRUE(panel_.start_auto());  // a running scan is not restarted
  EXPECT_EQ(app_.idle.job(), kJobAutoInstall + 1);
  for (int i = 0; i < 3; ++i)
    app_.idle.idle(IdleSource::Dialog);

  EXPECT_EQ(app_.idle.job(), kJobNone);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(v.units[0], 16);
  EXPECT_EQ(v.units[1], 16);
  EXPECT_EQ(v.units[2], 0);
  EXPECT_EQ(ui_.statuses(), (std::vector<std::string>{" Polling unit 0", " Polling unit 1",
                                                      " Polling unit 2", " Polling unit 3"}));
  EXPECT_EQ(ui_.calls().back(), "clear");  // unit 0 answered: nothing to report
}

class SetupOnlyUnit2Test : public SetupTest {
 protected:
  SetupOnlyUnit2Test() : SetupTest({0, 0, 25, 0}) {}
};

TEST_F(SetupOnlyUnit2Test, Auto_ReportsThatUnit0WasNotDetected) {
  connect_serial();
  auto& v = app_.settings.values;
  v.units[0] = 9;
  v.units[1] = 16;
  v.units[3] = 9;
  panel_.open();
  ASSERT_TRUE(panel_.start_auto());
  run_scan();

  EXPECT_EQ(v.units[0], 16);  // no reply gives 0, shown as 16
  EXPECT_EQ(v.units[1], 0);
  EXPECT_EQ(v.units[2], 25);
  EXPECT_EQ(v.units[3], 0);
  EXPECT_EQ(ui_.calls().back(),
            "box: Auto install|UNIT 0 has not been detected.\nEither connect unit 0, or "
            "assign\naddress 0 to one of the units.");
}

TEST_F(SetupOnlyUnit2Test, Auto_NoUnitAnswering) {
  connect_serial();
  sim::Faults f;
  f.silent = {true, true, true, true};
  wall_.set_faults(f);
  panel_.open();
  ASSERT_TRUE(panel_.start_auto());
  run_scan();
  EXPECT_EQ(app_.settings.values.units[2], 0);
  EXPECT_EQ(ui_.calls().back(), "box: Auto install|No units detected.");
}

TEST_F(SetupTest, Link_RemoteConnectsAndLocalDisconnects) {
  start_gateway();
  panel_.open();
  EXPECT_TRUE(panel_.set_remote(true));
  EXPECT_TRUE(app_.link.tcp_open());
  EXPECT_TRUE(called("link: TCP/IP"));

  ui_.clear();
  EXPECT_FALSE(panel_.set_remote(false));
  EXPECT_FALSE(app_.link.tcp_open());
  EXPECT_FALSE(app_.settings.values.ip);
  EXPECT_TRUE(called("dropped"));
  EXPECT_EQ(ui_.calls().back(), "link:   -");
}

TEST_F(SetupTest, Save_WritesTheFileOnlyOnYes) {
  const auto path = *app_.settings.settings_path();
  EXPECT_FALSE(panel_.save_settings());
  EXPECT_EQ(ui_.calls().back(), "box: Save|Save settings?");
  EXPECT_FALSE(std::filesystem::exists(path));
  ui_.answer({BoxAnswer::Yes});
  EXPECT_TRUE(panel_.save_settings());
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(SetupParse, DottedQuadAndTcpPort) {
  EXPECT_EQ(parse_dotted_quad("127.0.0.1"), platform::parse_ipv4("127.0.0.1"));
  EXPECT_EQ(parse_dotted_quad("010.0.0.1"), platform::parse_ipv4("10.0.0.1"));  // decimal
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d"})
    EXPECT_FALSE(parse_dotted_quad(bad)) << bad;

  EXPECT_EQ(parse_tcp_port("5000"), 5000);
  EXPECT_EQ(parse_tcp_port("65535"), 65535);
  for (const char* bad : {"", "0", "00000", "65536", "70000", "123456", "12a"})
    EXPECT_FALSE(parse_tcp_port(bad)) << bad;
}

TEST_F(SetupTest, IpConfiguration_RefusesPortsOutOfRange) {
  auto& v = app_.settings.values;
  v.tcp_port = 4000;
  v.key = "old";
  IpConfiguration config(app_.panel_services());
  EXPECT_EQ(config.fields().port, "4000");
  EXPECT_EQ(config.fields().address, "0.0.0.0");
  EXPECT_EQ(config.fields().secret, "old");

  for (const char* port : {"0", "70000"}) {
    ui_.clear();
    EXPECT_FALSE(config.accept({"10.1.2.3", port, ""})) << port;
    EXPECT_EQ(ui_.calls(),
              std::vector<std::string>{"box:TCP configuration|Invalid TCP connection parameters"});
    EXPECT_EQ(v.tcp_port, 4000);
    EXPECT_EQ(v.key, "old");
  }
  EXPECT_EQ(v.address, *platform::parse_ipv4("10.1.2.3"));  // taken before the port is read

  EXPECT_TRUE(config.accept({"10.1.2.3", "5000", ""}));
  EXPECT_EQ(v.tcp_port, 5000);
  EXPECT_EQ(v.key, "");  // an empty secret removes it
  EXPECT_TRUE(config.accept({"10.1.2.3", "5000", std::string(40, 'k')}));
  EXPECT_EQ(v.key, std::string(31, 'k'));
}

TEST_F(SetupTest, IpConfiguration_ReconnectsOnlyWhenTheGatewayChanged) {
  start_gateway();
  ASSERT_EQ(app_.link.tcp_connect(), 1);
  {
    ui_.clear();
    IpConfiguration config(app_.panel_services());
    EXPECT_TRUE(config.accept({"127.0.0.1", config.fields().port, "secret"}));
    EXPECT_FALSE(called("dropped"));
  }
  app_.settings.values.key.clear();

  sim::Gateway other(wall_, sim::GatewayOptions{});
  ASSERT_TRUE(other.start());
  ui_.clear();
  IpConfiguration config(app_.panel_services());
  EXPECT_TRUE(config.accept({"127.0.0.1", std::to_string(other.port()), ""}));
  EXPECT_TRUE(called("dropped"));
  EXPECT_TRUE(called("status:Connecting to 127.0.0.1:" + std::to_string(other.port())));
  EXPECT_TRUE(app_.link.tcp_open());
  EXPECT_TRUE(app_.settings.values.ip);
}

}  // namespace
}  // namespace qm
