// The members that name a case, shared by every JSON document that lists cases.
#pragma once

#include <string_view>

#include "checker/results.h"
#include "render/json_writer.h"

/// "built", "refused" or "not built".
std::string_view state_key(case_state state);

/// The members "case", "size_line", "table_size", "state" and "message" (null when empty) of a
/// case record: a run's case or an audit's.
template <typename case_record>
void put_case_members(json_object& object, const case_record& record) {
  object.number("case", record.number);
  object.number("size_line", record.size_line);
  object.number("table_size", record.table_size);
  object.string("state", state_key(record.state));
  object.string_or_null("message", record.message);
}
