// The sequence buttons panel against a simulated wall: adding a button and the project file it
// is saved in, a run started from a button, Install with a compile error, cut and paste, the
// delete question, the project box shown once, and a save that fails without losing anything.
#include "shell/buttons_dialog.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTabBar>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "base/ui_helpers_widget.h"
#include "gui/gui_rig.h"
#include "gui/modal_operator.h"
#include "ids.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class ButtonsGui : public GuiRig {
 protected:
  ButtonsGui() : start_dir_(fs::current_path()) {
    connect_serial();
    app_.settings.values.id = 0;
    app_.options.skip_std = true;
  }
  ~ButtonsGui() override { fs::current_path(start_dir_); }

  std::unique_ptr<ButtonsDialog> open() {
    auto d = std::make_unique<ButtonsDialog>(app_, nullptr);
    d->show();
    QCoreApplication::processEvents();
    return d;
  }
  // The project the panel finds: wall.efx in the per-user folder, holding these buttons.
  void write_project(const std::vector<std::pair<int, SequenceButton>>& buttons) {
    ButtonTable table;
    for (const auto& [index, button] : buttons)
      table[static_cast<std::size_t>(index)] = button;
    fs::create_directories(folder_ / "Quadrimon");
    std::ofstream(folder_ / "Quadrimon" / "wall.efx", std::ios::binary) << project_text(table);
  }
  static QAbstractButton* control(QWidget* d, int id) {
    return d->findChild<QAbstractButton*>(control_name(id));
  }
  static QAbstractButton* slot(QWidget* d, int s) { return control(d, 1010 + s); }
  fs::path write(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  void fill_dialog_167(const QString& legend, const QString& file) {
    operator_.on(dialog_name(167), [legend, file](QWidget* d) {
      d->findChild<QLineEdit*>(control_name(1056))->setText(legend);
      d->findChild<QLineEdit*>(control_name(1239))->setText(file);
      d->findChild<QAbstractButton*>("okButton")->click();
    });
  }

  fs::path start_dir_;
  Operator operator_;
};

TEST_F(ButtonsGui, NewButtonOnPageTwoIsSavedInItsLineAndShowsItsAmpersand) {
  auto d = open();
  const fs::path project = *d->project();
  EXPECT_EQ(d->windowTitle().toStdString(), " Sequence Buttons: " + project.string());
  d->findChild<QTabBar*>(control_name(1266))->setCurrentIndex(1);
  control(d.get(), 1268)->click();  // New: the spare view
  EXPECT_EQ(slot(d.get(), 0)->text(), "Spare");
  EXPECT_TRUE(slot(d.get(), 0)->isEnabled());
  fill_dialog_167("Show & Tell", "shows/show");
  slot(d.get(), 0)->click();
  EXPECT_EQ(slot(d.get(), 0)->text(), "Show && Tell");  // shown with its "&"
  EXPECT_TRUE(control(d.get(), 1275)->isChecked());     // back to Run
  EXPECT_FALSE(slot(d.get(), 1)->isVisible());          // empty slots hidden in the normal view

  ui_.answer({BoxAnswer::Yes});  // save the changes
  d->done(QDialog::Accepted);
  EXPECT_EQ(ui_.boxes(), std::vector<std::string>{" Save changes|Save project changes?"});
  std::ifstream in(project, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::string expected;
  for (int i = 0; i < 28; ++i)
    expected += "\r\n";
  expected += "\"Show & Tell\",\"shows/show.seq\"\r\n";
  for (int i = 0; i < 251; ++i)
    expected += "\r\n";
  EXPECT_EQ(text, expected);
}

TEST_F(ButtonsGui, RunStartsTheSequenceOnTheWallAndStopEndsIt) {
  const fs::path seq = write("go.seq", "SEND 7 0 40 2 2\nWAIT 00:00:30\n");
  write_project({{3, {"Go", seq.string()}}});
  auto d = open();
  bool stopped = false;
  operator_.on(dialog_name(ids::kRunDialog), [&](QWidget* run) {
    // Once the SEND is on the wire, Stop.
    for (const auto& m : sent_to_units())
      if (m == "07 00 28 02 02" && !stopped) {
        stopped = true;
        control(run, ids::kStopButton)->click();
      }
  });
  slot(d.get(), 3)->click();
  EXPECT_TRUE(stopped);
  d->done(QDialog::Accepted);
}

TEST_F(ButtonsGui, InstallWithACompileErrorDownloadsNothing) {
  const fs::path seq = write("bad.seq", "NOSUCHCOMMAND 1 2\n");
  write_project({{0, {"Bad", seq.string()}}});
  auto d = open();
  control(d.get(), 1269)->click();  // Install
  slot(d.get(), 0)->click();
  ASSERT_FALSE(ui_.boxes().empty());
  EXPECT_EQ(ui_.boxes()[0].rfind(" Compile|", 0), 0u) << ui_.boxes()[0];
  EXPECT_EQ(operator_.transfers, 0);
  EXPECT_FALSE(fs::exists(folder_ / "bad.SFB"));
  EXPECT_TRUE(control(d.get(), 1275)->isChecked());
  d->done(QDialog::Rejected);
}

TEST_F(ButtonsGui, CutPasteToAnotherPageAndDeleteCancelledKeepsTheMode) {
  write_project({{2, {"Move me", "m.seq"}}});
  auto d = open();
  control(d.get(), 1271)->click();  // Cut
  slot(d.get(), 2)->click();
  EXPECT_TRUE(control(d.get(), 1272)->isChecked());  // Paste follows
  EXPECT_TRUE(control(d.get(), 1272)->isEnabled());
  d->findChild<QTabBar*>(control_name(1266))->setCurrentIndex(3);
  slot(d.get(), 5)->click();
  EXPECT_EQ(app_.buttons.table[static_cast<std::size_t>(slot_index(3, 5))],
            (SequenceButton{"Move me", "m.seq"}));
  EXPECT_FALSE(app_.buttons.table[2].in_use());

  control(d.get(), 1270)->click();  // Delete, answered Cancel (no answer given)
  slot(d.get(), 5)->click();
  EXPECT_EQ(ui_.boxes().back(),
            " Delete button|Delete button? Note this will not delete\n the "
            "associated sequence file.");
  EXPECT_TRUE(control(d.get(), 1270)->isChecked());
  EXPECT_TRUE(app_.buttons.table[static_cast<std::size_t>(slot_index(3, 5))].in_use());
  ui_.answer({BoxAnswer::No});  // Done: do not save
  d->done(QDialog::Accepted);
}

TEST_F(ButtonsGui, AFailedSaveSaysWhyAndKeepsThePanelOpenWithItsChanges) {
  auto d = open();
  const fs::path project = *d->project();
  app_.buttons.table[0] = {"New", "n.seq"};
  app_.buttons.modified = true;
  // The project's place is taken by a folder: the new file cannot go there.
  fs::remove(project);
  fs::create_directory(project);
  ui_.answer({BoxAnswer::Yes});
  d->done(QDialog::Accepted);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(app_.buttons.modified);
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[1].rfind(" Error|Error: Can't save the project " + project.string(), 0),
            0u);
  fs::remove(project);
  ui_.answer({BoxAnswer::No});
  d->done(QDialog::Accepted);
  EXPECT_FALSE(d->isVisible());
}

TEST_F(ButtonsGui, NoValidProjectIsToldOnceAtTheNextIdleMoment) {
  // A folder where the project file should be: it cannot be read or made.
  fs::create_directories(folder_ / "Quadrimon");
  fs::create_directory(folder_ / "Quadrimon" / "wall.efx");
  auto d = open();
  settle([&] { return !ui_.boxes().empty(); }, 2000);
  QCoreApplication::processEvents();
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].rfind(" Project|There is no valid project set.", 0), 0u);
  d->done(QDialog::Rejected);
}

}  // namespace
}  // namespace qm::test
