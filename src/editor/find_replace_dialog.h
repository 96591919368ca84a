// Dialog 172 " Find / Replace": a modeless dialog over the editor's text. Its options change
// the editor's remembered ones (EditorServices::state) at once; the texts are taken from the fields
// by Find next and Replace All.
#pragma once

#include <QDialog>
#include <QPointer>

#include "editor/editor_state.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace qm {

inline constexpr const char* kFindReplaceTitle = " Find / Replace";
inline constexpr int kMaxFindText = 79;

class FindReplaceDialog : public QDialog {
  Q_OBJECT

 public:
  FindReplaceDialog(const EditorServices& services, QPlainTextEdit* editor, QWidget* parent);

  // The buttons.
  void find_next();
  void replace();
  void replace_all();

 private:
  void take_texts();

  EditorServices services_;
  QPointer<QPlainTextEdit> editor_;
  QLineEdit* find_field_;
  QLineEdit* replace_field_;
  QCheckBox* match_case_;
  QCheckBox* whole_word_;
  QRadioButton* selection_only_;
  QRadioButton* whole_document_;
};

// Searches the remembered find text forward from the end of the editor's selection with the
// remembered options; selects and shows a match, or tells the operator "Can't find %s\n".
// False when there is nothing to search or nothing was found.
bool find_in_editor(const EditorServices& services, QPlainTextEdit* editor);

}  // namespace qm
