// Replays every seed and crash reproducer of one fuzz target (FUZZ_TARGET, under FUZZ_DIR)
// through its LLVMFuzzerTestOneInput; a broken property aborts that input's test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

// The files of fuzz/<kind>/<target>, sorted; dot files such as .gitkeep only keep a folder.
std::vector<fs::path> inputs_in(const char* kind) {
  std::vector<fs::path> files;
  std::error_code ignored;
  for (const auto& entry :
       fs::directory_iterator(fs::path(FUZZ_DIR) / kind / FUZZ_TARGET, ignored)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<fs::path> all_inputs() {
  std::vector<fs::path> files = inputs_in("corpus");
  const std::vector<fs::path> regressions = inputs_in("regressions");
  files.insert(files.end(), regressions.begin(), regressions.end());
  return files;
}

std::string test_name(const testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.parent_path().parent_path().filename().string() + "_" +
                     info.param.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
  return name;
}

class fuzz_replay : public testing::TestWithParam<fs::path> {};

TEST_P(fuzz_replay, keeps_every_property_and_the_working_folder) {
  std::ifstream file(GetParam(), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::error_code ignored;
  const fs::path folder_before = fs::current_path(ignored);
  EXPECT_EQ(
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  EXPECT_EQ(fs::current_path(ignored), folder_before);
}

INSTANTIATE_TEST_SUITE_P(fuzz_inputs, fuzz_replay, testing::ValuesIn(all_inputs()), test_name);

// A wrong FUZZ_DIR would otherwise pass by replaying nothing.
TEST(fuzz_corpus, holds_a_dozen_seeds) { EXPECT_GE(inputs_in("corpus").size(), 10U); }

}  // namespace
