#include "flash/firmware_package.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "flash/transfer.h"
#include "link/unit_frame.h"
#include "support/firmware_files.h"
#include "support/temp_folder.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

using test::Bytes;
using test::package;
using test::system_image;
using Step = FirmwarePlan::Step;

std::vector<std::string> texts(const FirmwarePlan& plan) {
  std::vector<std::string> out;
  for (const auto& q : plan.questions)
    out.push_back(q.text);
  return out;
}

// --- The unit's FPGA version -------------------------------------------------------------

UnitFrame hardware_reply(Bytes data) {
  UnitFrame f;
  f.count = static_cast<std::uint8_t>(kMessageHeaderBytes + data.size());
  f.message[0] = 0x17;
  f.message[2] = 3;
  std::copy(data.begin(), data.end(), f.message.begin() + kMessageHeaderBytes);
  return f;
}

TEST(FirmwareFpga, VersionIsReplyByteFour_ShortOrMissingReplyIsUnavailable) {
  EXPECT_EQ(fpga_version_of(std::nullopt), 0);
  EXPECT_EQ(fpga_version_of(hardware_reply({0x21, 0, 0, 0})), 0);  // older unit: no FPGA byte
  EXPECT_EQ(fpga_version_of(hardware_reply({0x21, 0, 0, 0, 0x31})), 0x31);
  EXPECT_EQ(fpga_mask_bit(3), 0x0004);
  EXPECT_EQ(fpga_mask_bit(0), 0);  // a major of 0 has no bit: nothing is compatible with it
  EXPECT_EQ(fpga_majors_text(0x000C), "3,4");
  EXPECT_EQ(fpga_majors_text(0x8000), "16");
  EXPECT_EQ(fpga_majors_text(0), "none");
}

// --- Packages ----------------------------------------------------------------------------

TEST(FirmwarePackage, MaskOfMajorThree_FitsFpga31_NotFpga21) {
  const Bytes body = system_image(300, 9, 9, 0);
  const Bytes pak = package({{0x0004, 5, 1, body}});
  const FirmwarePlan fits = plan_firmware_update(pak, "fw.pak", 2, 0x31);
  ASSERT_EQ(fits.step, Step::Ready) << fits.error;
  EXPECT_EQ(fits.image, body);
  EXPECT_EQ(texts(fits), std::vector<std::string>{
                             "Update unit 2 with firmware version: 5.1\n(Processor FPGA version "
                             "is: 3.1)"});
  EXPECT_EQ(fits.questions[0].title, " System update");
  EXPECT_EQ(fits.questions[0].buttons, BoxButtons::YesNo);

  const FirmwarePlan refused = plan_firmware_update(pak, "fw.pak", 2, 0x21);
  EXPECT_EQ(refused.step, Step::Refused);
  EXPECT_EQ(refused.error, "Can't find compatible file in package fw.pak");
  // A reported major of 0 has no bit in any mask.
  EXPECT_EQ(plan_firmware_update(pak, "fw.pak", 2, 0x05).error,
            "Can't find compatible file in package fw.pak");
}

TEST(FirmwarePackage, UnknownFpga_AsksForTheMajor_ChoiceFourTakesTheFirstEntryWithBitThree) {
  const Bytes pak = package(
      {{0x0002, 1, 0, Bytes(10, 1)}, {0x0008, 6, 0, Bytes(20, 2)}, {0x0008, 7, 0, Bytes(30, 3)}});
  EXPECT_EQ(plan_firmware_update(pak, "p", 0, 0).step, Step::ChooseFpga);
  const FirmwarePlan chosen = plan_firmware_update(pak, "p", 0, 0, 4);
  ASSERT_EQ(chosen.step, Step::Ready) << chosen.error;
  EXPECT_EQ(chosen.entry, 1u);
  EXPECT_EQ(chosen.image, Bytes(20, 2));
  EXPECT_EQ(texts(chosen)[0],
            "Update unit 0 with firmware version: 6.0\n(Processor FPGA version is: 4.0)");
  // The package version is checked before the operator is asked.
  EXPECT_EQ(plan_firmware_update(package({}, true, 1), "p", 0, 0).error,
            "Unknown firmware package version 1");
}

TEST(FirmwarePackage, RefusalsNameTheirCause) {
  const Bytes fits(50, 7);
  const struct {
    const char* what;
    Bytes file;
    std::string error;
  } cases[] = {
      {"type 1 first, a fitting entry later",
       package({{0x0004, 1, 0, fits, 1}, {0x0004, 1, 0, fits}}), "Unknown packed file type 1"},
      {"no closing zero, no match", package({{0x0002, 1, 0, fits}}, false), "Reading file f.pak"},
      {"closed, no match", package({{0x0002, 1, 0, fits}}),
       "Can't find compatible file in package f.pak"},
      {"version 2", package({{0x0004, 1, 0, fits}}, true, 2), "Unknown firmware package version 2"},
      {"matching body of 65024 bytes", package({{0x0004, 1, 0, Bytes(65024, 1)}}),
       "Packaged file is too big to be a system file"},
      {"header only", package({}, false), "Reading file f.pak"},
      {"shorter than a header", Bytes{'P', 'A', 'C', 'K'}, "Reading file f.pak"},
  };
  for (const auto& c : cases) {
    const FirmwarePlan plan = plan_firmware_update(c.file, "f.pak", 0, 0x31);
    EXPECT_EQ(plan.step, Step::Refused) << c.what;
    EXPECT_EQ(plan.error, c.error) << c.what;
    EXPECT_TRUE(plan.image.empty()) << c.what;
  }
  EXPECT_EQ(plan_firmware_update(package({{0x0004, 1, 0, Bytes(65023, 1)}}), "f", 0, 0x31).step,
            Step::Ready);
}

// Lengths that point outside the file are refused, never read or looped over.
TEST(FirmwarePackage, DamagedLengths_AreRefused) {
  Bytes cut = package({{0x0004, 1, 0, Bytes(100, 1)}}, false);
  cut.resize(cut.size() - 10);  // the matching body cut short
  EXPECT_EQ(plan_firmware_update(cut, "f", 0, 0x31).error, "Reading file f");

  Bytes skip = package({{0x0002, 1, 0, Bytes(100, 1)}}, false);
  skip.resize(skip.size() - 10);  // a body to skip that runs past the end
  EXPECT_EQ(plan_firmware_update(skip, "f", 0, 0x31).error, "Seeking file f");

  // A length that, taken as signed, would seek back onto its own entry.
  Bytes back{'P', 'A', 'C', 'K', 'A', 'G', 'E', 0, 0xF7, 0xFF, 0xFF, 0xFF, 0, 0x02, 0, 1, 0};
  EXPECT_EQ(plan_firmware_update(back, "f", 0, 0x31).error, "Seeking file f");

  Bytes half = package({{0x0004, 1, 0, Bytes(10, 1)}}, false);
  half.resize(8 + 4 + 2);  // an entry header cut short
  EXPECT_EQ(plan_firmware_update(half, "f", 0, 0x31).error, "Reading file f");
}

// --- System files ------------------------------------------------------------------------

TEST(FirmwareSystemFile, SizeLimits) {
  const struct {
    std::size_t size;
    const char* error;  // empty: accepted
  } cases[] = {{127, "File is too small to be a system file"},
               {128, ""},
               {65023, ""},
               {65024, "File is too big to be a system file"},
               {7, "Reading file s.bin"}};
  for (const auto& c : cases) {
    const FirmwarePlan plan =
        plan_firmware_update(system_image(c.size, 5, 1, 0x0004), "s.bin", 0, 0x31);
    EXPECT_EQ(plan.error, c.error) << c.size;
    EXPECT_EQ(plan.step == Step::Ready, *c.error == '\0') << c.size;
    if (plan.step == Step::Ready) {
      EXPECT_EQ(plan.image.size(), c.size);
    }
  }
}

TEST(FirmwareSystemFile, QuestionsByMaskAndFpga) {
  const std::string confirm31 =
      "Update 1:SYSTEM.COM with s.bin\r\n(Updated firmware: 5.1,  FPGA version: 3.1)";
  const std::string maybe31 =
      "WARNING: This firmware may not be compatible with FPGA version 3.1, continue with update?";
  const std::string incompatible =
      "WARNING: This firmware is not compatible with the FPGA version, continue with update?";
  const struct {
    std::uint16_t mask;
    std::uint8_t fpga;
    std::vector<std::string> questions;
  } cases[] = {
      {0x0004, 0x31, {confirm31}},
      {0x0000, 0x31, {maybe31, confirm31}},
      {0x0002, 0x31, {incompatible, confirm31}},
      {0x0004,
       0x00,
       {"WARNING: This firmware may not be compatible with FPGA version 0.0, continue with "
        "update?",
        "Update 1:SYSTEM.COM with s.bin\r\n(Updated firmware: 5.1,  FPGA version: 0.0)"}},
  };
  for (const auto& c : cases) {
    const FirmwarePlan plan =
        plan_firmware_update(system_image(200, 5, 1, c.mask), "s.bin", 0, c.fpga);
    ASSERT_EQ(plan.step, Step::Ready);
    EXPECT_EQ(texts(plan), c.questions) << c.mask << " " << int(c.fpga);
    // The warnings default to No; the confirmation to Yes.
    for (std::size_t i = 0; i + 1 < plan.questions.size(); ++i)
      EXPECT_EQ(plan.questions[i].buttons, BoxButtons::YesNoDefaultNo);
    EXPECT_EQ(plan.questions.back().buttons, BoxButtons::YesNo);
  }
}

TEST(FirmwareSystemFile, BadSignature_YesGoesOnToTheCompatibilityCheck_NoStops) {
  const FirmwarePlan plan =
      plan_firmware_update(system_image(200, 5, 1, 0, false), "s.bin", 0, 0x31);
  ASSERT_EQ(plan.step, Step::Ready);
  ASSERT_EQ(plan.questions.size(), 3u);
  EXPECT_EQ(plan.questions[0].text,
            "s.bin does not appear to be a valid system file, continue with update?");

  test::RecordingUi yes;
  yes.answer({BoxAnswer::Yes, BoxAnswer::Yes, BoxAnswer::Yes});
  EXPECT_TRUE(ask_firmware_questions(yes, plan));
  ASSERT_EQ(yes.calls().size(), 3u);
  EXPECT_EQ(yes.calls()[1], "box: System update|" + plan.questions[1].text);

  test::RecordingUi no;
  no.answer({BoxAnswer::No});
  EXPECT_FALSE(ask_firmware_questions(no, plan));
  EXPECT_EQ(no.calls().size(), 1u);
}

// --- Building and listing ----------------------------------------------------------------

TEST(FirmwarePackage, Build_WritesHeaderEntriesAndClosingZero_ListReadsThemBack) {
  const std::vector<PackageEntryInfo> entries{{0, 0x0004, 5, 1, 0, 0}, {0, 0x0108, 6, 2, 0, 0}};
  const std::vector<Bytes> bodies{Bytes{1, 2, 3}, Bytes(2, 9)};
  const Bytes built = build_package(entries, bodies);
  EXPECT_EQ(built, package({{0x0004, 5, 1, {1, 2, 3}}, {0x0108, 6, 2, {9, 9}}}));

  const PackageListing listing = list_package(built, "b.pak");
  EXPECT_FALSE(listing.error);
  ASSERT_EQ(listing.entries.size(), 2u);
  EXPECT_EQ(listing.entries[1].mask, 0x0108);
  EXPECT_EQ(listing.entries[1].length, 2u);
  EXPECT_EQ(listing.entries[1].body_at, 8u + 9 + 3 + 9);

  Bytes cut = built;
  cut.resize(cut.size() - 5);
  const PackageListing damaged = list_package(cut, "b.pak");
  ASSERT_TRUE(damaged.error);
  EXPECT_EQ(damaged.entries.size(), 2u);
  EXPECT_EQ(list_package(Bytes{1, 2, 3}, "x").error, "x is not a firmware package");
}

// --- The whole update against a simulated unit -------------------------------------------

class FirmwareUpdate : public test::WallRig {
 protected:
  explicit FirmwareUpdate(const sim::WallConfig& config = wall_of({16, 16, 0, 0}))
      : WallRig(config) {
    connect_serial();
  }

  std::string write(const std::string& name, const Bytes& bytes) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  FirmwareOutcome update(const std::string& path, int chosen_major = 0) {
    FirmwareUpdateHooks hooks;
    hooks.select_fpga_version = [&] {
      ++fpga_asked_;
      return chosen_major;
    };
    hooks.run_download = [&](TransferJob& job) {
      SilentObserver observer;
      return download_worker(job, app_.link, 0, observer);
    };
    hooks.transfer_finished = [&](int code) { codes_.push_back(code); };
    return update_firmware(app_.link, app_.transfer, ui_, 0, path, hooks);
  }

  // The firmware version unit 0 runs, from its software version reply.
  std::string running_version() { return test::running_version(app_.link); }

  struct SilentObserver final : TransferObserver {
    void transfer_status(const std::string&) override {}
    void transfer_progress(std::size_t, std::size_t) override {}
  };

  int fpga_asked_ = 0;
  std::vector<int> codes_;
};

TEST_F(FirmwareUpdate, Package_UpdatesAndResets_TheUnitRunsTheNewVersion) {
  ASSERT_EQ(running_version(), "4.2");
  const Bytes image = system_image(3000, 5, 1, 0x0004);
  const std::string path =
      write("fw.pak", package({{0x0002, 9, 9, Bytes(40, 1)}, {0x0004, 5, 1, image}}));
  ui_.answer({BoxAnswer::Yes, BoxAnswer::Yes});
  EXPECT_EQ(update(path), FirmwareOutcome::UpdatedAndReset);
  EXPECT_EQ(codes_, std::vector<int>{kTransferAnnounced});
  EXPECT_EQ(transfer_result_text(kTransferAnnounced, app_.transfer), " Download sucessful");
  EXPECT_EQ(ui_.boxes(),
            (std::vector<std::string>{
                " System update|Update unit 0 with firmware version: 5.1\n(Processor FPGA "
                "version is: 3.1)",
                " Update|Update successful, reset processor 0?"}));
  EXPECT_EQ(stored(1, "SYSTEM.COM"), image);
  EXPECT_EQ(running_version(), "5.1");
  EXPECT_EQ(fpga_asked_, 0);
}

TEST_F(FirmwareUpdate, ResetAnsweredNo_LeavesTheOldFirmwareRunning) {
  const Bytes image = system_image(500, 6, 0, 0x0004);
  ui_.answer({BoxAnswer::Yes, BoxAnswer::No});
  EXPECT_EQ(update(write("s.bin", image)), FirmwareOutcome::Updated);
  EXPECT_EQ(stored(1, "SYSTEM.COM"), image);
  EXPECT_EQ(running_version(), "4.2");
}

TEST_F(FirmwareUpdate, RefusedOrDeclined_NothingIsWritten) {
  const auto factory = stored(1, "SYSTEM.COM");
  // No compatible entry for FPGA 3.1.
  EXPECT_EQ(update(write("a.pak", package({{0x0002, 1, 0, Bytes(40, 1)}}))),
            FirmwareOutcome::Refused);
  EXPECT_EQ(ui_.boxes().back(),
            " Error|Error: Can't find compatible file in package " + (folder_ / "a.pak").string());
  // The confirmation answered No.
  ui_.answer({BoxAnswer::No});
  EXPECT_EQ(update(write("b.bin", system_image(200, 5, 1, 0x0004))), FirmwareOutcome::Declined);
  // A file that is not there.
  EXPECT_EQ(update((folder_ / "none.bin").string()), FirmwareOutcome::FileUnreadable);
  EXPECT_EQ(ui_.boxes().back(), " Error|Error: Can't open file " + (folder_ / "none.bin").string());
  EXPECT_TRUE(codes_.empty());
  EXPECT_EQ(stored(1, "SYSTEM.COM"), factory);
}

// Unit 0 alone, silent or without a hardware version reply.
sim::WallConfig unit_zero(bool silent, bool no_version) {
  sim::WallConfig c;
  c.channels = {16, 0, 0, 0};
  c.faults.silent[0] = silent;
  c.faults.no_hardware_version[0] = no_version;
  return c;
}

class FirmwareUpdateSilentUnit : public FirmwareUpdate {
 protected:
  FirmwareUpdateSilentUnit() : FirmwareUpdate(unit_zero(true, false)) {}
};

class FirmwareUpdateNoVersion : public FirmwareUpdate {
 protected:
  FirmwareUpdateNoVersion() : FirmwareUpdate(unit_zero(false, true)) {}
};

TEST_F(FirmwareUpdateSilentUnit, ShowsTheLinkFailureAndSendsNothing) {
  const std::string path = write("s.bin", system_image(200, 5, 1, 4));
  EXPECT_EQ(update(path), FirmwareOutcome::LinkFailure);
  EXPECT_EQ(ui_.boxes(),
            std::vector<std::string>{" System update| Serial Communications failure. "});
  EXPECT_EQ(sent_to_units(), std::vector<std::string>{});
}

TEST_F(FirmwareUpdateNoVersion, AsksForTheFpga_CancelStops_FourTakesTheEntryForFour) {
  const Bytes image = system_image(200, 7, 3, 0x0008);
  const std::string path =
      write("p.pak", package({{0x0004, 1, 0, Bytes(9, 1)}, {0x0008, 7, 3, image}}));
  EXPECT_EQ(update(path, 0), FirmwareOutcome::Declined);
  EXPECT_EQ(ui_.boxes(), std::vector<std::string>{" System update| Update cancelled. "});

  ui_.clear();
  ui_.answer({BoxAnswer::Yes, BoxAnswer::No});
  EXPECT_EQ(update(path, 4), FirmwareOutcome::Updated);
  EXPECT_EQ(ui_.boxes()[0],
            " System update|Update unit 0 with firmware version: 7.3\n(Processor FPGA version is: "
            "4.0)");
  EXPECT_EQ(stored(1, "SYSTEM.COM"), image);
  EXPECT_EQ(fpga_asked_, 2);
}

}  // namespace
}  // namespace qm
