#include "render/diagnosis_json.h"

#include <optional>
#include <string_view>

#include "render/json_writer.h"

namespace {

template <typename number>
void put_optional(json_object& object, std::string_view name, const std::optional<number>& value) {
  if (value) {
    object.number(name, *value);
  } else {
    object.null(name);
  }
}

void put_path(json_object& object, const diagnosis& d) {
  json_array path(object, "path");
  for (const auto& step : d.path) {
    json_object slot(path);
    slot.number("slot", step.slot);
    slot.number("held", step.held);
  }
  path.close();
  object.number("path_length", d.path_length);
}

void put_key_group(json_object& object, std::string_view list, const key_list& keys,
                   std::string_view count_name, std::int64_t count) {
  object.keys(list, keys);
  object.number(count_name, count);
}

void put_notes(json_object& object, const diagnosis& d) {
  json_array notes(object, "notes");
  for (const auto& note : d.notes) {
    json_object entry(notes);
    entry.number("index", static_cast<std::int64_t>(note.index));
    entry.string("token", note.text);
    put_optional(entry, "read_as", note.read_as);
  }
}

// The first misplaced key and its way through the correct build.
void put_misplaced(json_object& object, const diagnosis& d) {
  put_optional(object, "first_misplaced_key", d.first_misplaced_key);
  object.number("insertion_number", d.insertion_number);
  put_optional(object, "expected_slot", d.expected_slot);
  put_optional(object, "submitted_slot", d.submitted_slot);
  put_optional(object, "home", d.home);
  put_optional(object, "step", d.step);
  put_path(object, d);
  put_optional(object, "settles", d.settles);
}

}  // namespace

void put_diagnosis_json(text_out& out, const diagnosis& d, bool answer) {
  json_object object(out);
  object.number("table_size", d.table_size);
  object.number("slot_count", d.slot_count);
  put_optional(object, "first_wrong_slot", d.first_wrong_slot);
  if (answer) put_optional(object, "expected_key", d.expected_key);
  put_optional(object, "submitted_key", d.submitted_key);
  object.number("differing_slots", d.differing_slots);
  if (answer) put_misplaced(object, d);
  put_key_group(object, "unknown_keys", d.unknown_keys, "unknown_count", d.unknown_count);
  if (answer) {
    put_key_group(object, "missing_keys", d.missing_keys, "missing_count", d.missing_count);
  }
  put_key_group(object, "repeated_keys", d.repeated_keys, "repeated_count", d.repeated_count);
  put_notes(object, d);
  const std::string name = d.mistake ? mistake_key(*d.mistake) : std::string(unexplained_key);
  object.string_or_null("mistake", d.mistake || d.searched ? name : "");
  object.string_or_null("mistake_text", d.mistake_text);
  if (d.searched && !d.mistake) object.boolean("pairs_searched", d.pairs_searched);
}
