// Dialog 166, the sequence buttons panel: ten pages of 28 buttons that each run a sequence
// file with one click, the action buttons that edit them (New, Install, Delete, Cut, Paste,
// Rename, Edit, Run), the project they are kept in, and dialog 167 that names a button's
// legend and file. The decisions are the buttons model's (sequence_buttons.h).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <filesystem>
#include <optional>

#include "base/operator_ui.h"
#include "shell/sequence_buttons.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace qm {

class App;

// Dialog 167 in its three uses: Add, Rename and Drop.
class ButtonFileDialog final : public QDialog {
  Q_OBJECT

 public:
  ButtonFileDialog(const QString& title, const QString& legend, const QString& file,
                   QWidget* parent);
  std::string legend() const;
  std::string file() const;

 private:
  QLineEdit* legend_ = nullptr;
  QLineEdit* file_ = nullptr;
};

class ButtonsDialog final : public QDialog {
  Q_OBJECT

 public:
  ButtonsDialog(App& app, QWidget* parent);
  ~ButtonsDialog() override;

  // Done and the close box: the changes saved when the operator says so; Cancel keeps the
  // panel open, and so does a save that failed.
  void done(int result) override;
  const std::optional<std::filesystem::path>& project() const { return project_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool load_project();
  // The save question; the answer (Cancel also when the save failed).
  BoxAnswer save_project();
  void redraw();
  void set_mode(ActionMode mode);
  void slot_clicked(int slot);
  // The slot whose place holds `pos` (a point of the dialog), or -1.
  int slot_at(const QPoint& pos) const;
  bool ask_delete();
  void install(const std::string& file);
  void edit(const std::string& file);
  void new_button(int slot);
  void rename_button(int slot);
  void choose_project();

  App& app_;
  SequenceButtons& model_;
  std::optional<std::filesystem::path> project_;
  int unit_at_open_ = 0;
  bool placed_ = false;
  QTabBar* tabs_ = nullptr;
  std::array<QPushButton*, kButtonsPerPage> slots_{};
  QButtonGroup* actions_ = nullptr;
  QPushButton* paste_ = nullptr;
};

}  // namespace qm
