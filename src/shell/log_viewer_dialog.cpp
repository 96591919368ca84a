#include "shell/log_viewer_dialog.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "base/paths_widget.h"
#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "shell/app.h"
#include "shell/options.h"

namespace qm {

LogViewerDialog::LogViewerDialog(App& app, const std::filesystem::path& path, QWidget* parent)
    : QDialog(parent) {
  setObjectName(dialog_name(ids::kBrowseDialog));
  setSizeGripEnabled(true);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName(control_name(ids::kTextField));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The log's columns of hex bytes line up in a fixed-pitch font.
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QPalette white = text_->palette();
  white.setColor(QPalette::Base, Qt::white);
  white.setColor(QPalette::Text, Qt::black);
  text_->setPalette(white);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);

  const std::optional<std::string> log = read_log_for_viewer(app.ui, path);
  if (!log) return;
  loaded_ = true;
  setWindowTitle(qstring_from_path(path));
  // The log is written with the platform's line ends; the field wants bare line feeds.
  QString shown = QString::fromLatin1(log->data(), static_cast<qsizetype>(log->size()));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text_->setPlainText(shown);
  text_->setFocus();
}

QSize LogViewerDialog::sizeHint() const {
  return {640, 420};
}

int LogViewerDialog::exec() {
  return loaded_ ? QDialog::exec() : -1;
}

void LogViewerDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, -1, -1);
}

void LogViewerDialog::keyPressEvent(QKeyEvent* event) {
  // Enter closes the viewer as OK does; the field takes no input of its own.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm
