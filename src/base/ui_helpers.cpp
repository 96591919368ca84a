#include "base/ui_helpers.h"

#include <algorithm>
#include <cctype>

#include "base/text_format.h"

namespace qm {

void show_error_box(OperatorUi& ui, const std::string& text) {
  std::string shown = "Error: " + text;
  if (shown.size() > kMaxBoxText) shown.resize(kMaxBoxText);
  ui.message_box(kErrorBoxTitle, shown, BoxButtons::Ok, BoxIcon::Error);
}

void show_remote_read_failure(OperatorUi& ui) {
  ui.show_status(kRemoteReadFailure);
}

int scroll_position(const ScrollBinding& b, int value) {
  return b.reversed ? b.maximum - value : value - b.minimum;
}

int scroll_value(const ScrollBinding& b, int position) {
  return b.reversed ? b.maximum - position : b.minimum + position;
}

std::optional<int> handle_scroll(ScrollBinding& b, int code, int position, int thumb) {
  int next = position;
  switch (code) {
    case kLineUp:
    case kPageUp:
      if (position <= 0) return std::nullopt;
      next = position - 1;
      break;
    case kLineDown:
    case kPageDown:
      if (position >= b.maximum - b.minimum) return std::nullopt;
      next = position + 1;
      break;
    case kThumbTrack:
      next = thumb;
      break;
    default:
      return std::nullopt;
  }
  b.value = scroll_value(b, next);
  if (b.on_change) b.on_change(b);
  return next;
}

Point place_dialog(const Rect& parent, const Rect& client, const Rect& dialog, int x, int y) {
  if (x < 0) x = (parent.width() - dialog.width()) / 2;
  // A dialog taller than the client area starts at its top, never over the menu bar.
  if (y < 0) y = std::max((client.height() - dialog.height() - 10) / 2, 0);
  return {client.left + x, client.top + y};
}

std::optional<std::string_view> next_token(std::optional<std::string_view>& cursor,
                                           std::string_view delimiters) {
  if (!cursor) return std::nullopt;
  const std::string_view text = *cursor;
  const std::size_t end = text.find_first_of(delimiters);
  if (end == std::string_view::npos) {
    cursor.reset();
    return text;
  }
  cursor = text.substr(end + 1);
  return text.substr(0, end);
}

int find_name_in_list(std::string_view text, std::span<const std::string_view> list) {
  auto same = [&](std::string_view entry) {
    return entry.size() == text.size() &&
           std::equal(entry.begin(), entry.end(), text.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  for (std::size_t i = 0; i < list.size(); ++i)
    if (same(list[i])) return static_cast<int>(i + 1);
  return 0;
}

}  // namespace qm
