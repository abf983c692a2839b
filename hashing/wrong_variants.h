// Builders of the layouts that known mistakes give, so that a wrong line can be matched against
// them. Each is the correct builder of its strategy with one rule changed and every other rule
// kept: key 0 adds nothing and a key met again is absorbed, unless the change says otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hashing/hash_table.h"

/// The known mistakes, in catalogue order: the order reports list them in and the order the wrong
/// builds are tried in. Each is a row of mistake_catalogue below, at the same index.
enum class mistake_id : std::uint8_t {
  lists_swapped,
  no_wrap_around,
  repeated_key_stored,
  second_list_two_pass,
  step_without_plus_one,
  step_modulo_m_minus_1,
  scan_from_home,
  probes_off_by_one,
  double_probing_continues,
  wrong_strategy,
  line_shifted,
  wrap_to_slot_one,
  scan_cut_short,
  probes_from_one,
  step_prime_below_m,
  second_list_skipped,
  table_not_reset,
  empty_marker,
  key_zero_stored,
  step_from_home_key,
  step_modulo_m,
  collided_reversed,
  scan_by_two,
  overwrite_when_full,
  collided_after_second,
  second_pass_whole_list,
  lists_two_passes_together,
  second_list_new_table,
  repeat_collides_at_home,
};

/// How a line is found to hold a mistake: it is the layout of a wrong build of its own strategy,
/// another strategy's correct layout, the correct layout of the output line above or below, or
/// one of the layouts a case's lines give together (kept_table_layouts), judged on the case's
/// lines at once, or its own correct layout with empty slots printed as `empty_marker_key`.
enum class mistake_check : std::uint8_t {
  wrong_build,
  other_strategy,
  neighbour_line,
  case_lines,
  marked_empty
};

/// What an empty slot printed as -1 or "None" reads as (see key_line_parser::read_markers): no
/// key is ever below 0.
inline constexpr key empty_marker_key = -1;

/// How two-pass hashing takes its lists through its passes. `as_given` is the correct order: the
/// first list's first pass (home slots), its second pass (the keys left over, scanning on from
/// home), then the second list by linear probing. `second_two_pass` is obeyed with `as_given` and
/// `second_pass_every_key`, `collided_reversed` with `as_given` and `lists_together` (and with
/// `second_pass_every_key`, whose keys at home are then not stored again); the other values
/// ignore both.
enum class two_pass_rule : std::uint8_t {
  as_given,
  second_before_collided,  // the second list goes in between the first list's two passes; a key
                           // left over that it meets goes in there, as the program finds it missing
  second_pass_every_key,   // the second pass scans on for every first-list key, so a key the first
                           // pass stored at home is stored again further along
  lists_together,          // the first pass takes both lists, the second every key left over
  second_list_alone,       // the table is made anew before the second list: linear probing of the
                           // second list alone
  repeat_collides,         // the first pass takes a home slot only when it is empty, so a key met
                           // again at its own home is left over and stored again by the scan
};

/// Where a key goes that finds no empty slot on its whole probe sequence.
enum class overwrite_rule : std::uint8_t {
  none,        // nowhere: it is dropped
  last_tried,  // over the key in the last slot it tried
  home,        // over the key in its home slot
};

/// A wrong build: the correct builder of a strategy with the fields changed that differ from
/// these defaults. The probe fields but `wrap` change a strategy's hash probes, and so only a
/// strategy that makes more than one (see probing_for).
struct build_rules {
  bool lists_swapped = false;  // the second list goes in first; nothing else changes
  bool wrap = true;            // a linear scan goes on from slot 0 after the last slot
  bool absorb_repeats = true;  // a key met again adds nothing
  bool second_two_pass = false;
  step_rule step = step_rule::plus_one;
  int probes = 0;               // hash probes before the scan; 0: as many as the strategy makes
  bool scan_from_home = false;  // the scan after the probes starts after the home slot
  bool keep_probing = false;    // no scan: hash probing goes on up to m probes
  int first_probe = 0;          // 1: the hash probes are numbered from 1, skipping the home slot
  int wrap_to = 0;              // the slot a scan goes on from after the last one
  int scan_cut = 0;             // a scan tries this many slots fewer than m - 1
  bool second_list_inserted = true;  // false: the second list never goes in
  bool zero_is_key = false;          // key 0 goes in like any other key and takes a slot
  bool step_from_held = false;       // the step is that of the key already in the home slot
  bool collided_reversed = false;    // two passes take the keys left over last first
  int scan_stride = 1;               // 2: a linear scan advances two slots a try
  two_pass_rule two_pass = two_pass_rule::as_given;
  overwrite_rule overwrite = overwrite_rule::none;  // a key overwritten is no longer in the table
  bool operator==(const build_rules&) const = default;
};

/// The probe rules of `strategy` with the changes of `rules` that apply to it.
constexpr probe_rules probing_for(const build_rules& rules, strategy_id strategy) {
  probe_rules probing = traits_of(strategy).rules;
  probing.wrap = rules.wrap;
  probing.wrap_to = rules.wrap_to;
  probing.scan_cut = rules.scan_cut;
  probing.scan_stride = rules.scan_stride;
  if (probing.probes > 1) {
    probing.step_from_held = rules.step_from_held;
    probing.step = rules.step;
    probing.first_probe = rules.first_probe;
    if (rules.probes != 0) probing.probes = rules.probes;
    probing.scan_from_home = rules.scan_from_home;
    probing.keep_probing = rules.keep_probing;
  }
  return probing;
}

/// Strategies as bits, by strategy_id.
constexpr std::uint8_t strategy_bit(strategy_id strategy) {
  return static_cast<std::uint8_t>(1U << strategy_index(strategy));
}
inline constexpr std::uint8_t every_strategy = (1U << strategy_count) - 1;

/// The two readings a mistake may have, such as two probes and four.
inline constexpr std::size_t max_readings = 2;

/// One row of the catalogue.
struct mistake_entry {
  mistake_id id;
  std::string_view key;     // the fixed id reports print, such as "no_wrap_around"
  std::uint8_t strategies;  // the strategies it can be made on, as strategy_bit
  mistake_check check;
  // The wrong builds, for mistake_check::wrong_build only: one, or each reading of the mistake.
  std::array<build_rules, max_readings> readings;
  std::size_t reading_count;
  // One plain sentence, ending in a full stop, saying what the mistaken line is. "{strategy}",
  // "{other}" and "{side}" stand for the line's strategy, the strategy whose layout it holds and
  // "above" or "below" (see mistake_sentence in checker/diagnosis.h).
  std::string_view sentence;
  std::string_view hint;  // what to add to an input to catch it, for the audit
};

/// The catalogue. A new mistake is a value of mistake_id and a row here; a wrong build that no
/// build_rules field expresses also needs that field, which the builders in wrong_variants.cpp
/// then obey.
inline constexpr std::array mistake_catalogue{
    mistake_entry{
        mistake_id::lists_swapped,
        "lists_swapped",
        every_strategy,
        mistake_check::wrong_build,
        {build_rules{.lists_swapped = true}},
        1,
        "The table is built with the two key lists swapped, the second list going in first.",
        "add a case whose second list holds a key that would take a slot a first-list key "
        "takes."},
    mistake_entry{mistake_id::no_wrap_around,
                  "no_wrap_around",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.wrap = false}},
                  1,
                  "Every linear scan stops at the last slot instead of going on from slot 0, so a "
                  "key that finds no free slot before the end is dropped.",
                  "add a table filled past its end, so that a key's scan must go on from slot 0."},
    mistake_entry{mistake_id::repeated_key_stored,
                  "repeated_key_stored",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.absorb_repeats = false}},
                  1,
                  "A slot counts as free only when it is empty, so a key met again is stored a "
                  "second time further along its path.",
                  "add a repeated key, met again while its table still has a free slot."},
    mistake_entry{mistake_id::second_list_two_pass,
                  "second_list_two_pass",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.second_two_pass = true}},
                  1,
                  "The second list is inserted with the two passes too, after the first list's.",
                  "add a second list whose key collides while a later key of the same list finds "
                  "its home slot free."},
    mistake_entry{mistake_id::step_without_plus_one,
                  "step_without_plus_one",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.step = step_rule::no_plus_one}},
                  1,
                  "The double-hashing step is key mod (m - 2) without the + 1, so a step of 0 "
                  "probes the home slot three times.",
                  "add a colliding key whose second probe moves once the step loses its + 1, in a "
                  "table of 4 slots or more."},
    mistake_entry{mistake_id::step_modulo_m_minus_1,
                  "step_modulo_m_minus_1",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.step = step_rule::modulo_m_minus_1}},
                  1,
                  "The double-hashing step is (key mod (m - 1)) + 1 instead of (key mod (m - 2)) "
                  "+ 1.",
                  "add a colliding key for which key mod (m - 1) and key mod (m - 2) differ, so "
                  "that its second probe shows the step."},
    mistake_entry{mistake_id::scan_from_home,
                  "scan_from_home",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.scan_from_home = true}},
                  1,
                  "The linear scan after the three probes starts after the home slot instead of "
                  "after the third probe.",
                  "add a key whose three probes find filled slots while a free slot lies between "
                  "its home slot and its third probe, in a table of 6 slots or more."},
    mistake_entry{mistake_id::probes_off_by_one,
                  "probes_off_by_one",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.probes = 2}, build_rules{.probes = 4}},
                  2,
                  "Two or four double-hash probes are made instead of three before the linear "
                  "scan from the last of them.",
                  "add a key whose first two probes are filled and whose third is free, and one "
                  "whose fourth probe would be free before the slot its scan finds."},
    mistake_entry{mistake_id::double_probing_continues,
                  "double_probing_continues",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.keep_probing = true}},
                  1,
                  "There is no linear scan: double-hash probing goes on with i = 3, 4, ... and a "
                  "key is dropped after m probes.",
                  "add a key whose three probes are filled, so that its linear scan and further "
                  "probes part."},
    mistake_entry{mistake_id::wrong_strategy,
                  "wrong_strategy",
                  every_strategy,
                  mistake_check::other_strategy,
                  {},
                  0,
                  "The line is the {other} layout, not the {strategy} one.",
                  "add a case whose layout for this strategy differs from the other two, say a "
                  "first list of colliding keys in a table of 4 slots or more."},
    mistake_entry{mistake_id::line_shifted,
                  "line_shifted",
                  every_strategy,
                  mistake_check::neighbour_line,
                  {},
                  0,
                  "The line is the layout expected on the output line {side}, so the lines are "
                  "out of step.",
                  "add a case whose layout differs from the layouts on the output lines just above "
                  "and below it."},
    mistake_entry{mistake_id::wrap_to_slot_one,
                  "wrap_to_slot_one",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.wrap_to = 1}},
                  1,
                  "A linear scan that passes the last slot goes on from slot 1 instead of slot 0, "
                  "so no scan ever reaches slot 0.",
                  "add a table filled past its end while slot 0 is still free, so that a key's "
                  "scan must go on from slot 0."},
    mistake_entry{mistake_id::scan_cut_short,
                  "scan_cut_short",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.scan_cut = 1}, build_rules{.scan_cut = 2}},
                  2,
                  "The linear scan tries one or two slots fewer than m - 1, so a key whose only "
                  "free slot lies at the end of its scan is dropped.",
                  "add a table one key short of full whose free slot lies just before the home "
                  "slot of a colliding key, and one two keys short of full."},
    mistake_entry{mistake_id::probes_from_one,
                  "probes_from_one",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.first_probe = 1}},
                  1,
                  "The double-hash probes are numbered from 1, so the home slot is never probed: "
                  "the three probes are home + step, home + 2 step and home + 3 step.",
                  "add a key whose home slot is free, in a table of 4 slots or more."},
    mistake_entry{mistake_id::step_prime_below_m,
                  "step_prime_below_m",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.step = step_rule::prime_below_m}},
                  1,
                  "The double-hashing step is R - (key mod R), R the largest prime below m, "
                  "instead of (key mod (m - 2)) + 1.",
                  "add a colliding key whose step R - (key mod R), R the largest prime below m, "
                  "differs from (key mod (m - 2)) + 1, so that its second probe shows it."},
    mistake_entry{mistake_id::second_list_skipped,
                  "second_list_skipped",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.second_list_inserted = false}},
                  1,
                  "The second list is never inserted: the table holds the first list's keys alone.",
                  "add a second list with a key the first list does not hold, while its table "
                  "still has a free slot."},
    mistake_entry{
        mistake_id::table_not_reset,
        "table_not_reset",
        strategy_bit(strategy_id::two_pass_hashing) | strategy_bit(strategy_id::double_hashing),
        mistake_check::case_lines,
        {},
        0,
        "The table is not emptied between strategies: {strategy} goes on in the table "
        "the strategy before it filled, where every key already is, so it adds only "
        "keys whose probes meet a free slot before the key itself.",
        "add a case whose two-pass hashing and double hashing layouts both differ from "
        "the linear probing one, say a first list of colliding keys in a table of 4 "
        "slots or more."},
    mistake_entry{mistake_id::empty_marker,
                  "empty_marker",
                  every_strategy,
                  mistake_check::marked_empty,
                  {},
                  0,
                  "Empty slots are printed as -1 or None instead of 0.",
                  "add a case whose table keeps an empty slot."},
    mistake_entry{mistake_id::key_zero_stored,
                  "key_zero_stored",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.zero_is_key = true}},
                  1,
                  "Key 0 is inserted like any other key: it takes a slot, which then prints as "
                  "empty, and a later key that probes there goes on past it.",
                  "add a key 0 before a key whose home slot is 0, while slot 0 is still free."},
    mistake_entry{mistake_id::step_from_home_key,
                  "step_from_home_key",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.step_from_held = true}},
                  1,
                  "The double-hashing step is worked out from the key already in the home slot "
                  "instead of the key being inserted.",
                  "add two colliding keys whose steps differ, the second finding the first's "
                  "second probe filled or free where its own is not."},
    mistake_entry{mistake_id::step_modulo_m,
                  "step_modulo_m",
                  strategy_bit(strategy_id::double_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.step = step_rule::modulo_m_plus_one}},
                  1,
                  "The double-hashing step is (key mod m) + 1 instead of (key mod (m - 2)) + 1.",
                  "add a colliding key for which key mod m and key mod (m - 2) differ, so that its "
                  "second probe shows the step."},
    mistake_entry{mistake_id::collided_reversed,
                  "collided_reversed",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.collided_reversed = true}},
                  1,
                  "The keys the first pass leaves over are taken back in reverse order, the last "
                  "of them scanning first.",
                  "add a first list with two keys that collide on one home slot while the slots "
                  "after it are free."},
    mistake_entry{mistake_id::scan_by_two,
                  "scan_by_two",
                  every_strategy,
                  mistake_check::wrong_build,
                  {build_rules{.scan_stride = 2}},
                  1,
                  "Every linear scan advances two slots at a time instead of one, passing over "
                  "the slots between; in a table of an even size it tries only the slots of its "
                  "start's parity, and a key whose scan comes back to its start is dropped.",
                  "add a key whose home slot is taken while the slot after it is free and the "
                  "one after that is free too."},
    mistake_entry{
        mistake_id::overwrite_when_full,
        "overwrite_when_full",
        every_strategy,
        mistake_check::wrong_build,
        {build_rules{.overwrite = overwrite_rule::last_tried},
         build_rules{.overwrite = overwrite_rule::home}},
        2,
        "A key that finds no free slot is written over the key in the last slot it "
        "tried, or in its home slot, instead of being left out; the key written over "
        "is no longer in the table, so a later repeat of it goes in again.",
        "add a table that fills up before its last new key, so that the key finds no free "
        "slot."},
    mistake_entry{mistake_id::collided_after_second,
                  "collided_after_second",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.two_pass = two_pass_rule::second_before_collided}},
                  1,
                  "The second list is inserted between the two passes, before the keys the first "
                  "pass leaves over scan on from their home slots.",
                  "add a first list with two keys that collide on one home slot and a second list "
                  "with a key homed at the slot after it."},
    mistake_entry{mistake_id::second_pass_whole_list,
                  "second_pass_whole_list",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.two_pass = two_pass_rule::second_pass_every_key}},
                  1,
                  "The second pass scans on from the home slot for every key of the first list, "
                  "not only those the first pass left over, so a key already at home is stored "
                  "again further along.",
                  "add a first list with a key that takes its home slot while the table still has "
                  "a free slot."},
    mistake_entry{mistake_id::lists_two_passes_together,
                  "lists_two_passes_together",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.two_pass = two_pass_rule::lists_together}},
                  1,
                  "Both lists go through the two passes together, so second-list keys take their "
                  "free home slots before the first list's left-over keys scan on, not after them.",
                  "add a first list with two keys that collide on one home slot and a second list "
                  "with a key homed at the slot after it."},
    mistake_entry{mistake_id::second_list_new_table,
                  "second_list_new_table",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.two_pass = two_pass_rule::second_list_alone}},
                  1,
                  "The table is made anew before the second list, so the line holds the second "
                  "list's keys alone, inserted by linear probing.",
                  "add a first list with a key the second list does not hold."},
    mistake_entry{mistake_id::repeat_collides_at_home,
                  "repeat_collides_at_home",
                  strategy_bit(strategy_id::two_pass_hashing),
                  mistake_check::wrong_build,
                  {build_rules{.two_pass = two_pass_rule::repeat_collides}},
                  1,
                  "The first pass takes a home slot only when it is empty, so a key met again at "
                  "its own home slot is left over and stored a second time by the scan.",
                  "add a first list that repeats a key which finds its home slot free, while the "
                  "table still has a free slot."},
};

constexpr const mistake_entry& catalogue_entry(mistake_id id) {
  return mistake_catalogue[static_cast<std::size_t>(id)];
}

constexpr bool rows_in_id_order() {
  for (std::size_t i = 0; i < mistake_catalogue.size(); ++i) {
    if (static_cast<std::size_t>(mistake_catalogue[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_in_id_order(), "each mistake's row sits at its mistake_id");

// A swapped build is the correct builder on swapped lists, so it can change nothing else; two
// mistakes made at once (merged_rules) swap the lists for the other's build.
constexpr bool swaps_alone() {
  for (const mistake_entry& entry : mistake_catalogue) {
    for (std::size_t r = 0; r < entry.reading_count; ++r) {
      const build_rules& rules = entry.readings[r];
      if (rules.lists_swapped && rules != build_rules{.lists_swapped = true}) return false;
    }
  }
  return true;
}
static_assert(swaps_alone(), "a build that swaps the lists changes no other rule");

constexpr std::array<mistake_id, mistake_catalogue.size()> catalogue_ids() {
  std::array<mistake_id, mistake_catalogue.size()> ids{};
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = mistake_catalogue[i].id;
  return ids;
}

/// Every mistake, in catalogue order.
inline constexpr std::array<mistake_id, mistake_catalogue.size()> all_mistakes = catalogue_ids();

/// "no_wrap_around" and so on, as catalogue_entry(id).key.
constexpr std::string_view mistake_key(mistake_id id) { return catalogue_entry(id).key; }

/// A line's mistake as reports name it: one mistake of the catalogue, or two of its wrong builds
/// made at once (`second` after `first` in catalogue order).
struct named_mistake {
  mistake_id first = mistake_id::lists_swapped;
  std::optional<mistake_id> second;
  constexpr named_mistake() = default;
  // Every mistake is a named mistake: the conversion is meant to be implicit.
  // cppcheck-suppress noExplicitConstructor
  constexpr named_mistake(mistake_id single) : first(single) {}
  constexpr named_mistake(mistake_id one, mistake_id other) : first(one), second(other) {}
  bool operator==(const named_mistake&) const = default;
};

/// Every named mistake as an index from 0: each mistake at its mistake_id, then each pair.
inline constexpr std::size_t named_mistake_count =
    mistake_catalogue.size() + mistake_catalogue.size() * mistake_catalogue.size();

constexpr std::size_t named_index(const named_mistake& name) {
  const auto first = static_cast<std::size_t>(name.first);
  if (!name.second) return first;
  return mistake_catalogue.size() * (1 + first) + static_cast<std::size_t>(*name.second);
}

/// Catalogue order, each mistake before every pair.
constexpr bool operator<(const named_mistake& a, const named_mistake& b) {
  return named_index(a) < named_index(b);
}

/// The named mistake at `index` (below named_mistake_count).
constexpr named_mistake named_at(std::size_t index) {
  constexpr std::size_t rows = mistake_catalogue.size();
  if (index < rows) return all_mistakes[index];
  return {all_mistakes[index / rows - 1], all_mistakes[index % rows]};
}

/// The id reports print: "no_wrap_around", or for two at once "lists_swapped+no_wrap_around".
std::string mistake_key(const named_mistake& name);

/// The name people read: as mistake_key, two at once joined by " + ".
std::string mistake_title(const named_mistake& name);

/// The rules of two wrong builds made at once: every field either changes, as build_rules{} has
/// it, and the lists swapped for the other's build. Null when both change the same field, as two
/// readings of one rule can't hold together.
std::optional<build_rules> merged_rules(const build_rules& one, const build_rules& other);

/// Whether the mistake can be made when building `strategy`.
constexpr bool mistake_applies(mistake_id id, strategy_id strategy) {
  return (catalogue_entry(id).strategies & strategy_bit(strategy)) != 0;
}

/// One wrong build: a reading of a mistake checked by mistake_check::wrong_build.
struct wrong_build {
  mistake_id mistake = mistake_id::lists_swapped;
  std::size_t reading = 0;
  bool operator==(const wrong_build&) const = default;
};

constexpr std::size_t wrong_build_count() {
  return std::accumulate(
      mistake_catalogue.begin(), mistake_catalogue.end(), std::size_t{0},
      [](std::size_t count, const mistake_entry& entry) { return count + entry.reading_count; });
}

constexpr std::array<wrong_build, wrong_build_count()> catalogue_builds() {
  std::array<wrong_build, wrong_build_count()> builds{};
  std::size_t at = 0;
  for (const mistake_entry& entry : mistake_catalogue) {
    for (std::size_t r = 0; r < entry.reading_count; ++r) builds[at++] = {entry.id, r};
  }
  return builds;
}

/// Every wrong build, in catalogue order and then reading order: the order they are tried in.
inline constexpr std::array<wrong_build, wrong_build_count()> all_wrong_builds = catalogue_builds();

/// The rules of a wrong build.
constexpr const build_rules& rules_of(wrong_build build) {
  return catalogue_entry(build.mistake).readings[build.reading];
}

/// Whether the wrong build can be made when building `strategy`.
constexpr bool variant_applies(wrong_build build, strategy_id strategy) {
  return mistake_applies(build.mistake, strategy) &&
         build.reading < catalogue_entry(build.mistake).reading_count;
}

/// Table sizes the variants are built for; outside them `build_variant` gives no layout.
inline constexpr std::int32_t smallest_variant_table = 3;
inline constexpr std::int32_t largest_variant_table = 100000;

/// Probes a `keep_probing` build may make in all before it gives up; bounds the build at a few
/// tens of milliseconds whatever the keys.
inline constexpr std::int64_t continued_probe_budget = std::int64_t{1} << 24;

/// The distinct nonzero keys of a case and the order the correct builders insert them in. Keys
/// are ordered as unsigned 32-bit values, which for keys of 0 and above is ascending order.
struct key_order {
  key_list distinct;                          // a key's rank is its index here
  std::vector<std::uint32_t> first_position;  // by rank; second_keys count on after first_keys
  std::vector<std::uint32_t> first_ranks;     // first_keys met for the first time, in order
  std::vector<std::uint32_t> second_ranks;    // second_keys met in neither list before, in order
};

/// Linear in the key count (a radix sort); takes 16 bytes a key while it sorts. Gives an empty
/// order when the two lists hold more than 2^32 - 1 keys in all.
key_order order_keys(const key_list& first_keys, const key_list& second_keys);

/// As above, sorting in `pairs` and `spare` (see sort_key_positions), whose contents it replaces.
key_order order_keys(const key_list& first_keys, const key_list& second_keys,
                     std::vector<std::uint64_t>& pairs, std::vector<std::uint64_t>& spare);

/// Fills `pairs` with (key as unsigned 32 bits) << 32 | index for every nonzero key of `keys`,
/// sorted; equal keys keep their index order. `spare` is scratch space. Both keep their room for
/// the next call, which spares a large table fresh pages for every sort. Linear; `pairs` is left
/// empty when `keys` holds more than 2^32 - 1 keys.
void sort_key_positions(const key_list& keys, std::vector<std::uint64_t>& pairs,
                        std::vector<std::uint64_t>& spare);

/// The rank of `k` in `order`, or -1 when `k` is not one of its keys. Logarithmic.
std::int64_t rank_of(const key_order& order, key k);

/// The layout `build` gives for `strategy`: `table_size` slots, 0 for an empty one. Empty when the
/// mistake does not apply to `strategy`, when `table_size` lies outside smallest_variant_table to
/// largest_variant_table, when a key is below 0, or when a keep_probing build runs past
/// continued_probe_budget. `order` must be order_keys of the same two lists; passing it lets
/// a caller sort the keys once for every variant. Linear in the table size plus the key count.
key_list build_variant(wrong_build build, strategy_id strategy, std::int32_t table_size,
                       const key_list& first_keys, const key_list& second_keys,
                       const key_order& order);

/// As build_variant with `order`, for any table size from smallest_variant_table up to
/// max_table_size; takes 8 bytes a slot beside the keys.
key_list build_variant_any_size(wrong_build build, strategy_id strategy, std::int32_t table_size,
                                const key_list& first_keys, const key_list& second_keys,
                                const key_order& order);

/// The layout a builder of `strategy` that follows `rules` gives, as build_variant_any_size gives
/// it for a wrong build whose rules these are; build_rules{} gives the correct layout. Rules that
/// swap the lists and change others too (merged_rules) build by the others on the swapped lists.
key_list build_by_rules(const build_rules& rules, strategy_id strategy, std::int32_t table_size,
                        const key_list& first_keys, const key_list& second_keys,
                        const key_order& order);

/// The layouts a program gives that builds every strategy in the one table, never emptied:
/// linear probing into the empty table (`expected_linear`, its correct layout), then each strategy
/// by its correct rules into the table the one before left, a slot holding the key counting as
/// the key's own. Empty layouts outside smallest_variant_table to largest_variant_table, for a
/// key below 0, or past continued_probe_budget tries. Linear in the table size plus the tries.
std::array<key_list, strategy_count> kept_table_layouts(const key_list& expected_linear,
                                                        const key_list& first_keys,
                                                        const key_list& second_keys);

enum class variant_outcome { same, differs, undecided };

/// A case's two lists in the order a build inserts them, with the first place of every nonzero
/// key marked: all a build that skips repeated keys needs, at one bit a key. The lists are not
/// copied and must outlive it.
struct marked_lists {
  const key_list* first_keys = nullptr;  // inserted first
  const key_list* second_keys = nullptr;
  std::vector<std::uint64_t> fresh;  // bit i: position i (first_keys, then second_keys) holds a
                                     // nonzero key met there for the first time
  std::int64_t distinct = 0;         // nonzero keys told apart
  std::int64_t nonzero = 0;          // nonzero keys in all
  bool negative = false;             // some key is below 0: no build is made
};

/// Marks `first_keys` then `second_keys`. Linear in the key count: the lists are read about ten
/// times over, and the work takes 8 bytes for an eighth of the keys beside the bit a key.
marked_lists mark_lists(const key_list& first_keys, const key_list& second_keys);

/// As above into `in_order` and, when `swapped` is given, `second_keys` then `first_keys` into it,
/// for little more than the work of one.
void mark_lists(const key_list& first_keys, const key_list& second_keys, marked_lists& in_order,
                marked_lists* swapped);

/// Builds the correct layout of `strategy` from `lists` into `into`, reusing its room, exactly as
/// the builders of hash_table.h give it (the empty list where they give none). False, with `into`
/// empty, when room for the table can't be had. Takes about one bit a slot beside `into`.
bool build_correct_into(strategy_id strategy, std::int32_t table_size, const marked_lists& lists,
                        key_list& into);

/// Whether the correct builder of `strategy` gives `reference` for `lists`, found without building
/// a layout of its own: the build stops at the first key it stores where `reference` holds another.
/// `same` or `differs`, never `undecided`; about one bit a slot.
variant_outcome compare_correct(strategy_id strategy, std::int32_t table_size,
                                const marked_lists& lists, const key_list& reference);

/// Whether `build` builds another layout for `strategy` than `correct`, the correct layout of the
/// same lists, in the same way as compare_correct: the build stops at the first key it stores
/// where `correct` holds another, or drops while `correct` holds every key. `undecided` when a
/// keep_probing build runs past its budget, and for input that build_variant_any_size gives no
/// layout for, or that swaps the lists (compare_correct on the lists swapped tells that one). At
/// most as slow as that build, and far faster when the layouts part early; takes about one bit a
/// slot.
variant_outcome compare_variant(wrong_build build, strategy_id strategy, std::int32_t table_size,
                                const marked_lists& lists, const key_list& correct);

/// Whether some pair of key lists makes `build` build another layout than the correct builder of
/// `strategy` at `table_size`. False only when that is proven: at every size where no case can
/// hold keys or where the mistake never changes where a key goes (say a step that is always 1 at
/// table size 3); true whenever the proof would cost more than a few million probes.
bool variant_revealable(wrong_build build, strategy_id strategy, std::int64_t table_size);

/// Slot of try `i` (from 0) of key `k` when a builder of `strategy` that follows `rules` inserts
/// it (build_rules{} for the correct builder); -1 once the key has no try left and is dropped. A
/// try counts whatever the slot holds, so a slot tried twice (a step of 0) is two tries. Two-pass
/// hashing tries the home slot, then scans on from it, whichever pass stores the key. The order
/// of the lists plays no part. Constant time.
inline std::int64_t probe_slot(const build_rules& rules, strategy_id strategy,
                               std::int64_t table_size, key k, std::int64_t i) {
  return probe_slot(probing_for(rules, strategy), table_size, k, i);
}

/// As probe_slot for `k` going into `before`, the table as table_before gives it: a build that
/// takes the step from the key holding the home slot takes it from there.
std::int64_t probe_slot_in(const build_rules& rules, strategy_id strategy, const key_list& before,
                           key k, std::int64_t i);

/// Whether a builder of `strategy` that follows `rules` inserts `k` at all, `order` being
/// order_keys of the two lists: a key first met in the second list never goes in when the second
/// list is skipped, and only a second-list key goes in when the table is made anew before it.
bool inserts_key(const build_rules& rules, strategy_id strategy, const key_order& order,
                 const key_list& first_keys, const key_list& second_keys, key k);

/// The table as it stands just before `k` first goes in when a builder of `strategy` that follows
/// `rules` (build_rules{} for the correct builder) builds from the two lists (`order` as for
/// build_variant): `table_size` slots, 0 for an empty one; the whole build when `k` never goes
/// in. Empty where build_variant_any_size gives no layout, for the correct builder too. Linear in
/// the table size plus the key count; takes 8 bytes a slot beside the keys.
key_list table_before(const build_rules& rules, strategy_id strategy, std::int32_t table_size,
                      const key_list& first_keys, const key_list& second_keys,
                      const key_order& order, key k);
