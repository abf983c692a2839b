#include "render/audit_console.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t name_width = 26;
constexpr std::size_t cell_width = 31;

constexpr bool names_fit_their_column() {
  return std::all_of(mistake_catalogue.begin(), mistake_catalogue.end(),
                     [](const mistake_entry& entry) { return entry.key.size() < name_width; });
}
static_assert(names_fit_their_column(), "every mistake's id leaves a space before the first cell");

// Paths and messages may hold any bytes; the console shows only printable ASCII.
std::string printable(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      shown += c;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    shown += escaped;
  }
  return shown;
}

std::string padded(std::string text, std::size_t width) {
  text.resize(std::max(text.size() + 1, width), ' ');
  return text;
}

const audit_verdict* find_verdict(const audit_result& result, mistake_id mistake,
                                  strategy_id strategy) {
  const auto found = std::find_if(
      result.verdicts.begin(), result.verdicts.end(),
      [&](const audit_verdict& v) { return v.mistake == mistake && v.strategy == strategy; });
  return found == result.verdicts.end() ? nullptr : &*found;
}

bool is_missed(const audit_verdict& v) { return !v.caught && v.revealable && v.decided; }

void print_table(text_out& console, const audit_result& result) {
  std::string heading = padded("mistake", name_width);
  for (const strategy_id s : all_strategies) {
    heading += padded(std::string(strategy_title(s)), cell_width);
  }
  while (heading.back() == ' ') heading.pop_back();
  put_text(console, heading + "\n");
  for (const mistake_id mistake : all_mistakes) {
    std::string row = padded(std::string(mistake_key(mistake)), name_width);
    for (const strategy_id s : all_strategies) {
      const audit_verdict* v = find_verdict(result, mistake, s);
      row += padded(v == nullptr ? "-" : audit_cell(*v), cell_width);
    }
    while (row.back() == ' ') row.pop_back();
    put_text(console, row + "\n");
  }
}

void print_cases_left_out(text_out& console, const audit_result& result) {
  for (const case_facts& facts : result.cases) {
    if (facts.state == case_state::built) continue;
    put_text(console, "Case " + std::to_string(facts.number) +
                          " not audited: " + printable(facts.message) + "\n");
  }
}

// One sentence per missed mistake, naming the strategies it is missed on.
void print_hints(text_out& console, const audit_result& result) {
  for (const mistake_id mistake : all_mistakes) {
    std::string missed_on;
    std::string partly_on;
    std::string undecided_on;
    for (const strategy_id s : all_strategies) {
      const audit_verdict* v = find_verdict(result, mistake, s);
      if (v == nullptr) continue;
      const bool undecided = !v->caught && v->revealable && !v->decided;
      if (!is_missed(*v) && !undecided) continue;
      std::string& list =
          undecided ? undecided_on : (v->readings_caught > 0 ? partly_on : missed_on);
      list += (list.empty() ? "" : ", ") + std::string(strategy_title(s));
    }
    if (!missed_on.empty()) {
      put_text(console, std::string(mistake_key(mistake)) + " is missed on " + missed_on + ": " +
                            std::string(audit_hint(mistake)) + "\n");
    }
    if (!partly_on.empty()) {
      put_text(console, std::string(mistake_key(mistake)) + " is partly caught on " + partly_on +
                            ", some of its readings missed: " + std::string(audit_hint(mistake)) +
                            "\n");
    }
    if (!undecided_on.empty()) {
      put_text(console, std::string(mistake_key(mistake)) + " is not decided on " + undecided_on +
                            ": its build gave up at its probe budget before any case caught it.\n");
    }
  }
}

}  // namespace

std::string count_of_cases(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " case" : " cases");
}

std::string_view audit_hint(mistake_id mistake) { return catalogue_entry(mistake).hint; }

std::string audit_cell(const audit_verdict& verdict) {
  if (verdict.caught) {
    return "caught in case " + std::to_string(*verdict.case_number) + ", line " +
           std::to_string(*verdict.output_line);
  }
  if (verdict.readings_caught > 0) {
    return "partly caught: " + std::to_string(verdict.readings_caught) + " of " +
           std::to_string(verdict.readings) + " readings";
  }
  if (!verdict.revealable) return "not revealable at these sizes";
  return verdict.decided ? "missed" : "not decided";
}

void print_audit(text_out& console, std::string_view input_path, const audit_result& result) {
  put_text(console, "Audit of " + printable(input_path) + ": " +
                        count_of_cases(result.cases.size()) + "\n\n");
  print_table(console, result);
  put_text(console, "\n");
  print_cases_left_out(console, result);
  print_hints(console, result);
  const auto missed =
      std::count_if(result.verdicts.begin(), result.verdicts.end(),
                    [](const audit_verdict& v) { return !v.caught && v.revealable; });
  const std::size_t revealable = revealable_mistakes(result);
  if (revealable < all_mistakes.size()) {
    put_text(console, "Not every mistake can show: this input's sizes can reveal " +
                          std::to_string(revealable) + " of " +
                          std::to_string(all_mistakes.size()) + " mistakes.\n");
  }
  // With fewer mistakes revealable than the catalogue holds, "every revealable mistake is
  // caught" would read as a pass, so it is not said.
  if (missed > 0) {
    put_text(console, std::to_string(missed) + " of " +
                          std::to_string(
                              std::count_if(result.verdicts.begin(), result.verdicts.end(),
                                            [](const audit_verdict& v) { return v.revealable; })) +
                          " revealable mistakes on a strategy are not caught.\n");
  } else if (revealable == all_mistakes.size()) {
    put_text(console, "Every revealable mistake is caught on every strategy it applies to.\n");
  }
}
