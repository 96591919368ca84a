// The remote directory and its key prompt against a simulated wall on a pseudo-terminal: what
// the window lists, which buttons a name enables, the write protection of sector 1, and what
// each button and a drop send to the unit and leave in its flash.
#include "shell/remote_directory_dialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QRadioButton>
#include <QTabBar>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/text_format.h"
#include "compiler/sequence_format.h"
#include "flash/key_character_dialog.h"
#include "flash/key_map.h"
#include "gui/gui_rig.h"
#include "gui/modal_operator.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

Bytes bytes_of(const std::string& text) {
  return {text.begin(), text.end()};
}
std::string hex_of(const std::string& text) {
  return to_hex(bytes_of(text));
}
// A sequence that waits for a key, as a unit runs it.
Bytes waiting_sequence() {
  const auto header = sequence_header(kSequenceHeaderSize);
  Bytes image(header.begin(), header.end());
  image.push_back(static_cast<std::uint8_t>(Opcode::WaitEvent));
  image.push_back(static_cast<std::uint8_t>(Opcode::EndProc));
  return image;
}
// The name as a request carries it: its bytes and the NUL, in hex.
std::string hex_name(const std::string& name) {
  return hex_of(name + '\0');
}

// Units that compact at once, so that Restore's wait ends with the unit's next answer.
sim::WallConfig quick_wall() {
  sim::WallConfig config;
  config.channels = {16, 16, 0, 0};
  config.unit.compaction_ms = 0;
  return config;
}

class RemoteDirectoryGui : public GuiRig {
 protected:
  RemoteDirectoryGui() : GuiRig(quick_wall()) {
    connect_serial();
    store(3, "SEQ.SFB", waiting_sequence());
    store(3, "b.sfb", waiting_sequence());
    store(3, "NOTES.TXT", bytes_of("notes"));
    store(2, "SETUP.CFG", bytes_of("cfg"));
    store(2, "$LOG.TXT", bytes_of("log text"));
    store(5, "SEQ.SFB", bytes_of("other"));
  }

  // Opens the window as the Flash command does and waits for its first listing.
  void open() {
    dialog_ = std::make_unique<RemoteDirectoryDialog>(app_, nullptr);
    dialog_->show();
    ASSERT_TRUE(settle([&] { return dialog_->idle() && list()->count() > 0; }));
  }
  void wait_idle() {
    ASSERT_TRUE(settle([&] { return dialog_->idle(); }));
    app_.worker.wait_until_idle();
    QCoreApplication::processEvents();
    ASSERT_TRUE(settle([&] { return dialog_->idle(); }));
  }

  QListWidget* list() { return child<QListWidget>(dialog_.get(), control_name(ids::kFileList)); }
  QTabBar* tabs() { return child<QTabBar>(dialog_.get(), control_name(ids::kSectorTabs)); }
  QLineEdit* name() { return child<QLineEdit>(dialog_.get(), control_name(ids::kFilenameField)); }
  QString label(int id) { return child<QLabel>(dialog_.get(), control_name(id))->text(); }
  QAbstractButton* button(int id) {
    return child<QAbstractButton>(dialog_.get(), control_name(id));
  }
  std::vector<std::string> entries() {
    std::vector<std::string> out;
    for (int i = 0; i < list()->count(); ++i)
      out.push_back(list()->item(i)->text().toStdString());
    return out;
  }
  void show_tab(int tab) {
    tabs()->setCurrentIndex(tab);
    wait_idle();
  }
  // Selects the listed file as a click would.
  void select(const std::string& file) {
    for (int i = 0; i < list()->count(); ++i)
      if (entry_name(list()->item(i)->text().toStdString()) == file) {
        list()->setCurrentRow(i);
        return;
      }
    FAIL() << file << " is not listed";
  }
  void double_click(const std::string& file) {
    select(file);
    Q_EMIT list()->itemDoubleClicked(list()->currentItem());
    wait_idle();
  }
  void click(int id) {
    button(id)->click();
    wait_idle();
  }
  // Drops the files on the window as a file manager would: the drag enters, then the drop.
  void drop_files(const std::vector<fs::path>& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& f : files)
      urls.append(QUrl::fromLocalFile(QString::fromStdString(f.string())));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &drop);
  }
  // The boxes shown, and the requests sent, from now on.
  void forget_traffic() {
    wait_idle();
    mark_traffic();
    ui_.clear();
  }
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& call : ui_.calls())
      if (call.rfind("box:", 0) == 0) out.push_back(call);
    return out;
  }
  // The requests since forget_traffic() other than those reading a listing (sector status,
  // find first and next); once at least `at_least` are there, or after 3 s.
  std::vector<std::string> changes_sent(std::size_t at_least = 0) const {
    return sent_since_mark(at_least, {0x44, 0x3C, 0x3D});
  }

  Operator operator_;
  std::unique_ptr<RemoteDirectoryDialog> dialog_;
};

TEST_F(RemoteDirectoryGui, Opening_ListsTheSequenceSectorOfUnitZeroWithItsSpace) {
  app_.settings.values.id = -1;  // all units
  open();
  EXPECT_EQ(app_.settings.values.id, 0);
  EXPECT_TRUE(child<QRadioButton>(dialog_.get(), control_name(ids::kUnitRadio0))->isChecked());
  EXPECT_FALSE(polls_sent(1).empty());
  EXPECT_EQ(tabs()->count(), 5);
  EXPECT_EQ(tabs()->tabText(0), "Sector 1");
  EXPECT_EQ(tabs()->currentIndex(), 2);
  EXPECT_EQ(label(ids::kSectorNameText), "Sequence");
  EXPECT_EQ(entries(),
            (std::vector<std::string>{"b.sfb\t7    ", "NOTES.TXT\t5    ", "SEQ.SFB\t7    "}));
  FlashSectorStatus space;
  wall_.with_unit(0, [&](sim::SimUnit& u) {
    const auto s = u.flash().space(3);
    space = {static_cast<std::uint16_t>(s.free), static_cast<std::uint16_t>(s.used),
             static_cast<std::uint16_t>(s.recoverable)};
  });
  EXPECT_EQ(label(ids::kSpaceText).toStdString(), space_label(space));
  EXPECT_TRUE(label(ids::kSpaceText).startsWith("Free: "));
  EXPECT_TRUE(name()->text().isEmpty());
  EXPECT_EQ(name()->maxLength(), 12);
  EXPECT_EQ(dialog_->button_mask(), kMaskNoFile);
  for (int id : {ids::kStopButton, ids::kDownloadFileButton, ids::kRestoreSectorButton})
    EXPECT_TRUE(button(id)->isEnabled()) << id;
  for (int id :
       {ids::kRunFileButton, ids::kDeleteFileButton, ids::kRenameFileButton, ids::kUploadFileButton,
        ids::kEditFileButton, ids::kInitialSequenceButton, ids::kMapKeyButton})
    EXPECT_FALSE(button(id)->isEnabled()) << id;
  EXPECT_TRUE(dialog_->acceptDrops());
}

TEST_F(RemoteDirectoryGui, Buttons_FollowTheNamedFileAndTheTab) {
  open();
  select("SEQ.SFB");
  EXPECT_EQ(name()->text(), "SEQ.SFB");
  EXPECT_EQ(dialog_->button_mask(), kMaskSequenceFileHere);
  EXPECT_TRUE(button(ids::kMapKeyButton)->isEnabled());
  EXPECT_FALSE(button(ids::kEditFileButton)->isEnabled());

  show_tab(4);  // the same name in the General sector: no Map
  EXPECT_TRUE(name()->text().isEmpty());
  EXPECT_EQ(dialog_->button_mask(), kMaskNoFile);
  select("SEQ.SFB");
  EXPECT_EQ(dialog_->button_mask(), kMaskSequenceFile);
  EXPECT_FALSE(button(ids::kMapKeyButton)->isEnabled());

  show_tab(1);
  select("$LOG.TXT");
  EXPECT_EQ(dialog_->button_mask(), kMaskUnitFile);
  EXPECT_TRUE(button(ids::kEditFileButton)->isEnabled());
  name()->setText("OTHER.TXT");  // typed
  EXPECT_EQ(dialog_->button_mask(), kMaskOtherFile);
  name()->clear();
  EXPECT_EQ(dialog_->button_mask(), kMaskNoFile);
}

TEST_F(RemoteDirectoryGui, SectorOneWithoutItsOption_RefusesEveryWriteButUploadAndRestoreWork) {
  store(1, "$SYS.TXT", bytes_of("system"));
  open();
  show_tab(0);
  select("$SYS.TXT");
  forget_traffic();
  operator_.on("fileDialog", [](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
  for (int id : {ids::kDeleteFileButton, ids::kRenameFileButton, ids::kDownloadFileButton,
                 ids::kEditFileButton})
    click(id);
  // A drop of two files: one refusal each.
  const fs::path local = folder_ / "X.SFB";
  std::ofstream(local) << "x";
  drop_files({local, local});
  ASSERT_TRUE(settle([&] { return boxes().size() == 6; }));
  for (const auto& box : boxes())
    EXPECT_EQ(box, "box:Write protected|Sector 1 is write protected");
  EXPECT_TRUE(changes_sent().empty());
  EXPECT_EQ(stored(1, "$SYS.TXT"), bytes_of("system"));

  // Upload is not refused: it reads the file and offers to save it (refused here).
  select("$SYS.TXT");
  click(ids::kUploadFileButton);
  EXPECT_EQ(operator_.transfers, 1);
  forget_traffic();
  click(ids::kRestoreSectorButton);
  EXPECT_EQ(changes_sent(), (std::vector<std::string>{"07 00 45 01"}));
  EXPECT_TRUE(boxes().empty());

  // With the option on, the same Delete goes ahead.
  app_.options.flash_sector1 = true;
  select("$SYS.TXT");
  ui_.answer({BoxAnswer::Yes});
  click(ids::kDeleteFileButton);
  EXPECT_FALSE(stored(1, "$SYS.TXT"));
}

TEST_F(RemoteDirectoryGui, DoubleClick_RunsSequencesSavesUnitFilesAndIgnoresTheOthers) {
  open();
  show_tab(1);
  forget_traffic();
  double_click("SETUP.CFG");
  EXPECT_TRUE(changes_sent().empty());
  EXPECT_EQ(operator_.transfers, 0);

  const fs::path saved = folder_ / "log.txt";
  QString offered;
  operator_.on("fileDialog", [&](QWidget* d) {
    auto* chooser = qobject_cast<QFileDialog*>(d);
    offered = chooser->windowTitle();
    chooser->selectFile(QString::fromStdString(saved.string()));
    static_cast<QDialog*>(chooser)->accept();
  });
  double_click("$LOG.TXT");
  EXPECT_EQ(offered, " Save Uploaded file");
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "log text");

  show_tab(2);
  forget_traffic();
  double_click("SEQ.SFB");
  EXPECT_EQ(changes_sent(2), (std::vector<std::string>{"07 00 3E 00 03 " + hex_name("SEQ.SFB"),
                                                       "07 00 4D 03 " + hex_name("SEQ.SFB")}));
  bool running = false;
  wall_.with_unit(0, [&](sim::SimUnit& u) { running = u.engine().running(); });
  EXPECT_TRUE(running);
  forget_traffic();
  click(ids::kStopButton);
  EXPECT_EQ(changes_sent(1), (std::vector<std::string>{"07 00 4F"}));
}

TEST_F(RemoteDirectoryGui, Delete_AsksWithNoAsDefaultAndChangesNothingForAFileAlreadyGone) {
  open();
  select("NOTES.TXT");
  forget_traffic();
  click(ids::kDeleteFileButton);  // answered No
  EXPECT_EQ(boxes(),
            (std::vector<std::string>{"box: Delete Flash|Delete Flash file: 3:NOTES.TXT"}));
  EXPECT_TRUE(changes_sent().empty());

  ui_.answer({BoxAnswer::Yes});
  click(ids::kDeleteFileButton);
  EXPECT_EQ(changes_sent(), (std::vector<std::string>{"07 00 3E 00 03 " + hex_name("NOTES.TXT"),
                                                      "07 00 42 03 " + hex_name("NOTES.TXT")}));
  EXPECT_FALSE(stored(3, "NOTES.TXT"));
  EXPECT_EQ(entries(), (std::vector<std::string>{"b.sfb\t7    ", "SEQ.SFB\t7    "}));
  EXPECT_TRUE(name()->text().isEmpty());

  // The unit lost b.sfb behind the window's back: the delete finds nothing and changes nothing.
  select("b.sfb");
  wall_.with_unit(0, [](sim::SimUnit& u) { u.flash().remove(3, "b.sfb"); });
  forget_traffic();
  ui_.answer({BoxAnswer::Yes});
  click(ids::kDeleteFileButton);
  EXPECT_EQ(changes_sent(), (std::vector<std::string>{"07 00 3E 00 03 " + hex_name("b.sfb")}));
  EXPECT_EQ(name()->text(), "b.sfb");
  EXPECT_EQ(entries().size(), 2u);
}

TEST_F(RemoteDirectoryGui, Rename_TakesTheNewNameFromItsDialog) {
  open();
  select("NOTES.TXT");
  QString old_shown;
  operator_.on(dialog_name(ids::kFlashRenameDialog), [&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), " Flash file rename");
    old_shown = d->findChild<QLineEdit*>(control_name(ids::kOldFilenameField))->text();
    d->findChild<QLineEdit*>(control_name(ids::kNewFilenameField))->setText("README.TXT");
    d->findChild<QAbstractButton*>("okButton")->click();
  });
  forget_traffic();
  click(ids::kRenameFileButton);
  EXPECT_EQ(old_shown, "NOTES.TXT");
  EXPECT_EQ(changes_sent(), (std::vector<std::string>{"07 00 46 03 " + hex_name("NOTES.TXT") +
                                                      " 03 " + hex_name("README.TXT")}));
  EXPECT_EQ(stored(3, "README.TXT"), bytes_of("notes"));
  EXPECT_EQ(entries()[1], "README.TXT\t5    ");
  EXPECT_TRUE(name()->text().isEmpty());

  // OK with the new name empty sends nothing.
  select("SEQ.SFB");
  operator_.on(dialog_name(ids::kFlashRenameDialog),
               [&](QWidget* d) { d->findChild<QAbstractButton*>("okButton")->click(); });
  forget_traffic();
  click(ids::kRenameFileButton);
  EXPECT_TRUE(changes_sent().empty());
  EXPECT_EQ(dialog_->button_mask(), kMaskNoFile);
}

TEST_F(RemoteDirectoryGui, ThreeDroppedFiles_DownloadOneAfterAnotherAskingForTheExistingName) {
  open();
  std::vector<fs::path> files;
  for (const char* file : {"ONE.SFB", "SEQ.SFB", "TWO.SFB"}) {
    files.push_back(folder_ / file);
    std::ofstream(files.back(), std::ios::binary) << "dropped " << file;
  }
  forget_traffic();
  ui_.answer({BoxAnswer::Yes});  // replace SEQ.SFB
  drop_files(files);
  ASSERT_TRUE(settle([&] { return operator_.transfers == 3 && dialog_->idle(); }));
  wait_idle();
  EXPECT_EQ(boxes(), (std::vector<std::string>{
                         "box: Overwrite Warning|File \"3:SEQ.SFB\" exists in Flash, overwrite?"}));
  EXPECT_EQ(stored(3, "ONE.SFB"), bytes_of("dropped ONE.SFB"));
  EXPECT_EQ(stored(3, "SEQ.SFB"), bytes_of("dropped SEQ.SFB"));
  EXPECT_EQ(stored(3, "TWO.SFB"), bytes_of("dropped TWO.SFB"));
  // The creates went out in the order of the drop.
  std::vector<std::string> creates;
  for (const auto& m : changes_sent())
    if (m.rfind("07 00 3E 01", 0) == 0) creates.push_back(m);
  EXPECT_EQ(creates, (std::vector<std::string>{"07 00 3E 01 03 " + hex_name("ONE.SFB"),
                                               "07 00 3E 01 03 " + hex_name("SEQ.SFB"),
                                               "07 00 3E 01 03 " + hex_name("TWO.SFB")}));
  EXPECT_EQ(entries().size(), 5u);
}

TEST_F(RemoteDirectoryGui, InitialSequence_CopiesToStartFileOnlyAfterTheQuestion) {
  open();
  select("SEQ.SFB");
  click(ids::kInitialSequenceButton);  // no start file yet: no question
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(stored(2, "$START.SFB"), waiting_sequence());

  select("b.sfb");
  forget_traffic();
  click(ids::kInitialSequenceButton);  // answered No
  EXPECT_EQ(boxes(), (std::vector<std::string>{"box: Start-up|Replace existing start up file"}));
  EXPECT_EQ(changes_sent(), std::vector<std::string>{});
  EXPECT_EQ(operator_.transfers, 2);  // the first copy's upload and download only
  EXPECT_EQ(stored(2, "$START.SFB"), waiting_sequence());
}

TEST_F(RemoteDirectoryGui, MapKey_WritesTheKeyMapAndTheUnitRunsTheSequenceOnTheKey) {
  open();
  select("SEQ.SFB");
  operator_.on(dialog_name(ids::kKeyCharacterDialog), [](QWidget* d) {
    d->findChild<QLineEdit*>(control_name(ids::kKeyCharacterField))->setText("A");
    d->findChild<QAbstractButton*>("okButton")->click();
  });
  click(ids::kMapKeyButton);
  const std::string header = kKeyMapHeader;
  EXPECT_EQ(stored(2, kKeyMapName), bytes_of(header + "65 = SEQ.SFB\n"));
  EXPECT_EQ(operator_.transfers, 1);  // nothing to read: the download only

  // Mapped again, to another file: the old line goes, the upload reads it first.
  select("b.sfb");
  click(ids::kMapKeyButton);
  EXPECT_EQ(stored(2, kKeyMapName), bytes_of(header + "65 = b.sfb\n"));
  EXPECT_EQ(operator_.transfers, 3);

  // The unit starts it on the key.
  app_.worker.post([](Link& link) {
    const Bytes key{65};
    link.unit_send(kDeviceUnit, 0, kFnKey, key);
  });
  app_.worker.wait_until_idle();
  std::string running;
  ASSERT_TRUE(settle([&] {
    wall_.with_unit(0, [&](sim::SimUnit& u) { running = u.engine().file_name(); });
    return running == "b.sfb";
  }));
}

TEST_F(RemoteDirectoryGui, MapKey_WithoutAnAnswerForTheKeyMapSaysSoAndWritesNothing) {
  open();
  select("SEQ.SFB");
  app_.link.com_release();
  operator_.on(dialog_name(ids::kKeyCharacterDialog), [](QWidget* d) {
    d->findChild<QLineEdit*>(control_name(ids::kKeyCharacterField))->setText("B");
    d->findChild<QAbstractButton*>("okButton")->click();
  });
  click(ids::kMapKeyButton);
  EXPECT_EQ(boxes(), (std::vector<std::string>{
                         "box: Error|Error: No directory entry for 2:$IRMAP.TXT on the unit"}));
  EXPECT_EQ(operator_.transfers, 0);
  EXPECT_FALSE(stored(2, kKeyMapName));
}

TEST_F(RemoteDirectoryGui, SilentUnit_LeavesTheListEmptyAndSaysSo) {
  open();
  app_.link.com_release();
  ui_.clear();
  show_tab(3);
  EXPECT_EQ(list()->count(), 0);
  EXPECT_EQ(ui_.statuses(), (std::vector<std::string>{kRemoteReadFailure}));
  EXPECT_EQ(label(ids::kSectorNameText), "Sequence");  // the old labels stay
}

TEST_F(RemoteDirectoryGui, UnitRadio_ListsThatUnitsFlash) {
  wall_.with_unit(
      1, [](sim::SimUnit& u) { ASSERT_TRUE(u.flash().put_file(3, "UNIT1.SFB", bytes_of("1"))); });
  app_.settings.values.units[1] = 16;  // installed
  open();
  child<QRadioButton>(dialog_.get(), control_name(ids::kUnitRadio0 + 1))->click();
  wait_idle();
  EXPECT_EQ(app_.settings.values.id, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"UNIT1.SFB\t1    "}));
}

TEST(KeyCharacterPrompt, ModesConvertTheEntryAndTheModeIsKept) {
  KeyEntryMode mode = KeyEntryMode::kAscii;
  {
    KeyCharacterDialog dialog(mode, nullptr);
    auto* field = dialog.findChild<QLineEdit*>(control_name(ids::kKeyCharacterField));
    auto* code = dialog.findChild<QRadioButton*>(control_name(ids::kKeyCodeRadio));
    auto* ascii = dialog.findChild<QRadioButton*>(control_name(ids::kAsciiCharacterRadio));
    EXPECT_EQ(dialog.windowTitle(), " Key character");
    EXPECT_TRUE(ascii->isChecked());
    EXPECT_EQ(field->maxLength(), 1);
    field->setText("A");
    EXPECT_EQ(dialog.key_code(), 65);
    code->click();
    EXPECT_EQ(field->text(), "65");
    EXPECT_EQ(field->maxLength(), 4);
    EXPECT_EQ(dialog.key_code(), 65);
    ascii->click();
    EXPECT_EQ(field->text(), "A");
    code->click();
    field->setText("12x");
    EXPECT_EQ(dialog.key_code(), 12);
    field->setText("A");
    EXPECT_EQ(dialog.key_code(), 65);
    field->setText("32");
    ascii->click();
    EXPECT_EQ(field->text(), "");  // a blank is no key character
    code->click();
  }
  EXPECT_EQ(mode, KeyEntryMode::kKeyCode);
  KeyCharacterDialog again(mode, nullptr);
  EXPECT_TRUE(again.findChild<QRadioButton*>(control_name(ids::kKeyCodeRadio))->isChecked());
}

}  // namespace
}  // namespace qm::test
