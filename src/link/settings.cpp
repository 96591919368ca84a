#include "link/settings.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/paths.h"
#include "platform/socket.h"

namespace qm {
namespace {

constexpr const char* kSettingsFileName = "Orvik.ini";
constexpr const char* kUserFolderName = "Quadrimon";
constexpr const char* kRemoteAccessFileName = "orvik.ini";
constexpr std::string_view kRemoteAccessKey = "ENABLE_IP";
constexpr std::string_view kRemoteAccessLine = "ENABLE_IP = YES\n";
constexpr std::size_t kMaxTextLength = 260;

// How a row's value is read and written.
enum class Kind {
  OnOff,    // "ON"/"OFF"; reads OFF ON NO YES DISABLED ENABLED FALSE TRUE in any case
  Port,     // "COM<n>:" (n = index + 1) or "NONE"; reads none, [COM]1..254[:]
  Word,     // unsigned decimal below 65535
  Integer,  // signed decimal
  Byte,     // unsigned decimal below 255
  Ipv4,     // dotted quad, 255.255.255.255 refused
  Text,     // written in double quotes; reads with or without them, at most 260 characters
};

// An entry of SettingsValues::units.
struct UnitSlot {
  std::size_t index;
};

// Where a row's value lives in SettingsValues.
using Field =
    std::variant<bool SettingsValues::*, int SettingsValues::*, std::uint16_t SettingsValues::*,
                 std::uint32_t SettingsValues::*, std::string SettingsValues::*, UnitSlot>;

// Which rows settings_save writes.
enum class Saved {
  Never,
  Always,
  WhenSet,  // a text row, only when it is not empty
};

struct Row {
  std::string_view key;  // compared case-sensitively
  Kind kind;
  Field field;
  Saved saved;  // whether settings_save writes it
};

// One row per key, in the order the file is written. ENABLE_IP is recorded at exit only, in
// the switch files.
constexpr std::array kRows{
    Row{"ENABLE_IP", Kind::OnOff, &SettingsValues::enable_ip, Saved::Never},
    Row{"IP", Kind::OnOff, &SettingsValues::ip, Saved::Always},
    Row{"ComPort", Kind::Port, &SettingsValues::com_port, Saved::Always},
    Row{"ComDevice", Kind::Text, &SettingsValues::com_device, Saved::WhenSet},
    Row{"TCP", Kind::Word, &SettingsValues::tcp_port, Saved::Always},
    Row{"Address", Kind::Ipv4, &SettingsValues::address, Saved::Always},
    Row{"Key", Kind::Text, &SettingsValues::key, Saved::Always},
    Row{"FieldRate", Kind::Integer, &SettingsValues::field_rate, Saved::Always},
    Row{"Unit0", Kind::Byte, UnitSlot{0}, Saved::Always},
    Row{"Unit1", Kind::Byte, UnitSlot{1}, Saved::Always},
    Row{"Unit2", Kind::Byte, UnitSlot{2}, Saved::Always},
    Row{"Unit3", Kind::Byte, UnitSlot{3}, Saved::Always},
    Row{"ID", Kind::Integer, &SettingsValues::id, Saved::Always},
};

// The variable type each kind works on.
template <Kind K>
struct KindTraits;
template <>
struct KindTraits<Kind::OnOff> {
  using type = bool;
};
template <>
struct KindTraits<Kind::Port> {
  using type = int;
};
template <>
struct KindTraits<Kind::Word> {
  using type = std::uint16_t;
};
template <>
struct KindTraits<Kind::Integer> {
  using type = int;
};
template <>
struct KindTraits<Kind::Byte> {
  using type = std::uint8_t;
};
template <>
struct KindTraits<Kind::Ipv4> {
  using type = std::uint32_t;
};
template <>
struct KindTraits<Kind::Text> {
  using type = std::string;
};
template <Kind K>
using KindType = typename KindTraits<K>::type;

// The variable a row names, typed by its kind (const when `values` is).
template <Kind K, class Values>
auto& field_of(Values& values, const Row& row) {
  using T = KindType<K>;
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    return values.units[std::get<UnitSlot>(row.field).index];
  } else {
    return values.*std::get<T SettingsValues::*>(row.field);
  }
}

// True when every row's field holds the type its kind works on.
template <Kind K>
constexpr bool field_matches(const Row& row) {
  using T = KindType<K>;
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    return std::holds_alternative<UnitSlot>(row.field) &&
           std::get<UnitSlot>(row.field).index < std::extent_v<decltype(SettingsValues::units)>;
  } else {
    return std::holds_alternative<T SettingsValues::*>(row.field);
  }
}

constexpr bool table_is_consistent() {
  for (const Row& row : kRows) {
    bool ok = false;
    switch (row.kind) {
      case Kind::OnOff:
        ok = field_matches<Kind::OnOff>(row);
        break;
      case Kind::Port:
        ok = field_matches<Kind::Port>(row);
        break;
      case Kind::Word:
        ok = field_matches<Kind::Word>(row);
        break;
      case Kind::Integer:
        ok = field_matches<Kind::Integer>(row);
        break;
      case Kind::Byte:
        ok = field_matches<Kind::Byte>(row);
        break;
      case Kind::Ipv4:
        ok = field_matches<Kind::Ipv4>(row);
        break;
      case Kind::Text:
        ok = field_matches<Kind::Text>(row);
        break;
    }
    if (!ok) return false;
  }
  return true;
}
static_assert(table_is_consistent(), "a settings row names a variable of the wrong type");

char to_lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (to_lower_ascii(a[i]) != to_lower_ascii(b[i])) return false;
  }
  return true;
}

// A whole token read as a number of type T: digits only (a leading '-' too for signed T).
template <class T>
std::optional<T> parse_number(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::optional<bool> parse_on_off(std::string_view text) {
  for (std::string_view word : {"OFF", "NO", "DISABLED", "FALSE"}) {
    if (equals_ignoring_case(text, word)) return false;
  }
  for (std::string_view word : {"ON", "YES", "ENABLED", "TRUE"}) {
    if (equals_ignoring_case(text, word)) return true;
  }
  return std::nullopt;
}

// "none" gives -1; "[COM]n[:]" with n in 1..254 gives the index n - 1.
std::optional<int> parse_port(std::string_view text) {
  if (equals_ignoring_case(text, "none")) return -1;
  if (text.size() >= 3 && equals_ignoring_case(text.substr(0, 3), "COM")) text.remove_prefix(3);
  if (!text.empty() && text.back() == ':') text.remove_suffix(1);
  auto number = parse_number<unsigned>(text);
  if (!number || *number < 1 || *number > 254) return std::nullopt;
  return static_cast<int>(*number) - 1;
}

// Drops one leading double quote and cuts at the last one; none when too long.
std::optional<std::string> parse_text(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (auto last = text.rfind('"'); last != std::string_view::npos) text = text.substr(0, last);
  if (text.size() > kMaxTextLength) return std::nullopt;
  return std::string(text);
}

// Stores `text` in the row's variable when it is a valid value of the row's kind.
void read_value(const Row& row, std::string_view text, SettingsValues& values) {
  switch (row.kind) {
    case Kind::OnOff:
      if (auto on = parse_on_off(text)) field_of<Kind::OnOff>(values, row) = *on;
      break;
    case Kind::Port:
      if (auto port = parse_port(text)) field_of<Kind::Port>(values, row) = *port;
      break;
    case Kind::Word:
      if (auto n = parse_number<std::uint16_t>(text); n && *n < 65535) {
        field_of<Kind::Word>(values, row) = *n;
      }
      break;
    case Kind::Integer:
      if (auto n = parse_number<int>(text)) field_of<Kind::Integer>(values, row) = *n;
      break;
    case Kind::Byte:
      if (auto n = parse_number<std::uint8_t>(text); n && *n < 255) {
        field_of<Kind::Byte>(values, row) = *n;
      }
      break;
    case Kind::Ipv4:
      if (auto address = platform::parse_ipv4(std::string(text))) {
        field_of<Kind::Ipv4>(values, row) = *address;
      }
      break;
    case Kind::Text:
      if (auto value = parse_text(text)) field_of<Kind::Text>(values, row) = std::move(*value);
      break;
  }
}

// The line that stores the row's variable: key, " = ", the value, a line feed.
std::string format_line(const Row& row, const SettingsValues& values) {
  std::string line(row.key);
  line += " = ";
  switch (row.kind) {
    case Kind::OnOff:
      line += field_of<Kind::OnOff>(values, row) ? "ON" : "OFF";
      break;
    case Kind::Port:
      if (int port = field_of<Kind::Port>(values, row); port < 0) {
        line += "NONE";
      } else {
        line += "COM" + std::to_string(port + 1) + ":";
      }
      break;
    case Kind::Word:
      line += std::to_string(field_of<Kind::Word>(values, row));
      break;
    case Kind::Integer:
      line += std::to_string(field_of<Kind::Integer>(values, row));
      break;
    case Kind::Byte:
      line += std::to_string(field_of<Kind::Byte>(values, row));
      break;
    case Kind::Ipv4:
      line += platform::format_ipv4(field_of<Kind::Ipv4>(values, row));
      break;
    case Kind::Text:
      line += '"' + field_of<Kind::Text>(values, row) + '"';
      break;
  }
  line += '\n';
  return line;
}

const Row* find_row(std::string_view key) {
  for (const Row& row : kRows) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

// Splits a settings line into key and value. A ';' starts a comment wherever it stands;
// space, tab and '=' between a pair of double quotes do not split. None when either is missing.
std::optional<std::pair<std::string_view, std::string_view>> split_line(std::string_view line) {
  if (auto comment = line.find(';'); comment != std::string_view::npos) {
    line = line.substr(0, comment);
  }
  std::vector<bool> quoted(line.size(), false);
  for (std::size_t open = line.find('"'); open != std::string_view::npos;) {
    std::size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) break;
    for (std::size_t i = open + 1; i < close; ++i)
      quoted[i] = true;
    open = line.find('"', close + 1);
  }
  auto is_delimiter = [&](std::size_t i) {
    char c = line[i];
    return !quoted[i] && (c == ' ' || c == '=' || c == '\n' || c == '\t');
  };
  std::size_t pos = 0;
  auto next_token = [&]() -> std::string_view {
    while (pos < line.size() && is_delimiter(pos))
      ++pos;
    std::size_t start = pos;
    while (pos < line.size() && !is_delimiter(pos))
      ++pos;
    return line.substr(start, pos - start);
  };
  std::string_view key = next_token();
  std::string_view value = next_token();
  if (key.empty() || value.empty()) return std::nullopt;
  return std::pair{key, value};
}

// Reads settings text over `values`: every line with a known key and a readable value.
void parse_into(std::string_view text, SettingsValues& values) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    auto parts = split_line(line);
    if (!parts) continue;
    if (const Row* row = find_row(parts->first)) read_value(*row, parts->second, values);
  }
}

// Whether a switch file's text holds the remote-access switch on.
bool switch_on(std::string_view text) {
  SettingsValues read;
  read.enable_ip = false;
  parse_into(text, read);
  return read.enable_ip;
}

// Writes `contents` over `target` through a temporary file, so that `target` is always either
// the old file or the new one. False (and `target` untouched) when that failed.
bool replace_contents(const std::filesystem::path& target, std::string_view contents) {
  return platform::write_file_atomically(target, contents).ok();
}

}  // namespace

RemoteAccessFiles remote_access_places(
    const std::filesystem::path& program_dir, bool program_dir_writable,
    const std::optional<std::filesystem::path>& machine_folder,
    const std::optional<std::filesystem::path>& user_config_folder) {
  const std::filesystem::path beside_program = program_dir / kRemoteAccessFileName;
  if (program_dir_writable) return {{beside_program}, beside_program};
  RemoteAccessFiles files;
  files.read.push_back(machine_folder ? *machine_folder / kRemoteAccessFileName : beside_program);
  if (user_config_folder) {
    files.read.push_back(*user_config_folder / kRemoteAccessFileName);
    files.record = files.read.back();
  }
  return files;
}

Settings::Settings(std::optional<std::filesystem::path> user_folder,
                   std::filesystem::path program_dir)
    : user_folder_(std::move(user_folder)),
      program_dir_(std::move(program_dir)),
      remote_access_files_(remote_access_places(program_dir_, true, {}, {})) {}

Settings Settings::for_this_user() {
  std::optional<std::filesystem::path> folder;
  if (auto documents = platform::documents_folder()) folder = *documents / kUserFolderName;
  Settings settings(std::move(folder), platform::executable_dir());
  // An installed tree (its data in share/quadrimon) never keeps settings beside its programs,
  // even for a user who may write there: /usr/bin is no place for them.
  const bool installed = platform::data_dir() != settings.program_dir();
  settings.set_remote_access_files(remote_access_places(
      settings.program_dir(), !installed && platform::folder_writable(settings.program_dir()),
      platform::machine_config_folder(), platform::user_config_folder()));
  return settings;
}

std::optional<std::filesystem::path> Settings::settings_path() const {
  if (!user_folder_) return std::nullopt;
  return *user_folder_ / kSettingsFileName;
}

int Settings::settings_load() {
  auto path = settings_path();
  if (!path) return 0;
  // A file that cannot be read (a folder, a pipe, a device, a read error) leaves the defaults.
  const platform::FileRead read = platform::read_file(*path);
  if (!read.ok()) return 0;
  settings_parse(read.contents);
  return 1;
}

void Settings::settings_parse(std::string_view text) {
  parse_into(text, values);
}

std::string Settings::settings_text() const {
  std::string text;
  for (const Row& row : kRows) {
    const bool set = row.kind != Kind::Text || !field_of<Kind::Text>(values, row).empty();
    if (row.saved == Saved::Always || (row.saved == Saved::WhenSet && set))
      text += format_line(row, values);
  }
  return text;
}

bool Settings::settings_save() const {
  auto path = settings_path();
  if (!path) return false;
  std::error_code error;
  std::filesystem::create_directories(*user_folder_, error);
  if (error) return false;
  return replace_contents(*path, settings_text());
}

std::optional<std::filesystem::path> Settings::remote_access_load() {
  std::optional<std::filesystem::path> decided;
  for (const auto& file : remote_access_files_.read) {
    const platform::FileRead read = platform::read_file(file);
    if (!read.ok()) continue;
    values.enable_ip = switch_on(read.contents);
    decided = file;
  }
  return decided;
}

bool Settings::remote_access_save() const {
  if (!remote_access_files_.record) return false;
  const std::filesystem::path& ini = *remote_access_files_.record;

  // An absent file is made (an empty one records the switch off). Anything but a plain file
  // (a pipe would block the opening) is left alone.
  const platform::FileRead read = platform::read_file(ini);
  const bool existed = read.status != platform::FileReadStatus::NotFound;
  if (existed && !read.ok()) return false;
  if (!existed) {
    std::error_code error;
    std::filesystem::create_directories(ini.parent_path(), error);
  }
  const std::string& old_contents = read.contents;
  const bool mentioned = old_contents.find(kRemoteAccessKey) != std::string::npos;
  if (values.enable_ip ? switch_on(old_contents) : existed && !mentioned) return true;

  // Every line that does not mention the switch, byte for byte; then the switch when on.
  std::string new_contents;
  for (std::string_view rest = old_contents; !rest.empty();) {
    std::size_t end = rest.find('\n');
    std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
    std::string_view line = rest.substr(0, length);
    rest.remove_prefix(length);
    if (line.find(kRemoteAccessKey) == std::string_view::npos) new_contents += line;
  }
  if (values.enable_ip) {
    if (!new_contents.empty() && new_contents.back() != '\n') new_contents += '\n';
    new_contents += kRemoteAccessLine;
  }
  return replace_contents(ini, new_contents);
}

}  // namespace qm
