// The help server's answers to request heads, byte for byte, over a help folder on disk; the
// topic rule and the addresses that open_help_page forms.
#include "helpserver/help_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sim_io.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class HelpRequestTest : public ::testing::Test {
 protected:
  HelpRequestTest() : folder_("help") {
    fs::create_directories(folder_ / "help" / "sub");
    write_file_text(folder_ / "help" / "x.htm", "<p>x</p>");
    write_file_text(folder_ / "help" / "PAGE.HTM", "<p>page</p>");
    write_file_text(folder_ / "help" / "notes", "plain");
    write_file_text(folder_ / "help" / "sub" / "index.html", "<p>sub</p>");
    write_file_text(folder_ / "secret.txt", "secret");
    site_.root = folder_ / "help";
    site_.port = 8080;
  }

  std::string answer(const std::string& line) const {
    return answer_help_request(line + "\r\nHost: 127.0.0.1\r\n\r\n", site_);
  }
  static std::string ok(const std::string& type, const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }

  TempFolder folder_;
  HelpSite site_;
};

TEST_F(HelpRequestTest, Files_ServedWithTheTypeOfTheirExtension) {
  EXPECT_EQ(answer("GET /x.htm HTTP/1.0"), ok("text/html", "<p>x</p>"));
  EXPECT_EQ(answer("GET /PAGE.HTM HTTP/1.1"), ok("text/html", "<p>page</p>"));
  EXPECT_EQ(answer("GET /notes HTTP/1.0"), ok("text/plain", "plain"));
  EXPECT_EQ(answer("GET /sub/index.html HTTP/1.0"), ok("text/html", "<p>sub</p>"));
  // The query is cut off and never reaches the file's name.
  EXPECT_EQ(answer("GET /x.htm?a=1 HTTP/1.0"), ok("text/html", "<p>x</p>"));
  // Both separators, "." and a ".." that stays inside.
  EXPECT_EQ(answer("GET /sub/../x.htm HTTP/1.0"), ok("text/html", "<p>x</p>"));
  EXPECT_EQ(answer("GET /.\\sub\\index.html HTTP/1.0"), ok("text/html", "<p>sub</p>"));
}

TEST_F(HelpRequestTest, ContentType_ByLastDotIgnoringCase) {
  EXPECT_EQ(help_content_type("a.TXT"), "text/plain");
  EXPECT_EQ(help_content_type("a.Html"), "text/html");
  EXPECT_EQ(help_content_type("a.gif"), "image/gif");
  EXPECT_EQ(help_content_type("a.JPG"), "image/jpeg");
  EXPECT_EQ(help_content_type("a.htm.bak"), "text/plain");
  EXPECT_EQ(help_content_type("a.css"), "text/css");
  EXPECT_EQ(help_content_type("README"), "text/plain");
}

TEST_F(HelpRequestTest, Directories_RedirectToTheirIndexWithThePortUnlessItIs80) {
  const std::string loc = "http://127.0.0.1:8080/index.html";
  const std::string body = "<html><body><a href=\"" + loc + "\">" + loc + "</a></body></html>";
  EXPECT_EQ(answer("GET / HTTP/1.0"),
            "HTTP/1.0 301\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nLocation: " + loc + "\r\n\r\n" + body);
  EXPECT_NE(answer("GET /sub HTTP/1.0").find("Location: http://127.0.0.1:8080/sub/index.html\r\n"),
            std::string::npos);
  EXPECT_NE(answer("GET /sub/ HTTP/1.0").find("Location: http://127.0.0.1:8080/sub/index.html\r\n"),
            std::string::npos);
  site_.port = 80;
  EXPECT_NE(answer("GET /sub HTTP/1.0").find("Location: http://127.0.0.1/sub/index.html\r\n"),
            std::string::npos);
}

TEST_F(HelpRequestTest, Redirect_MarkupInThePathIsEscapedInTheBody) {
  fs::create_directories(folder_ / "help" / "a\"><b>");
  const std::string a = answer("GET /a\"><b> HTTP/1.0");
  EXPECT_NE(a.find("href=\"http://127.0.0.1:8080/a&quot;&gt;&lt;b&gt;/index.html\""),
            std::string::npos);
  EXPECT_EQ(a.substr(a.find("\r\n\r\n")).find("<b>"), std::string::npos);
}

TEST_F(HelpRequestTest, Redirect_TooLongForTheAddressClosesWithoutAnswer) {
  const std::string location_start = "http://127.0.0.1:8080";
  const std::size_t room = kHelpHeadLimit - 10 - location_start.size();
  EXPECT_TRUE(help_redirect_answer(std::string(room - 1, 'a'), site_).has_value());
  EXPECT_FALSE(help_redirect_answer(std::string(room, 'a'), site_).has_value());
}

TEST_F(HelpRequestTest, Errors_AnswerWithStatusAndSmallPage) {
  const std::string body403 = "<html><body><h2>Error: 403</h2></body></html>";
  EXPECT_EQ(answer("GET /../secret.txt HTTP/1.0"),
            "HTTP/1.0 403\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(body403.size()) + "\r\n\r\n" + body403);
  EXPECT_EQ(answer("GET /sub/../../secret.txt HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("GET /.. HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("GET /..\\secret.txt HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("GET /C:secret.txt HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("POST /x.htm HTTP/1.0"), help_error_answer(501));
  EXPECT_EQ(answer("GET /x.htm"), help_error_answer(400));
  EXPECT_EQ(answer("GET"), help_error_answer(400));
  EXPECT_EQ(answer(""), help_error_answer(400));
  EXPECT_EQ(answer("GET /missing.htm HTTP/1.0"), help_error_answer(404));
  // Escapes are not decoded: "%2e%2e" is a name, and there is no such file.
  EXPECT_EQ(answer("GET /%2e%2e/secret.txt HTTP/1.0"), help_error_answer(404));
  // The request line is checked before the method, the method before the path.
  EXPECT_EQ(answer("POST /../secret.txt HTTP/1.0"), help_error_answer(501));
}

TEST_F(HelpRequestTest, SymbolicLinks_OutsideTheRootRefusedInsideServed) {
  ASSERT_TRUE(platform::make_symlink((folder_ / "secret.txt").string(),
                                     (folder_ / "help" / "leak.txt").string()));
  ASSERT_TRUE(platform::make_symlink(folder_.string(), (folder_ / "help" / "up").string()));
  ASSERT_TRUE(platform::make_symlink((folder_ / "help" / "x.htm").string(),
                                     (folder_ / "help" / "alias.htm").string()));
  EXPECT_EQ(answer("GET /leak.txt HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("GET /up/secret.txt HTTP/1.0"), help_error_answer(403));
  EXPECT_EQ(answer("GET /alias.htm HTTP/1.0"), ok("text/html", "<p>x</p>"));
}

TEST_F(HelpRequestTest, Head_CompleteOnlyWithItsBlankLineWithinTheLimit) {
  EXPECT_EQ(help_head_state("GET / HTTP/1.0\r\n"), HeadState::Incomplete);
  EXPECT_EQ(help_head_state("GET / HTTP/1.0\r\n\r\n"), HeadState::Complete);
  EXPECT_EQ(help_head_state(std::string(kHelpHeadLimit - 4, 'a') + "\r\n\r\n"),
            HeadState::Complete);
  EXPECT_EQ(help_head_state(std::string(kHelpHeadLimit - 3, 'a') + "\r\n\r\n"),
            HeadState::Overflow);
  EXPECT_EQ(help_head_state(std::string(kHelpHeadLimit - 1, 'a')), HeadState::Incomplete);
}

TEST_F(HelpRequestTest, Topic_BlanksSkippedCutAtColonBlanksMadeUnderscores) {
  EXPECT_EQ(help_topic_anchor(" Remote Directory: more words"), "Remote_Directory");
  EXPECT_EQ(help_topic_anchor(" Video Input Settings"), "Video_Input_Settings");
  EXPECT_EQ(help_topic_anchor("Edit"), "Edit");
  EXPECT_EQ(help_topic_anchor("   "), "");
  EXPECT_EQ(help_topic_anchor(""), "");
  EXPECT_EQ(help_page_address(8080, "QuadrimonControl", " Remote Directory: more"),
            "http://127.0.0.1:8080/QuadrimonControl.htm#Remote_Directory");
  EXPECT_EQ(help_page_address(40000, "QuadrimonControl", "  "),
            "http://127.0.0.1:40000/QuadrimonControl.htm");
  EXPECT_EQ(help_page_file("/opt/qm/help", "QuadrimonControl"),
            fs::path("/opt/qm/help/QuadrimonControl.htm"));
}

}  // namespace
}  // namespace qm::test
