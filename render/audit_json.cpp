#include "render/audit_json.h"

#include <cstdio>

#include "render/json_writer.h"

namespace {

void put_member(text_out& out, std::string_view name, bool first = false) {
  if (!first) put_text(out, ",");
  put_json_name(out, name);
}

void put_optional(text_out& out, const std::optional<std::int64_t>& value) {
  if (value) {
    put_json_number(out, *value);
  } else {
    put_json_null(out);
  }
}

std::string_view state_key(case_state state) {
  switch (state) {
    case case_state::built:
      return "built";
    case case_state::refused:
      return "refused";
    case case_state::not_built:
      break;
  }
  return "not built";
}

void put_verdict(text_out& out, const audit_verdict& v) {
  put_text(out, "{");
  put_member(out, "mistake", true);
  put_json_string(out, audit_mistake_key(v.mistake));
  put_member(out, "strategy");
  put_json_string(out, strategy_key(v.strategy));
  put_member(out, "caught");
  put_json_bool(out, v.caught);
  put_member(out, "case");
  put_optional(out, v.case_number);
  put_member(out, "output_line");
  put_optional(out, v.output_line);
  put_member(out, "revealable");
  put_json_bool(out, v.revealable);
  put_member(out, "decided");
  put_json_bool(out, v.decided);
  put_text(out, "}");
}

void put_facts(text_out& out, const case_facts& facts) {
  put_text(out, "{");
  put_member(out, "case", true);
  put_json_number(out, facts.number);
  put_member(out, "size_line");
  put_json_number(out, facts.size_line);
  put_member(out, "table_size");
  put_json_number(out, facts.table_size);
  put_member(out, "state");
  put_json_string(out, state_key(facts.state));
  put_member(out, "message");
  put_json_string_or_null(out, facts.message);
  put_member(out, "fill_ratio");
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.4f", fill_ratio(facts));
  put_text(out, ratio);
  put_member(out, "longest_run");
  put_json_number(out, facts.longest_run);
  put_member(out, "wrapped");
  put_json_bool(out, facts.wrapped);
  put_member(out, "repeated_keys");
  put_json_number(out, facts.repeated_keys);
  put_member(out, "second_keys_homed_on_first");
  put_json_number(out, facts.second_homed_on_first);
  put_text(out, "}");
}

}  // namespace

void write_audit_json(text_out& out, const audit_header& header, const audit_result& result) {
  put_text(out, "{");
  put_member(out, "version", true);
  put_json_string(out, header.version);
  put_member(out, "mode");
  put_json_string(out, "audit");
  put_member(out, "input");
  put_json_string(out, header.input);
  put_text(out, ",\n");
  put_json_name(out, "audit");
  put_text(out, "[");
  for (std::size_t i = 0; i < result.verdicts.size(); ++i) {
    put_text(out, i == 0 ? "\n " : ",\n ");
    put_verdict(out, result.verdicts[i]);
  }
  put_text(out, "],\n");
  put_json_name(out, "case_facts");
  put_text(out, "[");
  for (std::size_t i = 0; i < result.cases.size(); ++i) {
    put_text(out, i == 0 ? "\n " : ",\n ");
    put_facts(out, result.cases[i]);
  }
  put_text(out, "]");
  put_member(out, "status");
  put_json_number(out, header.status);
  put_member(out, "error");
  put_json_string_or_null(out, header.error);
  put_text(out, "}\n");
}
