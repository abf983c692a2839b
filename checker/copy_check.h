// Which student's expected layouts a submitted file holds: a student who hands in another's
// correct output gets Wrong lines against their own input, and the teacher is told whose answer
// it is. A fact for the teacher alone: it never enters a submission's records.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "checker/results.h"

/// The answers of a class of variants, each by its layout lines read as keys alone.
struct answer_book {
  std::unordered_map<std::string, std::vector<std::size_t>> owners;  // keys text -> students
  std::size_t longest = 0;  // bytes of the longest answer as the answer file writes it
};

/// Adds student `owner`'s variant `cases` (built) to `book`.
void add_answer(answer_book& book, std::size_t owner, const std::vector<case_result>& cases);

/// The most bytes of a submitted file worth reading: one longer can hold no answer of `book`.
std::size_t answer_read_limit(const answer_book& book);

/// The students whose answer `text` is, line for line and key for key (keys may be separated by
/// any run of white space, commas, semicolons and brackets; blank lines are passed over); none
/// when it is nobody's.
std::vector<std::size_t> answer_owners(const answer_book& book, std::string_view text);
