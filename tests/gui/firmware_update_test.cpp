// File > Update against a simulated wall on a pseudo-terminal: the file chooser, dialog 183,
// the questions, the download of 1:SYSTEM.COM with its announced success, and the reset after
// which the unit runs the new firmware.
#include "shell/firmware_update_dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <filesystem>
#include <fstream>

#include "flash/firmware_package.h"
#include "flash/transfer.h"
#include "gui/gui_rig.h"
#include "gui/modal_operator.h"
#include "support/firmware_files.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

sim::WallConfig wall(bool reports_fpga) {
  sim::WallConfig config;
  config.channels = {16, 16, 0, 0};
  config.faults.no_hardware_version[0] = !reports_fpga;
  return config;
}

class FirmwareUpdateGui : public GuiRig {
 protected:
  explicit FirmwareUpdateGui(bool reports_fpga = true) : GuiRig(wall(reports_fpga)) {
    connect_serial();
    app_.settings.values.id = 0;
  }

  // Writes the file and lets the operator choose it in the file chooser.
  void choose(const std::string& name, const Bytes& bytes) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    operator_.on("fileDialog", [this, path](QWidget* d) {
      auto* chooser = qobject_cast<QFileDialog*>(d);
      chooser_title_ = chooser->windowTitle();
      chooser->selectFile(QString::fromStdString(path.string()));
      static_cast<QDialog*>(chooser)->accept();
    });
  }
  std::string running_version() {
    app_.worker.wait_until_idle();
    return test::running_version(app_.link);
  }

  Operator operator_;
  QString chooser_title_;
};

class FirmwareUpdateGuiNoFpga : public FirmwareUpdateGui {
 protected:
  FirmwareUpdateGuiNoFpga() : FirmwareUpdateGui(false) {}
};

TEST_F(FirmwareUpdateGui, Package_DownloadsAnnouncesAndResetsIntoTheNewVersion) {
  ASSERT_EQ(running_version(), "4.2");
  const Bytes image = system_image(3000, 5, 1, 0x0004);  // for FPGA 3.x, the unit's
  choose("new.pak",
         package({{0x0002, 9, 9, system_image(200, 9, 9, 0x0002)}, {0x0004, 5, 1, image}}));
  ui_.answer({BoxAnswer::Yes, BoxAnswer::Yes});  // update, then reset
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 1);
  EXPECT_EQ(chooser_title_, " Downloading firmware");
  const std::string shown = (folder_ / "new.pak").string();
  EXPECT_EQ(ui_.boxes(),
            (std::vector<std::string>{
                " System update|Update unit 0 with firmware version: 5.1\n(Processor FPGA "
                "version is: 3.1)",
                " Update|Update successful, reset processor 0?"}));
  EXPECT_EQ(operator_.transfer_code, kTransferAnnounced);
  EXPECT_EQ(operator_.transfer_text, " Download sucessful");
  EXPECT_EQ(stored(1, "SYSTEM.COM"), image);
  EXPECT_TRUE(settle([&] { return running_version() == "5.1"; }, 5000));
}

TEST_F(FirmwareUpdateGui, ResetAnsweredNo_LeavesTheOldFirmwareRunning) {
  choose("new.bin", system_image(600, 6, 0, 0x0004));
  ui_.answer({BoxAnswer::Yes, BoxAnswer::No});
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 1);
  EXPECT_EQ(stored(1, "SYSTEM.COM"), system_image(600, 6, 0, 0x0004));
  EXPECT_EQ(running_version(), "4.2");
}

TEST_F(FirmwareUpdateGui, RefusalsSendNothingAndAllUnitsIsNoTarget) {
  const auto before = stored(1, "SYSTEM.COM");
  choose("small.bin", system_image(127, 6, 0, 0x0004));
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 0);
  EXPECT_EQ(ui_.boxes(),
            std::vector<std::string>{" Error|Error: File is too small to be a system file"});
  EXPECT_EQ(operator_.transfers, 0);

  ui_.clear();
  app_.settings.values.id = -1;
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].rfind(" System update|Firmware is updated one unit at a time", 0), 0u);
  EXPECT_EQ(stored(1, "SYSTEM.COM"), before);
}

TEST_F(FirmwareUpdateGuiNoFpga, AsksForTheFpgaMajorAndConfirmsWithIt) {
  const Bytes for4 = system_image(400, 7, 3, 0x0008);
  choose("new.pak",
         package({{0x0004, 5, 1, system_image(300, 5, 1, 0x0004)}, {0x0008, 7, 3, for4}}));
  QStringList offered;
  operator_.on(dialog_name(ids::kSelectFpgaDialog), [&](QWidget* d) {
    auto* list = d->findChild<QComboBox*>(control_name(ids::kFpgaList));
    offered.clear();
    for (int i = 0; i < list->count(); ++i)
      offered << list->itemText(i);
    EXPECT_EQ(list->currentIndex(), 0);
    list->setCurrentIndex(2);  // FPGA 4.xx
    d->findChild<QAbstractButton*>("okButton")->click();
  });
  ui_.answer({BoxAnswer::Yes, BoxAnswer::No});
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 1);
  EXPECT_EQ(offered, (QStringList{"FPGA 2.xx", "FPGA 3.xx", "FPGA 4.xx", "FPGA 5.xx", "FPGA 6.xx",
                                  "FPGA 7.xx", "FPGA 8.xx", "FPGA 9.xx"}));
  ASSERT_FALSE(ui_.boxes().empty());
  EXPECT_EQ(ui_.boxes()[0],
            " System update|Update unit 0 with firmware version: 7.3\n(Processor FPGA version is: "
            "4.0)");
  EXPECT_EQ(stored(1, "SYSTEM.COM"), for4);

  // Cancel in dialog 183 stops with its box.
  ui_.clear();
  operator_.on(dialog_name(ids::kSelectFpgaDialog),
               [](QWidget* d) { d->findChild<QAbstractButton*>("cancelButton")->click(); });
  EXPECT_EQ(update_firmware_flow(app_, nullptr), 0);
  EXPECT_EQ(ui_.boxes(), std::vector<std::string>{" System update| Update cancelled. "});
}

}  // namespace
}  // namespace qm::test
