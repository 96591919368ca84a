// The program's help: the local help server for the help folder beside the program, the Help
// commands, and F1 in every window of the program, which opens the help page at the section
// named after the window's caption (in the main window and on a menu, the top of the page).
#pragma once

#include <QObject>
#include <filesystem>
#include <string_view>

#include "base/operator_ui.h"
#include "helpserver/help_page.h"
#include "helpserver/help_server.h"

class QWidget;

namespace qm {

inline constexpr const char* kHelpFolderName = "help";
// The longest part of a caption that names a help topic.
inline constexpr int kHelpTopicLength = 39;
// The sequence editor's section, opened by its Editor Help.
inline constexpr const char* kEditorHelpTopic = "Edit";

class HelpDesk final : public QObject {
 public:
  // root: the help folder; main_window: the window whose F1 opens the top of the page.
  // open_document: how a page reaches the browser (the system's, unless a test gives one).
  HelpDesk(const std::filesystem::path& root, OperatorUi& ui, QWidget* main_window,
           DocumentOpener open_document = {});
  ~HelpDesk() override;

  // Starts serving the help folder; F1 works from here on, served or not.
  void start(std::uint16_t port = kHelpPort);
  void stop();
  // Opens the help page at the topic's anchor (none: its top).
  void open(std::string_view topic = {});
  const HelpServer& server() const { return server_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  OperatorUi& ui_;
  QWidget* main_window_;
  DocumentOpener open_document_;
  HelpServer server_;
  bool filtering_ = false;
};

}  // namespace qm
