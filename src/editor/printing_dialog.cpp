#include "editor/printing_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "editor/editor_parts_dialog.h"
#include "editor/print_layout.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kCancelText = "Cancel";
constexpr const char* kPrintTitle = " Print";
constexpr const char* kErrorStartDocument = "Print error at start of document";
constexpr const char* kErrorStartPage = "Print error at start of page %d";
constexpr const char* kErrorEndPage = "Print error at end of page %d";
constexpr const char* kDocumentName = "Print Text";
constexpr const char* kPrintFont = "Courier New";
constexpr const char* kPreviewTitle = " Print Preview";

void print_error(const EditorServices& services, const std::string& text) {
  services.ui.message_box(kPrintTitle, text, BoxButtons::Ok, BoxIcon::Error);
}

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PrintingDialog::PrintingDialog(QWidget* parent, const QString& name) : QDialog(parent) {
  setObjectName(dialog_name(ids::kPrintingDialog));
  setWindowTitle(QString::fromLatin1(kPrintingTitle));
  setModal(false);

  auto* label = new QLabel(name, this);
  label->setObjectName(QStringLiteral("nameText"));
  auto* cancel = new QPushButton(QString::fromLatin1(kCancelText), this);
  cancel->setObjectName(control_name(ids::kDialogCancelButton));
  cancel->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label, 0, Qt::AlignHCenter);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cancel, &QPushButton::clicked, this, &PrintingDialog::reject);
}

void PrintingDialog::reject() {
  cancelled_ = true;
}

namespace {

// The print font at the chosen size.
QFont print_font(const EditorServices& services) {
  QFont font(QString::fromLatin1(kPrintFont));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setWeight(QFont::Normal);
  font.setPointSize(services.state.print_points);
  return font;
}

// Lays out the text on the printer's pages and paints them: the name at the top, the text rows
// between two rules, the page number at the bottom. `between` runs after each page but the
// last and says whether to stop. The result is kPrintDone, kPrintCancelled or kPrintFailed
// (the error has been shown).
int paint_pages(const EditorServices& services, QPrinter& printer, const QString& name,
                const QString& text, const std::function<bool()>& between) {
  const QFont font = print_font(services);
  const QFontMetrics metrics(font, &printer);

  PageGeometry geometry;
  geometry.page_width = printer.width();
  geometry.page_height = printer.height();
  geometry.char_width = metrics.horizontalAdvance(QLatin1Char('A'));
  geometry.line_height = metrics.height();
  const PageLayout layout = page_layout(geometry);

  const std::vector<std::string> lines = print_lines(text.toLatin1().toStdString());
  std::vector<std::size_t> lengths;
  lengths.reserve(lines.size());
  for (const std::string& line : lines)
    lengths.push_back(line.size());
  const std::vector<PrintPage> pages = paginate(lengths, layout.chars_per_line, layout.rows);

  QPainter painter;
  if (!painter.begin(&printer)) {
    print_error(services, kErrorStartDocument);
    return kPrintFailed;
  }
  painter.setFont(font);
  const QString heading =
      latin1(print_heading(name.toLatin1().toStdString(), layout.chars_per_line));
  const int right = geometry.page_width - layout.margin;
  const int ascent = metrics.ascent();

  for (std::size_t index = 0; index < pages.size(); ++index) {
    const int number = static_cast<int>(index) + 1;
    if (index > 0) {
      if (between && between()) {
        printer.abort();
        painter.end();
        return kPrintCancelled;
      }
      if (!printer.newPage()) {
        print_error(services, strprintf(kErrorStartPage, number));
        painter.end();
        return kPrintFailed;
      }
    }
    painter.drawText(layout.margin, layout.name_y + ascent, heading);
    const QString page_number = latin1(page_number_text(number));
    painter.drawText((geometry.page_width - metrics.horizontalAdvance(page_number)) / 2,
                     layout.page_number_y + ascent, page_number);
    painter.drawLine(layout.margin, layout.top_rule_y, right, layout.top_rule_y);
    painter.drawLine(layout.margin, layout.bottom_rule_y, right, layout.bottom_rule_y);
    for (const PrintPiece& piece : pages[index]) {
      const std::string& line = lines[piece.line];
      painter.drawText(layout.margin,
                       layout.first_row_y + piece.row * geometry.line_height + ascent,
                       latin1(line.substr(piece.offset, piece.length)));
    }
  }
  if (!painter.end()) {
    print_error(services, strprintf(kErrorEndPage, static_cast<int>(pages.size())));
    return kPrintFailed;
  }
  return kPrintDone;
}

// Prints to a printer already set up, with " Printing" and its Cancel over the parent.
int print_with_progress(const EditorServices& services, QPrinter& printer, QWidget* parent,
                        const QString& name, const QString& text) {
  // The progress dialog belongs to the window that prints, so that it stands above it even
  // while that window is modal; being modal itself, it keeps the text from changing under
  // the pages while its Cancel stays in reach.
  PrintingDialog printing(parent, name);
  printing.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  printing.show();
  // Between pages " Printing" answers its Cancel button.
  const int result = paint_pages(services, printer, name, text, [&printing] {
    QApplication::processEvents();
    return printing.cancelled();
  });
  // The operator goes on in the window that printed (a window system may leave the focus
  // nowhere when the active " Printing" goes).
  printing.hide();
  if (parent != nullptr) parent->activateWindow();
  return result;
}

}  // namespace

int print_text(const EditorServices& services, QWidget* parent, const QString& name,
               const QString& text) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QString::fromLatin1(kDocumentName));
  QPrintDialog chooser(&printer, parent);
  chooser.setOptions(QAbstractPrintDialog::PrintShowPageSize |
                     QAbstractPrintDialog::PrintCollateCopies);
  if (chooser.exec() != QDialog::Accepted) return kPrintCancelled;
  return print_with_progress(services, printer, parent, name, text);
}

int export_pdf(const EditorServices& services, QWidget* parent, const QString& name,
               const QString& text, const QString& pdf_path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QString::fromLatin1(kDocumentName));
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf_path);
  return print_with_progress(services, printer, parent, name, text);
}

void preview_text(const EditorServices& services, QWidget* parent, const QString& name,
                  const QString& text) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QString::fromLatin1(kDocumentName));
  QPrintPreviewDialog preview(&printer, parent);
  preview.setObjectName(QStringLiteral("printPreview"));
  preview.setWindowTitle(QString::fromLatin1(kPreviewTitle));
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&](QPrinter* pages) { paint_pages(services, *pages, name, text, nullptr); });
  preview.exec();
}

}  // namespace qm
