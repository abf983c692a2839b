// Rosters exported by Canvas, Moodle and Blackboard: each read, matched to submissions by the
// names that system gives its downloads and written back in its import layout; broken rosters
// refused with the line and token at fault.
#include "checker/roster.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/lms_csv.h"
#include "tests/written_text.h"

namespace {

struct round_trip {
  const char* system;
  lms_kind kind;
  std::string roster;
  std::vector<std::string> submissions;
  std::vector<std::int64_t> scores;  // -1: not graded
  std::string assignment;            // as --assignment gives it
  std::int64_t points_hundredths;
  std::string written;  // the import file
  std::vector<std::string> notes;
};

const round_trip round_trips[] = {
    {"Canvas",
     lms_kind::canvas,
     "\xef\xbb\xbfStudent,ID,SIS User ID,SIS Login ID,Section,Hash Tables (1201),Quiz (1202),"
     "Current Score\r\n"
     "    Points Possible,,,,,10,5,\r\n"
     ",,,,,Manual Posting,,\r\n"
     "\"Lee, Amy\",101,S101,alee,Section A,,,\r\n"
     "\"=HYPERLINK(\"\"x\"\")\",102,S102,bob,Section A,,,\r\n"
     "\"Ng, Carol\",103,S103,cng,\"Section \"\"B\"\"\",,,\r\n"
     "Roe Dan,104,S104,droe,Section B,,,\r\n",
     {"class/leeamy_101_9001_hash_output.txt", "class/hyperlinkx_LATE_102_9002_out-1.txt",
      "class/stray.txt", "class/roedan_104_9004_out.txt"},
     {75, 100, 50, -1},
     "Hash Tables",
     1000,
     "\xef\xbb\xbfStudent,ID,SIS User ID,SIS Login ID,Section,Hash Tables (1201)\r\n"
     "    Points Possible,,,,,10\r\n"
     "\"Lee, Amy\",101,S101,alee,Section A,7.5\r\n"
     "\"'=HYPERLINK(\"\"x\"\")\",102,S102,bob,Section A,10\r\n",
     {"no student in the roster for class/stray.txt", "no submission from Ng, Carol (ID 103)"}},
    {"Moodle",
     lms_kind::moodle,
     "Identifier,Full name,Email address,Status,Grade,Maximum Grade,Grade can be changed,"
     "Last modified (submission),Last modified (grade),Feedback comments\n"
     "Participant 7,Amy Lee,amy@example.edu,Submitted for grading,,100.00,Yes,"
     "\"Monday, 7 December 2026, 10:00 PM\",-,\n"
     "Participant 8,Bob Roe,bob@example.edu,No submission,,100.00,Yes,-,-,\n"
     "Participant 9,Carol Ng,carol@example.edu,Submitted for grading,,100.00,Yes,-,-,\n",
     {"class/Amy Lee_7_assignsubmission_file_", "class/notes.txt",
      "class/Carol Ng_9_assignsubmission_file_hash_output.txt"},
     {33, 90, 100},
     "",
     300,
     "Identifier,Full name,Email address,Status,Grade,Maximum Grade,Grade can be changed,"
     "Last modified (submission),Last modified (grade),Feedback comments\r\n"
     "Participant 7,Amy Lee,amy@example.edu,Submitted for grading,0.99,100.00,Yes,"
     "\"Monday, 7 December 2026, 10:00 PM\",-,\r\n"
     "Participant 9,Carol Ng,carol@example.edu,Submitted for grading,3,100.00,Yes,-,-,\r\n",
     {"no student in the roster for class/notes.txt",
      "no submission from Bob Roe (Participant 8)"}},
    {"Blackboard",
     lms_kind::blackboard,
     "\"Last Name\",\"First Name\",\"Username\",\"Student ID\",\"Last Access\",\"Availability\","
     "\"Hash Tables [Total Pts: 100 Score] |3301\",\"Total [Total Pts: up to 100 Score] |3302\"\r\n"
     "\"Lee\",\"Amy\",\"alee\",\"1001\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n"
     "\"Roe\",\"Bob\",\"b_roe\",\"1002\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n"
     "\"Ng\",\"Carol\",\"cng\",\"1003\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n",
     {"class/Hash Tables_alee_attempt_2026-12-07-10-00-00_out.txt",
      "class/Hash Tables_b_roe_attempt_2026-12-07-11-30-00_hash_output.txt",
      "class/Hash Tables_zed_attempt_2026-12-07-10-00-00_out.txt",
      "class/Hash Tables_cng_attempt_2026-12-07-10-00-00_a.txt",
      "class/Hash Tables_cng_attempt_2026-12-08-10-00-00_b.txt"},
     {80, 45, 100, 10, 20},
     "3301",
     10000,
     "\xef\xbb\xbf\"Last Name\",\"First Name\",\"Username\",\"Student ID\","
     "\"Hash Tables [Total Pts: 100 Score] |3301\"\r\n"
     "\"Lee\",\"Amy\",\"alee\",\"1001\",\"80\"\r\n"
     "\"Roe\",\"Bob\",\"b_roe\",\"1002\",\"45\"\r\n",
     {"no student in the roster for class/Hash Tables_zed_attempt_2026-12-07-10-00-00_out.txt",
      "more than one submission of the same student, none graded: class/Hash "
      "Tables_cng_attempt_2026-12-07-10-00-00_a.txt",
      "more than one submission of the same student, none graded: class/Hash "
      "Tables_cng_attempt_2026-12-08-10-00-00_b.txt"}},
};

TEST(roster, each_system_round_trips) {
  for (const round_trip& c : round_trips) {
    SCOPED_TRACE(c.system);
    lms_roster roster;
    ASSERT_EQ(parse_roster(c.roster, "roster.csv", roster), "");
    EXPECT_EQ(roster.kind, c.kind);
    const roster_match match = match_roster(roster, c.submissions);
    std::string title;
    ASSERT_EQ(choose_assignment(roster, c.assignment, title), "");
    const std::vector<std::int64_t> grades =
        student_grades(match, roster.students.size(), c.scores, c.points_hundredths);
    EXPECT_EQ(written([&](text_out& out) {
                put_lms_csv(out, roster, title, c.points_hundredths, grades);
              }),
              c.written);
    EXPECT_EQ(roster_notes(roster, match, c.submissions), c.notes);
  }
}

TEST(roster, names_give_identifiers_only_in_each_system_s_form) {
  using ids = std::vector<std::string>;
  const struct {
    lms_kind kind;
    const char* name;
    ids expected;
  } cases[] = {
      {lms_kind::canvas, "a/leeamy_101_9001_out.txt", {"101"}},
      {lms_kind::canvas, "leeamy_late_101_9001_out_1_.txt", {"101"}},
      {lms_kind::canvas, "_101_9001_out.txt", {"101"}},  // a name of no Latin letters
      {lms_kind::canvas, "leeamy_101_9001", {}},         // no original name after the ids
      {lms_kind::canvas, "leeamy_101_x_out.txt", {}},
      {lms_kind::canvas, "lee_amy_101_9001_out.txt", {}},
      {lms_kind::moodle, "x/Amy Lee_7_assignsubmission_file_/", {"7"}},
      {lms_kind::moodle, "Amy_Lee_12_assignsubmission_onlinetext_t.txt", {"12"}},
      {lms_kind::moodle, "7_assignsubmission_file_", {}},
      {lms_kind::moodle, "Amy Lee_x7_assignsubmission_file_", {}},
      {lms_kind::blackboard, "HW 1_jdoe_attempt_2026-01-22-10-58-13_o.txt", {"jdoe"}},
      {lms_kind::blackboard,
       "HW_1_j_doe_attempt_2026-01-22-10-58-13.txt",
       {"1_j_doe", "j_doe", "doe"}},
      {lms_kind::blackboard, "HW 1_jdoe_attempt_2026-01-22.txt", {}},
      {lms_kind::blackboard, "jdoe_attempt_2026-01-22-10-58-13.txt", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(identifiers_in_name(c.kind, c.name), c.expected);
  }
}

TEST(roster, assignment_columns_are_chosen_by_each_system_s_rules) {
  const std::string canvas =
      "Student,ID,SIS User ID,SIS Login ID,Section,Lab (11),Lab (12),Quiz (13),Final Score\n";
  const std::string blackboard =
      "Last Name,First Name,Username,Lab [Total Pts: 10 Score] |21,Quiz |22\n";
  const struct {
    const std::string* roster;
    const char* wanted;
    const char* title;  // nullptr: refused
  } cases[] = {
      {&canvas, "Quiz", "Quiz (13)"},
      {&canvas, "Lab (12)", "Lab (12)"},
      {&canvas, "Lab", nullptr},
      {&canvas, "New one", "New one"},
      {&canvas, "", nullptr},
      {&blackboard, "22", "Quiz |22"},
      {&blackboard, "Lab", "Lab [Total Pts: 10 Score] |21"},
      {&blackboard, "Exam", "Exam"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wanted);
    lms_roster roster;
    ASSERT_EQ(parse_roster(*c.roster, "r.csv", roster), "");
    std::string title;
    const std::string refused = choose_assignment(roster, c.wanted, title);
    if (c.title == nullptr) {
      EXPECT_NE(refused, "");
    } else {
      EXPECT_EQ(refused, "");
      EXPECT_EQ(title, c.title);
    }
  }
  lms_roster moodle;
  ASSERT_EQ(parse_roster("Identifier,Grade\nParticipant 1,\n", "m.csv", moodle), "");
  std::string title;
  EXPECT_NE(choose_assignment(moodle, "Lab", title), "");
}

TEST(roster, broken_rosters_name_file_line_and_token) {
  const std::string canvas = "Student,ID,SIS User ID,SIS Login ID,Section,Lab (1)\n";
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "Roster r.csv line 1: no header; the file is empty"},
      {"\xff\xfeS\0t", "Roster r.csv line 1: the file is UTF-16"},
      {"Name,Score\nAmy,1\n", "Roster r.csv line 1: the header is none of a Canvas gradebook"},
      {canvas + "Amy,1,,,A\n",
       "Roster r.csv line 2: 5 fields where the header has 6, beginning \"Amy\""},
      {canvas + "Amy,1,,,A,\n\nBo\"b,2,,,A,\n",
       "line 4: a quote inside an unquoted field \"Bo\"b\""},
      {canvas + "\"Amy,1,,,A,\n", "line 2: a quoted field that is never closed \"Amy,1,,,A,...\""},
      {canvas + "\"Amy\"x,1,,,A,\n", "line 2: text after a closing quote \"x,1,,,A,...\""},
      {canvas + "Amy\x1b[2J,1,,,A,\n", "line 2: a control byte \\x1b in a field, after \"Amy\""},
      {canvas + "\"A\nB\",1,,,\x01,\n", "line 3: a control byte \\x01 at the start of a field"},
      {canvas + "Am\xe9,1,,,A,\n", "line 2: ill-formed UTF-8 \\xe9 in a field, after \"Am\""},
      {canvas + "Amy,1,,,A,\rBob,2,,,A,\n", "line 2: a carriage return inside an unquoted field"},
      {canvas + "Amy,x1,,,A,\n", "line 2: an ID that is not a number \"x1\""},
      {canvas + "Amy,1,,,A,\nBob,1,,,A,\n", "line 3: identifier given before, on line 2: \"1\""},
      {canvas + std::string(70000, 'a') + ",1,,,A,\n", "line 2: a record longer than 65536 bytes"},
      {canvas + std::string(5000, ','), "line 2: more than 4096 fields"},
      {"Identifier,Grade\nParticipant,\n",
       "line 2: an Identifier that does not end in a participant number"},
      {"Last Name,First Name,Username\nLee,Amy,\n", "line 2: an empty Username \"Lee\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    lms_roster roster;
    const std::string error = parse_roster(c.text, "r.csv", roster);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
  }
}

}  // namespace
