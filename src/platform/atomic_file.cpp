// Writing a file through a temporary one beside it: the same on every platform but for the
// creation of the temporary file (create_new_file) and the final replacement (replace_file).

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/paths.h"

namespace qm::platform {
namespace {

namespace fs = std::filesystem;

// The file a write of `target` changes: the file a symbolic link names, else `target`.
fs::path written_file(const fs::path& target) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(target, error))) return target;
  const fs::path resolved = fs::weakly_canonical(target, error);
  return error ? target : resolved;
}

// A new empty file beside `target` whose name nobody uses: "<name>.<random>.tmp".
std::FILE* create_temporary(const fs::path& target, fs::path& temporary, std::error_code& error) {
  std::random_device entropy;
  std::mt19937_64 names((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(names() & 0xFFFFFFFFFFFFull));
    temporary = target;
    temporary += suffix;
    error.clear();
    if (std::FILE* file = create_new_file(temporary, error)) return file;
    if (error != std::errc::file_exists) return nullptr;
  }
  return nullptr;
}

}  // namespace

AtomicWriteResult write_file_atomically(const fs::path& target, std::string_view contents,
                                        const std::function<std::error_code()>& before_replace) {
  const fs::path file = written_file(target);
  AtomicWriteResult result;
  fs::path temporary;
  std::error_code error;
  std::FILE* out = create_temporary(file, temporary, error);
  if (out == nullptr) return {AtomicWriteStep::Create, error};

  const bool written = std::fwrite(contents.data(), 1, contents.size(), out) == contents.size();
  const std::error_code write_error{errno, std::generic_category()};
  if (std::fclose(out) != 0 || !written)
    result = {AtomicWriteStep::Write,
              written ? std::error_code{errno, std::generic_category()} : write_error};
  // The new file keeps the permissions of the one it replaces (a read-only file stays so).
  if (result.ok()) {
    const fs::file_status old = fs::status(file, error);
    if (!error && fs::exists(old))
      fs::permissions(temporary, old.permissions(), fs::perm_options::replace, error);
  }
  if (result.ok() && before_replace) {
    if (const std::error_code failed = before_replace())
      result = {AtomicWriteStep::Prepare, failed};
  }
  if (result.ok()) {
    if (const std::error_code failed = replace_file(temporary, file))
      result = {AtomicWriteStep::Replace, failed};
  }
  if (!result.ok()) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
  }
  return result;
}

}  // namespace qm::platform
