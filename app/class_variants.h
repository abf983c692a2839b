// A class run in which each student has their own input (--variant-dir): every submission graded
// against the variant of the student it went to, each variant read and built once; and, for the
// teacher alone, the submissions that hold another student's answer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/class_grading.h"
#include "app/lms_grades.h"
#include "app/options.h"
#include "checker/copy_check.h"
#include "checker/failure.h"
#include "render/text_out.h"

struct class_variants {
  std::vector<std::vector<case_result>> inputs;  // each variant read, once
  std::vector<std::size_t> owners;               // per input: its student
  std::vector<std::string> paths;                // per input: its file
  std::vector<run_summary> totals;               // per input: its case totals
  answer_book book;                              // every input's answer, by its student
  std::vector<std::string> copies;               // per submission: whose answer it holds, or empty
  std::size_t most_cases = 0;                    // of any input
};

/// Reads the variant of every student a submission went to (DIR/<name> as variant_file_name
/// names it), once each, and gives each submission its input in `setup` (input_paths,
/// input_cases), or a row not graded: no variant for this student, or matched to no student.
/// A variant that is no regular file, can't be read or holds a case that is refused, not built
/// or missing is the run's failure, naming the file.
failure read_class_variants(const command_line& cl, const lms_grades& lms, class_setup& setup,
                            class_variants& variants);

/// After submission `index` was graded into `row`: whether its file holds, exactly, the answer of
/// another student than its own (read again, opened as it was graded, at most as much as the
/// longest answer could take). Sets variants.copies[index]; only the class summary shows it.
void check_copy(const class_setup& setup, const lms_grades& lms, std::size_t index,
                const submission_row& row, class_variants& variants);

/// The submissions that hold another student's answer, under the class summary: one line each,
/// "PATH: matches the answer of student 102"; nothing when there is none.
void put_copies(text_out& console, const class_setup& setup, const class_variants& variants);
