// A private folder for one test: made fresh under the system's temporary folder with a short
// unique name (programs under test limit the length of some paths), and removed with
// everything in it when the object goes, even where the test took away its own permissions.
#pragma once

#include <filesystem>
#include <string>

namespace qm::test {

class TempFolder {
 public:
  // `tag` names the folder ("qm_<tag>_XXXXXX") so that a leftover tells whose it was.
  explicit TempFolder(const std::string& tag = "test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, absolute and without symbolic links.
  const std::filesystem::path& path() const { return path_; }
  operator const std::filesystem::path&() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }
  std::string string() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A file's whole content as bytes, empty when it cannot be read; and the same written.
std::string read_file_text(const std::filesystem::path& path);
void write_file_text(const std::filesystem::path& path, const std::string& text);

}  // namespace qm::test
