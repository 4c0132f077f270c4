// Every input that ever crashed the map fuzzer or tripped a sanitizer
// (tests/fuzz/regressions/), replayed through open, load and one frame. The
// sanitizer build is where a relapse shows; every build checks that the
// user is left with a load or one of the program's messages.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/damaged/damaged_maps.h"
#include "tests/unit/test_maps.h"

namespace {

const std::vector<std::string> kInputs = {
#include "regression_inputs.inc"
};

class RegressionInput : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { ASSERT_EQ(UseGlContext(), 0); }
  void TearDown() override { ResetMapState(); }
};

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name;
  for (char c : info.param) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

}  // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RegressionInput);

TEST_P(RegressionInput, LoadsOrSaysWhyWithoutHarm) {
  std::ifstream file(std::string(MIVO_REGRESSIONS_DIR) + "/" + GetParam(), std::ios::binary);
  ASSERT_TRUE(file) << "cannot read " << GetParam();
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};

  const Outcome outcome = OpenLoadAndDraw(bytes);
  const std::set<std::string> messages = {
      kOpenError,
      kReadError,
      kReferenceError,
      "Error allocating faces array.",
      "Error allocating face color array.",
      "Error allocating edges array.",
      "Error allocating edge indices array.",
      "Error allocating vertices array.",
  };
  if (outcome.status == 0) {
    EXPECT_EQ(outcome, Loads());
  } else {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(messages.contains(outcome.message)) << outcome;
  }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, RegressionInput, testing::ValuesIn(kInputs), TestName);
