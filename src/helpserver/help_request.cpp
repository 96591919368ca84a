#include "helpserver/help_request.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <system_error>
#include <vector>

#include "base/path_text.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "platform/paths.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr const char* kErrorBody = "<html><body><h2>Error: %d</h2></body></html>";
constexpr const char* kErrorHead =
    "HTTP/1.0 %d\r\nContent-Type: text/html\r\nContent-Length: %ld\r\n\r\n";
constexpr const char* kRedirectHead =
    "HTTP/1.0 301\r\nContent-Type: text/html\r\nContent-Length: %ld\r\nLocation: %s\r\n\r\n";
constexpr const char* kRedirectBody = "<html><body><a href=\"%s\">%s</a></body></html>";
constexpr const char* kOkHead = "HTTP/1.0 200 OK\r\n";
constexpr const char* kPageAddress = "http://127.0.0.1:%d/%s.htm";
constexpr const char* kPageAnchorAddress = "http://127.0.0.1:%d/%s.htm#%s";

struct ContentType {
  std::string_view extension;
  std::string_view type;
};
constexpr ContentType kContentTypes[] = {
    {".txt", "text/plain"}, {".html", "text/html"}, {".htm", "text/html"},
    {".gif", "image/gif"},  {".jpg", "image/jpeg"},
};
constexpr std::string_view kDefaultContentType = "text/plain";
// The style sheet and the pictures the help pages use need their own types to be honoured
// by a browser.
constexpr ContentType kPageResourceTypes[] = {{".css", "text/css"}, {".png", "image/png"}};

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Text placed inside HTML, with the characters that would end an attribute or start a tag
// written as entities.
std::string html_escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A name part of a request path that can stand for a file in the help root: no control
// characters, and no ":" (a drive or a stream on some systems).
bool plain_name_part(std::string_view part) {
  return std::none_of(part.begin(), part.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f || c == ':';
  });
}

// The request path's name parts below the root, "." and ".." applied ("/" and "\" both
// separate); none when the path climbs above the root or holds a part no file can have.
std::optional<std::vector<std::string_view>> path_parts(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find_first_of("/\\", at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
      continue;
    }
    if (!plain_name_part(part)) return std::nullopt;
    parts.push_back(part);
  }
  return parts;
}

// Whether `path` is `root` or lies below it (both absolute, symbolic links resolved).
bool lies_within(const fs::path& path, const fs::path& root) {
  auto r = root.begin();
  auto p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator of the root
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

std::string ok_answer(std::string_view name, const std::string& contents) {
  std::string out = kOkHead;
  out += "Content-Type: ";
  out += help_content_type(name);
  out += strprintf("\r\nContent-Length: %ld\r\n", static_cast<long>(contents.size()));
  out += "\r\n";
  out += contents;
  return out;
}

}  // namespace

HeadState help_head_state(std::string_view received) {
  const std::string_view window = received.substr(0, kHelpHeadLimit);
  if (window.find(kHeadEnd) != std::string_view::npos) return HeadState::Complete;
  return received.size() >= kHelpHeadLimit ? HeadState::Overflow : HeadState::Incomplete;
}

std::optional<HelpRequest> parse_help_request(std::string_view head) {
  const std::size_t line_end = head.find_first_of("\r\n");
  std::optional<std::string_view> cursor = head.substr(0, line_end);
  const auto method = next_token(cursor, " ");
  const auto target = next_token(cursor, " ");
  if (!method || !target || !cursor || method->empty() || target->empty() || cursor->empty())
    return std::nullopt;
  HelpRequest request;
  request.method = std::string(*method);
  const std::size_t question = target->find('?');
  request.path = std::string(target->substr(0, question));
  if (question != std::string_view::npos) request.query = std::string(target->substr(question + 1));
  request.version = std::string(*cursor);
  return request;
}

std::string_view help_content_type(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return kDefaultContentType;
  const std::string_view extension = name.substr(dot);
  for (const ContentType& t : kContentTypes)
    if (equal_ignoring_case(extension, t.extension)) return t.type;
  for (const ContentType& t : kPageResourceTypes)
    if (equal_ignoring_case(extension, t.extension)) return t.type;
  return kDefaultContentType;
}

std::string help_error_answer(int status) {
  const std::string body = strprintf(kErrorBody, status);
  return strprintf(kErrorHead, status, static_cast<long>(body.size())) + body;
}

std::optional<std::string> help_redirect_answer(std::string_view path, const HelpSite& site) {
  std::string location = site.port == 80
                             ? strprintf("http://%s", site.address.c_str())
                             : strprintf("http://%s:%d", site.address.c_str(), site.port);
  const std::size_t room = kHelpHeadLimit - std::string_view(kHelpIndexName).size();
  if (location.size() >= room || path.size() >= room - location.size()) return std::nullopt;
  location += path;
  if (location.back() != '/') location += '/';
  location += kHelpIndexName;
  // The location goes into the body as an HTML attribute and text: escaped there, so that a
  // crafted path cannot add markup to the page.
  const std::string shown = html_escaped(location);
  const std::string body = strprintf(kRedirectBody, shown.c_str(), shown.c_str());
  return strprintf(kRedirectHead, static_cast<long>(body.size()), location.c_str()) + body;
}

std::string answer_help_request(std::string_view head, const HelpSite& site) {
  const auto request = parse_help_request(head);
  if (!request) return help_error_answer(400);
  if (request->method.find("GET") == std::string::npos) return help_error_answer(501);
  const auto parts = path_parts(request->path);
  if (!parts) return help_error_answer(403);

  fs::path local = site.root;
  fs::path real;
  try {
    for (std::string_view part : *parts)
      local /= path_from_utf8(part);
    // The file the path reaches, every symbolic link on the way resolved: a link inside the
    // help root may point anywhere.
    std::error_code error;
    real = fs::canonical(local, error);
    if (error) return help_error_answer(404);
  } catch (const std::exception&) {
    return help_error_answer(404);  // a name the system cannot represent
  }
  if (!lies_within(real, site.root)) return help_error_answer(403);

  std::error_code error;
  if (fs::is_directory(real, error)) {
    auto redirect = help_redirect_answer(request->path, site);
    return redirect ? std::move(*redirect) : std::string();
  }
  const platform::FileRead file = platform::read_file(real, kHelpFileLimit);
  if (!file.ok()) return help_error_answer(404);
  return ok_answer(parts->empty() ? std::string_view() : parts->back(), file.contents);
}

std::string help_topic_anchor(std::string_view topic) {
  const std::size_t first = topic.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::string anchor(topic.substr(first, topic.find(':', first) - first));
  std::replace(anchor.begin(), anchor.end(), ' ', '_');
  return anchor;
}

std::string help_page_address(std::uint16_t port, std::string_view page, std::string_view topic) {
  const std::string name(page);
  const std::string anchor = help_topic_anchor(topic);
  if (anchor.empty()) return strprintf(kPageAddress, port, name.c_str());
  return strprintf(kPageAnchorAddress, port, name.c_str(), anchor.c_str());
}

fs::path help_page_file(const fs::path& root, std::string_view page) {
  return root / path_from_utf8(std::string(page) + ".htm");
}

}  // namespace qm
