// Colours sequence and include files in the editor: the command words of the compiler and
// the runner, numbers and times, quoted strings, comments and macro parameters ?1..?9.
#pragma once

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace qm {

class SequenceHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit SequenceHighlighter(QTextDocument* document);

  // The formats, so that their colours are named in one place.
  static QTextCharFormat command_format();
  static QTextCharFormat number_format();
  static QTextCharFormat string_format();
  static QTextCharFormat comment_format();
  static QTextCharFormat parameter_format();

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QRegularExpression commands_;
  QRegularExpression numbers_;
  QRegularExpression parameters_;
};

}  // namespace qm
