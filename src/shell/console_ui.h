// The operator interface of the command-line programs: status messages and message boxes go
// to stderr; a question is answered No (Ok where that is the only button); the status bar's
// link part, the activity indicators and the editor have no console form, so an error report
// does not offer to edit the file.
#pragma once

#include <cstdio>
#include <string>

#include "base/operator_ui.h"

namespace qm {

class ConsoleUi final : public OperatorUi {
 public:
  // With show_statuses false, status messages are not shown (message boxes still are).
  explicit ConsoleUi(std::FILE* out = stderr, bool show_statuses = true)
      : out_(out), show_statuses_(show_statuses) {}
  void show_status(const std::string& text) override {
    if (!show_statuses_) return;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }
  void clear_status() override {}
  void show_link_status(const std::string&) override {}
  void flash_activity(Activity) override {}
  BoxAnswer message_box(const std::string&, const std::string& text, BoxButtons buttons,
                        BoxIcon icon) override {
    if (icon == BoxIcon::Error) ++errors_;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
  }
  void edit_sequence_file(const std::string&, int) override {}
  bool can_edit_sequence_files() const override { return false; }
  // How many error boxes were shown.
  int errors_shown() const { return errors_; }

 private:
  std::FILE* out_;
  bool show_statuses_;
  int errors_ = 0;
};

}  // namespace qm
