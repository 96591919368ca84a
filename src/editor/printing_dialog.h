// Printing a text: dialog 180 " Printing", shown with the text's name and a Cancel button
// while the pages go to the printer or a PDF file, and print_text, export_pdf and
// preview_text (editor_parts_dialog.h), which lay out the pages the same way.
#pragma once

#include <QDialog>

namespace qm {

inline constexpr const char* kPrintingTitle = " Printing";

// What print_text returns.
inline constexpr int kPrintDone = 0;
inline constexpr int kPrintCancelled = 1;  // at the print dialog or by " Printing"'s Cancel
inline constexpr int kPrintFailed = -1;    // the error has been shown

class PrintingDialog : public QDialog {
  Q_OBJECT

 public:
  PrintingDialog(QWidget* parent, const QString& name);

  // True once the operator has pressed Cancel.
  bool cancelled() const { return cancelled_; }
  void reject() override;

 private:
  bool cancelled_ = false;
};

}  // namespace qm
