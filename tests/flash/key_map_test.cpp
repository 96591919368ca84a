#include "flash/key_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash/transfer.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

using test::Bytes;

const std::string kHeader = kKeyMapHeader;

TEST(KeyMapText, NewAndRewrittenFiles) {
  const struct {
    const char* what;
    std::string old_text;
    int key;
    std::string expected;
  } cases[] = {
      {"a new file gets the header", "", 65, kHeader + "65 = SEQ.SFB\n"},
      {"the key's line is replaced, the next key stays", "; map\n65 = OLD.SFB\n66 = B.SFB\n", 65,
       "; map\n66 = B.SFB\n65 = SEQ.SFB\n"},
      {"every line of the key goes", "65 = A.SFB\n; c\n65=B.SFB\r\n  65\t= C.SFB\n", 65,
       "; c\n65 = SEQ.SFB\n"},
      {"comments and words stay", "; 65 = X\nkey 65\n=65 = Y\n650 = Z\n065 = W\n", 65,
       "; 65 = X\nkey 65\n650 = Z\n65 = SEQ.SFB\n"},
      {"a last line without LF keeps its own line", "66 = B.SFB", 65, "66 = B.SFB\n65 = SEQ.SFB\n"},
      {"a removed last line leaves the header", "65 = OLD.SFB", 65, kHeader + "65 = SEQ.SFB\n"},
      {"a negative key code", "-3 = A.SFB\n3 = B.SFB\n", -3, "3 = B.SFB\n-3 = SEQ.SFB\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(add_key_entry(c.old_text, c.key, "SEQ.SFB"), c.expected) << c.what;
}

TEST(KeyMapText, OnlyTheFirstPieceOfALongLineDecides) {
  // A comment running past 80 characters whose continuation begins with the key stays.
  const std::string comment = std::string(";") + std::string(79, '-') + "65 = X.SFB\n";
  EXPECT_EQ(remove_key_entries(comment, 65), comment);
  // A word that starts after 80 characters of blanks is no entry either.
  const std::string padded = std::string(80, ' ') + "65 = X.SFB\n";
  EXPECT_EQ(remove_key_entries(padded, 65), padded);
  const std::string long_entry = std::string("65 = ") + std::string(100, 'A') + "\n66 = B\n";
  EXPECT_EQ(remove_key_entries(long_entry, 65), "66 = B\n");
}

TEST(KeyMapText, EndsAtCtrlZOrNul) {
  const auto text = [](const std::string& s) {
    return std::string(key_map_text({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}));
  };
  EXPECT_EQ(text(std::string("1 = A\n\x1A"
                             "2 = B\n")),
            "1 = A\n");
  EXPECT_EQ(text(std::string("1 = A\n\0junk", 11)), "1 = A\n");  // as the editor stores it
  EXPECT_EQ(text("1 = A\n"), "1 = A\n");
}

TEST(KeyCharacter, EntriesInBothModes) {
  const struct {
    const char* field;
    KeyEntryMode mode;
    int code;
  } cases[] = {
      {"A", KeyEntryMode::kAscii, 65},     {"AB", KeyEntryMode::kAscii, 0},
      {"", KeyEntryMode::kAscii, 0},       {"\xE9", KeyEntryMode::kAscii, -23},
      {"1", KeyEntryMode::kAscii, 49},     {"A", KeyEntryMode::kKeyCode, 65},
      {"12x", KeyEntryMode::kKeyCode, 12}, {" 300", KeyEntryMode::kKeyCode, 300},
      {"z9", KeyEntryMode::kKeyCode, 122}, {"-5", KeyEntryMode::kKeyCode, 0},
      {"#", KeyEntryMode::kKeyCode, 0},    {"", KeyEntryMode::kKeyCode, 0},
      {"0", KeyEntryMode::kKeyCode, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(key_code_from_entry(c.field, c.mode), c.code)
        << "'" << c.field << "' mode " << static_cast<int>(c.mode);
  EXPECT_EQ(key_field_limit(KeyEntryMode::kAscii), 1u);
  EXPECT_EQ(key_field_limit(KeyEntryMode::kKeyCode), 4u);
}

TEST(KeyCharacter, SwitchingModes_ConvertsTheField) {
  constexpr auto ascii = KeyEntryMode::kAscii, code = KeyEntryMode::kKeyCode;
  const std::string shown = key_field_after_switch("A", ascii, code);
  EXPECT_EQ(shown, "65");
  EXPECT_EQ(key_field_after_switch(shown, code, ascii), "A");
  EXPECT_EQ(key_field_after_switch("", ascii, code), "");
  EXPECT_EQ(key_field_after_switch("\xE9", ascii, code), "-23");
  for (const char* unprintable : {"32", "0", "127", "", "x", "-23", "1000"})
    EXPECT_EQ(key_field_after_switch(unprintable, code, ascii), "") << unprintable;
  EXPECT_EQ(key_field_after_switch("126", code, ascii), "~");
}

class NoObserver final : public TransferObserver {
 public:
  void transfer_status(const std::string&) override {}
  void transfer_progress(std::size_t, std::size_t) override {}
};

// Adding keys to unit 0's key map on a simulated wall over a pseudo-terminal.
class KeyMapping : public test::WallRig {
 protected:
  KeyMapping() { connect_serial(); }
  KeyMapOutcome add(int key, const std::string& sequence, std::uint8_t address = 0) {
    return add_key_mapping(app_.transfer, app_.link, address, key, sequence, observer_);
  }
  std::string key_map() {
    const auto bytes = stored(2, kKeyMapName);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
  }
  static Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
  NoObserver observer_;
};

std::string hex_of(const std::string& text) {
  return test::to_hex(Bytes(text.begin(), text.end()));
}

TEST_F(KeyMapping, NewKeyMap_TheExactMessages) {
  const KeyMapOutcome done = add(65, "SEQ.SFB");
  EXPECT_EQ(done.code, kTransferQuiet);
  EXPECT_FALSE(done.error);
  const std::string text = kHeader + "65 = SEQ.SFB\n";
  EXPECT_EQ(done.text, text);
  EXPECT_EQ(key_map(), text);
  ASSERT_EQ(text.size(), 87u);  // blocks of 32, 32 and 23 bytes

  const std::string name = hex_of(std::string("$IRMAP.TXT") + '\0');
  const std::vector<std::string> expected{
      "07 00 3C 02 " + name,     // find the key map: the unit answers with size 0
      "07 00 3E 00 02 " + name,  // the download: is there a file to erase? no
      "07 00 44 02",             // space of sector 2
      "07 00 3E 01 02 " + name,  // create
      "07 00 40 00 00 " + hex_of(text.substr(0, 32)),
      "07 00 40 20 00 " + hex_of(text.substr(32, 32)),
      "07 00 40 40 00 " + hex_of(text.substr(64)),
      "07 00 41",  // close
  };
  EXPECT_EQ(sent_to_units(expected.size()), expected);
}

TEST_F(KeyMapping, ExistingKeyMap_IsRewrittenWithoutTheOldLines) {
  store(2, kKeyMapName,
        bytes_of("; keys\n65 = OLD.SFB\n66 = B.SFB\n65 = OLD2.SFB\n\x1A"
                 "junk"));
  const KeyMapOutcome done = add(65, "NEW.SFB");
  EXPECT_EQ(done.code, kTransferQuiet);
  EXPECT_EQ(key_map(), "; keys\n66 = B.SFB\n65 = NEW.SFB\n");
}

TEST_F(KeyMapping, NoDirectoryEntry_IsAnErrorAndNothingIsWritten) {
  // Unit 2 is not installed: no answer at all, as from a unit that has no entry to give.
  const KeyMapOutcome done = add(65, "SEQ.SFB", 2);
  ASSERT_TRUE(done.error);
  EXPECT_EQ(*done.error, "No directory entry for 2:$IRMAP.TXT on the unit");
  for (const auto& m : sent_to_units())
    EXPECT_EQ(m.rfind("07 02 3C", 0), 0u) << m;  // only the find went out
}

TEST_F(KeyMapping, KeyMapReachingTheLimit_IsRefusedBeforeAnyWrite) {
  // 65 011 bytes of comments: the new line of 13 bytes would make 65 024.
  const std::string comment = std::string(";") + std::string(98, 'x') + "\n";
  std::string big;
  while (big.size() + comment.size() <= 65011)
    big += comment;
  big += ';';
  big.append(65011 - big.size() - 1, 'y');
  big += '\n';
  ASSERT_EQ(big.size(), 65011u);
  store(2, kKeyMapName, bytes_of(big));
  const KeyMapOutcome done = add(65, "SEQ.SFB");
  ASSERT_TRUE(done.error);
  EXPECT_EQ(*done.error,
            "Key map 2:$IRMAP.TXT would grow to 65024 bytes: it must stay below 65024; nothing "
            "was changed");
  EXPECT_EQ(key_map(), big);
  for (const auto& m : sent_to_units())
    EXPECT_NE(m.rfind("07 00 3E 01", 0), 0u) << "no file was created";
  // One byte less fits.
  big.erase(0, 1);
  wall_.with_unit(0, [](sim::SimUnit& u) {
    u.flash().remove(2, kKeyMapName);
    u.flash().compact(2);
  });
  store(2, kKeyMapName, bytes_of(big));
  EXPECT_EQ(add(65, "SEQ.SFB").code, kTransferQuiet);
  EXPECT_EQ(key_map().size(), 65023u);
}

}  // namespace
}  // namespace qm
