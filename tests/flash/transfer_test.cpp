#include "flash/transfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "flash/flash_protocol.h"
#include "support/temp_folder.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

using test::Bytes;

// What a worker reported, kept for asserts.
class RecordingObserver final : public TransferObserver {
 public:
  void transfer_status(const std::string& text) override { statuses.push_back(text); }
  void transfer_progress(std::size_t done, std::size_t total) override {
    last_done = done;
    last_total = total;
    ++steps;
    if (on_progress) on_progress(done);
  }
  std::vector<std::string> statuses;
  std::size_t last_done = 0;
  std::size_t last_total = 0;
  int steps = 0;
  std::function<void(std::size_t)> on_progress;
};

Bytes random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes out(n);
  for (auto& b : out)
    b = static_cast<std::uint8_t>(gen());
  return out;
}

// The App's transfer job against a simulated wall on a pseudo-terminal, unit 0 selected.
class Transfer : public test::WallRig {
 protected:
  explicit Transfer(const sim::WallConfig& config = wall_of({16, 16, 0, 0}), bool tcp = false)
      : WallRig(config) {
    if (tcp) {
      connect_tcp();
    } else {
      connect_serial();
    }
  }

  int download(const Bytes& data, std::uint8_t sector = 3, const std::string& name = "F.SFB") {
    TransferJob& job = app_.transfer;
    job.prepare(sector, name);
    EXPECT_TRUE(job.set_data(data));
    return download_worker(job, app_.link, 0, observer_);
  }
  int upload(std::uint8_t sector, const std::string& name) {
    app_.transfer.prepare(sector, name);
    return upload_worker(app_.transfer, app_.link, 0, observer_);
  }
  std::string text_of(int code) const {
    return transfer_result_text(code, app_.transfer).value_or("(quiet)");
  }
  // A file of unit 0's flash, as the unit holds it.
  std::vector<std::string> write_blocks() const {
    std::vector<std::string> out;
    for (const auto& m : sent_to_units())
      if (m.rfind("07 00 40", 0) == 0) out.push_back(m);
    return out;
  }

  RecordingObserver observer_;
};

TEST_F(Transfer, Download_ThirtyThreeBytes_IsABlockOfThirtyTwoAndOneOfOne) {
  const Bytes data = random_bytes(33, 1);
  EXPECT_EQ(download(data), kTransferQuiet);
  EXPECT_EQ(stored(3, "F.SFB"), data);
  const auto writes = write_blocks();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].substr(0, 14), "07 00 40 00 00");
  EXPECT_EQ(writes[0].size(), 14 + 32 * 3u);
  EXPECT_EQ(writes[1], "07 00 40 20 00 " + test::to_hex({data[32]}));
  EXPECT_EQ(observer_.statuses,
            (std::vector<std::string>{" Checking communications link", " Downloading..."}));
  EXPECT_EQ(observer_.last_done, 33u);
  EXPECT_EQ(observer_.last_total, 33u);
}

TEST_F(Transfer, Download_OverAnExistingFile_ErasesItFirst) {
  store(3, "F.SFB", Bytes(500, 7));
  const Bytes data = random_bytes(40, 2);
  EXPECT_EQ(download(data), kTransferQuiet);
  EXPECT_EQ(stored(3, "F.SFB"), data);
  EXPECT_EQ(observer_.statuses[1], " Erasing exiting file");
}

TEST_F(Transfer, Download_ThenUpload_GivesTheSameBytes) {
  const Bytes data = random_bytes(1000, 3);
  ASSERT_EQ(download(data, 5, "DATA.BIN"), kTransferQuiet);
  app_.transfer.clear_data();
  EXPECT_EQ(upload(5, "DATA.BIN"), kTransferQuiet);
  EXPECT_TRUE(app_.transfer.upload_complete);
  EXPECT_EQ(Bytes(app_.transfer.data().begin(), app_.transfer.data().end()), data);
  EXPECT_EQ(observer_.statuses.back(), " Uploading...");
}

TEST_F(Transfer, Upload_OfAnEmptyOrMissingFile_FailsWithItsText) {
  store(3, "EMPTY.SFB", {});
  EXPECT_EQ(text_of(upload(3, "EMPTY.SFB")), " Error: File size");
  EXPECT_FALSE(app_.transfer.upload_complete);
  EXPECT_EQ(text_of(upload(3, "NONE.SFB")), " Error: opening FLASH file: 3:NONE.SFB");
}

// Every fault of the simulated unit ends in its own text, never in success.
TEST_F(Transfer, InjectedFaults_EndWithTheirText) {
  const struct {
    const char* what;
    void (*set)(sim::Faults&);
    bool upload;
    const char* text;
  } cases[] = {
      {"write refused", [](sim::Faults& f) { f.refuse_write_block = 2; }, false,
       " Error: Serial communications failure"},
      {"no close reply", [](sim::Faults& f) { f.no_close_reply = true; }, false,
       " Error: Serial communications failure"},
      {"wrong block count", [](sim::Faults& f) { f.close_wrong_blocks = true; }, false,
       " Error: block transfer"},
      {"wrong checksum", [](sim::Faults& f) { f.close_wrong_checksum = true; }, false,
       " Error: checksum"},
      {"flash full", [](sim::Faults& f) { f.flash_full = true; }, false,
       " Error: Serial communications failure"},
      {"short read", [](sim::Faults& f) { f.short_read_block = true; }, true,
       " Error: block transfer"},
  };
  store(4, "SRC.BIN", random_bytes(100, 4));
  for (const auto& c : cases) {
    sim::Faults faults;
    c.set(faults);
    wall_.set_faults(faults);
    const int code = c.upload ? upload(4, "SRC.BIN") : download(random_bytes(100, 5), 4, "DST.BIN");
    EXPECT_EQ(text_of(code), c.text) << c.what;
    EXPECT_FALSE(app_.transfer.upload_complete) << c.what;
    wall_.set_faults({});
  }
}

TEST_F(Transfer, Cancel_InTheBlockLoop_StopsAfterTheCurrentBlock) {
  observer_.on_progress = [&](std::size_t done) {
    if (done == 32) app_.transfer.request_cancel();
  };
  EXPECT_EQ(text_of(download(random_bytes(200, 6))), " Error: User cancelled transaction");
  EXPECT_EQ(app_.transfer.cancel_state, kCancelAcknowledged);
  EXPECT_EQ(write_blocks().size(), 1u);

  store(3, "UP.BIN", random_bytes(200, 7));
  EXPECT_EQ(text_of(upload(3, "UP.BIN")), " Error: User cancelled transaction");
  EXPECT_FALSE(app_.transfer.upload_complete);
}

TEST_F(Transfer, Cancel_BeforeTheStart_IsSeenAtTheFirstCheck) {
  app_.transfer.prepare(3, "F.SFB");
  ASSERT_TRUE(app_.transfer.set_data(Bytes(10, 1)));
  app_.transfer.request_cancel();
  EXPECT_EQ(download_worker(app_.transfer, app_.link, 0, observer_), kTransferCancelled);
  EXPECT_TRUE(write_blocks().empty());
}

class FragmentedTransfer : public Transfer {
 protected:
  static sim::WallConfig fragmented() {
    sim::WallConfig c = wall_of({16, 0, 0, 0});
    c.unit.compaction_ms = 50;
    c.faults.fragmented_sector = 3;
    return c;
  }
  FragmentedTransfer() : Transfer(fragmented()) {}
};

// The unit answers no poll while it compacts: the download waits the full 10 s after it.
TEST_F(FragmentedTransfer, Download_NeedingRecoverableSpace_CompactsFirst) {
  sim::FlashSpace space;
  wall_.with_unit(0, [&](sim::SimUnit& u) { space = u.flash().space(3); });
  ASSERT_EQ(space.free, 100u);
  ASSERT_GT(space.recoverable, 600u);
  const Bytes data = random_bytes(600, 8);
  EXPECT_EQ(download(data), kTransferQuiet);
  EXPECT_EQ(stored(3, "F.SFB"), data);
  EXPECT_EQ(observer_.statuses[1], " Freeing spare FLASH memory");
  const auto sent = sent_to_units();
  EXPECT_NE(std::find(sent.begin(), sent.end(), "07 00 45 03"), sent.end());
}

// A sector whose free and recoverable space together are less than the file: refused before
// anything is written.
TEST_F(Transfer, Download_BeyondFreeAndRecoverable_IsOutOfSpace) {
  wall_.with_unit(0, [&](sim::SimUnit& u) {
    const sim::FlashSpace space = u.flash().space(3);
    ASSERT_TRUE(u.flash().put_file(3, "JUNK", Bytes(420, 0)));
    ASSERT_TRUE(u.flash().put_file(3, "KEEP", Bytes(space.free - 16 - 436 - 16 - 100, 0)));
    u.flash().remove(3, "JUNK");
    const sim::FlashSpace now = u.flash().space(3);
    ASSERT_LT(now.free, 200u);
    ASSERT_GE(now.free + now.recoverable, 200u);
    ASSERT_LT(now.free + now.recoverable, 600u);
  });
  EXPECT_EQ(text_of(download(random_bytes(600, 9))), " Error: out of space on sector 3");
  EXPECT_TRUE(write_blocks().empty());
  const auto sent = sent_to_units();
  EXPECT_EQ(std::find(sent.begin(), sent.end(), "07 00 45 03"), sent.end());
}

class GatewayTransfer : public Transfer {
 protected:
  GatewayTransfer() : Transfer(wall_of({16, 16, 0, 0}), true) {}
};

TEST_F(GatewayTransfer, DisconnectInTheMiddle_IsALinkFailure) {
  sim::Faults faults;
  faults.close_after_blocks = 5;
  wall_.set_faults(faults);
  EXPECT_EQ(text_of(download(random_bytes(1000, 11))), " Error: Serial communications failure");
}

TEST(TransferJob, ResultTexts_NameTheFileWhereTheyShouldAndUnknownCodesAreUnspecified) {
  TransferJob job;
  job.prepare(2, "$START.SFB");
  EXPECT_EQ(transfer_result_text(kTransferAnnounced, job), " Download sucessful");
  EXPECT_EQ(transfer_result_text(kTransferCloseFailed, job),
            " Error: closing FLASH file: 2:$START.SFB");
  EXPECT_EQ(transfer_result_text(kTransferQuiet, job), std::nullopt);
  EXPECT_EQ(transfer_result_text(10, job), " Error: Unspecified");
  EXPECT_EQ(transfer_result_text(-1, job), " Error: Unspecified");
}

TEST(TransferJob, ShortFlashName_KeepsAn8Dot3NameAndShortensTheRest) {
  const std::pair<const char*, const char*> cases[] = {
      {"show.sfb", "show.sfb"},              // an 8.3 name stands as it is
      {"SEQ1.SFB", "SEQ1.SFB"},              //
      {"README", "README"},                  // no extension
      {"my show.sfb", "MYSHOW~1.SFB"},       // a blank is not allowed
      {"longsequence.sfb", "LONGSE~1.SFB"},  // too long a name
      {"font.data", "FONT~1.DAT"},           // too long an extension
      {"a.b.c", "AB~1.C"},                   // the last dot starts the extension
      {"...", "FILE~1"},                     // nothing usable is left
  };
  for (const auto& [given, proposed] : cases) {
    EXPECT_EQ(short_flash_name(given), proposed) << given;
    EXPECT_LE(short_flash_name(given).size(), kFlashNameMax) << given;
  }
}

TEST(TransferJob, LocalFiles_AreRefusedWithTheReason) {
  test::TempFolder folder("xfer");
  const auto write = [&](const char* name, std::size_t n) {
    test::write_file_text(folder / name, std::string(n, 'x'));
    return folder / name;
  };
  TransferJob job;
  EXPECT_EQ(load_download_file(job, write("max", 65023)), std::nullopt);
  EXPECT_EQ(job.size, 65023);
  EXPECT_EQ(load_download_file(job, write("big", 65024)), "File is too big");
  EXPECT_EQ(job.size, 65023);  // the job's data stays as it was
  const auto missing = (folder / "missing").string();
  EXPECT_EQ(load_download_file(job, folder / "missing"), "Can't open file " + missing);
  const auto empty = write("empty", 0);
  EXPECT_EQ(load_download_file(job, empty),
            "Can't read file " + empty.string() + ": the file is empty");

  ASSERT_EQ(load_download_file(job, write("small", 5)), std::nullopt);
  EXPECT_EQ(save_uploaded_file(job, folder / "saved"), std::nullopt);
  EXPECT_EQ(test::read_file_text(folder / "saved"), "xxxxx");
  const auto nowhere = folder / "no-such-folder" / "saved";
  const auto error = save_uploaded_file(job, nowhere);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->rfind("Can't save file " + nowhere.string() + ": ", 0), 0u) << *error;
  EXPECT_GT(error->size(), ("Can't save file " + nowhere.string() + ": ").size());
}

}  // namespace
}  // namespace qm
