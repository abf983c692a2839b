#include "render/audit_json.h"

#include <cstdio>

#include "render/case_json.h"
#include "render/json_writer.h"

namespace {

void put_optional(json_object& object, std::string_view name,
                  const std::optional<std::int64_t>& value) {
  if (value) {
    object.number(name, *value);
  } else {
    object.null(name);
  }
}

void put_verdict(json_array& verdicts, const audit_verdict& v) {
  json_object object(verdicts);
  object.string("mistake", mistake_key(v.mistake));
  object.string("strategy", strategy_key(v.strategy));
  object.boolean("caught", v.caught);
  put_optional(object, "case", v.case_number);
  put_optional(object, "output_line", v.output_line);
  object.boolean("revealable", v.revealable);
  object.boolean("decided", v.decided);
  object.number("readings", static_cast<std::int64_t>(v.readings));
  object.number("readings_caught", static_cast<std::int64_t>(v.readings_caught));
}

void put_facts(json_array& cases, const case_facts& facts) {
  json_object object(cases);
  put_case_members(object, facts);
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.4f", fill_ratio(facts));
  put_text(object.member("fill_ratio"), ratio);
  object.number("longest_run", facts.longest_run);
  object.boolean("wrapped", facts.wrapped);
  object.number("repeated_keys", facts.repeated_keys);
  object.number("second_keys_homed_on_first", facts.second_homed_on_first);
}

constexpr json_layout one_per_line{.before_element = "\n ", .before_end = ""};

}  // namespace

void write_audit_json(text_out& out, const audit_header& header, const audit_result& result) {
  {
    json_object document(out);
    document.string("version", header.version);
    document.string("mode", "audit");
    document.string("input", header.input);
    document.break_line();
    {
      json_array verdicts(document, "audit", one_per_line);
      for (const audit_verdict& v : result.verdicts) put_verdict(verdicts, v);
    }
    document.break_line();
    {
      json_array cases(document, "case_facts", one_per_line);
      for (const case_facts& facts : result.cases) put_facts(cases, facts);
    }
    document.number("status", header.status);
    document.string_or_null("error", header.error);
    document.number("revealable_mistakes", static_cast<std::int64_t>(revealable_mistakes(result)));
    document.number("mistakes", static_cast<std::int64_t>(all_mistakes.size()));
  }
  put_text(out, "\n");
}
