#include "checker/grading.h"

void grade_line(read_status status, parsed_line& parsed, const key_list& truth,
                line_result& result) {
  result.submitted.clear();
  result.notes.clear();
  result.token.clear();
  result.token_cut = false;
  result.fault = token_fault::none;
  result.truncated_keys = 0;
  if (status == read_status::end) {
    result.problem = line_problem::missing;
  } else if (parsed.fault != token_fault::none) {
    result.problem = line_problem::bad_token;
    result.fault = parsed.fault;
    result.token = parsed.token;
    result.token_cut = parsed.token_cut;
  } else {
    result.problem = line_problem::none;
    result.submitted.swap(parsed.keys);
    result.notes.swap(parsed.lenient);
    result.truncated_keys = parsed.dropped_keys;
  }
  const bool right = result.problem == line_problem::none && result.submitted == truth;
  result.judged = right ? verdict::right : verdict::wrong;
}

std::int64_t score(std::int64_t success_count, std::int64_t all_count) {
  return all_count == 0 ? 0 : success_count * 100 / all_count;
}
