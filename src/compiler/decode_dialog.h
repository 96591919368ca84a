// Dialog 182 " Browse file" for the Decode command: asks for a binary sequence file and shows
// its listing in a read-only field that fills the window.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QPlainTextEdit;

namespace qm {

class OperatorUi;

class DecodeDialog : public QDialog {
  Q_OBJECT

 public:
  // Lists the file at `path`, or the one the operator picks in a file chooser when no path is
  // given. Times are shown at `field_rate` (50 or 60). When the chooser is cancelled or the
  // file cannot be read, exec() returns at once.
  DecodeDialog(OperatorUi& ui, int field_rate, QWidget* parent,
               std::optional<QString> path = std::nullopt);

  // Whether the dialog ended before it was shown.
  bool ended() const { return ended_; }
  int exec() override;
  QSize sizeHint() const override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void list_file(OperatorUi& ui, int field_rate, const QString& path);

  QPlainTextEdit* listing_;
  bool ended_ = false;
};

}  // namespace qm
