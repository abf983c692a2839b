#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "app/options.h"

namespace {

TEST(lenient_value, reads_the_leading_integer_and_clamps_it) {
  const std::pair<std::string, std::int32_t> cases[] = {
      {"1", 1},
      {"0", 0},
      {"abc", 0},
      {"", 0},
      {"-0", 0},
      {"  +7x", 7},
      {"\t-3", -3},
      {"99999999999999999999", 2147483647},
      {"-99999999999999999999", -2147483647 - 1},
      {"2147483648", 2147483647},
      {"- 1", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(lenient_value(text), value) << text;
}

}  // namespace
