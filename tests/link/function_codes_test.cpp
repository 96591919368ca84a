#include "link/function_codes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "compiler/numbers.h"

namespace qm {
namespace {

// The FN_ names the standard include file defines, with their values.
std::map<std::string, int> std_inc_function_codes() {
  std::ifstream in(QM_RESOURCES_DIR "/std.inc");
  std::map<std::string, int> defined;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string command, name, value;
    if (!(words >> command >> name >> value) || command != "DEFINE") continue;
    if (name.rfind("FN_", 0) != 0) continue;
    const ParsedNumber number = parse_number(value, 10);
    EXPECT_TRUE(number) << line;
    defined[name] = number.value;
  }
  return defined;
}

TEST(FunctionCodes, StdInc_DefinesExactlyTheNamedCodes) {
  std::map<std::string, int> named;
  for (const FunctionCode& code : kFunctionCodes) {
    if (!code.name.empty()) named[std::string(code.name)] = code.number;
  }
  const std::map<std::string, int> defined = std_inc_function_codes();
  ASSERT_FALSE(defined.empty()) << "std.inc not found or without FN_ names";
  EXPECT_EQ(defined, named);
}

TEST(FunctionCodes, Table_NumbersAndNamesAreUniqueAndFound) {
  std::set<int> numbers;
  std::set<std::string_view> names;
  for (const FunctionCode& code : kFunctionCodes) {
    EXPECT_TRUE(numbers.insert(code.number).second) << "number " << int{code.number};
    if (!code.name.empty()) {
      EXPECT_TRUE(names.insert(code.name).second) << code.name;
    }
    EXPECT_EQ(find_function_code(code.number), &code);
  }
  for (int unknown : {1, 5, 67, 119, 255})
    EXPECT_EQ(find_function_code(static_cast<std::uint8_t>(unknown)), nullptr) << unknown;
}

}  // namespace
}  // namespace qm
