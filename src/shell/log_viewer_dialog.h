// Dialog 182 as the log viewer: the traffic log's whole text in a read-only field that fills
// the window, titled with the log file's path.
#pragma once

#include <QDialog>
#include <filesystem>

class QPlainTextEdit;

namespace qm {

class App;

class LogViewerDialog : public QDialog {
  Q_OBJECT

 public:
  // Reads the file at once; when it cannot be shown the operator is told and exec() returns -1
  // without opening the viewer.
  LogViewerDialog(App& app, const std::filesystem::path& path, QWidget* parent);

  bool loaded() const { return loaded_; }
  int exec() override;
  QSize sizeHint() const override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPlainTextEdit* text_;
  bool loaded_ = false;
};

}  // namespace qm
