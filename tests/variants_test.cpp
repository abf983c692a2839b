// One input per student: names that stay in their folder and never collide, variants that depend
// on the student alone and audit clean, the list read back refused when broken, and a copied
// answer found whoever's it is.
#include "checker/variants.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "checker/audit.h"
#include "checker/copy_check.h"

namespace {

TEST(variants, file_names_stay_in_the_folder_and_never_collide) {
  const struct {
    lms_kind kind;
    const char* id;
    const char* name;
  } cases[] = {
      {lms_kind::canvas, "101", "101.txt"},
      {lms_kind::moodle, "17", "participant-17.txt"},
      {lms_kind::blackboard, "bob", "bob.txt"},
      {lms_kind::blackboard, "j.doe-2@x", "j.doe-2@x.txt"},
      {lms_kind::plain, "../etc/passwd", "%2E.%2Fetc%2Fpasswd.txt"},
      {lms_kind::plain, ".hidden", "%2Ehidden.txt"},
      {lms_kind::plain, "-rf", "%2Drf.txt"},
      {lms_kind::plain, "=1+1", "%3D1%2B1.txt"},
      {lms_kind::plain, "@sum", "%40sum.txt"},
      {lms_kind::plain, "a%2Eb", "a%252Eb.txt"},
      {lms_kind::plain, "a b\xc3\xa9", "a%20b%C3%A9.txt"},
  };
  std::set<std::string> names;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(variant_file_name(c.kind, c.id), c.name);
    names.insert(c.name);
  }
  EXPECT_EQ(names.size(), std::size(cases));
}

// A student's seed is theirs alone: the same whatever else the class holds, another for another
// student or another course seed, and one that --seed takes.
TEST(variants, seeds_depend_on_the_course_seed_and_the_student_alone) {
  EXPECT_EQ(variant_seed(1, "101.txt"), variant_seed(1, "101.txt"));
  EXPECT_NE(variant_seed(1, "101.txt"), variant_seed(1, "102.txt"));
  EXPECT_NE(variant_seed(1, "101.txt"), variant_seed(2, "101.txt"));
  for (const char* name : {"", "a.txt", "participant-7.txt"}) {
    EXPECT_LE(variant_seed(~std::uint64_t{0}, name), std::uint64_t{INT64_MAX});
  }
}

// A class of 200: every variant audits clean and has the cases asked for; no two of the first 30
// share a layout line.
TEST(variants, every_variant_of_a_class_audits_clean_and_keys_differ) {
  std::set<std::vector<key>> layouts;
  std::size_t lines = 0;
  for (int student = 0; student < 200; ++student) {
    const std::string name = std::to_string(student).append(".txt");
    const student_variant made = make_variant(variant_seed(1, name), 13, 2);
    ASSERT_EQ(made.refusal, "") << name;
    ASSERT_GE(made.cases.size(), 2U) << name;
    const audit_result audit = audit_cases(made.cases, false);
    ASSERT_EQ(audit_status(audit), 0) << name;
    if (student >= 30) continue;
    std::set<std::vector<key>> own;
    for (const case_result& record : made.cases) {
      for (const strategy_id strategy : all_strategies) {
        const key_list& layout = layout_of(record.expected, strategy);
        own.emplace(layout.begin(), layout.end());
      }
    }
    lines += own.size();
    layouts.insert(own.begin(), own.end());
  }
  EXPECT_EQ(layouts.size(), lines) << "two students share a layout line";
}

TEST(variants, a_size_too_small_is_refused_whatever_the_seed) {
  const student_variant made = make_variant(5, 5, 1);
  EXPECT_TRUE(made.cases.empty());
  EXPECT_NE(made.refusal.find("--max-size=6 or more"), std::string::npos) << made.refusal;
}

TEST(variants, broken_lists_name_file_line_and_token) {
  const std::string header = "id,name,file,seed,audit";
  const std::string good = header + "\r\n101,\"Lee, Amy\",101.txt,5,clean\r\n";
  // Each text after `good` unless it begins a file of its own.
  const struct {
    bool alone;
    const char* text;
    const char* error;
  } cases[] = {
      {true, "", "Variants list v.csv line 1: no header; the file is empty"},
      {true, "id,name,file\n", "line 1: not the header of a variants list, but \"id,name,file\""},
      {false, "102,Bob,102.txt,x5,clean\n", "line 3: not a row of a variants list"},
      {false, "102,Bob,../102.txt,5,clean\n", "line 3: not a row of a variants list"},
      {false, "102,Bob,102.txt,5,\n", "line 3: not a row of a variants list"},
      {false, "5,clean\n", "line 3: not a row of a variants list"},
      {false, "\x1b[2J\n", "line 3: not a row of a variants list, beginning \"\\x1b[2J\""},
      {false, "102,Bob,101.txt,6,clean\n",
       "line 3: the file \"101.txt\" was listed before, on line 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    std::string text = c.alone ? std::string() : good;
    text.append(c.text);
    variant_list list;
    const std::string error = parse_variant_list(text, "v.csv", header, list);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  variant_list list;
  ASSERT_EQ(parse_variant_list(good, "v.csv", header, list), "");
  ASSERT_EQ(list.files, std::vector<std::string>{"101.txt"});
  EXPECT_EQ(list.lines.front(), "101,\"Lee, Amy\",101.txt,5,clean");
  EXPECT_NE(read_variant_list("/nonexistent/v.csv", header, list).find("open failed"),
            std::string::npos);
}

// A file holding another student's layouts is theirs, however its keys are spaced; a slip, a
// missing line or one's own answer is nobody else's.
TEST(copy_check, a_copied_answer_names_whose_it_is) {
  answer_book book;
  add_answer(book, 0, {make_case(0, 5, {1, 6, 2}, {11})});
  add_answer(book, 1, {make_case(0, 5, {3}, {4})});
  add_answer(book, 2, {make_case(0, 5, {3}, {4})});  // the same answer as student 1's
  const struct {
    const char* text;
    std::vector<std::size_t> owners;
  } cases[] = {
      {"0 0 0 3 4\n0 0 0 3 4\n0 0 0 3 4\n", {1, 2}},
      {"0,  0 0 [3] 4\r\n\n0 0 0 3 4\r\n0 0 0 3 4", {1, 2}},
      {"0 0 0 3 4\n0 0 0 3 4\n", {}},
      {"0 0 0 3 4\n0 0 0 3 4\n0 0 0 3 5\n", {}},
      {"", {}},
  };
  const std::string own = [&] {
    std::string text;
    for (const strategy_id strategy : all_strategies) {
      const case_result record = make_case(0, 5, {1, 6, 2}, {11});
      for (const key k : layout_of(record.expected, strategy)) text += std::to_string(k) + " ";
      text += "\n";
    }
    return text;
  }();
  EXPECT_EQ(answer_owners(book, own), std::vector<std::size_t>{0});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(answer_owners(book, c.text), c.owners);
  }
  EXPECT_GE(answer_read_limit(book), 4 * std::string("0 0 0 3 4\n").size() * 3);
}

}  // namespace
