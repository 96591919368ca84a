#include "fontbuilder/font_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/operator_ui.h"
#include "base/paths_widget.h"
#include "base/ui_helpers_widget.h"
#include "fontbuilder/font_file.h"
#include "fontbuilder/font_renderer_widget.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kFaceLabel = "Font:";
constexpr const char* kStyleLabel = "Font style:";
constexpr const char* kEffectsTitle = "Effects";
constexpr const char* kStrikeoutText = "Strikeout";
constexpr const char* kUnderlineText = "Underline";
constexpr const char* kScriptLabel = "Script:";
constexpr const char* kWidthLabel = "Width:";
constexpr const char* kHeightLabel = "Height:";
constexpr const char* kSampleTitle = "Sample";
constexpr const char* kSaveText = "Save";
constexpr const char* kCancelText = "Cancel";
constexpr int kSaveButton = 1;
constexpr int kCancelButton = 2;
constexpr int kListRows = 8;        // rows the face and style lists show
constexpr int kPreviewWidth = 360;  // the room the preview takes, in screen pixels
constexpr int kPreviewHeight = 150;
constexpr int kPreviewScaleLast = 6;

// The style of a face shown first: the upright one of normal weight, else the first.
int regular_style(const QString& face, const QStringList& styles) {
  for (int i = 0; i < styles.size(); ++i)
    if (!QFontDatabase::italic(face, styles[i]) &&
        QFontDatabase::weight(face, styles[i]) == QFont::Normal)
      return i;
  return 0;
}

// The number in a size control's text: 0 unless it is a whole number within first..last.
int size_in(const QString& text, int first, int last) {
  bool ok = false;
  const int n = text.trimmed().toInt(&ok);
  return ok && n >= first && n <= last ? n : 0;
}

void show_font_error(OperatorUi& ui, const char* text) {
  ui.message_box(kCreateFontTitle, text, BoxButtons::Ok, BoxIcon::Error);
}

}  // namespace

FontDialog::FontDialog(FontSizes& sizes, QWidget* parent) : QDialog(parent), sizes_(sizes) {
  setObjectName(dialog_name(ids::kFontDialog));
  setWindowTitle(QString::fromLatin1(kCreateFontTitle));

  faces_ = new QListWidget(this);
  faces_->setObjectName(control_name(ids::kFontFaceList));
  styles_ = new QListWidget(this);
  styles_->setObjectName(control_name(ids::kFontStyleList));
  for (QListWidget* list : {faces_, styles_}) {
    list->setMinimumHeight(list->fontMetrics().height() * kListRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
  }
  faces_->setMinimumWidth(faces_->fontMetrics().horizontalAdvance(QStringLiteral("W")) * 14);

  strikeout_ = new QCheckBox(QString::fromLatin1(kStrikeoutText), this);
  strikeout_->setObjectName(control_name(ids::kStrikeoutCheck));
  underline_ = new QCheckBox(QString::fromLatin1(kUnderlineText), this);
  underline_->setObjectName(control_name(ids::kUnderlineCheck));
  auto* effects = new QGroupBox(QString::fromLatin1(kEffectsTitle), this);
  auto* effects_layout = new QVBoxLayout(effects);
  effects_layout->addWidget(strikeout_);
  effects_layout->addWidget(underline_);

  scripts_ = new QComboBox(this);
  scripts_->setObjectName(control_name(ids::kFontScriptList));

  // The lists open on the width and height the builder will use, so that what is shown is
  // what is built.
  widths_ = new QComboBox(this);
  widths_->setObjectName(control_name(ids::kFontWidthList));
  for (int w = kFontWidthFirst; w <= kFontWidthLast; ++w)
    widths_->addItem(QString::number(w));
  widths_->setCurrentIndex(std::clamp(sizes_.width, kFontWidthFirst, kFontWidthLast) -
                           kFontWidthFirst);
  heights_ = new QComboBox(this);
  heights_->setObjectName(control_name(ids::kFontHeightList));
  heights_->setEditable(true);
  heights_->setInsertPolicy(QComboBox::NoInsert);
  for (int h = kFontHeightFirst; h <= kFontHeightLast; ++h)
    heights_->addItem(QString::number(h));
  heights_->setValidator(new QIntValidator(kFontHeightTypedFirst, kFontHeightLast, heights_));
  heights_->setEditText(QString::number(sizes_.height));
  if (const int at = heights_->findText(QString::number(sizes_.height)); at >= 0)
    heights_->setCurrentIndex(at);

  preview_ = new QLabel(this);
  preview_->setObjectName(QStringLiteral("fontPreview"));
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setMinimumSize(kPreviewWidth, kPreviewHeight);
  preview_->setStyleSheet(QStringLiteral("background: white"));
  auto* sample = new QGroupBox(QString::fromLatin1(kSampleTitle), this);
  auto* sample_layout = new QVBoxLayout(sample);
  sample_layout->addWidget(preview_);

  auto* save = new QPushButton(QString::fromLatin1(kSaveText), this);
  save->setObjectName(control_name(kSaveButton));
  save->setDefault(true);
  auto* cancel = new QPushButton(QString::fromLatin1(kCancelText), this);
  cancel->setObjectName(control_name(kCancelButton));
  cancel->setAutoDefault(false);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QString::fromLatin1(kFaceLabel), this), 0, 0);
  grid->addWidget(new QLabel(QString::fromLatin1(kStyleLabel), this), 0, 1);
  grid->addWidget(faces_, 1, 0, 3, 1);
  grid->addWidget(styles_, 1, 1, 3, 1);
  auto* sizes_column = new QGridLayout;
  sizes_column->addWidget(new QLabel(QString::fromLatin1(kWidthLabel), this), 0, 0);
  sizes_column->addWidget(widths_, 0, 1);
  sizes_column->addWidget(new QLabel(QString::fromLatin1(kHeightLabel), this), 1, 0);
  sizes_column->addWidget(heights_, 1, 1);
  sizes_column->setRowStretch(2, 1);
  grid->addLayout(sizes_column, 1, 2);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(save);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  grid->addLayout(buttons, 1, 3, 3, 1);
  grid->addWidget(effects, 4, 0);
  auto* script_column = new QVBoxLayout;
  script_column->addWidget(new QLabel(QString::fromLatin1(kScriptLabel), this));
  script_column->addWidget(scripts_);
  script_column->addStretch(1);
  grid->addLayout(script_column, 4, 1);
  grid->addWidget(sample, 5, 0, 1, 4);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  fill_faces();
  connect(faces_, &QListWidget::currentRowChanged, this, [this] { face_changed(); });
  connect(styles_, &QListWidget::currentRowChanged, this, [this] { update_preview(); });
  connect(strikeout_, &QCheckBox::toggled, this, [this] { update_preview(); });
  connect(underline_, &QCheckBox::toggled, this, [this] { update_preview(); });
  connect(widths_, &QComboBox::currentTextChanged, this, [this] { size_changed(); });
  connect(heights_, &QComboBox::currentTextChanged, this, [this] { size_changed(); });
  connect(heights_, &QComboBox::editTextChanged, this, [this] { size_changed(); });
  face_changed();
  faces_->setFocus();
}

void FontDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

void FontDialog::fill_faces() {
  // Faces that draw Latin letters upright: private faces and vertical ("@") faces are left out.
  QStringList faces;
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isPrivateFamily(family) || family.startsWith(QLatin1Char('@'))) continue;
    if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin)) continue;
    faces.push_back(family);
  }
  faces_->addItems(faces);
  for (const char* wanted : {kDefaultFontFace, kFallbackFontFace}) {
    const auto found = faces_->findItems(QString::fromLatin1(wanted), Qt::MatchFixedString);
    if (!found.isEmpty()) {
      faces_->setCurrentItem(found.front());
      return;
    }
  }
  if (faces_->count() > 0) faces_->setCurrentRow(0);
}

void FontDialog::face_changed() {
  const QString face = faces_->currentItem() ? faces_->currentItem()->text() : QString();
  const QSignalBlocker block(styles_);
  styles_->clear();
  const QStringList styles = QFontDatabase::styles(face);
  styles_->addItems(styles);
  if (!styles.isEmpty()) styles_->setCurrentRow(regular_style(face, styles));
  scripts_->clear();
  for (QFontDatabase::WritingSystem script : QFontDatabase::writingSystems(face))
    scripts_->addItem(QFontDatabase::writingSystemName(script), static_cast<int>(script));
  if (const int latin = scripts_->findData(static_cast<int>(QFontDatabase::Latin)); latin >= 0)
    scripts_->setCurrentIndex(latin);
  update_preview();
}

void FontDialog::size_changed() {
  if (const int w = size_in(widths_->currentText(), kFontWidthFirst, kFontWidthLast))
    sizes_.width = w;
  if (const int h = size_in(heights_->currentText(), kFontHeightTypedFirst, kFontHeightLast))
    sizes_.height = h;
  update_preview();
}

FontChoice FontDialog::choice() const {
  FontChoice choice;
  if (faces_->currentItem() != nullptr) {
    const QString face = faces_->currentItem()->text();
    choice.face = face.toStdString();
    if (styles_->currentItem() != nullptr) {
      const QString style = styles_->currentItem()->text();
      choice.weight = QFontDatabase::weight(face, style);
      choice.italic = QFontDatabase::italic(face, style);
    }
  }
  choice.strikeout = strikeout_->isChecked();
  choice.underline = underline_->isChecked();
  choice.width = sizes_.width;
  choice.height = sizes_.height;
  return choice;
}

void FontDialog::update_preview() {
  FontRendererError error = FontRendererError::None;
  const auto renderer = make_glyph_renderer(choice(), error);
  if (!renderer) {
    preview_->clear();
    return;
  }
  const QString text = QString::fromLatin1(kFontPreviewText);
  const QImage natural = glyph_preview(*renderer, text, 1);
  const int scale = std::clamp(std::min(kPreviewWidth / std::max(natural.width(), 1),
                                        kPreviewHeight / std::max(natural.height(), 1)),
                               1, kPreviewScaleLast);
  preview_->setPixmap(QPixmap::fromImage(glyph_preview(*renderer, text, scale)));
}

void create_font_file(FontSizes& sizes, OperatorUi& ui, QWidget* owner) {
  FontChoice choice;
  {
    FontDialog dialog(sizes, owner);
    if (dialog.exec() != QDialog::Accepted) return;
    choice = dialog.choice();
  }
  const FontFileOutcome font = build_font_for(choice);
  if (font.error != nullptr) {
    show_font_error(ui, font.error);
    return;
  }
  QFileDialog chooser(owner, QString::fromLatin1(kCreateFontTitle));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setNameFilter(QString::fromLatin1(kFontFileFilter));
  chooser.setDefaultSuffix(QString::fromLatin1(kFontFileSuffix));
  chooser.setOption(QFileDialog::DontConfirmOverwrite);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
  if (!write_font_file(path_from_qstring(chooser.selectedFiles().front()), font.image))
    show_font_error(ui, kFontSaveError);
}

}  // namespace qm
