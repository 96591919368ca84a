#include "compiler/decode_dialog.h"

#include <QFileDialog>
#include <QFont>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <string>

#include "base/paths_widget.h"
#include "base/ui_helpers_widget.h"
#include "compiler/decoder.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kBrowseTitle = " Browse file";
constexpr const char* kChooserTitle = " Decode Sequence";
constexpr const char* kChooserFilter = "Binary sequence files (*.sfb)";
constexpr const char* kDecodeTitle = "Decode %s";

// Courier New 8, with Liberation Mono standing in where Courier New is not installed.
QFont listing_font() {
  QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
  QFont font(QStringLiteral("Courier New"), 8);
  font.setStyleHint(QFont::Monospace);
  return font;
}

}  // namespace

DecodeDialog::DecodeDialog(OperatorUi& ui, int field_rate, QWidget* parent,
                           std::optional<QString> path)
    : QDialog(parent) {
  setObjectName(dialog_name(ids::kBrowseDialog));
  setWindowTitle(QString::fromLatin1(kBrowseTitle));
  setSizeGripEnabled(true);

  listing_ = new QPlainTextEdit(this);
  listing_->setObjectName(control_name(ids::kTextField));
  listing_->setReadOnly(true);
  listing_->setLineWrapMode(QPlainTextEdit::NoWrap);
  listing_->setFont(listing_font());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(listing_);
  listing_->setFocus();

  if (!path) {
    const QString chosen = QFileDialog::getOpenFileName(
        parent, QString::fromLatin1(kChooserTitle), QString(), QString::fromLatin1(kChooserFilter));
    if (chosen.isEmpty()) {
      ended_ = true;
      setResult(QDialog::Rejected);
      return;
    }
    path = chosen;
  }
  list_file(ui, field_rate, *path);
}

void DecodeDialog::list_file(OperatorUi& ui, int field_rate, const QString& path) {
  const SequenceFileRead read = read_sequence_file(path_from_qstring(path));
  if (read.status == SequenceFileRead::Status::NotOpened) return;  // stays open and empty
  setWindowTitle(QString::asprintf(kDecodeTitle, path.toUtf8().constData()));
  if (read.status == SequenceFileRead::Status::TooLarge) return;
  if (read.status == SequenceFileRead::Status::ReadError) {
    report_sequence_read_error(ui, path.toStdString());
    ended_ = true;
    setResult(QDialog::Rejected);
    return;
  }
  const std::string text = decode_sequence(read.image, field_rate);
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  listing_->setPlainText(shown);
}

int DecodeDialog::exec() {
  return ended_ ? result() : QDialog::exec();
}

QSize DecodeDialog::sizeHint() const {
  return {600, 420};
}

void DecodeDialog::keyPressEvent(QKeyEvent* event) {
  // Enter ends the dialog as OK does; the listing takes no input of its own.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm
