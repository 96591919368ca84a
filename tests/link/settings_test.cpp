#include "link/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/paths.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// A fresh directory for one test, removed afterwards.
class SettingsFiles : public ::testing::Test {
 protected:
  SettingsFiles() : dir_("settings") {}

  static void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  test::TempFolder dir_;
};

// Values parsed from one line over a known starting set.
SettingsValues parsed(const std::string& line) {
  Settings settings(std::nullopt, {});
  settings.values.com_port = 5;
  settings.settings_parse(line);
  return settings.values;
}

TEST(SettingsParse, ComPort_AcceptsOneToTwoFiftyFourAndNone) {
  const std::pair<const char*, int> cases[] = {
      {"COM3:", 2}, {"3", 2},      {"com7", 6}, {"COM254", 253}, {"None", -1},
      {"com0", 5},  {"COM255", 5}, {"COM", 5},  {"3x", 5},       {"-3", 5},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(parsed(std::string("ComPort = ") + value).com_port, expected);
  }
}

TEST(SettingsParse, Numbers_RefuseOutOfRangeAndPartialTokens) {
  EXPECT_EQ(parsed("TCP = 65535").tcp_port, 0);
  EXPECT_EQ(parsed("TCP = 65534").tcp_port, 65534);
  EXPECT_EQ(parsed("TCP = 12a").tcp_port, 0);
  EXPECT_EQ(parsed("TCP = 0\nTCP = 8000\nTCP = 0").tcp_port, 0);
  EXPECT_EQ(parsed("Unit1 = 255").units[1], 0);
  EXPECT_EQ(parsed("Unit1 = 254").units[1], 254);
  EXPECT_EQ(parsed("Unit0 = -1").units[0], 16);
  EXPECT_EQ(parsed("ID = -1").id, -1);
  EXPECT_EQ(parsed("ID = +1").id, 0);
  EXPECT_EQ(parsed("FieldRate = 60").field_rate, 60);
  EXPECT_EQ(parsed("FieldRate = 59.94").field_rate, 50);
  EXPECT_EQ(parsed("FieldRate = 99999999999").field_rate, 50);
}

TEST(SettingsParse, OnOff_AcceptsWordsInAnyCaseOnly) {
  EXPECT_TRUE(parsed("IP = yes").ip);
  EXPECT_TRUE(parsed("IP = Enabled").ip);
  EXPECT_TRUE(parsed("ENABLE_IP = true").enable_ip);
  EXPECT_FALSE(parsed("IP = 1").ip);
  EXPECT_FALSE(parsed("IP = ON\nIP = disabled").ip);
  EXPECT_TRUE(parsed("IP = ON\nIP = 0").ip);
}

TEST(SettingsParse, Key_QuotesProtectBlanksButNotComments) {
  EXPECT_EQ(parsed("Key = \"ab;cd\"").key, "ab");
  EXPECT_EQ(parsed("Key = \"a b=\tc\" ; note").key, "a b=\tc");
  EXPECT_EQ(parsed("Key=plain").key, "plain");
  EXPECT_EQ(parsed("Key = \"\"").key, "");
  EXPECT_EQ(parsed("Key = \"" + std::string(260, 'k') + "\"").key, std::string(260, 'k'));
  EXPECT_EQ(parsed("Key = \"" + std::string(261, 'k') + "\"").key, "");
}

TEST(SettingsParse, Lines_SkipUnknownKeysCommentsAndMissingValues) {
  SettingsValues v = parsed(
      "comport = COM3:\r\n; TCP = 9\r\nTCP\r\n\tAddress\t10.1.2.3\r\nAddress = 255.255.255.255\r\n"
      "Address = nonsense\r\nUnit2 = 9");
  EXPECT_EQ(v.com_port, 5);
  EXPECT_EQ(v.tcp_port, 0);
  EXPECT_EQ(v.address, inet_addr("10.1.2.3"));
  EXPECT_EQ(v.units[2], 9);
}

TEST(SettingsText, Defaults_ExactBytes) {
  Settings settings(std::nullopt, {});
  EXPECT_EQ(settings.settings_text(),
            "IP = OFF\nComPort = NONE\nTCP = 0\nAddress = 0.0.0.0\nKey = \"\"\nFieldRate = 50\n"
            "Unit0 = 16\nUnit1 = 0\nUnit2 = 0\nUnit3 = 0\nID = 0\n");
}

TEST(SettingsText, ChangedValues_ExactBytesWithoutEnableIp) {
  Settings settings(std::nullopt, {});
  settings.values = {true,
                     true,
                     2,
                     "/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0",
                     7000,
                     inet_addr("192.168.1.20"),
                     "s3cret",
                     60,
                     {25, 9, 16, 0},
                     -1};
  EXPECT_EQ(settings.settings_text(),
            "IP = ON\nComPort = COM3:\n"
            "ComDevice = \"/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0\"\nTCP = "
            "7000\nAddress = 192.168.1.20\nKey = \"s3cret\"\n"
            "FieldRate = 60\nUnit0 = 25\nUnit1 = 9\nUnit2 = 16\nUnit3 = 0\nID = -1\n");
}

TEST_F(SettingsFiles, SaveThenLoad_RoundTripsEveryValue) {
  Settings saved(dir_ / "Quadrimon", dir_);
  saved.values = {false,
                  true,
                  9,
                  "/dev/my adapter",
                  65534,
                  inet_addr("10.0.0.1"),
                  std::string(250, 'x') + " y=z",
                  60,
                  {9, 25, 0, 16},
                  -1};
  ASSERT_TRUE(saved.settings_save());
  EXPECT_EQ(read(dir_ / "Quadrimon" / "Orvik.ini"), saved.settings_text());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "Quadrimon"), fs::directory_iterator()), 1);

  Settings loaded(dir_ / "Quadrimon", dir_);
  ASSERT_EQ(loaded.settings_load(), 1);
  EXPECT_EQ(loaded.settings_text(), saved.settings_text());
  EXPECT_EQ(loaded.values.id, -1);
  EXPECT_EQ(loaded.values.key, saved.values.key);
}

TEST_F(SettingsFiles, LoadAndSave_WithoutFileOrFolder_KeepDefaults) {
  Settings no_file(dir_ / "Quadrimon", dir_);
  EXPECT_EQ(no_file.settings_load(), 0);
  EXPECT_EQ(no_file.values.units[0], 16);

  Settings no_folder(std::nullopt, dir_);
  EXPECT_EQ(no_folder.settings_load(), 0);
  EXPECT_FALSE(no_folder.settings_save());

  write(dir_ / "blocker", "");
  EXPECT_FALSE(Settings(dir_ / "blocker" / "Quadrimon", dir_).settings_save());
}

TEST_F(SettingsFiles, Load_OfAFolderPipeOrDevice_KeepsDefaultsWithoutThrowingOrBlocking) {
  const fs::path folder = dir_ / "Quadrimon";
  fs::create_directories(folder / "Orvik.ini");
  Settings on_folder(folder, dir_);
  EXPECT_EQ(on_folder.settings_load(), 0);
  EXPECT_EQ(on_folder.settings_text(), Settings(std::nullopt, dir_).settings_text());

  fs::remove(folder / "Orvik.ini");
  ASSERT_EQ(mkfifo((folder / "Orvik.ini").c_str(), 0600), 0);  // no writer: opening would block
  Settings on_pipe(folder, dir_);
  EXPECT_EQ(on_pipe.settings_load(), 0);
  EXPECT_EQ(on_pipe.values.units[0], 16);

  fs::remove(folder / "Orvik.ini");
  fs::create_symlink("/dev/zero", folder / "Orvik.ini");  // would never end
  Settings on_device(folder, dir_);
  EXPECT_EQ(on_device.settings_load(), 0);
  EXPECT_EQ(on_device.values.units[0], 16);
}

TEST_F(SettingsFiles, RemoteAccessSave_AddsRemovesOrKeepsTheSwitch) {
  Settings settings(std::nullopt, dir_);
  const fs::path ini = dir_ / "orvik.ini";

  EXPECT_TRUE(settings.remote_access_save());  // off, no file: an empty file appears
  EXPECT_EQ(read(ini), "");

  write(ini, "A = 1\r\nB = 2");
  settings.values.enable_ip = true;
  EXPECT_TRUE(settings.remote_access_save());
  EXPECT_EQ(read(ini), "A = 1\r\nB = 2\nENABLE_IP = YES\n");

  write(ini, "A = 1\r\nENABLE_IP = on\r\n");
  EXPECT_TRUE(settings.remote_access_save());  // on and recorded on: left as it is
  EXPECT_EQ(read(ini), "A = 1\r\nENABLE_IP = on\r\n");

  // Recorded off while the switch is on: the next start would read it off, so it is replaced.
  write(ini, "A = 1\r\nENABLE_IP = NO\r\n");
  EXPECT_TRUE(settings.remote_access_save());
  EXPECT_EQ(read(ini), "A = 1\r\nENABLE_IP = YES\n");

  write(ini, "A = 1\r\n;ENABLE_IP = YES\r\nB = 2\r\nENABLE_IP = YES");
  settings.values.enable_ip = false;
  EXPECT_TRUE(settings.remote_access_save());
  EXPECT_EQ(read(ini), "A = 1\r\nB = 2\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "orvik.bak"));

  // A pipe (which nobody reads: opening it to write would block) or a folder stays as it is.
  fs::remove(ini);
  ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
  settings.values.enable_ip = true;
  EXPECT_FALSE(settings.remote_access_save());
  EXPECT_EQ(fs::status(ini).type(), fs::file_type::fifo);
  fs::remove(ini);
  fs::create_directory(ini);
  EXPECT_FALSE(settings.remote_access_save());
  EXPECT_TRUE(fs::is_directory(ini));
}

TEST_F(SettingsFiles, RemoteAccess_ReadOnlyProgramFolderKeepsTheSwitchInTheUsersFolder) {
  const fs::path program = dir_ / "program";
  const fs::path machine = dir_ / "etc" / "quadrimon";
  const fs::path user = dir_ / "config" / "quadrimon";
  const RemoteAccessFiles portable = remote_access_places(program, true, machine, user);
  EXPECT_EQ(portable.read, std::vector{program / "orvik.ini"});
  EXPECT_EQ(portable.record, program / "orvik.ini");
  // Without a machine folder (Windows) the file beside the program is the machine's.
  EXPECT_EQ(remote_access_places(program, false, std::nullopt, user).read,
            (std::vector{program / "orvik.ini", user / "orvik.ini"}));

  const RemoteAccessFiles installed = remote_access_places(program, false, machine, user);
  fs::create_directories(machine);
  write(machine / "orvik.ini", "ENABLE_IP = YES\n");
  Settings settings(std::nullopt, program);
  settings.set_remote_access_files(installed);
  EXPECT_EQ(settings.remote_access_load(), machine / "orvik.ini");
  EXPECT_TRUE(settings.values.enable_ip);

  // Switched off by this user: recorded in a new folder of theirs, and read after the
  // machine's file; the machine's file is never written.
  settings.values.enable_ip = false;
  EXPECT_TRUE(settings.remote_access_save());
  EXPECT_EQ(read(user / "orvik.ini"), "");
  Settings next(std::nullopt, program);
  next.set_remote_access_files(installed);
  next.values.enable_ip = true;  // as a settings file may have said
  EXPECT_EQ(next.remote_access_load(), user / "orvik.ini");
  EXPECT_FALSE(next.values.enable_ip);
  next.values.enable_ip = true;
  EXPECT_TRUE(next.remote_access_save());
  EXPECT_EQ(read(user / "orvik.ini"), "ENABLE_IP = YES\n");
  EXPECT_EQ(read(machine / "orvik.ini"), "ENABLE_IP = YES\n");
  EXPECT_FALSE(fs::exists(program));

  // No file anywhere leaves what the settings file said; no user folder: nowhere to record.
  Settings bare(std::nullopt, program);
  bare.set_remote_access_files(remote_access_places(program, false, dir_ / "none", std::nullopt));
  bare.values.enable_ip = true;
  EXPECT_EQ(bare.remote_access_load(), std::nullopt);
  EXPECT_TRUE(bare.values.enable_ip);
  EXPECT_FALSE(bare.remote_access_save());
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), old_(platform::env_var(name)) {
    set(value);
  }
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void set(const char* value) {
    if (value) {
      ::setenv(name_, value, 1);
    } else {
      ::unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(SettingsFiles, DocumentsFolder_FollowsUserDirsFile) {
  const std::string home = (dir_ / "home").string();
  ScopedEnv home_env("HOME", home.c_str());
  ScopedEnv config_env("XDG_CONFIG_HOME", (dir_ / "cfg").c_str());
  fs::create_directories(dir_ / "cfg");

  EXPECT_EQ(platform::documents_folder(), fs::path(home) / "Documents");

  write(dir_ / "cfg" / "user-dirs.dirs",
        "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  EXPECT_EQ(platform::documents_folder(), fs::path(home) / "Papers");
  EXPECT_EQ(Settings::for_this_user().user_folder(), fs::path(home) / "Papers" / "Quadrimon");

  write(dir_ / "cfg" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"Docs dir\"\n");
  EXPECT_EQ(platform::documents_folder(), fs::path(home) / "Docs dir");

  write(dir_ / "cfg" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
  EXPECT_EQ(platform::documents_folder(), fs::path("/srv/docs"));

  // A user-dirs.dirs that is not a plain file is passed over: a pipe must not hold up start-up.
  fs::remove(dir_ / "cfg" / "user-dirs.dirs");
  ASSERT_EQ(mkfifo((dir_ / "cfg" / "user-dirs.dirs").c_str(), 0600), 0);
  EXPECT_EQ(platform::documents_folder(), fs::path(home) / "Documents");
  fs::remove(dir_ / "cfg" / "user-dirs.dirs");
  fs::create_directory(dir_ / "cfg" / "user-dirs.dirs");
  EXPECT_EQ(platform::documents_folder(), fs::path(home) / "Documents");
  fs::remove(dir_ / "cfg" / "user-dirs.dirs");

  {  // without XDG_CONFIG_HOME the file is looked for in $HOME/.config
    ScopedEnv default_config("XDG_CONFIG_HOME", nullptr);
    fs::create_directories(fs::path(home) / ".config");
    write(fs::path(home) / ".config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"${HOME}/D\"\n");
    EXPECT_EQ(platform::documents_folder(), fs::path(home) / "D");
  }

  ScopedEnv no_home("HOME", nullptr);
  EXPECT_EQ(platform::documents_folder(), std::nullopt);
  EXPECT_EQ(Settings::for_this_user().user_folder(), std::nullopt);
}

}  // namespace
}  // namespace qm
