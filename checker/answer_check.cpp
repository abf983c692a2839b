#include "checker/answer_check.h"

#include <array>
#include <string_view>

#include "checker/key_lines.h"

namespace {

// Echoes one submitted line and tells whether it matches `truth`.
bool judge_line(read_status status, const line_reader& output_f, const std::string& test_line,
                const key_list& truth, split_result& submitted, text_out& console) {
  const auto name_line = [&] {
    put_text(console, "Output File " + output_f.path + " line ");
    put_number(console, output_f.line_number);
  };
  if (status == read_status::end) {
    name_line();
    put_text(console, " is missing\n");
    return false;
  }
  split_keys_into(test_line, " ", submitted);
  if (submitted.fault != token_fault::none) {
    name_line();
    put_text(console, ": token " + quote_token(submitted.token) + " ");
    put_text(console, fault_text(submitted.fault));
    put_text(console, "\n");
    return false;
  }
  // A line in the file form already is its echo but for the space after the last key, which
  // spares converting every key back to text.
  if (submitted.plain_form) {
    put_text(console, test_line);
    put_text(console, test_line.empty() ? "\n" : " \n");
  } else {
    print_keys(console, submitted.keys);
  }
  return same_keys(truth, submitted.keys);
}

}  // namespace

bool check_case(line_reader& output_f, std::string& test_line, const key_list& linear_prob_contents,
                const key_list& two_pass_hasing_contents, const key_list& double_hasing_contents,
                std::int64_t& success_count, std::int64_t& all_count, text_out& console) {
  const std::array<const key_list*, 3> truths{&linear_prob_contents, &two_pass_hasing_contents,
                                              &double_hasing_contents};
  std::int64_t right_count = 0;
  split_result submitted;  // reused, so the three lines share one key list's room
  put_text(console, "\n>>>>>>>>>>>>>>>>YOUR ANSWER:\n");
  for (const key_list* truth : truths) {
    const read_status status = read_line(output_f, test_line);
    if (status == read_status::error) return false;
    const bool right = judge_line(status, output_f, test_line, *truth, submitted, console);
    put_text(console, right ? ">>>>>Right\n" : ">>>>>Wrong\n");
    right_count += right ? 1 : 0;
  }
  all_count += 3;
  success_count += right_count;
  put_text(console, "\n[TEST RESULT] Right / All: ");
  put_number(console, right_count);
  put_text(console, "/3:\n");
  return true;
}

std::int64_t score(std::int64_t success_count, std::int64_t all_count) {
  return all_count == 0 ? 0 : success_count * 100 / all_count;
}

void print_summary(text_out& console, std::int64_t success_count, std::int64_t all_count,
                   std::int64_t refused_count) {
  put_text(console, "\n>>>>>>>>>>>>>>>>Summary\nSuccess/All: ");
  put_number(console, success_count);
  put_text(console, "/");
  put_number(console, all_count);
  put_text(console, ":\nScore: ");
  put_number(console, score(success_count, all_count));
  put_text(console, ":\n");
  if (refused_count > 0) {
    put_text(console, "Refused cases: ");
    put_number(console, refused_count);
    put_text(console, "\n");
  }
}
