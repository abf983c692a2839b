#include "app/options.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/report_factory.h"
#include "checker/reveal.h"
#include "checker/run_status.h"
#include "hashing/program_limits.h"

namespace {

std::string unknown(std::string_view option) {
  return "hash_checker: unknown option '" + std::string(option) + "'; see 'hash_checker --help'";
}

template <bool command_line::*target>
void take_flag(const option_value& option, command_line& cl) {
  if (option.given) {
    cl.error = "hash_checker: option '" + std::string(option.name) + "' takes no value";
  }
  cl.*target = true;
}

template <std::string command_line::*target>
void take_path(const option_value& option, command_line& cl) {
  if (option.text.empty()) {
    cl.error = "hash_checker: option '" + std::string(option.name) +
               "' needs a path: " + std::string(option.name) + "=PATH";
  }
  cl.*target = option.text;
}

// Either names the answer file, so the closing line names it too.
void take_answer_file(const option_value& option, command_line& cl) {
  take_path<&command_line::answer_file>(option, cl);
  cl.answer_file_named = true;
}

void take_no_answer_file(const option_value& option, command_line& cl) {
  take_flag<&command_line::no_answer_file>(option, cl);
  cl.answer_file_named = true;
}

// Plain decimal digits only: a seed or a size read leniently would quietly be another one.
bool read_number(std::string_view text, std::int64_t least, std::int64_t most,
                 std::int64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  std::int64_t read = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    read = read * 10 + (c - '0');
  }
  if (read < least || read > most) return false;
  value = read;
  return true;
}

// A generator's whole number within bounds; the generator option is remembered, so that one
// given without a generator can be named.
void note_generator_option(std::string_view name, command_line& cl) {
  cl.generator_option = name;
  if (name == "--max-size" || name == "--cases") cl.generate_only_option = name;
  if (name == "--size" || name == "--keys" || name == "--shape") {
    cl.generate_large_only_option = name;
  }
}

template <std::int64_t command_line::*target, std::int64_t least, std::int64_t most>
void take_number(const option_value& option, command_line& cl) {
  note_generator_option(option.name, cl);
  if (!read_number(option.text, least, most, cl.*target)) {
    cl.error = "hash_checker: option '" + std::string(option.name) +
               "' takes a whole number from " + std::to_string(least) + " to " +
               std::to_string(most) + ", not '" + std::string(option.text) + "'";
  }
}

void take_cases(const option_value& option, command_line& cl) {
  take_number<&command_line::cases, 1, 1000>(option, cl);
  cl.cases_given = true;
}

void take_shape(const option_value& option, command_line& cl) {
  const std::string_view value = option.text;
  note_generator_option(option.name, cl);
  cl.shape = value;
  if (value != "random" && value != "clustered" && value != "wrap" && value != "repeated") {
    cl.error = "hash_checker: option '--shape' takes random, clustered, wrap or repeated, not '" +
               std::string(value) + "'";
  }
}

void take_reveal(const option_value& option, command_line& cl) {
  const std::optional<reveal_level> level = parse_reveal(option.text);
  if (level) cl.reveal = *level;
  if (!level) {
    cl.error = "hash_checker: option '--reveal' takes " + std::string(reveal_choices()) +
               ", not '" + std::string(option.text) + "'";
  }
}

void take_visibility(const option_value& option, command_line& cl) {
  constexpr std::string_view names[] = {"visible", "hidden", "after_due_date", "after_published"};
  cl.gradescope_visibility_given = true;
  cl.gradescope_visibility = option.text;
  if (std::find(std::begin(names), std::end(names), option.text) == std::end(names)) {
    cl.error =
        "hash_checker: option '--gradescope-visibility' takes visible, hidden, after_due_date or "
        "after_published, not '" +
        std::string(option.text) + "'";
  }
}

void take_separators(const option_value& option, command_line& cl) {
  cl.request.any_separator = option.text == "any";
  if (option.text != "any" && option.text != "spaces") {
    cl.error = "hash_checker: option '--separators' takes spaces or any, not '" +
               std::string(option.text) + "'";
  }
}

// "--color" alone means always.
void take_color(const option_value& option, command_line& cl) {
  constexpr std::pair<std::string_view, color_mode> names[] = {{"auto", color_mode::automatic},
                                                               {"always", color_mode::always},
                                                               {"never", color_mode::never}};
  const std::string_view value = option.given ? option.text : "always";
  for (const auto& [name, mode] : names) {
    if (value != name) continue;
    cl.color = mode;
    return;
  }
  cl.error = "hash_checker: option '--color' takes auto, always or never, not '" +
             std::string(option.text) + "'";
}

// A column title or a file pattern: not empty, and without a control byte, which would reach
// the import file or the terminal raw.
template <std::string command_line::*target>
void take_name(const option_value& option, command_line& cl) {
  cl.*target = option.text;
  const auto control = std::find_if(option.text.begin(), option.text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  if (option.text.empty()) {
    cl.error = "hash_checker: option '" + std::string(option.name) +
               "' needs a value: " + std::string(option.name) + "=TEXT";
  } else if (control != option.text.end()) {
    constexpr std::string_view hex = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(*control);
    cl.error = "hash_checker: option '" + std::string(option.name) +
               "' holds the control byte \\x" + hex[byte >> 4U] + hex[byte & 0xfU];
  }
}

// A number of points with at most two decimals, above 0 and at most a million, in hundredths.
bool read_points(std::string_view text, std::int64_t& hundredths) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view part = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || whole.size() > 7 || part.size() > 2 ||
      (dot != std::string_view::npos && part.empty())) {
    return false;
  }
  std::int64_t value = 0;
  for (const char c : std::string(whole) + std::string(part) + std::string(2 - part.size(), '0')) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value <= 0 || value > 100000000) return false;
  hundredths = value;
  return true;
}

void take_points(const option_value& option, command_line& cl) {
  cl.points_given = true;
  if (!read_points(option.text, cl.points_hundredths)) {
    cl.error =
        "hash_checker: option '--points' takes a number above 0 and at most 1000000, with at "
        "most two decimals, not '" +
        std::string(option.text) + "'";
  }
}

// Every option but the reports', in the order --help lists them. A row's help lines are separated
// by '\n'; a row without help is not listed on its own (a one-letter row begins the next row's
// line instead).
constexpr option_row options_before_reports[] = {
    {"-h", "", "", take_flag<&command_line::help>},
    {"--help", "", "print this help and exit; no file is opened", take_flag<&command_line::help>},
    {"--version", "", "print the version and exit", take_flag<&command_line::version>},
    {"--answer-file", "=PATH", "write the answer file to PATH (default ./hash_answer.txt)",
     take_answer_file},
    {"--no-answer-file", "", "write no answer file", take_no_answer_file},
};

// The reports' options (app/report_factory.cpp) come between these two.
constexpr option_row options_after_reports[] = {
    {"--explain", "", "after each Wrong line, say where it goes wrong and why",
     take_flag<&command_line::explain>},
    {"--fail-on-wrong", "", "end with status 3 instead of 0 when any graded line is Wrong",
     take_flag<&command_line::fail_on_wrong>},
    {"--separators", "=WHICH",
     "how submitted keys are separated: spaces (the default: single spaces)\n"
     "or any (any run of spaces, tabs, commas or semicolons; brackets ignored)",
     take_separators},
    {"--vpl", "",
     "the console in Moodle VPL's form: a Comment :=>> line per Wrong line,\n"
     "then Grade :=>> G, G out of --points (default 10)",
     take_flag<&command_line::vpl>},
    {"--color", "[=WHEN]",
     "Right in green, Wrong in red: auto (the default: only on a terminal,\n"
     "and only when NO_COLOR is unset or empty), always or never",
     take_color},
    {"--gradebook", "=FILE",
     "grade a class into the CSV FILE; the console shows a line per\n"
     "submission and a class summary",
     take_path<&command_line::gradebook>},
    {"--report-dir", "=DIR", "with --gradebook: a JSON report per submission and class.json in DIR",
     take_path<&command_line::report_dir>},
    {"--html-dir", "=DIR", "with --gradebook: an HTML page per submission and index.html in DIR",
     take_path<&command_line::html_dir>},
    {"--follow-links", "",
     "with --gradebook: read the files that links in a submission\n"
     "folder point to (without it, each such link is a row, not graded)",
     take_flag<&command_line::follow_links>},
    {"--roster", "=FILE.csv",
     "with --gradebook: the course's Canvas, Moodle or Blackboard grade\n"
     "export, or a CSV with an id column; each submission is matched to a\n"
     "student by the identifier in its download name, and those left over\n"
     "are listed; with --make-variants: the students to make inputs for",
     take_path<&command_line::roster>},
    {"--lms-csv", "=FILE", "with --roster: the grades in that system's import layout",
     take_path<&command_line::lms_csv>},
    {"--assignment", "=NAME",
     "with --lms-csv: the grade column (its whole title, its title without\n"
     "the id, or the id) the grades go in; it must be in the roster",
     take_name<&command_line::assignment>},
    {"--new-column", "=TITLE", "with --lms-csv: a new grade column TITLE the grades go in",
     take_name<&command_line::new_column>},
    {"--points", "=N",
     "with --lms-csv: what all lines right is worth, when the roster gives\n"
     "no maximum (it must agree with one it gives); with --vpl (default 10),\n"
     "--github-classroom or --prairielearn: what the grade is out of",
     take_points},
    {"--pick", "=GLOB",
     "with --gradebook: in a student's folder of several files, the one\n"
     "whose name matches GLOB ('*.txt') is the submission",
     take_name<&command_line::pick>},
    {"--reveal", "=LEVEL",
     "what the reports and a class's per-submission reports show: all (the\n"
     "default), diagnosis (no expected layout, key, slot or probe path),\n"
     "mistake (Right or Wrong per line and the named mistake), verdict\n"
     "(Right or Wrong per line and the totals) or score (the totals)",
     take_reveal},
    {"--gradescope-visibility", "=WHEN",
     "with --gradescope: when students see each test:\n"
     "visible (the default), hidden, after_due_date or after_published",
     take_visibility},
    {"--audit", "",
     "hash_checker --audit INPUT: which known mistakes the cases of INPUT\n"
     "catch, on each strategy; --json=FILE writes it as a report",
     take_flag<&command_line::audit>},
    {"--generate", "=FILE",
     "write an input whose audit catches every mistake to FILE\n"
     "(--seed=N, default 1; --max-size=M, the largest table, default 13)",
     take_path<&command_line::generate>},
    {"--generate-large", "=FILE",
     "write one large case to FILE: --size=M slots, --keys=N keys,\n"
     "--shape=random|clustered|wrap|repeated (default random), --seed=N",
     take_path<&command_line::generate_large>},
    {"--make-variants", "=DIR",
     "with --roster: write one input per student into DIR, each auditing\n"
     "clean, and DIR/variants.csv (--seed=N, --max-size=M, --cases=K at least,\n"
     "--only=ID one student again, --overwrite, --answer-dir=DIR2 the answers)",
     take_path<&command_line::make_variants>},
    {"--cases", "=K", "", take_cases},
    {"--only", "=ID", "", take_name<&command_line::only>},
    {"--overwrite", "", "", take_flag<&command_line::overwrite>},
    {"--answer-dir", "=DIR2", "", take_path<&command_line::answer_dir>},
    {"--variant-dir", "=DIR",
     "with --gradebook and --roster: grade each submission against its\n"
     "student's own input in DIR, as --make-variants wrote it",
     take_path<&command_line::variant_dir>},
    {"--seed", "=N", "", take_number<&command_line::seed, 0, INT64_MAX>},
    {"--max-size", "=M", "", take_number<&command_line::max_size, 1, 1073741823>},
    {"--size", "=M", "", take_number<&command_line::size, 1, 1073741823>},
    {"--keys", "=N", "", take_number<&command_line::keys, 0, INT32_MAX>},
    {"--shape", "=SHAPE", "", take_shape},
};

// A report's FILE, kept where its row in the report table says.
void take_report(const option_value& option, command_line& cl) {
  for (const report_kind& kind : report_kinds()) {
    if (kind.option != option.name) continue;
    if (option.text.empty()) {
      cl.error = "hash_checker: option '" + std::string(option.name) +
                 "' needs a path: " + std::string(option.name) + "=PATH";
    }
    cl.*kind.path = option.text;
  }
}

std::vector<option_row> every_option() {
  std::vector<option_row> rows(std::begin(options_before_reports),
                               std::end(options_before_reports));
  const std::span<const report_kind> reports = report_kinds();
  std::transform(reports.begin(), reports.end(), std::back_inserter(rows), [](const auto& kind) {
    return option_row{kind.option, "=FILE", kind.help, take_report};
  });
  rows.insert(rows.end(), std::begin(options_after_reports), std::end(options_after_reports));
  return rows;
}

// Takes one option into `cl`; sets `cl.error` when it is unknown or its value is wrong.
void take_option(std::string_view argument, command_line& cl) {
  const std::size_t equals = argument.find('=');
  const bool given = equals != std::string_view::npos;
  const option_value option{argument.substr(0, equals),
                            given ? argument.substr(equals + 1) : std::string_view{}, given};
  const std::span<const option_row> options = option_table();
  const auto row = std::find_if(options.begin(), options.end(),
                                [&](const option_row& r) { return r.name == option.name; });
  if (row == options.end()) {
    cl.error = unknown(argument);
    return;
  }
  row->take(option, cl);
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "-v" and "-help" are options (unknown ones), never a MODE read as 0; "-1" stays a MODE and "-"
// stays a path.
bool is_option(std::string_view argument) {
  if (argument.size() > 2 && argument.substr(0, 2) == "--") return true;
  return argument.size() > 1 && argument[0] == '-' && is_letter(argument[1]);
}

// The options of the reports that `refuses`, as "--a, --b and --c".
template <class refusal>
std::string report_options(refusal refuses) {
  std::vector<std::string_view> names;
  for (const report_kind& kind : report_kinds()) {
    if (refuses(kind)) names.push_back(kind.option);
  }
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// When `cl` asks for a report that `refuses`, the options of every report that does (see
// report_options); otherwise an empty text.
template <class refusal>
std::string asked_reports(const command_line& cl, refusal refuses) {
  const std::span<const report_kind> kinds = report_kinds();
  const bool asked = std::any_of(kinds.begin(), kinds.end(), [&](const report_kind& kind) {
    return refuses(kind) && !(cl.*kind.path).empty();
  });
  return asked ? report_options(refuses) : "";
}

bool refused_with_gradebook(const report_kind& kind) { return !kind.with_gradebook; }

// The input tools write their own JSON report with --json, and no other.
bool writes_no_audit(const report_kind& kind) { return kind.path != &command_line::json; }

// A class run: INPUT, then the submissions; a report of one file would be one of many here.
void take_gradebook_positionals(const std::vector<std::string>& positional, command_line& cl) {
  const std::string refused = asked_reports(cl, refused_with_gradebook);
  if (!refused.empty()) {
    cl.error =
        "hash_checker: --gradebook writes a JSON report per submission with --report-dir="
        "DIR; " +
        refused + " don't combine with it";
    return;
  }
  if (!cl.variant_dir.empty()) {
    // Each student's input is their own variant, so every positional argument is a submission,
    // and the answers are the variants' own (--make-variants --answer-dir).
    if (positional.empty()) {
      cl.error = "hash_checker: --gradebook with --variant-dir needs at least one SUBMISSION";
    } else if (cl.answer_file_named && !cl.no_answer_file) {
      cl.error =
          "hash_checker: --variant-dir grades against many inputs, so there is no one answer "
          "file; --answer-file doesn't combine with it";
    }
    cl.no_answer_file = true;
    cl.request.input_path.clear();  // not ./hash_input.txt: no one input is read
    cl.submissions = positional;
    return;
  }
  if (positional.size() < 2) {
    cl.error = "hash_checker: --gradebook needs INPUT and at least one SUBMISSION";
    return;
  }
  cl.request.input_path = positional[0];
  cl.submissions.assign(positional.begin() + 1, positional.end());
}

// The input tools: --audit INPUT, --generate=FILE and --generate-large=FILE, one at a time and
// without a checking run's reports but --json.
void take_input_tool_positionals(const std::vector<std::string>& positional, command_line& cl) {
  const int tools =
      (cl.audit ? 1 : 0) + (cl.generate.empty() ? 0 : 1) + (cl.generate_large.empty() ? 0 : 1);
  if (tools > 1 || !cl.gradebook.empty()) {
    cl.error = "hash_checker: --audit, --generate, --generate-large and --gradebook don't combine";
  } else if (const std::string refused = asked_reports(cl, writes_no_audit); !refused.empty()) {
    cl.error =
        "hash_checker: " + refused + " don't combine with --audit or --generate; --json does";
  } else if (cl.audit && positional.size() != 1) {
    cl.error = "hash_checker: --audit needs exactly one INPUT";
  } else if (!cl.audit && !positional.empty()) {
    cl.error = "hash_checker: --generate and --generate-large take no positional argument";
  } else if (cl.audit && !cl.generator_option.empty()) {
    cl.error = "hash_checker: option '" + cl.generator_option +
               "' needs --generate=FILE or --generate-large=FILE";
  } else if (!cl.generate.empty() && !cl.generate_large_only_option.empty()) {
    cl.error = "hash_checker: option '" + cl.generate_large_only_option +
               "' applies to --generate-large, not --generate";
  } else if (!cl.generate_large.empty() && !cl.generate_only_option.empty()) {
    cl.error = "hash_checker: option '" + cl.generate_only_option +
               "' applies to --generate, not --generate-large";
  } else if (!cl.generate_large.empty() && (cl.size == 0 || cl.keys < 0)) {
    cl.error = "hash_checker: --generate-large needs --size=M and --keys=N";
  } else if (!cl.generate_large.empty() && cl.keys > 0 && !table_takes_keys(cl.size)) {
    cl.error = "hash_checker: --generate-large: a table of " + std::to_string(cl.size) +
               " slots can't take keys (a remainder by zero), so the checker would refuse the "
               "case; give another --size or --keys=0";
  } else if (!cl.generate_large.empty() && !cl.json.empty()) {
    cl.error = "hash_checker: --generate-large writes no report; --json doesn't combine with it";
  } else if (cl.audit) {
    cl.request.input_path = positional[0];
  }
}

// --lms-csv needs the roster it follows, and --assignment and --points the file they shape.
void take_lms_options(command_line& cl) {
  if (!cl.lms_csv.empty() && cl.roster.empty()) {
    cl.error = "hash_checker: option '--lms-csv' needs --roster=FILE.csv";
  } else if (cl.lms_csv.empty() && !cl.assignment.empty()) {
    cl.error = "hash_checker: option '--assignment' needs --lms-csv=FILE";
  } else if (cl.lms_csv.empty() && !cl.new_column.empty()) {
    cl.error = "hash_checker: option '--new-column' needs --lms-csv=FILE";
  } else if (cl.lms_csv.empty() && cl.points_given) {
    cl.error = "hash_checker: option '--points' needs --lms-csv=FILE";
  } else if (!cl.assignment.empty() && !cl.new_column.empty()) {
    cl.error = "hash_checker: --assignment and --new-column each name the grade column; give one";
  } else if (cl.roster == "-" && cl.request.input_path == "-") {
    cl.error =
        "hash_checker: standard input can be read once: '-' may be INPUT or the roster, "
        "not both";
  } else if (cl.vpl) {
    cl.error =
        "hash_checker: option '--vpl' grades one submission; it doesn't combine with --gradebook";
  }
}

constexpr std::string_view wrong_count =
    " arguments fit none of the forms MODE, MODE INPUT OUTPUT, or MODE INPUT with a nonzero "
    "MODE (answer-only); see 'hash_checker --help'";

// INPUT and OUTPUT may be "-" for standard input, which can be read only once. In answer-only
// mode OUTPUT is never read, so only INPUT counts then.
void take_standard_input(command_line& cl) {
  const bool input = cl.request.input_path == "-";
  const bool output = !cl.request.answer_only && cl.request.output_path == "-";
  if (input && output) {
    cl.error =
        "hash_checker: standard input can be read once: '-' may be INPUT or OUTPUT, not both";
  }
  cl.reads_standard_input = input || output;
}

// An option of one input per student given without the run it shapes; empty when none is.
std::string variant_option_astray(const command_line& cl) {
  const bool making = !cl.make_variants.empty();
  const std::pair<bool, std::string_view> astray[] = {
      {!making && !cl.only.empty(), "'--only' needs --make-variants=DIR"},
      {!making && cl.overwrite, "'--overwrite' needs --make-variants=DIR"},
      {!making && !cl.answer_dir.empty(), "'--answer-dir' needs --make-variants=DIR"},
      {!making && cl.cases_given && cl.generate.empty(),
       "'--cases' needs --make-variants=DIR or --generate=FILE"},
      {!cl.variant_dir.empty() && (cl.gradebook.empty() || cl.roster.empty()),
       "'--variant-dir' needs --gradebook=FILE and --roster=FILE.csv"}};
  for (const auto& [given, text] : astray) {
    if (given) return "hash_checker: option " + std::string(text);
  }
  return "";
}

bool any_report(const report_kind& /*kind*/) { return true; }

// --make-variants=DIR --roster=FILE: no positional argument, no report, no other tool.
void take_make_variants_positionals(const std::vector<std::string>& positional, command_line& cl) {
  const bool other_tool =
      cl.audit || !cl.generate.empty() || !cl.generate_large.empty() || !cl.gradebook.empty();
  const bool lms_output = !cl.lms_csv.empty() || !cl.assignment.empty() || !cl.new_column.empty() ||
                          cl.points_given || !cl.pick.empty();
  if (other_tool) {
    cl.error =
        "hash_checker: --make-variants doesn't combine with --audit, --generate, "
        "--generate-large or --gradebook";
  } else if (const std::string reports = asked_reports(cl, any_report); !reports.empty()) {
    cl.error = "hash_checker: --make-variants writes no report; " + reports + " don't combine";
  } else if (!positional.empty()) {
    cl.error = "hash_checker: --make-variants takes no positional argument";
  } else if (cl.roster.empty()) {
    cl.error = "hash_checker: --make-variants needs --roster=FILE.csv, the students to make for";
  } else if (lms_output || cl.size != 0 || cl.keys >= 0) {
    cl.error =
        "hash_checker: --make-variants takes --roster, --seed, --max-size, --cases, --only, "
        "--overwrite and --answer-dir, and no other option of a run";
  } else if (!cl.answer_dir.empty() && cl.answer_dir == cl.make_variants) {
    cl.error = "hash_checker: --answer-dir must be another folder than --make-variants";
  }
}

// The meaning of the positional arguments, by their count: none, MODE, MODE INPUT (answer-only)
// or MODE INPUT OUTPUT. Any other count is refused, so a run never grades a file that wasn't named.
void take_positionals(const std::vector<std::string>& positional, command_line& cl) {
  // --help and --version answer without a run, so a class run's arguments don't matter then.
  const bool runs = !cl.help && !cl.version;
  if (const std::string astray = variant_option_astray(cl); !astray.empty() && runs) {
    cl.error = astray;
    return;
  }
  if (!cl.make_variants.empty()) {
    if (runs) take_make_variants_positionals(positional, cl);
    return;
  }
  if (cl.audit || !cl.generate.empty() || !cl.generate_large.empty()) {
    if (runs) take_input_tool_positionals(positional, cl);
    return;
  }
  if (!cl.generator_option.empty() && runs) {
    cl.error = "hash_checker: option '" + cl.generator_option +
               "' needs --generate=FILE, --generate-large=FILE or --make-variants=DIR";
    return;
  }
  if (cl.gradescope_visibility_given && cl.gradescope.empty() && runs) {
    cl.error = "hash_checker: option '--gradescope-visibility' needs --gradescope=FILE";
    return;
  }
  if (!cl.gradebook.empty()) {
    if (runs) take_gradebook_positionals(positional, cl);
    if (runs && cl.error.empty()) take_lms_options(cl);
    return;
  }
  const bool graded_in_points = cl.vpl || !cl.github_classroom.empty() || !cl.prairielearn.empty();
  const std::pair<bool, std::string_view> lms_options[] = {
      {!cl.roster.empty(), "--roster"},
      {!cl.lms_csv.empty(), "--lms-csv"},
      {!cl.assignment.empty(), "--assignment"},
      {!cl.new_column.empty(), "--new-column"},
      {cl.points_given && !graded_in_points, "--points"},
      {!cl.pick.empty(), "--pick"}};
  for (const auto& [given, option] : lms_options) {
    if (!given || !runs) continue;
    cl.error = "hash_checker: option '" + std::string(option) + "' needs --gradebook=FILE";
    return;
  }
  if (cl.vpl && !cl.points_given) cl.points_hundredths = 1000;
  if (!cl.report_dir.empty() && runs) {
    cl.error = "hash_checker: option '--report-dir' needs --gradebook=FILE";
    return;
  }
  if (!cl.html_dir.empty() && runs) {
    cl.error = "hash_checker: option '--html-dir' needs --gradebook=FILE";
    return;
  }
  if (cl.follow_links && runs) {
    cl.error = "hash_checker: option '--follow-links' needs --gradebook=FILE";
    return;
  }
  if (!positional.empty()) cl.request.answer_only = lenient_value(positional[0]) != 0;
  const bool answer_only_input = positional.size() == 2 && cl.request.answer_only;
  if (positional.size() > 3 || (positional.size() == 2 && !answer_only_input)) {
    if (runs) {
      cl.error = "hash_checker: " + std::to_string(positional.size()) + std::string(wrong_count);
    }
    return;
  }
  if (positional.size() >= 2) cl.request.input_path = positional[1];
  if (positional.size() == 3) cl.request.output_path = positional[2];
  take_standard_input(cl);
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& arguments) {
  command_line cl;
  std::vector<std::string> positional;
  bool options_ended = false;
  for (const std::string& argument : arguments) {
    if (!options_ended && argument == "--") {
      options_ended = true;
    } else if (!options_ended && is_option(argument)) {
      take_option(argument, cl);
      if (!cl.error.empty()) return cl;
    } else {
      positional.push_back(argument);
    }
  }
  take_positionals(positional, cl);
  return cl;
}

std::int32_t lenient_value(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[at] - '0'), std::int64_t{1} << 31);
  }
  const std::int64_t value = negative ? -magnitude : std::min<std::int64_t>(magnitude, INT32_MAX);
  return static_cast<std::int32_t>(value);
}

namespace {

// The width that the option and its value take in --help before the help text.
constexpr std::size_t option_column = 19;

constexpr std::string_view usage_forms = R"(Usage:
  hash_checker [OPTION]...                    checking mode, ./hash_input.txt and ./hash_output.txt
  hash_checker [OPTION]... MODE               MODE 0: checking mode; any other number: answer-only
  hash_checker [OPTION]... MODE INPUT         answer-only (MODE not 0), the input file given
  hash_checker [OPTION]... MODE INPUT OUTPUT  the same, with the input and output files given
  hash_checker [OPTION]... --gradebook=FILE INPUT SUBMISSION...
                                              grade a class: each SUBMISSION (a folder: every
                                              file in it) against INPUT, a CSV row each in FILE

Builds three hash tables per case of INPUT (linear probing, two-pass hashing, double hashing),
prints them as the ground truth and writes them to the answer file; in checking mode also judges
each line of OUTPUT Right or Wrong and ends with a summary and a score. Options may stand
anywhere; '--' ends them, and every argument after it is a MODE or a file, whatever it begins
with (put it before a glob of submissions). INPUT or OUTPUT '-' is standard input.

Options:
)";

constexpr std::string_view usage_class_notes = R"(
With --gradebook, --answer-file, --no-answer-file and --fail-on-wrong apply to the whole run;
--explain (the Wrong lines under the submission's line) and --color (its state) apply per
submission;
)";

constexpr std::string_view usage_notes = R"( don't combine with it.

Every file is written to a temporary file beside it and renamed over it at the end, so an
earlier file stays whole until the new one is complete. Reports are written even when the run
fails to start; the answer file only when the run completes.

)";

constexpr std::string_view usage_audit_note =
    R"(With --audit (and --generate, which prints the audit of what it wrote), 0 means every mistake
the input's table sizes can reveal is caught, 1 that one is not, a case was refused or not
built, or the input ended early.
)";

// The lines of --help for `row`; `short_name` begins the line when the row has one ("-h, ").
std::string option_lines(const option_row& row, std::string_view short_name) {
  std::string label = std::string(row.name) + std::string(row.value);
  const std::size_t gap = label.size() < option_column ? option_column - label.size() : 2;
  std::string text = short_name.empty() ? "      " : "  " + std::string(short_name) + ", ";
  text += label + std::string(gap, ' ');
  for (const char c : row.help) {
    text += c;
    if (c == '\n') text += std::string(6 + option_column, ' ');
  }
  return text + "\n";
}

}  // namespace

std::span<const option_row> option_table() {
  static const std::vector<option_row> rows = every_option();
  return rows;
}

std::string usage_text() {
  std::string text(usage_forms);
  std::string_view short_name;
  for (const option_row& row : option_table()) {
    if (row.help.empty()) {
      if (row.name.size() == 2) short_name = row.name;
      continue;
    }
    text += option_lines(row, short_name);
    short_name = {};
  }
  return text + std::string(usage_class_notes) + report_options(refused_with_gradebook) +
         std::string(usage_notes) + exit_status_help() + std::string(usage_audit_note);
}
