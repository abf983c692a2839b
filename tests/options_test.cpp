// The command line: the option table, its parsing and its documentation.
#include "app/options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

TEST(parse_command_line, options_come_out_before_positional_arguments_are_counted) {
  const std::string two_arguments =
      "hash_checker: 2 arguments fit none of the forms MODE, MODE INPUT OUTPUT, or MODE INPUT "
      "with a nonzero MODE (answer-only); see 'hash_checker --help'";
  const struct {
    std::vector<std::string> arguments;
    bool answer_only;
    std::string input;
    std::string json;
    bool reads_stdin;
    std::string error;
  } cases[] = {
      {{}, false, "./hash_input.txt", "", false, ""},
      {{"1"}, true, "./hash_input.txt", "", false, ""},
      {{"0", "in", "out", "--json=r.json"}, false, "in", "r.json", false, ""},
      {{"--json=r.json", "7x", "in", "out"}, true, "in", "r.json", false, ""},
      {{"--", "--json=r.json"}, false, "./hash_input.txt", "", false, ""},
      {{"1", "in"}, true, "in", "", false, ""},  // answer-only needs no output file
      {{"0", "in"}, false, "", "", false, two_arguments},
      {{"in", "out"}, false, "", "", false, two_arguments},
      {{"1", "in", "out", "extra"},
       false,
       "",
       "",
       false,
       "hash_checker: 4 arguments fit none of the forms MODE, MODE INPUT OUTPUT, or MODE INPUT "
       "with a nonzero MODE (answer-only); see 'hash_checker --help'"},
      {{"--help", "in", "out"}, false, "./hash_input.txt", "", false, ""},
      {{"-v"},
       false,
       "",
       "",
       false,
       "hash_checker: unknown option '-v'; see 'hash_checker --help'"},
      {{"0", "-help"},
       false,
       "",
       "",
       false,
       "hash_checker: unknown option '-help'; see 'hash_checker --help'"},
      {{"--", "-v", "in", "out"}, false, "in", "", false, ""},  // after "--", never an option
      {{"1", "-"}, true, "-", "", true, ""},
      {{"0", "in", "-"}, false, "in", "", true, ""},
      {{"1", "-", "-"}, true, "-", "", true, ""},  // answer-only never reads OUTPUT
      {{"0", "-", "-"},
       false,
       "",
       "",
       false,
       "hash_checker: standard input can be read once: '-' may be INPUT or OUTPUT, not both"},
      {{"--jsn=r"},
       false,
       "./hash_input.txt",
       "",
       false,
       "hash_checker: unknown option '--jsn=r'; see 'hash_checker --help'"},
      {{"--json"},
       false,
       "./hash_input.txt",
       "",
       false,
       "hash_checker: option '--json' needs a path: --json=PATH"},
      {{"--help=x"},
       false,
       "./hash_input.txt",
       "",
       false,
       "hash_checker: option '--help' takes no value"},
      {{"--color=pink"},
       false,
       "./hash_input.txt",
       "",
       false,
       "hash_checker: option '--color' takes auto, always or never, not 'pink'"},
      {{"-1"}, true, "./hash_input.txt", "", false, ""},  // a negative mode, not an option
      {{"--gradescope=g.json", "--gradescope-visibility=soon"},
       false,
       "./hash_input.txt",
       "",
       false,
       "hash_checker: option '--gradescope-visibility' takes visible, hidden, after_due_date or "
       "after_published, not 'soon'"},
      {{"--gradescope-visibility=hidden", "0", "in", "out"},
       false,
       "",
       "",
       false,
       "hash_checker: option '--gradescope-visibility' needs --gradescope=FILE"},
      {{"--separators=tabs"},
       false,
       "",
       "",
       false,
       "hash_checker: option '--separators' takes spaces or any, not 'tabs'"},
      {{"--points=5", "0", "in", "out"},
       false,
       "",
       "",
       false,
       "hash_checker: option '--points' needs --gradebook=FILE"},
      {{"--vpl", "--points=5", "--separators=any", "0", "in", "out"}, false, "in", "", false, ""},
      {{"--prairielearn=p.json", "--points=5", "0", "in", "out"}, false, "in", "", false, ""},
      {{"--vpl", "--gradebook=g.csv", "in", "a"},
       false,
       "",
       "",
       false,
       "hash_checker: option '--vpl' grades one submission; it doesn't combine with --gradebook"},
  };
  for (const auto& c : cases) {
    const command_line cl = parse_command_line(c.arguments);
    const std::string shown = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(cl.error, c.error) << shown;
    if (!c.error.empty()) continue;
    EXPECT_EQ(cl.request.answer_only, c.answer_only) << shown;
    EXPECT_EQ(cl.request.input_path, c.input) << shown;
    EXPECT_EQ(cl.json, c.json) << shown;
    EXPECT_EQ(cl.reads_standard_input, c.reads_stdin) << shown;
  }
}

TEST(parse_command_line, flags_and_colour) {
  const command_line cl =
      parse_command_line({"-h", "--version", "--no-answer-file", "--fail-on-wrong", "--color"});
  EXPECT_TRUE(cl.help && cl.version && cl.no_answer_file && cl.fail_on_wrong);
  EXPECT_EQ(cl.color, color_mode::always);
  EXPECT_EQ(parse_command_line({"--color=never"}).color, color_mode::never);
  EXPECT_EQ(parse_command_line({}).color, color_mode::automatic);
}

TEST(parse_command_line, input_tools_and_their_options) {
  struct row {
    std::vector<std::string> arguments;
    std::string error;  // a part of the usage error, empty when none
  };
  const row rows[] = {
      {{"--audit", "in"}, ""},
      {{"--audit"}, "--audit needs exactly one INPUT"},
      {{"--audit", "a", "b"}, "--audit needs exactly one INPUT"},
      {{"--audit", "in", "--html=x"}, "don't combine with --audit"},
      {{"--audit", "in", "--generate=g"}, "don't combine"},
      {{"--generate=g", "--seed=18446744073709551615"}, "'--seed' takes a whole number"},
      {{"--generate=g", "--max-size=0"}, "'--max-size' takes a whole number from 1"},
      {{"--generate=g", "--max-size=+7"}, "'--max-size' takes a whole number"},
      {{"--generate=g", "in"}, "take no positional argument"},
      {{"--generate-large=l", "--size=10"}, "needs --size=M and --keys=N"},
      {{"--generate-large=l", "--size=10", "--keys=5", "--shape=round"}, "'--shape' takes"},
      {{"--generate-large=l", "--size=10", "--keys=5", "--json=r"}, "--json doesn't combine"},
      {{"--seed=3", "1"}, "'--seed' needs --generate=FILE"},
      // Options of the other generator, or of none, are refused rather than ignored.
      {{"--generate=g", "--shape=wrap"}, "'--shape' applies to --generate-large, not --generate"},
      {{"--generate=g", "--keys=5"}, "'--keys' applies to --generate-large"},
      {{"--generate-large=l", "--size=10", "--keys=5", "--max-size=9"},
       "'--max-size' applies to --generate, not --generate-large"},
      {{"--audit", "in", "--seed=3"}, "'--seed' needs --generate=FILE"},
      // A case the checker would refuse is never written.
      {{"--generate-large=l", "--size=2", "--keys=5"}, "a table of 2 slots can't take keys"},
      {{"--generate-large=l", "--size=2", "--keys=0"}, ""},
      {{"--generate-large=l", "--size=1", "--keys=5"}, ""},
  };
  for (const row& r : rows) {
    const command_line cl = parse_command_line(r.arguments);
    if (r.error.empty()) {
      EXPECT_EQ(cl.error, "") << r.arguments[0];
    } else {
      EXPECT_NE(cl.error.find(r.error), std::string::npos) << cl.error;
    }
  }
  const command_line large = parse_command_line(
      {"--generate-large=l", "--size=10", "--keys=0", "--shape=wrap", "--seed=9"});
  EXPECT_EQ(large.error, "");
  EXPECT_EQ(large.size, 10);
  EXPECT_EQ(large.keys, 0);
  EXPECT_EQ(large.shape, "wrap");
  EXPECT_EQ(large.seed, 9);
  EXPECT_EQ(parse_command_line({"--audit", "in"}).request.input_path, "in");
}

// The text of a file of the project, or an empty text when it can't be read.
std::string project_file(const std::string& name) {
  std::ifstream in(std::string(PROJECT_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// True when `text` holds `name` as a whole option name: not followed by more of a longer name
// ("--html" in "--html-dir"). The manual page writes each '-' as "\-".
bool mentions(const std::string& text, std::string_view name, bool troff) {
  std::string written;
  for (const char c : name) written += c == '-' && troff ? "\\-" : std::string(1, c);
  for (std::size_t at = text.find(written); at != std::string::npos;
       at = text.find(written, at + 1)) {
    const std::string_view after = std::string_view(text).substr(at + written.size());
    const bool longer = !after.empty() && ((after[0] >= 'a' && after[0] <= 'z') ||
                                           after[0] == '-' || after.substr(0, 2) == "\\-");
    if (!longer) return true;
  }
  return false;
}

TEST(option_table, every_option_is_documented_in_the_readme_and_the_manual) {
  const struct {
    std::string name;
    bool troff;
  } documents[] = {{"README.md", false}, {"docs/hash_checker.1", true}};
  for (const auto& document : documents) {
    const std::string text = project_file(document.name);
    ASSERT_FALSE(text.empty()) << document.name;
    for (const option_row& row : option_table()) {
      EXPECT_TRUE(mentions(text, row.name, document.troff)) << row.name << " in " << document.name;
    }
  }
}

}  // namespace
