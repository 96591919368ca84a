// How the editor window reaches its helper dialogs and printing (declared here so that the
// window and its parts can be built side by side).
#pragma once

#include <QString>
#include <optional>

#include "editor/editor_state.h"

class QPlainTextEdit;
class QWidget;

namespace qm {

// Find / Replace (dialog 172), modeless, over the editor's text; its options are kept in
// services.state for the program run. Returns the dialog (owned by `parent`).
QWidget* open_find_replace(const EditorServices& services, QPlainTextEdit* editor, QWidget* parent);
// Find next with the last find text and options (F3); shows "Can't find %s\n" when none.
void find_next(const EditorServices& services, QPlainTextEdit* editor);
// Go to (dialog 171): the line number the operator chose, or none for Cancel.
std::optional<int> ask_line_number(QWidget* parent, int current_line, int line_count);
// Prints the text with its name at the top and numbered pages at services.state.print_points,
// through the print dialog. 0 on success (printing_dialog.h lists the results).
int print_text(const EditorServices& services, QWidget* parent, const QString& name,
               const QString& text);
// The same pages written to a PDF file at `pdf_path`, which needs no printer. 0 on success.
int export_pdf(const EditorServices& services, QWidget* parent, const QString& name,
               const QString& text, const QString& pdf_path);
// The same pages in the print preview window, from which they can also be printed.
void preview_text(const EditorServices& services, QWidget* parent, const QString& name,
                  const QString& text);
// Colours sequence and include files: command words, numbers and times, strings, comments,
// macro parameters. Owned by the document.
void highlight_sequence(QPlainTextEdit* editor);

}  // namespace qm
