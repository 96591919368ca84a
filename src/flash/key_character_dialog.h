// Dialog 174 " Key character": asks for the key that is to start a sequence, typed as a
// character or as a key code. The mode the operator last chose is the caller's to keep; the
// dialog opens in it and leaves the new choice there.
#pragma once

#include <QDialog>

#include "flash/key_map.h"

class QLineEdit;
class QRadioButton;

namespace qm {

inline constexpr const char* kTitleKeyCharacter = " Key character";

class KeyCharacterDialog final : public QDialog {
  Q_OBJECT

 public:
  KeyCharacterDialog(KeyEntryMode& mode, QWidget* parent);

  // The key code of the entry (after OK); 0 when it makes none.
  int key_code() const;

 private:
  void switch_mode(KeyEntryMode to);

  KeyEntryMode& mode_;
  QLineEdit* field_ = nullptr;
  QRadioButton* ascii_ = nullptr;
  QRadioButton* code_ = nullptr;
};

// The key code the operator enters, or 0 for Cancel or an entry that makes none.
int prompt_key_character(KeyEntryMode& mode, QWidget* owner);

}  // namespace qm
