#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "render/gradescope_report.h"
#include "render/json_report.h"
#include "render/json_writer.h"
#include "render/junit_report.h"
#include "render/platform_reports.h"
#include "render/xml_writer.h"
#include "tests/without_times.h"
#include "tests/written_text.h"

namespace {

// Bytes no report may pass through raw: quotes, a backslash, control bytes, a byte that is not
// UTF-8, a CDATA end and markup.
const std::string hostile = std::string("x\"\\\x01\0\xff]]><&>'\r\n", 15);

struct escape_case {
  std::string raw;
  std::string escaped;
};

TEST(json_writer, strings_are_valid_json_whatever_their_bytes) {
  const escape_case cases[] = {
      {"plain ./in.txt", "\"plain ./in.txt\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {std::string("\n\t\r\b\f\x01\x1f\0", 8), "\"\\n\\t\\r\\b\\f\\u0001\\u001f\\u0000\""},
      {"\x7f", "\"\x7f\""},
      {"\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x98\x80", "\"\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x98\x80\""},
      {"\xff", "\"\\ufffd\""},
      {"\x80", "\"\\ufffd\""},
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                        // overlong '/'
      {"\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\""},             // overlong, three bytes
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // above U+10FFFF
      {"\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},              // U+10FFFF itself
      {"\xe2\x82", "\"\\ufffd\\ufffd\""},                        // cut short
      {"\xe2\x82x", "\"\\ufffd\\ufffdx\""},
      {"]]><&>'", "\"]]><&>'\""},
  };
  for (const escape_case& c : cases) {
    EXPECT_EQ(written([&](text_out& out) { put_json_string(out, c.raw); }), c.escaped) << c.raw;
  }
}

TEST(json_writer, a_sequence_cut_by_the_end_of_the_text_is_not_completed_past_it) {
  const std::string euro = "\xe2\x82\xac";
  EXPECT_EQ(
      written([&](text_out& out) { put_json_string(out, std::string_view(euro).substr(0, 2)); }),
      "\"\\ufffd\\ufffd\"");
}

TEST(json_writer, key_lists_become_arrays_in_one_piece_across_chunks) {
  EXPECT_EQ(written([](text_out& out) { put_json_keys(out, {}); }), "[]");
  EXPECT_EQ(written([](text_out& out) {
              put_json_keys(out, {-2147483648, 0, 7});
            }),
            "[-2147483648,0,7]");
  key_list keys(300000);
  std::string expected = "[";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<key>(i * 7919);
    if (i > 0) expected += ',';
    expected += std::to_string(keys[i]);
  }
  EXPECT_EQ(written([&](text_out& out) { put_json_keys(out, keys); }), expected + "]");
}

TEST(xml_writer, text_and_attributes_stay_well_formed_whatever_their_bytes) {
  struct xml_case {
    std::string raw;
    std::string text;
    std::string attribute;
  };
  const xml_case cases[] = {
      {"<&>\"'", "&lt;&amp;&gt;&quot;&apos;", "&lt;&amp;&gt;&quot;&apos;"},
      {"a]]>b", "a]]&gt;b", "a]]&gt;b"},
      {"\t\n\r", "\t\n&#13;", "&#9;&#10;&#13;"},
      {std::string("\x01\0\x1f", 3), "&#xFFFD;&#xFFFD;&#xFFFD;", "&#xFFFD;&#xFFFD;&#xFFFD;"},
      {"\xff\xc3", "&#xFFFD;&#xFFFD;", "&#xFFFD;&#xFFFD;"},
      {"\xef\xbf\xbe\xef\xbf\xbf", "&#xFFFD;&#xFFFD;", "&#xFFFD;&#xFFFD;"},
      {"\xc3\xa9\xef\xbf\xbd\x7f", "\xc3\xa9\xef\xbf\xbd\x7f", "\xc3\xa9\xef\xbf\xbd\x7f"},
  };
  for (const xml_case& c : cases) {
    std::string text;
    append_xml_text(text, c.raw);
    EXPECT_EQ(text, c.text) << c.raw;
    std::string attribute;
    append_xml_attribute(attribute, "a", c.raw);
    EXPECT_EQ(attribute, " a=\"" + c.attribute + "\"") << c.raw;
  }
}

// A run as the checker would report it, event by event.
struct scripted_case {
  case_result record;
  std::vector<line_result> lines;
};

struct scripted_run {
  run_header header;
  std::vector<scripted_case> cases;
  run_summary summary;
};

// The case's tally as grading counts it from its lines.
case_tally tally_of(const scripted_case& c) {
  case_tally tally;
  for (const line_result& result : c.lines) {
    if (result.judged == verdict::none) continue;
    ++tally.graded_count;
    if (result.judged == verdict::right) ++tally.right_count;
  }
  return tally;
}

void play(result_renderer& renderer, const scripted_run& run) {
  renderer.begin_run(run.header);
  for (const scripted_case& c : run.cases) {
    renderer.begin_case(c.record);
    for (const line_result& result : c.lines) renderer.line(c.record, result);
    renderer.end_case(c.record, tally_of(c));
  }
  renderer.end_run(run.summary);
}

case_result built_case(std::int64_t number, std::int64_t table_size, const layouts& expected) {
  case_result record;
  record.number = number;
  record.size_line = 2 + 3 * number;
  record.table_size = table_size;
  record.expected = expected;
  return record;
}

line_result judged(strategy_id strategy, std::int64_t output_line, key_list submitted,
                   verdict verdict_given) {
  line_result result;
  result.strategy = strategy;
  result.output_line = output_line;
  result.submitted = std::move(submitted);
  result.judged = verdict_given;
  return result;
}

line_result faulty(strategy_id strategy, std::int64_t output_line, line_problem problem) {
  line_result result = judged(strategy, output_line, {}, verdict::wrong);
  result.problem = problem;
  if (problem == line_problem::bad_token) {
    result.token = hostile;
    result.token_cut = true;
    result.fault = token_fault::no_number;
  }
  return result;
}

case_result refused_case(std::int64_t number) {
  case_result record;
  record.number = number;
  record.size_line = 2 + 3 * number;
  record.state = case_state::refused;
  record.message = "Input File in<&>\"]]>\x02\xff.txt line 11: token \"x9\" has no leading number";
  return record;
}

const layouts size_7{
    {{{3, 0, 0, 10, 17, 4, 24}, {3, 0, 0, 10, 4, 17, 24}, {3, 24, 0, 10, 4, 0, 17}}}};
const layouts size_5{{{{5, 10, 15, 20, 25}, {5, 10, 15, 20, 25}, {5, 15, 10, 20, 25}}}};

// Four cases: all right; right, wrong and missing; a hostile bad token; refused.
scripted_run checking_run() {
  scripted_run run;
  run.header = {"1.1.0", false, "in<&>.txt", "out\"]]>\xff.txt", "./hash_answer.txt"};
  const auto [lp, tp, dh] = all_strategies;
  run.cases.push_back(
      {built_case(0, 7, size_7),
       {judged(lp, 1, layout_of(size_7, strategy_id::linear_probing), verdict::right),
        judged(tp, 2, layout_of(size_7, strategy_id::two_pass_hashing), verdict::right),
        judged(dh, 3, layout_of(size_7, strategy_id::double_hashing), verdict::right)}});
  run.cases.push_back(
      {built_case(1, 5, size_5),
       {judged(lp, 4, layout_of(size_5, strategy_id::linear_probing), verdict::right),
        judged(tp, 5, {5, 10, 15, 20}, verdict::wrong), faulty(dh, 6, line_problem::missing)}});
  run.cases.push_back(
      {built_case(2, 5, size_5),
       {judged(lp, 7, layout_of(size_5, strategy_id::linear_probing), verdict::right),
        faulty(tp, 8, line_problem::bad_token),
        judged(dh, 9, layout_of(size_5, strategy_id::double_hashing), verdict::right)}});
  run.cases.push_back({refused_case(3),
                       {judged(lp, 10, {}, verdict::none), judged(tp, 11, {}, verdict::none),
                        judged(dh, 12, {}, verdict::none)}});
  run.summary = {4, 4, 6, 9, 66, 1, 0, false, "", true, 1, "", {}, {}};
  run.summary.shape = {true, {true, true, 5, 8}, key_separator::tabs, 2};
  return run;
}

scripted_run answer_only_run() {
  scripted_run run;
  run.header = {"1.1.0", true, "in.txt", "out.txt", "./hash_answer.txt"};
  run.cases.push_back({built_case(0, 7, size_7), {}});
  run.cases.push_back({refused_case(1), {}});
  run.summary = {3,    2, 0,  0,  0, 1, 0, true, "Input File in.txt ended after 2 of 3 cases",
                 true, 1, "", {}, {}};
  return run;
}

scripted_run start_up_failure_run() {
  scripted_run run;
  run.header = {"1.1.0", false, "in.txt", "out.txt", ""};
  run.summary.error = "Input File in.txt open failed";
  run.summary.status = 255;
  return run;
}

template <typename renderer_type>
std::string rendered(const scripted_run& run) {
  return written([&](text_out& out) {
    renderer_type renderer(out);
    play(renderer, run);
    EXPECT_TRUE(renderer.ok());
  });
}

bool holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(json_report, a_checking_run_gives_every_case_and_line) {
  const std::string json = rendered<json_report>(checking_run());
  const char* const parts[] = {
      R"({"version":"1.1.0","mode":"checking","input":"in<&>.txt","output":"out\"]]>\ufffd.txt",)",
      R"("answer_file":"./hash_answer.txt")",
      "\"results\":[\n"
      R"({"case":0,"size_line":2,"table_size":7,"state":"built","message":null,"lines":[)"
      "\n {\"strategy\":\"linear_probing\",",
      R"({"strategy":"double_hashing","expected":[3,24,0,10,4,0,17],"output_line":3,)"
      R"("submitted":[3,24,0,10,4,0,17],"problem":null,"token":null,"token_cut":false,)"
      R"("fault":null,"verdict":"right","diagnosis":null})",
      R"("output_line":5,"submitted":[5,10,15,20],"problem":null)",
      R"("output_line":6,"submitted":null,"problem":"missing","token":null)",
      R"("submitted":null,"problem":"bad_token","token":"x\"\\\u0001\u0000\ufffd]]><&>'\r\n",)"
      R"("token_cut":true,"fault":"no_number","verdict":"wrong")",
      R"("state":"refused","message":"Input File in<&>\"]]>\u0002\ufffd.txt line 11: )",
      R"("output_line":12,"submitted":null,"problem":null,"token":null,"token_cut":false,)"
      R"("fault":null,"verdict":null)",
      R"(],"right":1,"graded":3})",
      R"(],"shape":{"missing_line":{"line":5,"first":5,"last":8},"extra_line":null,)"
      R"("separator":"tabs","extra_lines":2},"case_count":4,)"
      R"("cases":4,"right":6,"all":9,"score":66,"refused":1,"not_built":0,"ended_early":false,)"
      R"("ended_message":null,"completed":true,"status":1,"error":null}
)",
  };
  for (const char* part : parts) EXPECT_TRUE(holds(json, part)) << part << "\n" << json;
  EXPECT_EQ(count_of(json, R"("strategy":)"), 12U);
  EXPECT_EQ(count_of(json, R"("diagnosis":null)"), 12U);
}

TEST(json_report, answer_only_mode_writes_three_lines_with_nothing_submitted) {
  const std::string json = rendered<json_report>(answer_only_run());
  EXPECT_TRUE(holds(json, R"("mode":"answer-only")"));
  EXPECT_TRUE(holds(json, R"({"strategy":"two_pass_hashing","expected":[3,0,0,10,4,17,24],)"
                          R"("output_line":null,"submitted":null,"problem":null,"token":null,)"
                          R"("fault":null,"verdict":null,"diagnosis":null,"token_cut":false})"));
  EXPECT_TRUE(holds(json, R"({"strategy":"linear_probing","expected":[],"output_line":null,)"));
  EXPECT_EQ(count_of(json, R"("output_line":null)"), 6U);
  EXPECT_TRUE(holds(json, R"("ended_early":true,"ended_message":"Input File in.txt ended)"));
}

TEST(json_report, a_start_up_failure_still_gives_a_whole_document) {
  EXPECT_EQ(rendered<json_report>(start_up_failure_run()),
            "{\"version\":\"1.1.0\",\"mode\":\"checking\",\"input\":\"in.txt\",\"output\":"
            "\"out.txt\",\"answer_file\":null,\"separators\":\"spaces\",\n\"results\":[\n],"
            "\"shape\":null,\"case_count\":0,"
            "\"cases\":0,"
            "\"right\":0,\"all\":0,\"score\":0,\"refused\":0,\"not_built\":0,\"ended_early\":"
            "false,\"ended_message\":null,\"completed\":false,\"status\":255,\"error\":"
            "\"Input File in.txt open failed\"}\n");
}

TEST(json_report, writes_a_line_when_it_comes_so_the_case_need_not_be_kept) {
  const scripted_run run = checking_run();
  const std::string json = written([&](text_out& out) {
    json_report renderer(out);
    renderer.begin_run(run.header);
    renderer.begin_case(run.cases[1].record);
    renderer.line(run.cases[1].record, run.cases[1].lines[1]);
  });
  EXPECT_TRUE(holds(json, R"("submitted":[5,10,15,20])")) << json;
}

TEST(json_report, a_run_that_stops_inside_a_case_still_closes_it) {
  scripted_run run = checking_run();
  run.cases.resize(2);
  run.cases[1].lines.resize(1);
  run.summary = {4,  1, 3, 3, 100, 0, 0, false, "", false, 255, "Output File out.txt read failed",
                 {}, {}};
  const std::string json = written([&](text_out& out) {
    json_report renderer(out);
    renderer.begin_run(run.header);
    renderer.begin_case(run.cases[0].record);
    for (const line_result& result : run.cases[0].lines) renderer.line(run.cases[0].record, result);
    renderer.end_case(run.cases[0].record, tally_of(run.cases[0]));
    renderer.begin_case(run.cases[1].record);
    renderer.line(run.cases[1].record, run.cases[1].lines[0]);
    renderer.end_run(run.summary);
  });
  EXPECT_EQ(count_of(json, R"("strategy":)"), 6U);
  EXPECT_TRUE(holds(json, R"("output_line":null,"submitted":null,"problem":null,"token":null,)"
                          R"("fault":null,"verdict":null,"diagnosis":null,"token_cut":false}],)"
                          "\"right\":0,\"graded\":0}\n],"))
      << json;
}

TEST(json_report, a_failed_write_turns_ok_false) {
  text_out out{std::fopen("/dev/full", "w"), {}, false};
  ASSERT_NE(out.file, nullptr);
  json_report renderer(out);
  scripted_run run = checking_run();
  layout_of(run.cases[0].record.expected, strategy_id::linear_probing)
      .assign(std::size_t{1} << 20, 123456);
  play(renderer, run);
  EXPECT_FALSE(renderer.ok());
  std::fclose(out.file);
}

TEST(gradescope_report, one_test_per_case_scored_by_its_right_lines) {
  const std::string json = rendered<gradescope_report>(checking_run());
  const char* const parts[] = {
      "{\"tests\":[\n"
      R"({"name":"Case 0: table size 7","score":3,"max_score":3,"status":"passed",)"
      R"("output":"linear probing: Right\n  expected:  3 0 0 10 17 4 24\n  submitted: )",
      R"({"name":"Case 1: table size 5","score":1,"max_score":3,"status":"failed",)",
      R"(two-pass hashing: Wrong\n  expected:  5 10 15 20 25\n  submitted: 5 10 15 20\n)",
      R"(submitted: Output File out\"]]>\ufffd.txt line 6 is missing\n)",
      R"(line 8: token \"x\"\\\u0001\u0000\ufffd]]><&>'\r\n...\" has no leading number)",
      R"({"name":"Case 3: table size 0","score":0,"max_score":0,"status":"failed",)"
      R"("output":"Input File in<&>\"]]>\u0002\ufffd.txt line 11: token \"x9\")",
      R"(],"score":6,"max_score":9,"output":"Success/All: 6/9\nScore: 66\nRefused cases: 1\n",)"
      R"("visibility":"visible"}
)",
  };
  for (const char* part : parts) EXPECT_TRUE(holds(json, part)) << part << "\n" << json;
  EXPECT_EQ(count_of(json, R"("visibility":"visible")"), 5U);
}

TEST(gradescope_report, answer_only_and_start_up_failure_are_complete_documents) {
  const std::string answers = rendered<gradescope_report>(answer_only_run());
  EXPECT_TRUE(holds(answers, R"("score":0,"max_score":0,"status":"passed","output":"linear )"
                             R"(probing:\n  expected:  3 0 0 10 17 4 24\ntwo-pass hashing:)"));
  EXPECT_TRUE(holds(answers, R"("output":"Answer-only mode: no line was graded\nRefused cases: 1)"
                             R"(\nInput File in.txt ended after 2 of 3 cases\n")"));
  EXPECT_EQ(rendered<gradescope_report>(start_up_failure_run()),
            "{\"tests\":[\n],\"score\":0,\"max_score\":0,\"output\":\"Success/All: 0/0\\nScore: "
            "0\\nInput File in.txt open failed\\n\",\"visibility\":\"visible\"}\n");
}

TEST(gradescope_report, a_long_layout_shows_its_first_keys_and_counts_the_rest) {
  scripted_run run = checking_run();
  run.cases.resize(1);
  run.cases[0].lines[0].submitted.assign(1000, 9);
  run.cases[0].lines[0].judged = verdict::wrong;
  const std::string json = rendered<gradescope_report>(run);
  EXPECT_TRUE(holds(json, " 9 9 \xe2\x80\xa6 (800 more)\\n"));
  EXPECT_EQ(count_of(json, " 9"), 200U);
}

// Both graders' summaries count the refused cases and, apart, those whose table was not built.
TEST(report_summaries, count_refused_and_unbuilt_cases) {
  scripted_run run = checking_run();
  case_result unbuilt = refused_case(4);
  unbuilt.state = case_state::not_built;
  unbuilt.message = "Input File in.txt line 14: table size 1073741823 could not be allocated";
  run.cases.push_back({unbuilt, {}});
  run.summary.cases = 5;
  run.summary.not_built = 1;
  const struct {
    std::string report;
    std::string summary;
  } cases[] = {
      {rendered<gradescope_report>(run), "Refused cases: 1\\nCases not built: 1\\n"},
      {without_times(rendered<junit_report>(run)),
       "Refused cases: 1\nCases not built: 1\n</system-out>"},
  };
  for (const auto& c : cases) EXPECT_TRUE(holds(c.report, c.summary)) << c.report;
}

// Cases' shares of the points: lines as they are, or the points spread over the graded lines
// so that the shares add up to them exactly, whatever the rounding.
TEST(platform_reports, points_are_spread_over_the_graded_lines) {
  const struct {
    std::vector<std::pair<std::int64_t, std::int64_t>> right_of_graded;
    std::int64_t points_hundredths;
    std::vector<std::pair<std::int64_t, std::int64_t>> score_of_most;
  } cases[] = {
      {{{3, 3}, {1, 3}, {0, 0}}, 0, {{300, 300}, {100, 300}, {0, 0}}},
      {{{3, 3}, {1, 3}, {2, 3}}, 1000, {{333, 333}, {111, 333}, {222, 334}}},
      {{{3, 3}, {3, 3}, {3, 3}}, 1000, {{333, 333}, {333, 333}, {334, 334}}},
      {{{0, 3}, {0, 0}}, 1, {{0, 1}, {0, 0}}},
      {{}, 1000, {}},
  };
  for (const auto& c : cases) {
    std::vector<case_account> accounts;
    for (const auto& [right, graded] : c.right_of_graded) {
      case_account account;
      account.right = right;
      account.graded = graded;
      accounts.push_back(account);
    }
    const std::vector<case_points> points = spread_points(accounts, c.points_hundredths);
    ASSERT_EQ(points.size(), c.score_of_most.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i].score, c.score_of_most[i].first) << c.points_hundredths << " " << i;
      EXPECT_EQ(points[i].most, c.score_of_most[i].second) << c.points_hundredths << " " << i;
    }
  }
}

// The platforms' formats over a run with a hostile token and path: their fields, and in VPL's
// console no byte of a submission that starts a line of its own.
TEST(platform_reports, hold_their_fields_and_keep_hostile_bytes_in_place) {
  const struct {
    std::function<std::unique_ptr<result_renderer>(text_out&)> make;
    std::vector<std::string> parts;
  } formats[] = {
      {[](text_out& out) { return std::make_unique<github_classroom_report>(out, 0); },
       {R"({"version":1,"status":"fail","max_score":9,"tests":[)",
        R"({"name":"Case 1: table size 5","status":"fail","score":1,"message":"linear probing: )",
        R"("test_code":"case 1","filename":"out\"]]>\ufffd.txt","line_no":4,"duration":0})",
        R"({"name":"Case 3: table size 0","status":"error","score":0,"message":"Input File in)",
        R"("message":"Right lines: 6 of 9, score 66; refused cases: 1\n"})"}},
      {[](text_out& out) { return std::make_unique<prairielearn_report>(out, 2000); },
       {R"({"gradable":true,"score":0.6667,"message":"Right lines: 6 of 9, score 66; refused )",
        R"({"name":"Case 0: table size 7","description":"the three layouts of case 0",)"
        R"("points":6.66,"max_points":6.66,"message":"3 of 3 lines right","output":"linear )",
        R"("points":2.22,"max_points":6.67,"message":"1 of 3 lines right")",
        R"(line 8: token \"x\"\\\u0001\u0000\ufffd]]><&>'\r\n...\" has no leading number)"}},
      {[](text_out& out) { return std::make_unique<vpl_console>(out, 1000); },
       {"Comment :=>>Case 1, two-pass hashing, output line 5: Wrong: expected 5 10 15 20 25; "
        "submitted 5 10 15 20\n",
        R"(token "x"\\x01\x00)"
        "\xff"
        R"(]]><&>'\x0d\x0a..." has no leading number)"
        "\n",
        R"(Comment :=>>Case 3: Input File in<&>"]]>\x02)"
        "\xff.txt line 11:",
        "Comment :=>>Right lines: 6 of 9, score 66; refused cases: 1\nGrade :=>> 6.6\n"}},
  };
  for (const auto& format : formats) {
    const std::string text = written([&](text_out& out) {
      const std::unique_ptr<result_renderer> renderer = format.make(out);
      play(*renderer, checking_run());
    });
    for (const std::string& part : format.parts) {
      EXPECT_TRUE(holds(text, part)) << part << "\n" << text;
    }
    if (!text.starts_with("Comment")) continue;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
      const std::string_view line = std::string_view(text).substr(at);
      EXPECT_TRUE(line.starts_with("Comment :=>>") || line == "Grade :=>> 6.6\n") << line;
    }
  }
}

TEST(junit_report, counts_on_the_suite_match_its_testcases) {
  const std::string xml = without_times(rendered<junit_report>(checking_run()));
  const char* const parts[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"hash_checker\" tests=\"12\" "
      "failures=\"3\" errors=\"0\" skipped=\"3\">\n  <testsuite name=\"hash_checker\" "
      "tests=\"12\" failures=\"3\" errors=\"0\" skipped=\"3\">\n",
      "<property name=\"output\" value=\"out&quot;]]&gt;&#xFFFD;.txt\"/>",
      "<testcase classname=\"case 0\" name=\"linear probing\"/>",
      "<failure message=\"Output File out&quot;]]&gt;&#xFFFD;.txt line 8: token "
      "&quot;x&quot;\\&#xFFFD;&#xFFFD;&#xFFFD;]]&gt;&lt;&amp;&gt;&apos;&#13;&#10;...&quot; has no "
      "leading number\" type=\"wrong\">",
      "<failure message=\"submitted layout differs from the expected one\" type=\"wrong\">  "
      "expected:  5 10 15 20 25\n  submitted: 5 10 15 20\n</failure>",
      "<testcase classname=\"case 3\" name=\"double hashing\">\n      <skipped message=\"Input "
      "File in&lt;&amp;&gt;&quot;]]&gt;&#xFFFD;&#xFFFD;.txt line 11",
      "<system-out>Success/All: 6/9\nScore: 66\nRefused cases: 1\n</system-out>\n  "
      "</testsuite>\n</testsuites>\n",
  };
  for (const char* part : parts) EXPECT_TRUE(holds(xml, part)) << part << "\n" << xml;
  EXPECT_EQ(count_of(xml, "<testcase "), 12U);
  EXPECT_EQ(count_of(xml, "<failure "), 3U);
  EXPECT_EQ(count_of(xml, "<skipped "), 3U);
}

TEST(junit_report, answer_only_skips_every_line_and_a_failed_start_is_an_error) {
  const std::string answers = without_times(rendered<junit_report>(answer_only_run()));
  EXPECT_TRUE(holds(answers, "tests=\"6\" failures=\"0\" errors=\"0\" skipped=\"6\""));
  EXPECT_EQ(count_of(answers, "<skipped message=\"answer-only mode\"/>"), 3U);
  const std::string failed = without_times(rendered<junit_report>(start_up_failure_run()));
  EXPECT_TRUE(holds(failed, "tests=\"1\" failures=\"0\" errors=\"1\" skipped=\"0\""));
  EXPECT_TRUE(holds(failed,
                    "<testcase classname=\"hash_checker\" name=\"run\">\n      <error "
                    "message=\"Input File in.txt open failed\">"));
}

// With HASH_CHECKER_REPORT_DIR set, writes every report of every scripted run there, for
// tests/check_reports.py to validate against the schema and the formats' readers.
TEST(report_samples, written_when_asked) {
  const char* folder = std::getenv("HASH_CHECKER_REPORT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "HASH_CHECKER_REPORT_DIR is not set";
  const std::pair<const char*, scripted_run> runs[] = {
      {"checking", checking_run()},
      {"answer_only", answer_only_run()},
      {"start_up_failure", start_up_failure_run()}};
  for (const auto& [name, run] : runs) {
    const std::string base = std::string(folder) + "/" + name;
    const std::pair<std::string, std::string> files[] = {
        {base + ".json", rendered<json_report>(run)},
        {base + ".gradescope.json", rendered<gradescope_report>(run)},
        {base + ".junit.xml", rendered<junit_report>(run)}};
    for (const auto& [path, text] : files) {
      std::FILE* file = std::fopen(path.c_str(), "wb");
      ASSERT_NE(file, nullptr) << path;
      EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
      EXPECT_EQ(std::fclose(file), 0);
    }
  }
}

}  // namespace
