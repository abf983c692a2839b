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
  std::vector<graded_fraction> fractions;  // all 0: not graded
  std::string assignment;                  // as --assignment gives it
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
     {{3, 4}, {4, 4}, {1, 2}, {0, 0}},
     "Hash Tables",
     1000,
     "\xef\xbb\xbfStudent,ID,SIS User ID,SIS Login ID,Section,Hash Tables (1201)\r\n"
     "    Points Possible,,,,,10\r\n"
     "\"Lee, Amy\",101,S101,alee,Section A,7.5\r\n"
     "\"'=HYPERLINK(\"\"x\"\")\",102,S102,bob,Section A,10\r\n"
     "\"Ng, Carol\",103,S103,cng,\"Section \"\"B\"\"\",\r\n"
     "Roe Dan,104,S104,droe,Section B,\r\n",
     {"Ng, Carol (ID 103): no submission", "Roe Dan (ID 104): not graded: open failed",
      "class/stray.txt: not matched: not a Canvas download name (namepart_ID_number_file)"}},
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
     {{1, 3}, {9, 10}, {1, 1}},
     "",
     300,
     "Identifier,Full name,Email address,Status,Grade,Maximum Grade,Grade can be changed,"
     "Last modified (submission),Last modified (grade),Feedback comments\r\n"
     "Participant 7,Amy Lee,amy@example.edu,Submitted for grading,1,100.00,Yes,"
     "\"Monday, 7 December 2026, 10:00 PM\",-,\r\n"
     "Participant 8,Bob Roe,bob@example.edu,No submission,,100.00,Yes,-,-,\r\n"
     "Participant 9,Carol Ng,carol@example.edu,Submitted for grading,3,100.00,Yes,-,-,\r\n",
     {"Bob Roe (Participant 8): no submission",
      "class/notes.txt: not matched: not a Moodle download name (Full "
      "Name_N_assignsubmission_...)"}},
    {"Blackboard",
     lms_kind::blackboard,
     "\"Last Name\",\"First Name\",\"Username\",\"Student ID\",\"Last Access\",\"Availability\","
     "\"Hash Tables [Total Pts: 100 Score] |3301\",\"Total [Total Pts: up to 100 Score] |3302\"\r\n"
     "\"Lee\",\"Amy\",\"alee\",\"1001\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n"
     "\"Roe\",\"Bob\",\"b_roe\",\"1002\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n"
     "\"Ng\",\"Carol\",\"cng\",\"1003\",\"2026-12-01\",\"Available\",\"\",\"\"\r\n",
     {"class/Hash Tables_alee_attempt_2026-12-07-10-00-00.txt",  // the receipt: set aside
      "class/Hash Tables_alee_attempt_2026-12-07-10-00-00_out.txt",
      "class/Hash Tables_b_roe_attempt_2026-12-07-11-30-00_hash_output.txt",
      "class/Hash Tables_zed_attempt_2026-12-07-10-00-00_out.txt",
      "class/Hash Tables_cng_attempt_2026-12-07-10-00-00_a.txt",
      "class/Hash Tables_cng_attempt_2026-12-08-10-00-00_b.txt"},
     {{0, 5}, {4, 5}, {9, 20}, {1, 1}, {1, 10}, {2, 10}},
     "3301",
     10000,
     "\xef\xbb\xbf\"Last Name\",\"First Name\",\"Username\",\"Student ID\","
     "\"Hash Tables [Total Pts: 100 Score] |3301\"\r\n"
     "\"Lee\",\"Amy\",\"alee\",\"1001\",\"80\"\r\n"
     "\"Roe\",\"Bob\",\"b_roe\",\"1002\",\"45\"\r\n"
     "\"Ng\",\"Carol\",\"cng\",\"1003\",\"\"\r\n",
     {"Carol Ng (username cng): not graded: two submissions for username cng",
      "class/Hash Tables_zed_attempt_2026-12-07-10-00-00_out.txt: not matched: no student has "
      "the username zed",
      "class/Hash Tables_cng_attempt_2026-12-07-10-00-00_a.txt: not graded: two submissions for "
      "username cng",
      "class/Hash Tables_cng_attempt_2026-12-08-10-00-00_b.txt: not graded: two submissions for "
      "username cng"}},
};

TEST(roster, each_system_round_trips) {
  for (const round_trip& c : round_trips) {
    SCOPED_TRACE(c.system);
    lms_roster roster;
    ASSERT_EQ(parse_roster(c.roster, "roster.csv", {true, c.assignment, ""}, roster).error, "");
    EXPECT_EQ(roster.kind, c.kind);
    const roster_match match = match_roster(roster, c.submissions);
    const std::vector<std::int64_t> grades =
        student_grades(match, roster.students.size(), c.fractions, c.points_hundredths);
    EXPECT_EQ(
        written([&](text_out& out) { put_lms_csv(out, roster, c.points_hundredths, grades); }),
        c.written);
    std::vector<std::string> not_graded;
    for (const graded_fraction& f : c.fractions)
      not_graded.emplace_back(f.all > 0 ? "" : "open failed");
    const std::vector<std::string> reasons =
        student_reasons(roster, match, grades, not_graded, c.submissions);
    EXPECT_EQ(roster_notes(roster, match, reasons, c.submissions), c.notes);
  }
}

// Each download name against its system's roster: the student it must go to (by identifier),
// or the words of the reason it goes to nobody.
TEST(roster, download_names_match_only_on_identity_that_agrees) {
  const std::string canvas =
      "Student,ID,SIS User ID,SIS Login ID,Section,Lab (11)\n"
      "\"Liddell, Alice\",101,,,,\n\"Evans, Eve\",105,,,,\n\"Mu\xc3\xb1oz, Ana\",106,,,,\n"
      "\"\xe7\x8e\x8b, \xe4\xbc\x9f\",107,,,,\n";
  const std::string moodle =
      "Identifier,Full name,Grade\nParticipant 7,Alice Liddell,\n"
      "Participant 9,Alice Liddell_7_assignsubmission_file,\nParticipant 12,Amy Lee,\n";
  const std::string blackboard =
      "Last Name,First Name,Username,Hash Tables [Total Pts: 20 Score] |44,HW_1 |45\n"
      "Bob,Builder,bob,,\nDoe,J,j_doe,,\nDoe,Jo,1_j_doe,,\n";
  const std::string plain = "name,id\nAmy,s1\nBob,s1.b\nCal,s10\n";
  const struct {
    const std::string* roster;
    const char* name;
    const char* id;      // the student it goes to; nullptr: nobody
    const char* reason;  // part of the reason when nobody
  } cases[] = {
      {&canvas, "a/liddellalice_101_9001_out.txt", "101", ""},
      {&canvas, "liddellalice_LATE_101_9001_out_1_.txt", "101", ""},
      {&canvas, "evanseve_105_9005_liddellalice_101_9001_out.txt", "105", ""},
      {&canvas, "munozana_106_1_o.txt", nullptr, "whose name part is muozana, not munozana"},
      {&canvas,
       "muoz\xc3\xb1"
       "ana_106_1_o.txt",
       nullptr, "not mu"},
      {&canvas, "muozana_106_1_o.txt", "106", ""},  // letters outside a-z dropped
      {&canvas, "_107_1_o.txt", "107", ""},         // a name of no Latin letters
      {&canvas, "eve_101_1_105_9005_out.txt", nullptr, "ID 101 is Liddell, Alice"},
      {&canvas, "evanseve_101_1_out.txt", nullptr,
       "evanseve is the name part of Evans, Eve (ID 105)"},
      {&canvas, "liddellalice_104_1_out.txt", nullptr, "no student has ID 104"},
      {&canvas, "liddellalice_101_9001", nullptr, "not a Canvas download name"},
      {&canvas, "liddellalice_101_x_out.txt", nullptr, "not a Canvas download name"},
      {&canvas, "hash_output (1).txt", nullptr, "not a Canvas download name"},
      {&moodle, "x/Alice Liddell_7_assignsubmission_file_/", "7", ""},
      {&moodle, "Alice Liddell_7_assignsubmission_file_9_assignsubmission_file_", "9", ""},
      {&moodle, "Alice Liddell_7_assignsubmission_file_9_assignsubmission_file_out.txt", nullptr,
       "fits two students: Alice Liddell (Participant 7) and Alice "
       "Liddell_7_assignsubmission_file (Participant 9)"},
      {&moodle, "Amy Lee_12_assignsubmission_onlinetext_t.txt", "12", ""},
      {&moodle, "Amy_Lee_12_assignsubmission_onlinetext_t.txt", nullptr,
       "Participant 12 is Amy Lee, not Amy_Lee"},
      {&moodle, "Amy Lee_13_assignsubmission_file_", nullptr, "no student is Participant 13"},
      {&moodle, "7_assignsubmission_file_", nullptr, "not a Moodle download name"},
      {&moodle, "Amy Lee_x7_assignsubmission_file_", nullptr, "not a Moodle download name"},
      {&blackboard, "Hash Tables_bob_attempt_2026-12-07-21-12-00_out.txt", "bob", ""},
      {&blackboard, "Hash Tables_bob_attempt_2026-12-07-21-12-00.txt", "bob", ""},
      {&blackboard, "Hash Tables_x_bob_attempt_2026-12-07-21-12-00_out.txt", nullptr,
       "no student has the username x_bob"},
      {&blackboard, "HW_1_j_doe_attempt_2026-01-22-10-58-13.txt", "j_doe", ""},
      {&blackboard, "Quiz_bob_attempt_2026-01-22-10-58-13.txt", nullptr, "no grade column"},
      {&blackboard, "Hash Tables_bob_attempt_2026-01-22.txt", nullptr,
       "not a Blackboard download name"},
      {&plain, "subs/s1.txt", "s1", ""},
      {&plain, "s10", "s10", ""},
      {&plain, "s10.out.txt", "s10", ""},
      {&plain, "s1.b.txt", nullptr, "fits two students"},
      {&plain, "s100.txt", nullptr, "no student's id"},
      {&plain, "S1.txt", nullptr, "no student's id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lms_roster roster;
    ASSERT_EQ(parse_roster(*c.roster, "r.csv", {}, roster).error, "");
    const download_match match = match_download(roster, c.name);
    if (c.id == nullptr) {
      EXPECT_EQ(match.student, -1);
      EXPECT_NE(match.reason.find(c.reason), std::string::npos) << match.reason;
    } else {
      ASSERT_GE(match.student, 0) << match.reason;
      EXPECT_EQ(roster.students[static_cast<std::size_t>(match.student)].id, c.id);
    }
  }
}

// --assignment names a grade column exactly, --new-column a title the roster lacks; anything
// else is refused as the command line's fault, before a row is read.
TEST(roster, grade_columns_are_named_exactly_or_refused) {
  const std::string canvas =
      "Student,ID,SIS User ID,SIS Login ID,Section,Lab (11),Lab (12),Hash Tables (13),Final "
      "Score\n\"\x01\n";  // a broken row: only the header is read before a refusal
  const std::string blackboard =
      "Last Name,First Name,Username,Lab [Total Pts: 10 Score] |21,Quiz |22\n";
  const struct {
    const std::string* roster;
    const char* assignment;
    const char* new_column;
    const char* outcome;  // the title chosen, or part of the refusal
  } cases[] = {
      {&canvas, "Hash Tables", "", "Hash Tables (13)"},
      {&canvas, "Lab (12)", "", "Lab (12)"},
      {&canvas, "12", "", "Lab (12)"},
      {&canvas, "Lab", "", "more than one assignment column is called \"Lab\""},
      {&canvas, "Hash Table", "",
       "no grade column is called \"Hash Table\" (its grade columns: "
       "\"Lab (11)\", \"Lab (12)\", \"Hash Tables (13)\""},
      {&canvas, "ID", "", "\"ID\" is no grade column"},
      {&canvas, "", "", "it has 3 grade columns"},
      {&canvas, "", "Hash Tables 2", "Hash Tables 2"},
      {&canvas, "", "Hash Tables", "it already has a column \"Hash Tables\""},
      {&canvas, "", "SIS User ID", "names a student, not an assignment"},
      {&blackboard, "22", "", "Quiz |22"},
      {&blackboard, "Lab", "", "Lab [Total Pts: 10 Score] |21"},
      {&blackboard, "Exam", "", "no grade column is called \"Exam\""},
      {&blackboard, "", "Username", "names a student"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.assignment) + c.new_column);
    lms_roster roster;
    const roster_outcome read =
        parse_roster(*c.roster, "r.csv", {true, c.assignment, c.new_column}, roster);
    if (read.usage) {
      EXPECT_NE(read.error.find(c.outcome), std::string::npos) << read.error;
    } else {
      EXPECT_EQ(roster.assignment, c.outcome) << read.error;
    }
  }
  lms_roster moodle;
  const roster_outcome refused =
      parse_roster("Identifier,Grade\nParticipant 1,\n", "m.csv", {true, "Lab", ""}, moodle);
  EXPECT_TRUE(refused.usage) << refused.error;
}

// The maximum comes from the export, and a grade is right / all of it rounded half up.
TEST(roster, points_come_from_the_export_and_grades_round_half_up) {
  const struct {
    std::string roster;
    std::string assignment;
    std::int64_t points;  // hundredths; -1: none given
  } exports[] = {
      {"Student,ID,SIS User ID,SIS Login ID,Section,Hash Tables (1)\n"
       "    Points Possible,,,,,20.0\nA,1,,,,\n",
       "", 2000},
      {"Student,ID,SIS User ID,SIS Login ID,Section,Hash Tables (1)\nA,1,,,,\n", "", -1},
      {"Identifier,Full name,Grade,Maximum Grade\nParticipant 1,A,,20.00\nParticipant 2,B,,20.00\n",
       "", 2000},
      {"Last Name,First Name,Username,Hash Tables [Total Pts: 7.5 Score] |4,Total [Total Pts: up "
       "to 20 Score] |5\nA,B,c,,\n",
       "4", 750},
  };
  for (const auto& c : exports) {
    SCOPED_TRACE(c.roster);
    lms_roster roster;
    ASSERT_EQ(parse_roster(c.roster, "r.csv", {true, c.assignment, ""}, roster).error, "");
    EXPECT_EQ(roster.points_hundredths, c.points);
  }
  lms_roster split;
  EXPECT_NE(parse_roster("Identifier,Full name,Grade,Maximum Grade\nParticipant 1,A,,20.00\n"
                         "Participant 2,B,,100.00\n",
                         "r.csv", {true, "", ""}, split)
                .error.find("line 3: a Maximum Grade of \"100.00\" where an earlier row has "
                            "\"20.00\""),
            std::string::npos);
  const struct {
    graded_fraction fraction;
    std::int64_t points;
    std::int64_t grade;
  } grades[] = {
      {{20, 21}, 2000, 1905},  // 19.047...: from a floored 95% it would be 19.00
      {{1, 8}, 100, 13},       // 0.125 rounds up
      {{1, 3}, 100, 33},      {{2, 3}, 100, 67},
      {{0, 21}, 2000, 0},     {{21, 21}, 100000000, 100000000},
      {{0, 0}, 2000, -1},  // nothing graded: no grade
  };
  for (const auto& g : grades) {
    roster_match match{{0}, {""}, {{}}, {1}};
    EXPECT_EQ(student_grades(match, 1, {g.fraction}, g.points).front(), g.grade)
        << g.fraction.right << "/" << g.fraction.all;
  }
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
      {canvas + std::string(70000, 'a') + ",1,,,A,\n",
       "field at line 2 is 70,000 bytes (limit 65,536)"},
      {canvas + "A,1,,,A,\n\"" + std::string(70000, 'a') + "\",2,,,A,\n",
       "field at line 3 is 70,000 bytes (limit 65,536)"},
      {canvas + "A,1,,,A,\n" + std::string(40000, 'a') + "," + std::string(40000, 'b') + ",2,,,\n",
       "record at line 3 is longer than 65,536 bytes"},
      {"Identifier,Grade,Full name,Grade\n",
       "line 1: the header repeats the title \"Grade\" (columns 2 and 4)"},
      {canvas + std::string(5000, ','), "line 2: more than 4096 fields"},
      {"Identifier,Grade\nParticipant,\n",
       "line 2: an Identifier that does not end in a participant number"},
      {"Last Name,First Name,Username\nLee,Amy,\n", "line 2: an empty Username \"Lee\""},
      {"name,id\nAmy,\n", "line 2: an empty id \"Amy\""},
      {"id\n0e\nx/0e\n", "line 3: an id with a / \"x/0e\""},
      {"Last Name,First Name,Username\nLee,Amy,a/b\n", "line 2: a Username with a / \"a/b\""},
      {"id,name\na,A\na,B\n", "line 3: identifier given before, on line 2: \"a\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    lms_roster roster;
    const std::string error = parse_roster(c.text, "r.csv", {}, roster).error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
  }
}

}  // namespace
