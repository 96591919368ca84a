// The one channel through which core code reports to the operator. The GUI, the command line
// front end and the tests each implement it; core code never shows anything itself.
#pragma once

#include <string>

namespace qm {

enum class Activity { Transmit, Receive };

enum class BoxButtons {
  Ok,
  YesNo,
  YesNoDefaultNo,
  OkCancel,
  OkCancelDefaultCancel,
  YesNoCancel,
  YesNoCancelDefaultNo,
};
enum class BoxIcon { None, Error, Warning, Question, Information };
enum class BoxAnswer { Ok, Cancel, Yes, No };

class OperatorUi {
 public:
  virtual ~OperatorUi() = default;

  // Status-bar message part: the UI shows a blank followed by the text.
  virtual void show_status(const std::string& text) = 0;
  virtual void clear_status() = 0;
  // Status-bar link part: " TCP/IP", " COM%u:" or "   -" (see link_status_text).
  virtual void show_link_status(const std::string& text) = 0;
  // Status-bar unit part: " ID%u" or " ID*" (see unit_status_text).
  virtual void show_unit_status(const std::string& text) { (void)text; }
  // Lights the transmit or receive indicator for 200 ms.
  virtual void flash_activity(Activity which) = 0;
  // The remote link was dropped: an open Setup dialog shows "Local (RS-232)" again.
  virtual void remote_link_dropped() {}
  // A modal message box with the title and text as given; the operator's answer.
  virtual BoxAnswer message_box(const std::string& title, const std::string& text,
                                BoxButtons buttons, BoxIcon icon) = 0;
  // Opens the sequence editor on a file, at a line when line > 0.
  virtual void edit_sequence_file(const std::string& path, int line) = 0;
  // Whether there is an editor to open: an error report asks "Edit file?" only then.
  virtual bool can_edit_sequence_files() const { return true; }
};

// An OperatorUi that shows nothing, for code paths that run without an operator.
class SilentOperatorUi final : public OperatorUi {
 public:
  void show_status(const std::string&) override {}
  void clear_status() override {}
  void show_link_status(const std::string&) override {}
  void flash_activity(Activity) override {}
  BoxAnswer message_box(const std::string&, const std::string&, BoxButtons buttons,
                        BoxIcon) override {
    return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
  }
  void edit_sequence_file(const std::string&, int) override {}
};

}  // namespace qm
