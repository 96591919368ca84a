// The flash transfer flows with their progress dialog, against a simulated wall on a
// pseudo-terminal: what lands in the unit's flash, the questions and error boxes, a progress
// dialog that keeps the event loop turning while the link thread works, and Cancel.
#include "shell/transfer_flows_widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "base/ui_helpers_widget.h"
#include "compiler/compiler.h"
#include "editor/editor_window.h"
#include "flash/flash_protocol.h"
#include "flash/transfer_progress_dialog.h"
#include "gui/gui_rig.h"
#include "gui/modal_operator.h"
#include "ids.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

void accept_flash_name(QWidget* dialog, const QString& name) {
  dialog->findChild<QLineEdit*>(control_name(ids::kTextField))->setText(name);
  dialog->findChild<QAbstractButton*>("okButton")->click();
}

class TransferFlows : public GuiRig {
 protected:
  TransferFlows() {
    connect_serial();
    app_.settings.values.id = 0;
  }

  fs::path write_file(const std::string& name, const Bytes& data) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return path;
  }
  static QString q(const fs::path& path) { return QString::fromStdString(path.string()); }
  static Bytes pattern(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
      out[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return out;
  }

  // The message boxes asked so far.
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& call : ui_.calls())
      if (call.rfind("box:", 0) == 0) out.push_back(call);
    return out;
  }

  Operator operator_;
};

TEST_F(TransferFlows, Download_CompiledSequence_LandsInSectorThreeByteForByte) {
  app_.options.skip_std = true;
  const fs::path source = folder_ / "show.seq";
  std::ofstream(source) << "SEND 7 1 40 5\nSEND 7 1 40 6\n";
  ASSERT_EQ(app_.compiler.compile_sequence(source.string(), std::nullopt,
                                           program_compile_options(app_.options, 0)),
            0);
  const fs::path sfb = folder_ / "show.sfb";
  std::ifstream in(sfb, std::ios::binary);
  const Bytes compiled((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(compiled.empty());

  QString proposed;
  operator_.on(dialog_name(ids::kFlashNameDialog), [&](QWidget* d) {
    proposed = d->findChild<QLineEdit*>(control_name(ids::kTextField))->text();
    accept_flash_name(d, "SHOW.SFB");
  });
  EXPECT_EQ(download_local_file(app_, nullptr, q(sfb), kSequenceSector, ""), 1);
  EXPECT_EQ(proposed, "show.sfb");
  // A quiet success: the dialog closed by itself.
  EXPECT_EQ(operator_.transfer_code, kTransferQuiet);
  EXPECT_EQ(stored(3, "SHOW.SFB"), compiled);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(TransferFlows, Download_OverAnExistingFile_AsksAndKeepsItOnNo) {
  store(3, "A.SFB", {1, 2, 3});
  const fs::path local = write_file("A.SFB", pattern(100));
  ui_.answer({BoxAnswer::No});
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(local)), 0);
  EXPECT_EQ(boxes(), std::vector<std::string>{
                         "box: Overwrite Warning|File \"3:A.SFB\" exists in Flash, overwrite?"});
  EXPECT_EQ(stored(3, "A.SFB"), (Bytes{1, 2, 3}));

  ui_.answer({BoxAnswer::Yes});
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(local)), 1);
  EXPECT_EQ(stored(3, "A.SFB"), pattern(100));
}

TEST_F(TransferFlows, LocalFileThatCannotBeRead_IsNamedInAnErrorBoxAndNothingIsSent) {
  const fs::path missing = folder_ / "missing.sfb";
  const fs::path empty = write_file("empty.sfb", {});
  const fs::path big = write_file("big.sfb", Bytes(kTransferLimitBytes, 0));
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(missing)), 0);
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(empty)), 0);
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(big)), 0);
  EXPECT_EQ(boxes(),
            (std::vector<std::string>{
                "box: Error|Error: Can't open file " + missing.string(),
                "box: Error|Error: Can't read file " + empty.string() + ": the file is empty",
                "box: Error|Error: File is too big"}));
  EXPECT_EQ(operator_.transfer_code, -2);  // no progress dialog
  EXPECT_TRUE(sent_to_units().empty());
}

TEST_F(TransferFlows, ProgressDialog_StaysResponsiveAndCancelStopsTheBlocks) {
  sim::Faults faults;
  faults.slow_reply_ms = 10;  // every block waits on the link thread
  wall_.set_faults(faults);
  const fs::path local = write_file("SLOW.SFB", pattern(3200));  // 100 blocks

  QElapsedTimer since_tick;
  qint64 longest_gap = 0;
  QTimer ticks;
  ticks.setInterval(20);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    if (since_tick.isValid()) longest_gap = std::max(longest_gap, since_tick.elapsed());
    since_tick.restart();
  });

  int bar_when_cancelled = -1;
  int bar_maximum = 0;
  QString button_after;
  operator_.on(dialog_name(ids::kTransferDialog), [&](QWidget* d) {
    auto* bar = d->findChild<QProgressBar*>(control_name(ids::kTransferBar));
    auto* button = d->findChild<QAbstractButton*>(control_name(ids::kDialogCancelButton));
    if (!ticks.isActive()) ticks.start();
    if (bar_when_cancelled < 0 && bar->value() >= 5) {
      bar_when_cancelled = bar->value();
      bar_maximum = bar->maximum();
      EXPECT_EQ(button->text(), "Cancel");
      button->click();
      return;
    }
    if (button->text() == "OK") {
      button_after = button->text();
      button->click();
    }
  });
  EXPECT_EQ(download_dropped_file(app_, nullptr, 3, q(local)), 1);
  ticks.stop();

  EXPECT_EQ(operator_.transfer_code, kTransferCancelled);
  EXPECT_EQ(operator_.transfer_text, " Error: User cancelled transaction");
  EXPECT_EQ(button_after, "OK");
  EXPECT_EQ(bar_maximum, 100);
  EXPECT_GE(bar_when_cancelled, 5);
  // The blocks stopped soon after Cancel, and the file was never closed as complete.
  std::size_t blocks = 0;
  for (const auto& m : sent_to_units())
    if (m.rfind("07 00 40", 0) == 0) ++blocks;
  EXPECT_LT(blocks, 100u);
  EXPECT_LT(longest_gap, 100);
}

TEST_F(TransferFlows, UploadAndSave_WritesTheFileOrNamesWhyItCannot) {
  store(5, "DATA.BIN", pattern(70));
  const fs::path saved = folder_ / "data.bin";
  operator_.on("fileDialog", [&](QWidget* d) {
    auto* chooser = qobject_cast<QFileDialog*>(d);
    chooser->selectFile(q(saved));
    static_cast<QDialog*>(chooser)->accept();
  });
  EXPECT_TRUE(upload_and_save(app_, nullptr, 5, "DATA.BIN"));
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            pattern(70));

  // A file that cannot be created: the box names it and the reason.
  app_.transfer.set_data(pattern(5));
  const fs::path nowhere = folder_ / "no" / "such" / "folder.bin";
  EXPECT_FALSE(save_upload_to(app_, q(nowhere)));
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].rfind("box: Error|Error: Can't save file " + nowhere.string() + ": ", 0),
            0u);
}

TEST_F(TransferFlows, EditFlashFile_StoresTheEditedTextWithItsNul) {
  const std::string text = "KEY 1 = SHOW";
  Bytes stored_text(text.begin(), text.end());
  stored_text.push_back(0);
  store(2, "$IRMAP.TXT", stored_text);
  operator_.on(dialog_name(ids::kEditorDialog), [&](QWidget* d) {
    auto* editor = qobject_cast<EditorWindow*>(d);
    if (editor->text_edit()->toPlainText() != QString::fromStdString(text)) return;
    editor->text_edit()->selectAll();
    editor->text_edit()->insertPlainText("KEY 2 = STOP");
    ui_.answer({BoxAnswer::Yes});  // save the changes
    editor->reject();
  });
  EXPECT_TRUE(edit_flash_file(app_, nullptr, 2, "$IRMAP.TXT"));
  const std::string edited = "KEY 2 = STOP";
  Bytes expected(edited.begin(), edited.end());
  expected.push_back(0);
  EXPECT_EQ(stored(2, "$IRMAP.TXT"), expected);
}

TEST_F(TransferFlows, CopyFlashFile_PutsTheSameBytesUnderTheTargetName) {
  store(3, "SEQ1.SFB", pattern(65));
  copy_flash_file(app_, nullptr, 3, "SEQ1.SFB", 2, "$START.SFB");
  EXPECT_EQ(stored(2, "$START.SFB"), pattern(65));
  EXPECT_EQ(stored(3, "SEQ1.SFB"), pattern(65));
}

}  // namespace
}  // namespace qm::test
