// Dialog 103 " About": the product, its maker, its version and the maker's web address.
#pragma once

#include <QDialog>

namespace qm {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace qm
