// File > Create Font: dialog 181 with its lists, the width and height kept for the run, the
// preview, and the whole command from the choice to the file, which must be the file qmctl
// font builds for the same choice.
#include "fontbuilder/font_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/ui_helpers_widget.h"
#include "fontbuilder/font_renderer_widget.h"
#include "gui/modal_operator.h"
#include "gui/screenshot.h"
#include "ids.h"
#include "shell/main_window.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T* control(QWidget* dialog, int id) {
  return dialog->findChild<T*>(control_name(id));
}

// Picks the face, width and height as the operator would.
void pick(QWidget* dialog, const QString& face, const QString& width, const QString& height) {
  auto* faces = control<QListWidget>(dialog, ids::kFontFaceList);
  const auto found = faces->findItems(face, Qt::MatchExactly);
  ASSERT_FALSE(found.isEmpty()) << face.toStdString();
  faces->setCurrentItem(found.front());
  control<QComboBox>(dialog, ids::kFontWidthList)->setCurrentText(width);
  control<QComboBox>(dialog, ids::kFontHeightList)->setEditText(height);
}

class FontDialogGui : public ::testing::Test {
 protected:
  FontDialogGui() : folder_("font") {}
  // Saves the font under `path` when the file chooser asks, noting how it asked.
  void save_as(const fs::path& path) {
    operator_.on("fileDialog", [this, path](QWidget* d) {
      auto* chooser = qobject_cast<QFileDialog*>(d);
      chooser_title_ = chooser->windowTitle();
      chooser_filters_ = chooser->nameFilters();
      chooser->selectFile(QString::fromStdString(path.string()));
      static_cast<QDialog*>(chooser)->accept();
    });
  }

  TempFolder folder_;
  RecordingUi ui_;
  FontSizes sizes_;
  Operator operator_;
  QString chooser_title_;
  QStringList chooser_filters_;
};

TEST_F(FontDialogGui, Dialog_OpensOnTheSizesInUseWithItsNumberedControls) {
  FontDialog dialog(sizes_, nullptr);
  EXPECT_EQ(dialog.objectName(), "dialog181");
  EXPECT_EQ(dialog.windowTitle(), " Create Font");
  auto* widths = control<QComboBox>(&dialog, ids::kFontWidthList);
  auto* heights = control<QComboBox>(&dialog, ids::kFontHeightList);
  ASSERT_NE(widths, nullptr);
  ASSERT_NE(heights, nullptr);
  EXPECT_EQ(widths->count(), 26);
  EXPECT_EQ(widths->itemText(0), "5");
  EXPECT_EQ(widths->itemText(25), "30");
  EXPECT_FALSE(widths->isEditable());
  EXPECT_EQ(heights->count(), 54);
  EXPECT_EQ(heights->itemText(0), "7");
  EXPECT_EQ(heights->itemText(53), "60");
  EXPECT_TRUE(heights->isEditable());
  // What is shown is what is built: 7 and 10 before any pick.
  EXPECT_EQ(widths->currentText(), "7");
  EXPECT_EQ(heights->currentText(), "10");

  // The face that stands in for the default one, upright and of normal weight.
  auto* faces = control<QListWidget>(&dialog, ids::kFontFaceList);
  ASSERT_NE(faces->currentItem(), nullptr);
  EXPECT_EQ(faces->currentItem()->text(), kFallbackFontFace);
  const FontChoice choice = dialog.choice();
  EXPECT_EQ(choice.weight, kFontWeightNormal);
  EXPECT_FALSE(choice.italic || choice.underline || choice.strikeout);
  EXPECT_EQ(choice.width, 7);
  EXPECT_EQ(choice.height, 10);
  EXPECT_GT(control<QListWidget>(&dialog, ids::kFontStyleList)->count(), 1);
  EXPECT_GE(control<QComboBox>(&dialog, ids::kFontScriptList)->findText("Latin"), 0);
  for (int id : {ids::kStrikeoutCheck, ids::kUnderlineCheck})
    EXPECT_FALSE(control<QCheckBox>(&dialog, id)->isChecked()) << id;
  EXPECT_FALSE(dialog.findChild<QLabel*>("fontPreview")->pixmap().isNull());

  // Later openings show the sizes picked last.
  sizes_ = {12, 33};
  FontDialog again(sizes_, nullptr);
  EXPECT_EQ(control<QComboBox>(&again, ids::kFontWidthList)->currentText(), "12");
  EXPECT_EQ(control<QComboBox>(&again, ids::kFontHeightList)->currentText(), "33");
}

TEST_F(FontDialogGui, Dialog_APickedSizeIsUsedAtOnceAndATypedHeightOnlyWithinOneToSixty) {
  FontDialog dialog(sizes_, nullptr);
  auto* heights = control<QComboBox>(&dialog, ids::kFontHeightList);
  auto* preview = dialog.findChild<QLabel*>("fontPreview");
  const int narrow = preview->pixmap().width();

  control<QComboBox>(&dialog, ids::kFontWidthList)->setCurrentText("12");
  EXPECT_EQ(sizes_.width, 12);
  EXPECT_GT(preview->pixmap().width(), narrow);  // the preview follows the width

  heights->setEditText("3");  // typed: below the list, still a height
  EXPECT_EQ(sizes_.height, 3);
  for (const char* refused : {"0", "61", "-5", "", "12x"}) {
    heights->setEditText(QString::fromLatin1(refused));
    EXPECT_EQ(sizes_.height, 3) << refused;
  }
  heights->setCurrentIndex(heights->findText("24"));
  EXPECT_EQ(sizes_.height, 24);
  EXPECT_EQ(dialog.choice().height, 24);

  // The validator keeps letters and numbers over 60 out of the field.
  heights->lineEdit()->clear();
  QTest::keyClicks(heights->lineEdit(), "9a");
  EXPECT_EQ(heights->currentText(), "9");
}

TEST_F(FontDialogGui, CreateFont_SavesTheFileQmctlBuildsForTheSameChoice) {
  const fs::path saved = folder_ / "ls.fnt";
  operator_.on("dialog181", [](QWidget* d) {
    pick(d, "Liberation Sans", "8", "16");
    control<QAbstractButton>(d, 1)->click();  // Save
  });
  save_as(saved);
  create_font_file(sizes_, ui_, nullptr);
  EXPECT_EQ(chooser_title_, " Create Font");
  EXPECT_TRUE(chooser_filters_.contains("Quadrimon Font files (*.fnt)"))
      << chooser_filters_.join(";").toStdString();
  EXPECT_TRUE(ui_.boxes().empty());
  const std::string gui = slurp(saved);
  ASSERT_GT(gui.size(), 387u);
  EXPECT_EQ(sizes_.width, 8);
  EXPECT_EQ(sizes_.height, 16);

  const fs::path cli = folder_ / "cli.fnt";
  const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + QMCTL_PATH +
                              "' font 'Liberation Sans' --width 8 --height 16 -o '" + cli.string() +
                              "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(gui == slurp(cli)) << "the GUI's file differs from qmctl's";
}

TEST_F(FontDialogGui, CreateFont_CancelWritesNothingButKeepsTheSizesPicked) {
  operator_.on("dialog181", [](QWidget* d) {
    pick(d, "DejaVu Sans", "9", "18");
    control<QAbstractButton>(d, 2)->click();  // Cancel
  });
  create_font_file(sizes_, ui_, nullptr);
  EXPECT_EQ(sizes_.width, 9);
  EXPECT_EQ(sizes_.height, 18);
  EXPECT_TRUE(ui_.calls().empty());

  // Saved, but the file chooser cancelled: nothing written either.
  bool asked = false;
  operator_.on("dialog181", [](QWidget* d) { control<QAbstractButton>(d, 1)->click(); });
  operator_.on("fileDialog", [&](QWidget* d) {
    asked = true;
    static_cast<QDialog*>(d)->reject();
  });
  create_font_file(sizes_, ui_, nullptr);
  EXPECT_TRUE(asked);
  EXPECT_TRUE(ui_.calls().empty());
  EXPECT_TRUE(fs::is_empty(folder_.path()));
}

TEST_F(FontDialogGui, CreateFont_AFileThatCannotBeWrittenIsReportedAndNothingIsLeft) {
  operator_.on("dialog181", [](QWidget* d) { control<QAbstractButton>(d, 1)->click(); });
  save_as(folder_ / "missing" / "font.fnt");
  create_font_file(sizes_, ui_, nullptr);
  EXPECT_EQ(ui_.boxes(), std::vector<std::string>{" Create Font| Error saving created font file"});
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

TEST_F(FontDialogGui, MainWindow_CreateFontOpensTheDialog) {
  fs::create_directories(folder_ / "user");
  fs::create_directories(folder_ / "program");
  MainWindow w(Settings(folder_ / "user", folder_ / "program"), false);
  bool opened = false;
  operator_.on("dialog181", [&](QWidget* d) {
    opened = true;
    static_cast<QDialog*>(d)->reject();
  });
  w.run_command(ids::kCmdCreateFont);
  EXPECT_TRUE(opened);
}

TEST_F(FontDialogGui, Screenshot_FontDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  sizes_ = {10, 24};
  FontDialog dialog(sizes_, nullptr);
  save_screenshot(dialog, QStringLiteral("font_dialog.png"));
}

}  // namespace
}  // namespace qm::test
