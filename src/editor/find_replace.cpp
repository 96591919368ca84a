#include "editor/find_replace.h"

#include <algorithm>

namespace qm {

namespace {

char fold(char c, bool match_case) {
  if (match_case || c < 'A' || c > 'Z') return c;
  return static_cast<char>(c - 'A' + 'a');
}

bool is_word_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool matches_at(std::string_view text, std::string_view what, FindOptions options, std::size_t at) {
  for (std::size_t i = 0; i < what.size(); ++i)
    if (fold(text[at + i], options.match_case) != fold(what[i], options.match_case)) return false;
  if (!options.whole_word) return true;
  const std::size_t after = at + what.size();
  if (at > 0 && is_word_char(text[at - 1])) return false;
  if (after < text.size() && is_word_char(text[after])) return false;
  return true;
}

}  // namespace

std::optional<std::size_t> find_forward(std::string_view text, std::string_view what,
                                        FindOptions options, std::size_t from, std::size_t to) {
  to = std::min(to, text.size());
  if (what.empty() || from > to || to - from < what.size()) return std::nullopt;
  for (std::size_t at = from; at + what.size() <= to; ++at)
    if (matches_at(text, what, options, at)) return at;
  return std::nullopt;
}

ReplaceOneResult replace_one(std::string_view text, std::size_t begin, std::size_t end,
                             std::string_view what, std::string_view replacement,
                             FindOptions options) {
  end = std::min(end, text.size());
  begin = std::min(begin, end);
  ReplaceOneResult result;
  result.text.reserve(text.size() - (end - begin) + replacement.size());
  result.text.append(text.substr(0, begin));
  result.text.append(replacement);
  result.text.append(text.substr(end));
  result.resume = begin + replacement.size();
  result.next = find_forward(result.text, what, options, result.resume);
  return result;
}

ReplaceAllResult replace_all(std::string_view text, std::string_view what,
                             std::string_view replacement, FindOptions options, std::size_t begin,
                             std::size_t end) {
  ReplaceAllResult result;
  result.text = std::string(text);
  result.range_end = std::min(end, text.size());
  std::size_t from = std::min(begin, result.range_end);
  while (auto at = find_forward(result.text, what, options, from, result.range_end)) {
    result.text.replace(*at, what.size(), replacement);
    result.at.push_back(*at);
    ++result.count;
    // The range follows the text: it ends as many characters later as the replacement adds.
    result.range_end = result.range_end - what.size() + replacement.size();
    from = *at + replacement.size();
  }
  return result;
}

}  // namespace qm
