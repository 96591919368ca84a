// qmctl pak and qmctl firmware end to end: packages built and listed by the real qmctl, and
// firmware updates of the real qmsim's units over a pseudo-terminal.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/firmware_files.h"
#include "support/process.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

using Bytes = std::string;  // file contents, byte for byte

// A system file image as a file's contents.
Bytes image_file(std::size_t n, int major, int minor, std::uint16_t mask) {
  const auto image = system_image(n, major, minor, mask);
  return Bytes(image.begin(), image.end());
}

Bytes le32(std::size_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF),
          static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 24 & 0xFF)};
}

class QmctlFirmware : public Qmctl {
 protected:
  void start(std::vector<std::string> options = {}) {
    std::vector<std::string> argv{QMSIM_PATH, "serial"};
    argv.insert(argv.end(), options.begin(), options.end());
    sim_ = std::make_unique<Process>(argv);
    port_ = sim_->read_line(5000);
    ASSERT_FALSE(port_.empty());
  }
  // qmctl against the simulator, standard input never a terminal.
  Outcome at_sim(const std::string& args) {
    return qmctl("--port " + port_ + " " + args + " </dev/null");
  }
  std::string write(const std::string& name, const Bytes& bytes) {
    std::ofstream(home_ / name, std::ios::binary) << bytes;
    return (home_ / name).string();
  }
  // The firmware version unit 0 reports, from qmctl info.
  std::string running_version() {
    const Outcome info = at_sim("info");
    const std::size_t at = info.out.find("Software version\t ");
    if (at == std::string::npos) return "none: " + info.out + info.err;
    return info.out.substr(at + 18, info.out.find('\r', at) - at - 18);
  }
  Bytes system_com() {
    const std::string back = (home_ / "system.com").string();
    const Outcome get = at_sim("flash get 1:SYSTEM.COM " + back);
    EXPECT_EQ(get.exit_code, 0) << get.err;
    return slurp(back);
  }

  std::unique_ptr<Process> sim_;
  std::string port_;
};

TEST_F(QmctlFirmware, PakBuildThenList_RoundTripsByteForByte) {
  const Bytes a = image_file(200, 5, 1, 0x0004);
  const Bytes b = image_file(130, 6, 2, 0x0108);
  const std::string out = (home_ / "fw.pak").string();
  const Outcome build = qmctl("pak build " + out + " " + write("a.bin", a) + ":0x0004 " +
                              write("b.bin", b) + ":264:7.3");
  ASSERT_EQ(build.exit_code, 0) << build.err;
  const Bytes expected = Bytes("PACKAGE") + '\0' + le32(200) + Bytes("\x00\x04\x00\x05\x01", 5) +
                         a + le32(130) + Bytes("\x00\x08\x01\x07\x03", 5) + b + le32(0);
  EXPECT_EQ(slurp(out), expected);

  const Outcome list = qmctl("pak list " + out);
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_EQ(list.out,
            "0\ttype 0\tFPGA 3 (mask 0x0004)\tversion 5.1\t200 bytes\n"
            "1\ttype 0\tFPGA 4,9 (mask 0x0108)\tversion 7.3\t130 bytes\n");
}

TEST_F(QmctlFirmware, PakErrors_AreNamed) {
  const std::string img = write("a.bin", image_file(200, 5, 1, 4));
  const std::string out = (home_ / "x.pak").string();
  for (const std::string& bad :
       {"build " + out, "build " + out + " " + img, "build " + out + " " + img + ":70000",
        "build " + out + " " + img + ":4:1.x", std::string("list"), std::string("frob")})
    EXPECT_EQ(qmctl("pak " + bad).exit_code, 2) << bad;
  EXPECT_EQ(qmctl("pak build " + out + " " + (home_ / "none.bin").string() + ":4").exit_code, 3);
  EXPECT_EQ(qmctl("pak build " + out + " " + write("empty.bin", "") + ":4").exit_code, 3);
  EXPECT_EQ(qmctl("pak build " + out + " " + write("big.bin", Bytes(65024, 'x')) + ":4").exit_code,
            3);
  EXPECT_FALSE(fs::exists(out));

  Bytes cut =
      Bytes("PACKAGE") + '\0' + le32(200) + Bytes("\x00\x04\x00\x05\x01", 5) + Bytes(50, 'x');
  const Outcome damaged = qmctl("pak list " + write("cut.pak", cut));
  EXPECT_EQ(damaged.exit_code, 1);
  EXPECT_EQ(damaged.out, "0\ttype 0\tFPGA 3 (mask 0x0004)\tversion 5.1\t200 bytes\n");
  EXPECT_NE(damaged.err.find("Error: Reading file "), std::string::npos) << damaged.err;
}

TEST_F(QmctlFirmware, FirmwareYes_UpdatesTheUnitAndResetsIt) {
  start();
  ASSERT_EQ(running_version(), "4.2");
  const Bytes image = image_file(5000, 5, 1, 0x0004);
  const std::string pak = (home_ / "fw.pak").string();
  ASSERT_EQ(qmctl("pak build " + pak + " " + write("old.bin", image_file(300, 1, 0, 2)) +
                  ":0x0002 " + write("new.bin", image) + ":0x0004")
                .exit_code,
            0);
  const Outcome update = at_sim("firmware " + pak + " --yes");
  ASSERT_EQ(update.exit_code, 0) << update.err;
  EXPECT_EQ(update.err,
            "Update unit 0 with firmware version: 5.1\n(Processor FPGA version is: 3.1)\n"
            "Yes (--yes)\n"
            " Download sucessful\n"
            "Update successful, reset processor 0?\n"
            "Yes (--yes)\n");
  EXPECT_EQ(running_version(), "5.1");
  EXPECT_EQ(system_com(), image);
}

TEST_F(QmctlFirmware, NoReset_OrNoTerminal_LeavesTheOldFirmwareRunning) {
  start();
  const Bytes image = image_file(400, 6, 0, 0x0004);
  const std::string bin = write("s.bin", image);
  const Outcome refused = at_sim("firmware " + bin);
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_EQ(refused.err, "Update 1:SYSTEM.COM with " + bin +
                             "\r\n(Updated firmware: 6.0,  FPGA version: 3.1)\n"
                             "Not confirmed: standard input is not a terminal; give --yes to "
                             "answer Yes\n");
  EXPECT_NE(system_com(), image);

  const Outcome no_reset = at_sim("firmware " + bin + " --yes --no-reset");
  ASSERT_EQ(no_reset.exit_code, 0) << no_reset.err;
  EXPECT_EQ(no_reset.err.find("reset processor"), std::string::npos) << no_reset.err;
  EXPECT_EQ(system_com(), image);
  EXPECT_EQ(running_version(), "4.2");
  EXPECT_EQ(at_sim("reset").exit_code, 0);
  EXPECT_EQ(running_version(), "6.0");
}

TEST_F(QmctlFirmware, FpgaOfTheUnit_ChoosesOrRefuses) {
  start({"--fpga", "0:2.1", "--no-hw-version", "1"});
  const std::string pak = (home_ / "fw.pak").string();
  ASSERT_EQ(qmctl("pak build " + pak + " " + write("a.bin", image_file(300, 5, 1, 4)) + ":0x0004")
                .exit_code,
            0);
  const Outcome none = at_sim("firmware " + pak + " --yes");
  EXPECT_EQ(none.exit_code, 7);
  EXPECT_EQ(none.err, "Error: Can't find compatible file in package " + pak + "\n");

  // Unit 1 gives no FPGA version: without --fpga nothing can be chosen off a terminal.
  const Outcome unchosen = at_sim("--unit 1 firmware " + pak + " --yes");
  EXPECT_EQ(unchosen.exit_code, 8);
  EXPECT_NE(unchosen.err.find(" Update cancelled. \n"), std::string::npos) << unchosen.err;
  const Outcome chosen = at_sim("--unit 1 firmware " + pak + " --yes --fpga 3 --no-reset");
  EXPECT_EQ(chosen.exit_code, 0) << chosen.err;
  EXPECT_NE(chosen.err.find("(Processor FPGA version is: 3.0)"), std::string::npos) << chosen.err;

  EXPECT_EQ(at_sim("firmware " + pak + " --fpga 10").exit_code, 2);
  EXPECT_EQ(at_sim("--unit all firmware " + pak).exit_code, 2);
  EXPECT_EQ(at_sim("firmware " + (home_ / "none.bin").string() + " --yes").exit_code, 3);
}

}  // namespace
}  // namespace qm::test
