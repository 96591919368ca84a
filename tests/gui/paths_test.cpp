// Paths across the Qt boundary: a folder with characters outside ASCII ("Säle") names the same
// file on both sides, through the conversions and through the GUI's ways of reading a file.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <fstream>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "compiler/decode_dialog.h"
#include "gui_rig.h"
#include "shell/main_window.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

const char* const kHall = "S\xC3\xA4le";  // "Säle" in UTF-8

class PathsGui : public test::GuiRig {
 protected:
  PathsGui() : hall_(folder_ / path_from_utf8(kHall)) { fs::create_directories(hall_); }

  fs::path write(const std::string& name, const std::string& bytes) const {
    std::ofstream(hall_ / name, std::ios::binary) << bytes;
    return hall_ / name;
  }
  // The path as the operator's file chooser hands it over.
  static QString chosen(const fs::path& path) { return QString::fromUtf8(utf8_from_path(path)); }

  fs::path hall_;
};

TEST_F(PathsGui, Conversions_KeepEveryCharacterBothWays) {
  const QString text = QStringLiteral(u"/srv/S\u00e4le/B\u00fchne \U0001F3AC/show.seq");
  const fs::path path = path_from_qstring(text);
  EXPECT_EQ(utf8_from_path(path), "/srv/S\xC3\xA4le/B\xC3\xBChne \xF0\x9F\x8E\xAC/show.seq");
  EXPECT_EQ(path.filename(), path_from_utf8("show.seq"));
  EXPECT_EQ(path.parent_path().filename(), path_from_utf8("B\xC3\xBChne \xF0\x9F\x8E\xAC"));
  EXPECT_EQ(qstring_from_path(path), text);
  EXPECT_EQ(qstring_from_path_text(path_text_from_qstring(text)), text);
  EXPECT_EQ(path_texts_from_qstrings({text, QString()}),
            (std::vector<std::string>{utf8_from_path(path), ""}));
}

TEST_F(PathsGui, Decode_ListsAFileInANonAsciiFolder) {
  const fs::path file = write("show.sfb", std::string("\x11", 1));  // END
  DecodeDialog dialog(app_.ui, 50, nullptr, chosen(file));
  EXPECT_FALSE(dialog.ended());
  EXPECT_EQ(dialog.windowTitle(), "Decode " + chosen(file));
  EXPECT_TRUE(child<QPlainTextEdit>(&dialog, QStringLiteral("id1212"))
                  ->toPlainText()
                  .startsWith(QStringLiteral("00000:11")));
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(PathsGui, Compile_ReadsWritesAndReportsInANonAsciiFolder) {
  fs::create_directories(folder_ / "Quadrimon");
  MainWindow w(Settings(folder_ / "Quadrimon", folder_), false);
  w.start({});
  w.app().options.skip_std = true;
  w.compile_file(chosen(write("good.seq", "SEND 7 1 40 1\n")));
  EXPECT_TRUE(fs::exists(hall_ / "good.sfb"));

  const fs::path bad = write("bad.seq", "SEND 7 1\n");
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    box->button(QMessageBox::No)->click();
  });
  w.compile_file(chosen(bad));
  EXPECT_TRUE(text.startsWith("File: " + chosen(bad) + "\n")) << text.toStdString();
  EXPECT_FALSE(fs::exists(hall_ / "bad.sfb"));
}

}  // namespace
}  // namespace qm
