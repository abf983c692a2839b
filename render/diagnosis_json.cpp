#include "render/diagnosis_json.h"

#include <optional>
#include <string_view>

#include "render/json_writer.h"

namespace {

// Members after the first are preceded by a comma.
void member(text_out& out, std::string_view name, bool first = false) {
  if (!first) put_text(out, ",");
  put_json_name(out, name);
}

template <typename number>
void put_optional(text_out& out, std::string_view name, const std::optional<number>& value) {
  member(out, name);
  if (value) {
    put_json_number(out, *value);
  } else {
    put_json_null(out);
  }
}

void put_path(text_out& out, const diagnosis& d) {
  member(out, "path");
  put_text(out, "[");
  for (std::size_t i = 0; i < d.path.size(); ++i) {
    put_text(out, i == 0 ? "{" : ",{");
    member(out, "slot", true);
    put_json_number(out, d.path[i].slot);
    member(out, "held");
    put_json_number(out, d.path[i].held);
    put_text(out, "}");
  }
  put_text(out, "]");
  member(out, "path_length");
  put_json_number(out, d.path_length);
}

void put_key_group(text_out& out, std::string_view list, const key_list& keys,
                   std::string_view count_name, std::int64_t count) {
  member(out, list);
  put_json_keys(out, keys);
  member(out, count_name);
  put_json_number(out, count);
}

void put_notes(text_out& out, const diagnosis& d) {
  member(out, "notes");
  put_text(out, "[");
  for (std::size_t i = 0; i < d.notes.size(); ++i) {
    put_text(out, i == 0 ? "{" : ",{");
    member(out, "index", true);
    put_json_number(out, static_cast<std::int64_t>(d.notes[i].index));
    member(out, "token");
    put_json_string(out, d.notes[i].text);
    put_optional(out, "read_as", d.notes[i].read_as);
    put_text(out, "}");
  }
  put_text(out, "]");
}

// The first misplaced key and its way through the correct build.
void put_misplaced(text_out& out, const diagnosis& d) {
  put_optional(out, "first_misplaced_key", d.first_misplaced_key);
  member(out, "insertion_number");
  put_json_number(out, d.insertion_number);
  put_optional(out, "expected_slot", d.expected_slot);
  put_optional(out, "submitted_slot", d.submitted_slot);
  put_optional(out, "home", d.home);
  put_optional(out, "step", d.step);
  put_path(out, d);
  put_optional(out, "settles", d.settles);
}

}  // namespace

void put_diagnosis_json(text_out& out, const diagnosis& d, bool answer) {
  put_text(out, "{");
  member(out, "table_size", true);
  put_json_number(out, d.table_size);
  member(out, "slot_count");
  put_json_number(out, d.slot_count);
  put_optional(out, "first_wrong_slot", d.first_wrong_slot);
  if (answer) put_optional(out, "expected_key", d.expected_key);
  put_optional(out, "submitted_key", d.submitted_key);
  member(out, "differing_slots");
  put_json_number(out, d.differing_slots);
  if (answer) put_misplaced(out, d);
  put_key_group(out, "unknown_keys", d.unknown_keys, "unknown_count", d.unknown_count);
  if (answer) put_key_group(out, "missing_keys", d.missing_keys, "missing_count", d.missing_count);
  put_key_group(out, "repeated_keys", d.repeated_keys, "repeated_count", d.repeated_count);
  put_notes(out, d);
  member(out, "mistake");
  put_json_string_or_null(out, d.mistake ? mistake_key(*d.mistake) : "");
  member(out, "mistake_text");
  put_json_string_or_null(out, d.mistake_text);
  put_text(out, "}");
}
