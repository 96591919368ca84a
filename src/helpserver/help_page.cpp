#include "helpserver/help_page.h"

#include "base/path_text.h"

namespace qm {

void open_help_page(const HelpServer& server, OperatorUi& ui, const DocumentOpener& open_document,
                    std::string_view page, std::string_view topic) {
  if (server.running() && open_document(help_page_address(server.port(), page, topic))) return;
  ui.show_status(kWebServerFailed);
  open_document(utf8_from_path(help_page_file(server.root(), page)));
}

}  // namespace qm
