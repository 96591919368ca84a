// Reading a whole file without ever blocking on a pipe or a device, and without letting the
// stream library's exceptions out (a read from a directory raises one in some libraries).

#include <cerrno>
#include <fstream>

#include "platform/paths.h"

namespace qm::platform {

FileRead read_file(const std::filesystem::path& path, std::uintmax_t max_bytes) {
  namespace fs = std::filesystem;
  FileRead read;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    read.status = FileReadStatus::NotFound;
    read.error = std::make_error_code(std::errc::no_such_file_or_directory);
    return read;
  }
  if (error) {
    read.error = error;
    return read;
  }
  if (!fs::is_regular_file(status)) {
    read.status = FileReadStatus::NotRegular;
    read.error = std::make_error_code(fs::is_directory(status) ? std::errc::is_a_directory
                                                               : std::errc::invalid_argument);
    return read;
  }
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) {
    read.error = error;
    return read;
  }
  if (size > max_bytes) {
    read.status = FileReadStatus::TooLarge;
    read.error = std::make_error_code(std::errc::file_too_large);
    return read;
  }
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      read.error = {errno, std::generic_category()};
      return read;
    }
    read.status = FileReadStatus::ReadFailed;
    // The size taken, then whatever the file has grown by since, up to the limit: a file that
    // grew past it is refused rather than taken in part.
    std::string contents(static_cast<std::size_t>(size), '\0');
    in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
      read.error = {errno, std::generic_category()};
      return read;
    }
    if (!in.eof()) {
      in.clear();
      char more[4096];
      while (in.read(more, sizeof more) || in.gcount() > 0) {
        if (contents.size() + static_cast<std::size_t>(in.gcount()) > max_bytes) {
          read.status = FileReadStatus::TooLarge;
          read.error = std::make_error_code(std::errc::file_too_large);
          return read;
        }
        contents.append(more, static_cast<std::size_t>(in.gcount()));
        if (in.eof()) break;
      }
      if (in.bad()) {
        read.error = {errno, std::generic_category()};
        return read;
      }
    }
    read.contents = std::move(contents);
    read.status = FileReadStatus::Read;
  } catch (const std::exception&) {
    // A stream that reports its errors by exception, or no memory for the contents.
    read.status = FileReadStatus::ReadFailed;
    read.error = std::make_error_code(std::errc::io_error);
  }
  return read;
}

}  // namespace qm::platform
