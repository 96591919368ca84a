// The operator interface of the command-line programs: status messages go to stderr, one per
// line; the status bar's link part and the activity indicators have no console form.
#pragma once

#include <cstdio>
#include <string>

#include "shell/operator_ui.h"

namespace qm {

class ConsoleUi final : public OperatorUi {
 public:
  explicit ConsoleUi(std::FILE* out = stderr) : out_(out) {}
  void show_status(const std::string& text) override {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }
  void clear_status() override {}
  void show_link_status(const std::string&) override {}
  void flash_activity(Activity) override {}

 private:
  std::FILE* out_;
};

}  // namespace qm
