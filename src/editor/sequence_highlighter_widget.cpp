#include "editor/sequence_highlighter_widget.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextDocument>
#include <set>

#include "compiler/compiler.h"
#include "editor/editor_parts_dialog.h"
#include "runner/runner.h"

namespace qm {

namespace {

QTextCharFormat coloured(const QColor& colour, bool bold = false, bool italic = false) {
  QTextCharFormat format;
  format.setForeground(colour);
  if (bold) format.setFontWeight(QFont::Bold);
  format.setFontItalic(italic);
  return format;
}

// Every word either reader takes as a command, as one alternation.
QString command_pattern() {
  std::set<std::string_view> words;
  for (const std::string_view word : compiler_command_words())
    words.insert(word);
  for (const std::string_view word : Runner::command_words())
    words.insert(word);
  QStringList alternatives;
  for (const std::string_view word : words)
    alternatives << QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size()));
  return QStringLiteral("\\b(?:") + alternatives.join(QLatin1Char('|')) + QStringLiteral(")\\b");
}

}  // namespace

SequenceHighlighter::SequenceHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document),
      commands_(command_pattern(), QRegularExpression::CaseInsensitiveOption),
      // Numbers in any radix with their prefix or suffix (0x1F, 1Fh, 101b, -5) and times
      // (00:00:10, 1:30-12, 2.5): a digit not inside a word, with the word's characters and
      // any ':', '.' or '-' that a digit follows.
      numbers_(QStringLiteral("(?<![\\w?])[-+]?\\d(?:\\w|[:.-]\\d)*")),
      parameters_(QStringLiteral("\\?[1-9]")) {}

QTextCharFormat SequenceHighlighter::command_format() {
  return coloured(QColor(0x00, 0x00, 0xA0), true);
}

QTextCharFormat SequenceHighlighter::number_format() {
  return coloured(QColor(0xA0, 0x00, 0x60));
}

QTextCharFormat SequenceHighlighter::string_format() {
  return coloured(QColor(0x00, 0x70, 0x00));
}

QTextCharFormat SequenceHighlighter::comment_format() {
  return coloured(QColor(0x70, 0x70, 0x70), false, true);
}

QTextCharFormat SequenceHighlighter::parameter_format() {
  return coloured(QColor(0x00, 0x80, 0x80), true);
}

void SequenceHighlighter::highlightBlock(const QString& text) {
  // The comment starts at the first ';' outside double quotes, as both readers see it.
  qsizetype comment = text.size();
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('"')) quoted = !quoted;
    if (text[i] == QLatin1Char(';') && !quoted) {
      comment = i;
      break;
    }
  }
  const QString code = text.left(comment);

  const auto apply = [&](const QRegularExpression& pattern, const QTextCharFormat& format) {
    for (auto it = pattern.globalMatch(code); it.hasNext();) {
      const auto match = it.next();
      setFormat(static_cast<int>(match.capturedStart()), static_cast<int>(match.capturedLength()),
                format);
    }
  };
  apply(commands_, command_format());
  apply(numbers_, number_format());
  apply(parameters_, parameter_format());

  // Strings last, over anything inside them; an unpaired quote runs to the comment.
  for (qsizetype open = code.indexOf(QLatin1Char('"')); open >= 0;) {
    const qsizetype close = code.indexOf(QLatin1Char('"'), open + 1);
    const qsizetype end = close < 0 ? code.size() : close + 1;
    setFormat(static_cast<int>(open), static_cast<int>(end - open), string_format());
    open = close < 0 ? -1 : code.indexOf(QLatin1Char('"'), end);
  }
  if (comment < text.size())
    setFormat(static_cast<int>(comment), static_cast<int>(text.size() - comment), comment_format());
}

void highlight_sequence(QPlainTextEdit* editor) {
  if (!editor) return;
  QTextDocument* document = editor->document();
  if (document->findChild<SequenceHighlighter*>(QString(), Qt::FindDirectChildrenOnly)) return;
  // Colour the text already shown now rather than on the next turn of the event loop.
  (new SequenceHighlighter(document))->rehighlight();
}

}  // namespace qm
