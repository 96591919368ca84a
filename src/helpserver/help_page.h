// Opening a help page in the browser: through the local help server at the anchor of a
// window's caption, or, when the server is off or the address cannot be opened, the page's
// file directly.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/operator_ui.h"
#include "helpserver/help_server.h"

namespace qm {

inline constexpr const char* kWebServerFailed = "Web Server failed";

// Hands an address or a file's path to the system's browser; whether it was taken.
using DocumentOpener = std::function<bool(const std::string& address_or_path)>;

// Opens `page` (a name without extension) at the anchor made from `topic` (see
// help_topic_anchor; empty: the top of the page).
void open_help_page(const HelpServer& server, OperatorUi& ui, const DocumentOpener& open_document,
                    std::string_view page, std::string_view topic = {});

}  // namespace qm
