#include "app/options.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "checker/reveal.h"

namespace {

// An option that takes a path: where to store it.
struct path_option {
  std::string_view name;
  std::string command_line::*target;
};

constexpr path_option path_options[] = {
    {"--answer-file", &command_line::answer_file},
    {"--json", &command_line::json},
    {"--gradescope", &command_line::gradescope},
    {"--junit", &command_line::junit},
    {"--html", &command_line::html},
    {"--gradebook", &command_line::gradebook},
    {"--report-dir", &command_line::report_dir},
    {"--html-dir", &command_line::html_dir},
    {"--generate", &command_line::generate},
    {"--generate-large", &command_line::generate_large},
};

// An option that takes a whole number within bounds.
struct number_option {
  std::string_view name;
  std::int64_t command_line::*target;
  std::int64_t least;
  std::int64_t most;
};

constexpr number_option number_options[] = {
    {"--seed", &command_line::seed, 0, INT64_MAX},
    {"--max-size", &command_line::max_size, 1, 1073741823},
    {"--size", &command_line::size, 1, 1073741823},
    {"--keys", &command_line::keys, 0, INT32_MAX},
};

struct flag_option {
  std::string_view name;
  bool command_line::*target;
};

constexpr flag_option flag_options[] = {
    {"--help", &command_line::help},       {"-h", &command_line::help},
    {"--version", &command_line::version}, {"--fail-on-wrong", &command_line::fail_on_wrong},
    {"--explain", &command_line::explain}, {"--no-answer-file", &command_line::no_answer_file},
    {"--audit", &command_line::audit},     {"--follow-links", &command_line::follow_links},
};

std::string unknown(std::string_view option) {
  return "hash_checker: unknown option '" + std::string(option) + "'; see 'hash_checker --help'";
}

bool read_color(std::string_view value, color_mode& color) {
  constexpr std::pair<std::string_view, color_mode> names[] = {{"auto", color_mode::automatic},
                                                               {"always", color_mode::always},
                                                               {"never", color_mode::never}};
  for (const auto& [name, mode] : names) {
    if (value != name) continue;
    color = mode;
    return true;
  }
  return false;
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

// Takes one option into `cl`; sets `cl.error` when it is unknown or its value is wrong.
void take_option(std::string_view argument, command_line& cl) {
  const std::size_t equals = argument.find('=');
  const std::string_view name = argument.substr(0, equals);
  const bool has_value = equals != std::string_view::npos;
  const std::string_view value = has_value ? argument.substr(equals + 1) : std::string_view{};
  for (const flag_option& flag : flag_options) {
    if (name != flag.name) continue;
    if (has_value) cl.error = "hash_checker: option '" + std::string(name) + "' takes no value";
    cl.*flag.target = true;
    return;
  }
  for (const path_option& option : path_options) {
    if (name != option.name) continue;
    if (value.empty()) {
      cl.error = "hash_checker: option '" + std::string(name) +
                 "' needs a path: " + std::string(name) + "=PATH";
    }
    cl.*option.target = value;
    return;
  }
  for (const number_option& option : number_options) {
    if (name != option.name) continue;
    cl.generator_option = name;
    if (!read_number(value, option.least, option.most, cl.*option.target)) {
      cl.error = "hash_checker: option '" + std::string(name) + "' takes a whole number from " +
                 std::to_string(option.least) + " to " + std::to_string(option.most) + ", not '" +
                 std::string(value) + "'";
    }
    return;
  }
  if (name == "--shape") {
    cl.generator_option = name;
    cl.shape = value;
    if (value != "random" && value != "clustered" && value != "wrap" && value != "repeated") {
      cl.error = "hash_checker: option '--shape' takes random, clustered, wrap or repeated, not '" +
                 std::string(value) + "'";
    }
    return;
  }
  if (name == "--reveal") {
    const std::optional<reveal_level> level = parse_reveal(value);
    if (level) cl.reveal = *level;
    if (!level) {
      cl.error = "hash_checker: option '--reveal' takes all, diagnosis, verdict or score, not '" +
                 std::string(value) + "'";
    }
    return;
  }
  if (name == "--color") {
    if (!read_color(has_value ? value : "always", cl.color)) {
      cl.error = "hash_checker: option '--color' takes auto, always or never, not '" +
                 std::string(value) + "'";
    }
    return;
  }
  cl.error = unknown(argument);
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "-v" and "-help" are options (unknown ones), never a MODE read as 0; "-1" stays a MODE and "-"
// stays a path.
bool is_option(std::string_view argument) {
  if (argument.size() > 2 && argument.substr(0, 2) == "--") return true;
  return argument.size() > 1 && argument[0] == '-' && is_letter(argument[1]);
}

// A class run: INPUT, then the submissions; a report of one file would be one of many here.
void take_gradebook_positionals(const std::vector<std::string>& positional, command_line& cl) {
  if (!cl.json.empty() || !cl.gradescope.empty() || !cl.junit.empty() || !cl.html.empty()) {
    cl.error =
        "hash_checker: --gradebook writes a JSON report per submission with --report-dir="
        "DIR; --json, --gradescope, --junit and --html don't combine with it";
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
  } else if (!cl.gradescope.empty() || !cl.junit.empty() || !cl.html.empty()) {
    cl.error =
        "hash_checker: --gradescope, --junit and --html don't combine with --audit or "
        "--generate; --json does";
  } else if (cl.audit && positional.size() != 1) {
    cl.error = "hash_checker: --audit needs exactly one INPUT";
  } else if (!cl.audit && !positional.empty()) {
    cl.error = "hash_checker: --generate and --generate-large take no positional argument";
  } else if (!cl.generate_large.empty() && (cl.size == 0 || cl.keys < 0)) {
    cl.error = "hash_checker: --generate-large needs --size=M and --keys=N";
  } else if (!cl.generate_large.empty() && !cl.json.empty()) {
    cl.error = "hash_checker: --generate-large writes no report; --json doesn't combine with it";
  } else if (cl.audit) {
    cl.request.input_path = positional[0];
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

// The meaning of the positional arguments, by their count: none, MODE, MODE INPUT (answer-only)
// or MODE INPUT OUTPUT. Any other count is refused, so a run never grades a file that wasn't named.
void take_positionals(const std::vector<std::string>& positional, command_line& cl) {
  // --help and --version answer without a run, so a class run's arguments don't matter then.
  const bool runs = !cl.help && !cl.version;
  if (cl.audit || !cl.generate.empty() || !cl.generate_large.empty()) {
    if (runs) take_input_tool_positionals(positional, cl);
    return;
  }
  if (!cl.generator_option.empty() && runs) {
    cl.error = "hash_checker: option '" + cl.generator_option +
               "' needs --generate=FILE or --generate-large=FILE";
    return;
  }
  if (!cl.gradebook.empty()) {
    if (runs) take_gradebook_positionals(positional, cl);
    return;
  }
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
      if (argument.rfind("--answer-file=", 0) == 0 || argument == "--no-answer-file") {
        cl.answer_file_named = true;
      }
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

std::string usage_text() {
  return R"(Usage:
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
  -h, --help             print this help and exit; no file is opened
      --version          print the version and exit
      --answer-file=PATH write the answer file to PATH (default ./hash_answer.txt)
      --no-answer-file   write no answer file
      --json=FILE        write a JSON report of every case and line to FILE
      --gradescope=FILE  write a Gradescope results.json to FILE
      --junit=FILE       write a JUnit XML report to FILE
      --html=FILE        write a self-contained HTML page of every case to FILE
      --explain          after each Wrong line, say where it goes wrong and why
      --fail-on-wrong    end with status 3 instead of 0 when any graded line is Wrong
      --color[=WHEN]     Right in green, Wrong in red: auto (the default: only on a terminal,
                         and only when NO_COLOR is unset or empty), always or never
      --gradebook=FILE   grade a class into the CSV FILE; the console shows a line per
                         submission and a class summary
      --report-dir=DIR   with --gradebook: a JSON report per submission and class.json in DIR
      --html-dir=DIR     with --gradebook: an HTML page per submission and index.html in DIR
      --follow-links     with --gradebook: read the files that links in a submission
                         folder point to (without it, each such link is a row, not graded)
      --reveal=LEVEL     what the reports and a class's per-submission reports show: all (the
                         default), diagnosis (no expected layout, key, slot or probe path),
                         verdict (Right or Wrong per line and the totals) or score (the totals)
      --audit            hash_checker --audit INPUT: which known mistakes the cases of INPUT
                         catch, on each strategy; --json=FILE writes it as a report
      --generate=FILE    write an input whose audit catches every mistake to FILE
                         (--seed=N, default 1; --max-size=M, the largest table, default 13)
      --generate-large=FILE  write one large case to FILE: --size=M slots, --keys=N keys,
                         --shape=random|clustered|wrap|repeated (default random), --seed=N

With --gradebook, --answer-file, --no-answer-file and --fail-on-wrong apply to the whole run;
--explain (the Wrong lines under the submission's line) and --color (its state) apply per
submission; --json, --gradescope, --junit and --html don't combine with it.

Every file is written to a temporary file beside it and renamed over it at the end, so an
earlier file stays whole until the new one is complete. Reports are written even when the run
fails to start; the answer file only when the run completes.

Exit status:
  0    every case was built (and graded, in checking mode)
  1    the run completed, but a case was refused or not built, or the input ended early,
       or (--gradebook) a submission could not be opened or read or was not graded (a
       link, FIFO, socket or device in a folder), or no submission was graded at all
  2    a usage error: an unknown option or a bad option value, a count of arguments that
       fits no form, '-' for both INPUT and OUTPUT, --gradebook without a submission;
       --generate when no input of tables that small can catch every mistake
  3    with --fail-on-wrong: the run would end with 0, but a graded line is Wrong
  255  a file could not be opened, read or written, line 1 holds no case count, a file is
       another's (the input or output is the answer file), or memory ran out
With --audit (and --generate, which prints the audit of what it wrote), 0 means every mistake
the input's table sizes can reveal is caught, 1 that one is not, a case was refused or not
built, or the input ended early.
)";
}
