// Fuzz target: any bytes as the head of a request to the help server, answered over a small
// help folder with a file outside it and a symbolic link pointing there. Every answer must be
// none or one of the server's answers whose length says what follows, and the file outside
// the folder must never be served.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "helpserver/help_request.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSecret = "OUTSIDE-THE-HELP-FOLDER";

fs::path g_tree;

void remove_tree() {
  std::error_code error;
  fs::remove_all(g_tree, error);
}

// The help folder, made once per process.
const qm::HelpSite& site() {
  static const qm::HelpSite made = [] {
    g_tree =
        fs::temp_directory_path() / ("qm_fuzz_help_" + std::to_string(std::rand()) + "_" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(&g_tree)));
    fs::create_directories(g_tree / "help" / "sub");
    std::ofstream(g_tree / "secret.txt") << kSecret;
    std::ofstream(g_tree / "help" / "index.html") << "<p>index</p>";
    std::ofstream(g_tree / "help" / "a.htm") << "<p>a</p>";
    std::ofstream(g_tree / "help" / "sub" / "index.html") << "<p>sub</p>";
    std::error_code error;
    fs::create_symlink(g_tree / "secret.txt", g_tree / "help" / "link.txt", error);
    fs::create_directory_symlink(g_tree, g_tree / "help" / "up", error);
    std::atexit(remove_tree);
    qm::HelpSite s;
    s.root = fs::canonical(g_tree / "help");
    return s;
  }();
  return made;
}

bool starts_with_status(const std::string& answer) {
  for (const char* status : {"HTTP/1.0 200 OK\r\n", "HTTP/1.0 301\r\n", "HTTP/1.0 400\r\n",
                             "HTTP/1.0 403\r\n", "HTTP/1.0 404\r\n", "HTTP/1.0 501\r\n"})
    if (answer.starts_with(status)) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view head(reinterpret_cast<const char*>(data), size);
  if (qm::help_head_state(head) != qm::HeadState::Complete) return 0;
  const std::string answer = qm::answer_help_request(head, site());
  if (answer.empty()) return 0;
  if (!starts_with_status(answer)) __builtin_trap();
  if (answer.starts_with("HTTP/1.0 200") && answer.find(kSecret) != std::string::npos)
    __builtin_trap();
  // The length given is the length of what follows the head.
  const std::size_t length_at = answer.find("Content-Length: ");
  const std::size_t body_at = answer.find("\r\n\r\n");
  if (length_at == std::string::npos || body_at == std::string::npos) __builtin_trap();
  const std::string length = std::to_string(answer.size() - body_at - 4);
  if (answer.compare(length_at + 16, length.size(), length) != 0) __builtin_trap();
  return 0;
}
