// Searching and replacing in the editor's text.
#include "editor/find_replace.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

constexpr FindOptions kAnyCase{};
constexpr FindOptions kMatchCase{true, false};
constexpr FindOptions kWholeWord{false, true};

TEST(FindForward, CaseIsIgnoredUnlessAsked) {
  EXPECT_EQ(find_forward("send Send SEND", "SEND", kAnyCase, 0), 0u);
  EXPECT_EQ(find_forward("send Send SEND", "SEND", kMatchCase, 0), 10u);
  EXPECT_EQ(find_forward("send Send", "SEND", kMatchCase, 0), std::nullopt);
}

TEST(FindForward, WholeWordSkipsMatchesInsideWords) {
  // Letters, digits and '_' join a word; punctuation and blanks end it.
  EXPECT_EQ(find_forward("SENDER _SEND SEND2 (send)", "send", kWholeWord, 0), 20u);
  EXPECT_EQ(find_forward("SENDER", "send", kWholeWord, 0), std::nullopt);
  // The neighbour is read outside the search range too.
  EXPECT_EQ(find_forward("xsend", "send", kWholeWord, 1), std::nullopt);
}

TEST(FindForward, RunsForwardFromThePositionWithoutWrapping) {
  const std::string text = "WAIT 1\nWAIT 2\n";
  EXPECT_EQ(find_forward(text, "WAIT", kAnyCase, 1), 7u);
  EXPECT_EQ(find_forward(text, "WAIT", kAnyCase, 8), std::nullopt);
  // A match must end inside the range.
  EXPECT_EQ(find_forward(text, "WAIT", kAnyCase, 0, 3), std::nullopt);
  EXPECT_EQ(find_forward(text, "", kAnyCase, 0), std::nullopt);
  EXPECT_EQ(find_forward(text, "WAIT", kAnyCase, 99), std::nullopt);
}

TEST(ReplaceOne, ReplacesTheSelectionAndFindsTheNextMatchAfterIt) {
  const auto r = replace_one("a1 b a1 a1", 0, 2, "a1", "a1a1", kAnyCase);
  EXPECT_EQ(r.text, "a1a1 b a1 a1");
  EXPECT_EQ(r.resume, 4u);
  EXPECT_EQ(r.next, 7u);  // not the copy inside the replacement
  EXPECT_EQ(replace_one("abc", 1, 2, "q", "", kAnyCase).next, std::nullopt);
}

TEST(ReplaceAll, ReplacesEveryMatchOnceEvenWhenTheReplacementHoldsIt) {
  const auto r = replace_all("x x x", "x", "xx", kAnyCase);
  EXPECT_EQ(r.text, "xx xx xx");
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.at, (std::vector<std::size_t>{0, 3, 6}));
  EXPECT_EQ(r.range_end, 8u);
  EXPECT_EQ(replace_all("abc", "z", "y", kAnyCase).count, 0);
}

TEST(ReplaceAll, KeepsToTheRangeAsItGrowsOrShrinks) {
  // Only the middle line [4, 11) is touched; the range follows the shortened text.
  const auto r = replace_all("aa\n aa aa\naa", "aa", "b", kAnyCase, 3, 10);
  EXPECT_EQ(r.text, "aa\n b b\naa");
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.range_end, 8u);
  // A match that would run past the range end stays.
  EXPECT_EQ(replace_all("aaaa", "aa", "b", kAnyCase, 1, 3).text, "aba");
  EXPECT_EQ(replace_all("aaaa", "aa", "b", kAnyCase, 1, 2).count, 0);
}

TEST(ReplaceAll, WholeWordSeesTheTextAsReplaced) {
  // The second '-' touches the 'x' that replaced the first one, so it is no whole word.
  EXPECT_EQ(replace_all("--", "-", "x", kWholeWord).text, "x-");
  EXPECT_EQ(replace_all("aa a", "a", "x", kWholeWord).text, "aa x");
  EXPECT_EQ(replace_all("SEND send", "send", "Out", kMatchCase).text, "SEND Out");
}

}  // namespace
}  // namespace qm
