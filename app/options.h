// The command line: options (arguments starting with "--", or "-" and a letter) are taken out
// first; the positional arguments that remain keep their meaning: none, MODE, MODE INPUT
// (answer-only) or MODE INPUT OUTPUT; with --gradebook they are INPUT SUBMISSION...
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker/run.h"

enum class color_mode { automatic, always, never };

struct command_line {
  bool help = false;
  bool version = false;
  bool fail_on_wrong = false;
  bool explain = false;
  bool no_answer_file = false;
  bool follow_links = false;  // gradebook only: links in a submission folder are read
  bool vpl = false;           // the console in Moodle VPL's form: comments and a grade
  color_mode color = color_mode::automatic;
  reveal_level reveal = reveal_level::all;  // what the reports show; the console shows all
  std::string answer_file = "./hash_answer.txt";
  std::string json;  // report paths; empty when not asked for
  std::string gradescope;
  std::string gradescope_visibility = "visible";  // each Gradescope test's
  bool gradescope_visibility_given = false;
  std::string junit;
  std::string html;
  std::string github_classroom;  // GitHub Classroom's test result JSON
  std::string prairielearn;      // PrairieLearn's results.json
  std::string gradebook;         // with it, the positional arguments are INPUT SUBMISSION...
  std::string report_dir;        // a JSON report per submission and class.json; gradebook only
  std::string html_dir;          // an HTML page per submission and index.html; gradebook only
  std::string roster;      // an LMS's roster export the submissions are matched to; gradebook only
  std::string lms_csv;     // the grades in that LMS's import layout; needs --roster
  std::string assignment;  // the LMS column the grades go into
  std::string new_column;  // a new LMS column the grades go into
  std::string pick;        // gradebook: which file of a student's folder is the submission
  std::int64_t points_hundredths = 10000;  // what a score of 100 is worth, in hundredths
  bool points_given = false;               // else --vpl grades out of 10, --lms-csv out of 100
  std::vector<std::string> submissions;
  bool audit = false;            // with it, the one positional argument is INPUT
  std::string generate;          // write an input whose audit catches every mistake here
  std::string generate_large;    // write one large case here
  std::int64_t seed = 1;         // for either generator
  std::int64_t max_size = 13;    // --generate: the largest table
  std::int64_t size = 0;         // --generate-large: slots; 0 when not given
  std::int64_t keys = -1;        // --generate-large: keys in all; -1 when not given
  std::string shape = "random";  // --generate-large: random, clustered, wrap or repeated
  std::string generator_option;  // the last of --seed, --max-size, --size, --keys, --shape given
  std::string generate_only_option;        // the last given of those only --generate takes
  std::string generate_large_only_option;  // the last given of those only --generate-large takes
  std::string make_variants;  // the folder one input per roster student is written into
  std::int64_t cases = 1;     // --make-variants, --generate: at least this many cases
  bool cases_given = false;
  std::string only;         // --make-variants: the one student to make again
  bool overwrite = false;   // --make-variants: an existing folder may be written into
  std::string answer_dir;   // --make-variants: each variant's answer file goes here
  std::string variant_dir;  // --gradebook: each student's own input is here
  run_request request;
  bool answer_file_named = false;     // --answer-file or --no-answer-file was given
  bool reads_standard_input = false;  // INPUT or OUTPUT is "-"
  std::string error;                  // a usage error, one line; the run must not start
};

/// One option as given: "--name" or "--name=text".
struct option_value {
  std::string_view name;  // up to the first '='
  std::string_view text;  // after it; empty when there is none
  bool given = false;     // there is an '='
};

/// One command-line option: its name, how --help writes its value ("=FILE", "[=WHEN]", or empty
/// for a flag), its --help lines ('\n' between them) and what it does to the command line. An
/// option handler takes the value into `cl` or sets `cl.error` to one line naming what is wrong.
struct option_row {
  std::string_view name;
  std::string_view value;
  std::string_view help;  // empty: not listed on its own line
  void (*take)(const option_value& option, command_line& cl);
};

/// Every option, in the order --help lists them; the reports' rows come from app/report_factory.h.
std::span<const option_row> option_table();

/// Reads the arguments after the program's name. Never fails hard: a bad option or value comes
/// back as `error` naming it.
command_line parse_command_line(const std::vector<std::string>& arguments);

/// The text of --help: the legacy forms, every option and the exit statuses.
std::string usage_text();

/// The run mode's value: the leading decimal integer of `text` after white space and one optional
/// sign, clamped to the signed 32-bit range; 0 when there is none.
std::int32_t lenient_value(std::string_view text);
