// One input per student: each student's own variant, a function of the course's seed and the
// student's identity alone, so that a class can grow, shrink or be reordered and every other
// student keeps their input byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "checker/roster.h"

/// The name of a student's variant file in the variants folder: "101.txt" for Canvas ID 101,
/// "participant-17.txt" for Moodle's Participant 17, "bob.txt" for a Blackboard username or a
/// plain CSV's id. A byte other than an ASCII letter, a digit, "_", "-", "." or "@", and a
/// leading "-", "." or "@", is written "%HH", so that a name never leaves the folder, is never
/// hidden, taken for an option or read as a spreadsheet formula, and two identities never share
/// a file.
std::string variant_file_name(lms_kind kind, std::string_view id);

/// Names longer than this are refused: a file name's limit (255 bytes) less room for a temporary
/// name beside it.
inline constexpr std::size_t longest_variant_name = 240;

/// The generator seed of a variant named `name` in a course seeded `course_seed`: a function of
/// the two alone, from 0 to INT64_MAX, so that `--generate --seed=` takes it back.
std::uint64_t variant_seed(std::uint64_t course_seed, std::string_view name);

/// A student's variant: its cases (at least `least_cases`, each of at most `max_size` slots)
/// whose audit catches every mistake on every strategy it applies to, and the seed that made
/// it: `seed`, or, when no input can be found from it, the first of the few seeds after it that
/// gives one. `refusal` when none does, or when no table that small can reveal every mistake.
struct student_variant {
  std::vector<case_result> cases;
  std::uint64_t seed = 0;
  std::string refusal;
};

student_variant make_variant(std::uint64_t seed, std::int64_t max_size, std::int64_t least_cases);

/// One row of variants.csv: the student's identifier and name as the roster gives them, the
/// variant's file name, the seed that made it and its audit ("clean", or "misses 2 of 21").
struct variant_row {
  std::string id;
  std::string name;
  std::string file;
  std::uint64_t seed = 0;
  std::string audit;
};

/// variants.csv as read back, to make one student's row again: its lines (no line end) after
/// the header, and the file field of each.
struct variant_list {
  std::vector<std::string> lines;
  std::vector<std::string> files;
};

/// The most a variants list may hold, so that reading one back stays bounded.
inline constexpr std::size_t variant_list_bytes = std::size_t{64} << 20;

/// Reads the variants list at `path`, whose first line must be `header`; the failure line naming
/// the file, the line and the token at fault, or an empty text. Refused: a file that can't be
/// read or is longer than variant_list_bytes, another header, a line whose last three fields are
/// not a variant file name, a seed and an audit, a file name given twice.
std::string read_variant_list(const std::string& path, std::string_view header, variant_list& list);

/// The same over the list's text, named `path` in its messages.
std::string parse_variant_list(std::string_view text, const std::string& path,
                               std::string_view header, variant_list& list);
