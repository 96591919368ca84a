// Small services every panel uses, in their window-system-free form: the error box,
// scroll-bar arithmetic, dialog placement arithmetic and two text utilities. The Qt widgets
// apply what these compute.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/operator_ui.h"

namespace qm {

inline constexpr const char* kErrorBoxTitle = " Error";
inline constexpr const char* kRemoteReadFailure = " Error reading remote states";
inline constexpr std::size_t kMaxBoxText = 343;

// The modal error box: "Error: " and the text (343 characters at most), title " Error".
void show_error_box(OperatorUi& ui, const std::string& text);
// The remote-read failure notice in the status line (two leading blanks appear).
void show_remote_read_failure(OperatorUi& ui);

// A scroll bar bound to an integer value in minimum..maximum. Its position runs from 0 to
// maximum - minimum; position p stands for maximum - p when reversed, minimum + p otherwise.
struct ScrollBinding {
  int value = 0;
  int minimum = 0;
  int maximum = 0;
  int tag = 0;  // free for the owner
  bool reversed = false;
  std::function<void(ScrollBinding&)> on_change;
};

enum ScrollCode { kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbTrack = 5 };

int scroll_position(const ScrollBinding& b, int value);
int scroll_value(const ScrollBinding& b, int position);
// Applies a scroll notification at `position`: a page moves by one like a line, the thumb
// goes where it is dragged. Returns the new position and updates the value (calling
// on_change), or none when the position is at its limit or the code does nothing.
std::optional<int> handle_scroll(ScrollBinding& b, int code, int position, int thumb);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};
struct Point {
  int x = 0, y = 0;
};
// Where a dialog goes: (x, y) inside the parent's client area, or centred where x or y is
// negative (horizontally over the parent, vertically in the client area). `parent` is the
// parent's outer rectangle, `client` its client area in the same coordinates (below its menu
// bar, above its status bar), `dialog` the dialog's outer rectangle.
Point place_dialog(const Rect& parent, const Rect& client, const Rect& dialog, int x, int y);

// The text from the cursor to the first delimiter; the cursor moves behind it, and becomes
// none at the end of the text. A none cursor gives none. Adjacent delimiters give an empty
// token.
std::optional<std::string_view> next_token(std::optional<std::string_view>& cursor,
                                           std::string_view delimiters);
// 1-based position of the first entry equal to the text ignoring case; 0 when none.
int find_name_in_list(std::string_view text, std::span<const std::string_view> list);

}  // namespace qm
