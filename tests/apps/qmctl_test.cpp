// qmctl end to end: the real executable against a scripted unit on a pseudo-terminal and a
// scripted gateway on a loopback socket, with a private home folder for its settings.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/link.h"
#include "support/far_side.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

const char* const kEncoderReport =
    "Encoder configuration\n\n"
    " Number of monitors: 16\n"
    "        Output mode: S-Video\n"
    "          Interlace: On\n"
    "Current split (x,y): 0,0\n"
    "      Colour System: NTSC\n"
    "       Filter state: Vertical\n"
    "           VCR mode: Off\n\n";

// A gateway that lets one client in and then resets the connection at once: it takes the
// authentication frame, answers it with the verdict "accepted" and closes with a reset.
class ResettingGateway {
 public:
  ResettingGateway() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "no listening socket";
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::uint8_t frame[23];
        std::size_t got = 0;
        while (got < sizeof frame) {
          const ssize_t n = ::read(client, frame + got, sizeof frame - got);
          if (n <= 0) break;
          got += static_cast<std::size_t>(n);
        }
        const std::uint8_t verdict[3] = {3, 0, 1};
        (void)!::write(client, verdict, sizeof verdict);
        const linger reset{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(client);
      }
    });
  }
  ~ResettingGateway() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  ResettingGateway(const ResettingGateway&) = delete;
  ResettingGateway& operator=(const ResettingGateway&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

// Every command's exit status says what happened: a message that the link could not carry,
// a damaged listing, an answer from the wrong unit are failures; a run that ends is not.
TEST_F(Qmctl, ExitStatus_SendAndResetOverADroppedLinkFail) {
  ResettingGateway gateway;
  const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(gateway.port()) + " --key K ";
  // Whether the reset reaches qmctl before its message goes out is the system's affair; a
  // reset it has seen must fail the command, and most runs see it.
  int dropped = 0;
  for (int round = 0; round < 2; ++round) {
    for (const char* command : {"send 7 0 16", "reset", "reset all"}) {
      SCOPED_TRACE(command);
      const Outcome r = qmctl(tcp + command);
      const bool seen = r.err.find("TCP send failure") != std::string::npos ||
                        r.err.find("Server disconnected") != std::string::npos;
      EXPECT_EQ(r.exit_code, seen ? 1 : 0) << r.err;
      dropped += seen ? 1 : 0;
    }
  }
  EXPECT_GT(dropped, 0);
}

TEST_F(Qmctl, ExitStatus_PollCountsOnlyTheAnswerOfThePolledUnit) {
  PtyPair pty;
  // Unit 1 answers every poll, whichever unit it was meant for.
  ScriptedUnit unit(pty, [](const UnitFrame& request) {
    return request.type() & kTypePoll ? frame_of({0x17, 1}) : Bytes{};
  });
  const Outcome other = qmctl("--port " + pty.slave_path() + " --unit 2 poll 1");
  EXPECT_EQ(other.out, "no answer from unit 2\n");
  EXPECT_EQ(other.exit_code, 1);
  const Outcome own = qmctl("--port " + pty.slave_path() + " --unit 1 poll 1");
  EXPECT_EQ(own.out, "unit 1 answered\n");
  EXPECT_EQ(own.exit_code, 0) << own.err;
}

TEST_F(Qmctl, Poll_SaysInWordsWhatHappenedAndExitsWithIt) {
  struct Case {
    Bytes answer;  // to every poll of unit 2
    std::string out;
    int exit_code;
  };
  const std::vector<Case> cases = {
      {frame_of({0x17, 2}), "unit 2 answered\n", 0},
      {frame_of({0x47, 2}), "unit 2 answered with the poll bit set\n", 2},
      {{}, "no answer from unit 2\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    PtyPair pty;
    ScriptedUnit unit(pty, [&](const UnitFrame& request) {
      return request.type() & kTypePoll && request.address() == 2 ? c.answer : Bytes{};
    });
    const Outcome r = qmctl("--port " + pty.slave_path() + " --unit 2 poll 1");
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
  }
}

TEST_F(Qmctl, ExitStatus_DamagedListingFailsAndACommentOnlyRunSucceeds) {
  const fs::path cut = home_ / "cut.sfb";
  std::ofstream(cut, std::ios::binary) << std::string("\x09\x0C\x00", 3);  // PROC without its end
  const Outcome listed = qmctl("decode '" + cut.string() + "'");
  EXPECT_NE(listed.out.find("\r\nERROR: Instruction runs past the end of the file at 00000"),
            std::string::npos)
      << listed.out;
  EXPECT_EQ(listed.exit_code, 1);

  // A file too large to list is not listed, and says so.
  const fs::path large = home_ / "large.sfb";
  std::ofstream(large, std::ios::binary) << std::string(24576, '\x0C');
  const Outcome unlisted = qmctl("decode '" + large.string() + "'");
  EXPECT_EQ(unlisted.out, "");
  EXPECT_NE(unlisted.err.find(large.string()), std::string::npos) << unlisted.err;
  EXPECT_EQ(unlisted.exit_code, 1);
  std::ofstream(large, std::ios::binary) << std::string(24575, '\x0C');
  const Outcome limit = qmctl("decode '" + large.string() + "'");
  EXPECT_EQ(limit.out.substr(0, 8), "00000:0C");
  EXPECT_EQ(limit.exit_code, 0) << limit.err;

  // A sequence source is no binary sequence: its bytes are illegal commands, and listing them
  // is a failure.
  const fs::path text = home_ / "text.seq";
  std::ofstream(text) << "REM hello\nWAIT 00:00:01\n";
  const Outcome source = qmctl("decode '" + text.string() + "'");
  EXPECT_NE(source.out.find("\r\nERROR: Illegal command byte: 82\r\n"), std::string::npos)
      << source.out;
  EXPECT_EQ(source.exit_code, 1);

  const fs::path quiet = home_ / "quiet.seq";
  std::ofstream(quiet) << "; nothing to do\n\n   ; at all\n";
  for (const char* skip : {"", "--skip-std "}) {
    SCOPED_TRACE(skip);
    const Outcome ran = qmctl(std::string(skip) + "run '" + quiet.string() + "'");
    EXPECT_EQ(ran.exit_code, 0) << ran.err;
    EXPECT_EQ(ran.out, "");
  }
}

TEST_F(Qmctl, Help_ListsTheExitCodes) {
  const Outcome help = qmctl("--help");
  EXPECT_EQ(help.exit_code, 0);
  const std::size_t at = help.out.find("Exit status:\n");
  ASSERT_NE(at, std::string::npos) << help.out;
  for (const char* code : {"\n  0  ", "\n  1  ", "\n  2  "})
    EXPECT_NE(help.out.find(code, at), std::string::npos) << code;
  EXPECT_NE(help.out.find("damaged", at), std::string::npos);
  EXPECT_NE(help.out.find("link dropped", at), std::string::npos);
}

TEST_F(Qmctl, Get_OverSerial_PutsRequestAndPollOnTheWireAndPrintsTheReport) {
  PtyPair pty;
  ScriptedUnit unit(pty,
                    polite_unit(0, [](const UnitFrame&) { return hex("01 01 00 00 01 10 02"); }));
  const Outcome r = qmctl("--port " + pty.slave_path() + " get 7 0 35");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(to_hex(unit.wire()), "7E 07 00 23 D6 7D 7E 47 00 B9 7D");
  EXPECT_EQ(r.out, kEncoderReport);
}

TEST_F(Qmctl, Get_SilentUnit_SaysSoAndFails) {
  PtyPair pty;
  ScriptedUnit unit(pty, nullptr);
  const Outcome r = qmctl("--port " + pty.slave_path() + " get 7 0 0x23");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Error: Reading data for function 35\n");
  EXPECT_EQ(unit.frames().size(), 6u);
}

TEST_F(Qmctl, Get_OverTcp_AuthenticatesAndReports) {
  ScriptedGateway gateway(checking_gateway("K", [](const Bytes& m) {
    return m.size() >= 3 && !(m[0] & kTypePoll) ? Bytes{0x17, m[1], m[2], 2, 7, 'V', 'W', 0}
                                                : Bytes{};
  }));
  const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(gateway.port());
  const Outcome ok = qmctl(tcp + " --key K get 7 1 4");
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.out, "Major: 2\nMinor: 7\nTitle: VW\n");
  EXPECT_EQ(gateway.frames()[0].kind, kTcpAuthentication);

  const Outcome refused = qmctl(tcp + " --key wrong get 7 1 4");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("Authentication failure"), std::string::npos) << refused.err;
}

// Every unit is written as SEND writes it (-1, or 255) or as the word all; the link sends
// address 255 with the broadcast bit.
TEST_F(Qmctl, Send_EveryUnitAsMinusOneAllOr255) {
  for (const char* address : {"-1", "all", "255", "0xFF"}) {
    SCOPED_TRACE(address);
    PtyPair pty;
    ScriptedUnit unit(pty, nullptr);
    const Outcome r = qmctl("--port " + pty.slave_path() + " send 7 " + address + " 16 0 1");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    ASSERT_TRUE(unit.wait_frames(1, 1000));
    const UnitFrame f = unit.frames()[0];
    EXPECT_EQ(to_hex(Bytes(f.message.begin(), f.message.begin() + f.count)), "87 FF 10 00 01");
  }
}

TEST_F(Qmctl, Send_AcceptsEveryByteFormAndBroadcasts) {
  PtyPair pty;
  ScriptedUnit unit(pty, nullptr);
  const Outcome r =
      qmctl("--port " + pty.slave_path() + " send 7 255 16 0x1F 1Fh 11111b '&0x1234' '\"A B\"'");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(unit.wait_frames(1, 1000));
  const UnitFrame f = unit.frames()[0];
  EXPECT_EQ(to_hex(Bytes(f.message.begin(), f.message.begin() + f.count)),
            "87 FF 10 1F 1F 1F 34 12 41 20 42");
}

TEST_F(Qmctl, Poll_PrintsAndExitsWithTheResult) {
  PtyPair pty;
  ScriptedUnit unit(pty, polite_unit(2, [](const UnitFrame&) { return Bytes{}; }));
  const Outcome r = qmctl("--port " + pty.slave_path() + " --unit 2 poll");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "unit 2 answered\n");
  EXPECT_EQ(to_hex(unit.wire()), "7E 47 02 B7 7D");
}

TEST_F(Qmctl, NoLinkOption_UsesThePortOfTheUserSettings) {
  PtyPair pty;
  ScriptedUnit unit(pty, polite_unit(0, [](const UnitFrame&) { return Bytes{0x21, 1, 0, 0}; }));
  write_settings("ComPort = COM4:\nID = 0\n");
  const Outcome r = qmctl("get 7 0 3", "QUADRIMON_COM4='" + pty.slave_path() + "'");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "Hardware version: 2.1\n    Split switch: 1\n   Effect switch: 0\n   Select Button: 0\n");

  write_settings("ComPort = NONE\n");
  const Outcome none = qmctl("get 7 0 3");
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find("No link"), std::string::npos);
}

// A usage error is one line that says what is wrong, naming a number's argument and range,
// and a pointer to the help.
TEST_F(Qmctl, UsageErrors_OneLineThatNamesTheArgumentAndItsRange) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "no command given"},
      {"frobnicate", "unknown command frobnicate"},
      {"--port", "--port needs a value"},
      {"get 7 0", "get: wants DEV ADDR FN [BYTE...]"},
      {"get 7 0 300", "get: FN 300 is outside 0..255"},
      {"get 7 0 zz", "get: FN zz is not a number in 0..255"},
      {"send 16 0 1", "send: DEV 16 is outside 0..15"},
      {"send 7 256 1", "send: ADDR 256 is outside 0..255 (all or -1: every unit)"},
      {"send 7 -2 1", "send: ADDR -2 is outside 0..255 (all or -1: every unit)"},
      {"send 7 0 1 256", "send: BYTE 256 is outside 0..255"},
      {"send 7 0 1 x", "send: BYTE x is not a byte: a number 0..255, &WORD or \"TEXT\""},
      {"send 7 0 1 '\"" + std::string(77, 'x') + "\"'",
       "send: 77 BYTEs, but a message holds at most 76"},
      {"--unit 5 poll", "--unit 5 is outside 0..3 (all or -1: every unit)"},
      {"poll 0", "poll: TRIES 0 is outside 1..255"},
      {"reset 4", "reset: UNIT 4 is outside 0..3 (all or -1: every unit)"},
      {"--tcp nowhere get 7 0 1", "--tcp wants HOST:PORT"},
      {"--tcp 127.0.0.1:0 get 7 0 1", "--tcp PORT 0 is outside 1..65535"},
      {"--rate 55 decode x.sfb", "decode: --rate 55 is not 50 or 60"},
      {"help frobnicate", "unknown command frobnicate"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args);
    const Outcome r = qmctl(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "qmctl: " + message + "\ntry 'qmctl --help'\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(Qmctl, Help_WholeUsageOrOneCommands) {
  const Outcome help = qmctl("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("get DEV ADDR FN"), std::string::npos);
  for (const char* command : {"send", "get", "poll", "info", "reset", "run", "compile", "decode"})
    EXPECT_NE(help.out.find(std::string("\n  ") + command), std::string::npos) << command;

  const Outcome get = qmctl("help get");
  EXPECT_EQ(get.exit_code, 0) << get.err;
  EXPECT_EQ(get.out.rfind("Usage: qmctl [OPTIONS] get DEV ADDR FN [BYTE...]\n\n", 0), 0u)
      << get.out;
  EXPECT_EQ(get.out.find("decode"), std::string::npos);  // only that command
  for (const char* args : {"get --help", "get 7 0 --help", "--help get"}) {
    SCOPED_TRACE(args);
    const Outcome same = qmctl(args);
    EXPECT_EQ(same.exit_code, 0);
    EXPECT_EQ(same.out, get.out);
  }
  const Outcome all = qmctl("help");
  EXPECT_EQ(all.out, help.out);
}

TEST_F(Qmctl, Port_ADevicePathThatCannotBeOpenedIsNamed) {
  const std::string path = (home_ / "no-such-port").string();
  const Outcome r = qmctl("--port '" + path + "' get 7 0 3");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Unable to open the serial port " + path + "\n");
}

// A run names its files on stderr only when asked; an error report always, without offering
// an editor the console does not have.
TEST_F(Qmctl, Run_FilesNamedOnlyWithVerbose_ErrorsWithoutTheEditQuestion) {
  const fs::path show = home_ / "show.seq";
  std::ofstream(show) << "REM hello\n";
  const Outcome quiet = qmctl("--skip-std run '" + show.string() + "'");
  EXPECT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "hello\n");
  EXPECT_EQ(quiet.err.find(show.string()), std::string::npos) << quiet.err;
  const Outcome verbose = qmctl("--skip-std --verbose run '" + show.string() + "'");
  EXPECT_EQ(verbose.exit_code, 0) << verbose.err;
  EXPECT_NE(verbose.err.find(show.string() + "\n"), std::string::npos) << verbose.err;

  const fs::path bad = home_ / "bad.seq";
  std::ofstream(bad) << "REM first\nSEND 7\n";
  const Outcome failed = qmctl("--skip-std run '" + bad.string() + "'");
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("ERROR: Send requires at least 3 parameters.\n\nSequence: " +
                            bad.string() + "\nLine: 2\n"),
            std::string::npos)
      << failed.err;
  EXPECT_EQ(failed.err.find("Edit"), std::string::npos) << failed.err;
}

// Files that cannot be read: settings that are a folder, a pipe or a device leave the defaults
// in force; a listing of one is an error. Nothing aborts, nothing waits for a writer.
TEST_F(Qmctl, UnreadableFiles_SettingsKeepDefaultsAndDecodeFails) {
  const fs::path show = home_ / "show.seq";
  std::ofstream(show) << "WAIT 00:00:01\n";
  const fs::path settings = home_ / "Documents" / "Quadrimon" / "Orvik.ini";
  fs::create_directories(settings);
  const Outcome compiled = qmctl("--skip-std compile '" + show.string() + "'");
  EXPECT_EQ(compiled.exit_code, 0) << compiled.err;
  EXPECT_TRUE(fs::exists(home_ / "show.sfb"));
  const Outcome listed = qmctl("decode '" + (home_ / "show.sfb").string() + "'");
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_NE(listed.out.find("WAIT (50Hz) 00:00:01.00"), std::string::npos) << listed.out;

  fs::remove(settings);
  ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0);
  const Outcome on_pipe = qmctl("--skip-std compile '" + show.string() + "'");
  EXPECT_EQ(on_pipe.exit_code, 0) << on_pipe.err;

  fs::create_directory(home_ / "folder.sfb");
  ASSERT_EQ(mkfifo((home_ / "pipe.sfb").c_str(), 0600), 0);
  for (const fs::path& bad : {home_ / "folder.sfb", home_ / "pipe.sfb", fs::path("/dev/zero")}) {
    SCOPED_TRACE(bad.string());
    const Outcome r = qmctl("decode '" + bad.string() + "'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, " Error reading file: " + bad.string() + "\n");
    EXPECT_EQ(r.out, "");
  }
  const Outcome missing = qmctl("decode '" + (home_ / "none.sfb").string() + "'");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "Unable to open file: " + (home_ / "none.sfb").string() + "\n");
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST_F(Qmctl, CompileThenDecode_TheWorkedExample) {
  const fs::path show = home_ / "show.seq";
  std::ofstream(show) << "PROC BLINK\nSEND 7 1 40 1\nENDPROC\nBLINK\nWAIT 00:00:01\n";
  const Outcome compiled = qmctl("--skip-std compile '" + show.string() + "'");
  EXPECT_EQ(compiled.exit_code, 0) << compiled.err;
  std::ifstream in(home_ / "show.sfb", std::ios::binary);
  const Bytes image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(to_hex(image), "09 0C 00 00 11 02 04 07 01 28 01 0A 09 05 00 00 05 00 32 0A");

  const Outcome listed = qmctl("decode --rate 50 '" + (home_ / "show.sfb").string() + "'");
  EXPECT_EQ(listed.exit_code, 0);
  EXPECT_EQ(listed.out,
            "00000:090C0000              PROC 00012\r\n"
            "00004:11                    END\r\n\r\n"
            "00005:020407012801          SEND 7 1 40 1 \r\n"
            "00011:0A                    ENDPROC\r\n\r\n"
            "00012:09050000              PROC 00005\r\n"
            "00016:050032                WAIT (50Hz) 00:00:01.00 (50 fields)\r\n"
            "00019:0A                    ENDPROC\r\n\r\n");
}

TEST_F(Qmctl, Compile_ErrorPrintsTheComposedReportAndWritesNothing) {
  const fs::path bad = home_ / "bad.seq";
  std::ofstream(bad) << "; one line of comment\nSEND 7 1\n";
  const Outcome r = qmctl("compile '" + bad.string() + "'");  // with std.inc beside qmctl
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "File: " + bad.string() + "\nError line: 2 - Send requires at least 3 parameters.\n");
  EXPECT_FALSE(fs::exists(home_ / "bad.sfb"));
}

}  // namespace
}  // namespace qm::test
