// Writing a file through a temporary one beside it: the same on every platform but for the
// final replacement (replace_file).

#include <cerrno>
#include <fstream>

#include "platform/paths.h"

namespace qm::platform {
namespace {

// The reason of the last failed C library call; streams leave it in errno.
std::error_code last_error() {
  return {errno, std::generic_category()};
}

}  // namespace

AtomicWriteResult write_file_atomically(const std::filesystem::path& target,
                                        const std::filesystem::path& temporary,
                                        std::string_view contents,
                                        const std::function<std::error_code()>& before_replace) {
  AtomicWriteResult result;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      result = {AtomicWriteStep::Create, last_error()};
    } else {
      out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
      out.close();
      if (!out) result = {AtomicWriteStep::Write, last_error()};
    }
  }
  if (result.ok() && before_replace) {
    if (const std::error_code error = before_replace()) result = {AtomicWriteStep::Prepare, error};
  }
  if (result.ok()) {
    if (const std::error_code error = replace_file(temporary, target))
      result = {AtomicWriteStep::Replace, error};
  }
  if (!result.ok()) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
  return result;
}

}  // namespace qm::platform
