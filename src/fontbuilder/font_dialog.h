// Dialog 181 " Create Font": the face, style, effects, script and pixel width and height of a
// unit font, with a preview of a few characters as the font file will hold them; and
// create_font_file, the Create Font command from the choice to the saved file.
#pragma once

#include <QDialog>

#include "fontbuilder/font_choice.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;

namespace qm {

class OperatorUi;

inline constexpr const char* kFontFileFilter = "Quadrimon Font files (*.fnt)";
inline constexpr const char* kFontFileSuffix = "fnt";
// The characters the preview shows.
inline constexpr const char* kFontPreviewText = "AaBg09#";

class FontDialog final : public QDialog {
  Q_OBJECT

 public:
  // Opens on the width and height in `sizes`; a width or height picked becomes the one used
  // at once, whether the dialog is then saved or cancelled.
  FontDialog(FontSizes& sizes, QWidget* parent);

  // The face, style and effects picked, with the width and height used.
  FontChoice choice() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void fill_faces();
  void face_changed();
  void size_changed();
  void update_preview();

  FontSizes& sizes_;
  QListWidget* faces_ = nullptr;
  QListWidget* styles_ = nullptr;
  QCheckBox* strikeout_ = nullptr;
  QCheckBox* underline_ = nullptr;
  QComboBox* scripts_ = nullptr;
  QComboBox* widths_ = nullptr;
  QComboBox* heights_ = nullptr;
  QLabel* preview_ = nullptr;
};

// The Create Font command: the font dialog, the file built from the choice, the save-file
// chooser, the file written. Failures are shown in boxes titled " Create Font"; nothing is
// written then.
void create_font_file(FontSizes& sizes, OperatorUi& ui, QWidget* owner);

}  // namespace qm
