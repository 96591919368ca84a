// Dialog 171 " Go to": asks for the line number to put the editor's caret on.
#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;

namespace qm {

inline constexpr const char* kGotoTitle = " Go to";
inline constexpr int kMaxLineDigits = 5;

class GotoDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the current line (1-based) for editing.
  GotoDialog(QWidget* parent, int current_line);

  // The number in the field, or none when it is empty or 0.
  std::optional<int> line() const;

 private:
  QLineEdit* field_;
};

}  // namespace qm
