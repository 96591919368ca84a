// Dialog 161 " Flash filename": asks for the name of a file in a unit's flash (at most 12
// characters).
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace qm {

class App;

inline constexpr int kFlashNameOk = 1;
inline constexpr int kFlashNameCancel = 2;
inline constexpr int kMaxFlashName = 12;

class FlashNameDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows `name` for editing. exec() returns kFlashNameOk or kFlashNameCancel.
  FlashNameDialog(App& app, QWidget* parent, const QString& name = {});

  QString name() const;
  void reject() override;

 private:
  QLineEdit* edit_;
};

// Asks for a flash file name starting from `name`; on OK the entered name replaces it and the
// result is kFlashNameOk, otherwise kFlashNameCancel and `name` is left alone.
int prompt_flash_name(App& app, QWidget* owner, std::string& name);

}  // namespace qm
