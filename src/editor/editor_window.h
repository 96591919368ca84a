// The sequence editor (dialog 143 " Editor"): a modal window over one plain-text control with
// its menu, the insert/overwrite, row and column status bar, 4-column indentation with Tab
// and Shift+Tab, find / replace, go to line, printing (and its preview and PDF export), and
// saving with a ".bak" backup. It edits a file on the PC (mode 0) or a text held in memory
// that the caller downloads (mode 1).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <map>

#include "editor/editor_state.h"
#include "editor/text_ops.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace qm {

inline constexpr const char* kEditorTitle = " Editor";

class EditorWindow : public QDialog {
  Q_OBJECT

 public:
  // The request stays the caller's: a text held in memory is read back from it afterwards.
  EditorWindow(EditorServices services, EditorRequest& request, QWidget* parent);

  // True when the text could not be loaded (the reason was shown): the window is not to be
  // shown then.
  bool ended() const { return ended_; }
  // The action of a menu command id (resources/ids.h).
  QAction* command(int id) const;
  // Runs a menu command as the operator's choice would.
  void run_command(int id);
  QPlainTextEdit* text_edit() const { return edit_; }
  // Selects a whole line (1-based) and scrolls it into view.
  void select_line(int line);
  // Puts the caret at the start of a line (1-based) and scrolls it into view.
  void go_to_line(int line);
  // Exit: asks about unsaved changes, closes unless the operator cancels or saving failed.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build_menu();
  void build_status_bar();
  void show_text(const std::string& stored);
  void update_position();
  void update_mode();
  // The text as it is to be stored: the file's line ends.
  std::string stored_text() const;
  SaveResult save(bool ask);
  std::optional<std::string> choose_save_name();
  void set_file_title();
  // The Tab key with or without Shift.
  void tab_key(bool shift);
  void new_text();
  void open_file();
  void save_file();
  void save_file_as();
  void export_to_pdf();

  EditorServices services_;
  EditorRequest& request_;
  bool ended_ = false;
  bool crlf_ = true;  // the line end stored files get
  QPlainTextEdit* edit_ = nullptr;
  QMenu* edit_menu_ = nullptr;
  QLabel* mode_part_ = nullptr;
  QLabel* row_part_ = nullptr;
  QLabel* col_part_ = nullptr;
  QTimer position_timer_;
  QPointer<QWidget> find_replace_;
  std::map<int, QAction*> commands_;
};

}  // namespace qm
