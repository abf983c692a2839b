// The audit on the console: a table of mistakes by strategies, then a sentence for each missed
// mistake on what kind of case would catch it, and the outcome.
#pragma once

#include <string>
#include <string_view>

#include "checker/audit.h"
#include "render/text_out.h"

/// "1 case", "2 cases".
std::string count_of_cases(std::size_t count);

/// What kind of case catches `mistake`, as one sentence ending in a full stop.
std::string_view audit_hint(mistake_id mistake);

/// The cell of a verdict: "caught in case 3, line 11", "missed", "not revealable at these sizes"
/// or "not decided".
std::string audit_cell(const audit_verdict& verdict);

/// Writes the audit of the input at `input_path` (named in the heading, bytes outside printable
/// ASCII as \xHH) to `console`.
void print_audit(text_out& console, std::string_view input_path, const audit_result& result);
