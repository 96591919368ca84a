#include "support/temp_folder.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace qm::test {

namespace fs = std::filesystem;

namespace {

// Gives the owner every right on the folder and on each folder below it, so that a test
// that made one unreadable or read-only cannot keep it from being removed.
void restore_permissions(const fs::path& folder) {
  std::error_code ec;
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (it->is_directory(kind) && !it->is_symlink(kind)) restore_permissions(it->path());
  }
}

}  // namespace

TempFolder::TempFolder(const std::string& tag) {
  const std::string pattern = (fs::temp_directory_path() / ("qm_" + tag + "_XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary folder from " + pattern);
  path_ = fs::canonical(fs::path(buffer.data()));
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
  if (!ec) return;
  restore_permissions(path_);
  fs::remove_all(path_, ec);
}

std::string read_file_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace qm::test
