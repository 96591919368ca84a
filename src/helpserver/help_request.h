// The help server's answers: one HTTP/1.0 request head in, the bytes of the whole answer out.
// No sockets and no threads here, so that tests and the fuzzer drive it directly.
//
// Answers, in the order they are decided:
//   no answer  the head is incomplete, too long, or the redirect address would not fit
//   400        the request line lacks a method, a target or a version
//   501        the method is not GET
//   403        the path climbs out of the help root, names something outside it through a
//              symbolic link, or holds a character that cannot be part of a help file's name
//   301        the path names a directory: to its index.html
//   404        no readable file
//   200        the file, with a content type chosen by its extension
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

inline constexpr const char* kHelpPageName = "QuadrimonControl";
inline constexpr std::uint16_t kHelpPort = 8080;
// A request head must end ("\r\n\r\n") within this many bytes.
inline constexpr std::size_t kHelpHeadLimit = 1024;
inline constexpr const char* kHelpIndexName = "index.html";
// Files larger than this are not served (help pages are a few kilobytes).
inline constexpr std::uintmax_t kHelpFileLimit = 16u * 1024 * 1024;

// The parsed request line; the target is split at its first "?".
struct HelpRequest {
  std::string method;
  std::string path;
  std::string query;  // parsed, not used
  std::string version;
};

// Whether the bytes received so far hold a whole head, may still become one, or never can.
enum class HeadState { Incomplete, Complete, Overflow };
HeadState help_head_state(std::string_view received);

// The request line of a head (up to its first CR or LF): method, target and version separated
// by blanks; none when any of the three is missing or empty.
std::optional<HelpRequest> parse_help_request(std::string_view head);

// Where the server answers from: the help root (absolute, symbolic links resolved) and the
// address and port the connection reached, for redirects.
struct HelpSite {
  std::filesystem::path root;
  std::string address = "127.0.0.1";
  std::uint16_t port = kHelpPort;
};

// The whole answer to a complete head; empty when the connection is to be closed without one.
std::string answer_help_request(std::string_view head, const HelpSite& site);

// The content type for a file name, from its last "." (case-insensitive).
std::string_view help_content_type(std::string_view name);
// The error answer "HTTP/1.0 <status>" with its small HTML body.
std::string help_error_answer(int status);
// The redirect of a directory path to its index.html; none when the address would not fit.
std::optional<std::string> help_redirect_answer(std::string_view path, const HelpSite& site);

// The anchor for a window caption: leading blanks skipped, cut at the first ":", every blank
// made "_". Empty for no topic (an empty caption, or one of blanks only).
std::string help_topic_anchor(std::string_view topic);
// The address of a help page on the local server, at the topic's anchor when there is one.
std::string help_page_address(std::uint16_t port, std::string_view page, std::string_view topic);
// The page's file in the help root, for opening without the server.
std::filesystem::path help_page_file(const std::filesystem::path& root, std::string_view page);

}  // namespace qm
