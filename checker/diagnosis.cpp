#include "checker/diagnosis.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "hashing/wrong_variants.h"

namespace {

constexpr std::uint32_t nowhere = std::numeric_limits<std::uint32_t>::max();

const key_list& list_or_empty(const key_list* keys) {
  static const key_list no_keys;
  return keys == nullptr ? no_keys : *keys;
}

const key_list& expected_layout(const diagnosis_input& input) {
  if (input.expected == nullptr) return list_or_empty(nullptr);
  return layout_of(*input.expected, input.strategy);
}

std::optional<std::int64_t> as_slot(std::uint32_t slot) {
  if (slot == nowhere) return std::nullopt;
  return slot;
}

// ---- The lines side by side ----

void compare_lines(const key_list& expected, const key_list& submitted, diagnosis& d) {
  const std::size_t common = std::min(expected.size(), submitted.size());
  d.differing_slots =
      static_cast<std::int64_t>(std::max(expected.size(), submitted.size()) - common);
  for (std::size_t i = 0; i < common; ++i) {
    if (expected[i] == submitted[i]) continue;
    ++d.differing_slots;
    if (d.first_wrong_slot) continue;
    d.first_wrong_slot = static_cast<std::int64_t>(i);
    d.expected_key = expected[i];
    d.submitted_key = submitted[i];
  }
}

std::vector<token_note> notes_of(const std::vector<lenient_token>& tokens,
                                 const key_list& submitted) {
  std::vector<token_note> notes;
  notes.reserve(tokens.size());
  for (const lenient_token& t : tokens) {
    token_note note{t.index, t.text, std::nullopt};
    if (t.index < submitted.size()) note.read_as = submitted[t.index];
    notes.push_back(std::move(note));
  }
  return notes;
}

// ---- Where each key sits ----

// Slots of each of the case's keys, by rank: in the correct table, and its first slot in the
// submission; `nowhere` when it has none. Both live in the scratch.
struct key_places {
  const std::vector<std::uint32_t>& expected_slot;
  const std::vector<std::uint32_t>& submitted_slot;
};

// Keys found while merging, each as (first slot << 32 | key bits), so that ordering them orders
// them by slot.
using found_keys = std::vector<std::uint64_t>;

std::uint64_t found_entry(std::uint32_t slot, key k) {
  return std::uint64_t{slot} << 32 | static_cast<std::uint32_t>(k);
}

// Lists the first `listed_keys` found keys by slot and counts them all; partial sorting keeps
// this linear however many there are.
void list_first(found_keys& found, key_list& listed, std::int64_t& count) {
  count = static_cast<std::int64_t>(found.size());
  const std::size_t kept = std::min(found.size(), listed_keys);
  std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end());
  for (std::size_t i = 0; i < kept; ++i) {
    listed.push_back(static_cast<key>(static_cast<std::uint32_t>(found[i])));
  }
}

key key_in(std::uint64_t pair) { return static_cast<key>(static_cast<std::uint32_t>(pair >> 32)); }

std::uint32_t index_in(std::uint64_t pair) { return static_cast<std::uint32_t>(pair); }

// Walks the ascending distinct keys alongside another ascending run of keys.
struct rank_cursor {
  const key_list& distinct;
  std::size_t at = 0;
};

std::int64_t advance_to(rank_cursor& cursor, key k) {
  const auto target = static_cast<std::uint32_t>(k);
  while (cursor.at < cursor.distinct.size() &&
         static_cast<std::uint32_t>(cursor.distinct[cursor.at]) < target) {
    ++cursor.at;
  }
  const bool found = cursor.at < cursor.distinct.size() && cursor.distinct[cursor.at] == k;
  return found ? static_cast<std::int64_t>(cursor.at) : -1;
}

void place_expected(const key_list& expected, const key_order& order, diagnosis_scratch& scratch) {
  sort_key_positions(expected, scratch.pairs, scratch.spare);
  rank_cursor cursor{order.distinct};
  for (const std::uint64_t pair : scratch.pairs) {
    const std::int64_t rank = advance_to(cursor, key_in(pair));
    if (rank >= 0) scratch.expected_slot[static_cast<std::size_t>(rank)] = index_in(pair);
  }
}

// Fills the submitted slots and finds the unknown and repeated keys.
void place_submitted(const key_list& submitted, const key_order& order, diagnosis_scratch& scratch,
                     diagnosis& d) {
  sort_key_positions(submitted, scratch.pairs, scratch.spare);
  const std::vector<std::uint64_t>& pairs = scratch.pairs;
  rank_cursor cursor{order.distinct};
  found_keys unknown;
  found_keys repeated;
  for (std::size_t i = 0; i < pairs.size();) {
    const key k = key_in(pairs[i]);
    const std::uint32_t first_slot = index_in(pairs[i]);
    std::size_t end = i + 1;
    while (end < pairs.size() && key_in(pairs[end]) == k) ++end;
    if (end - i > 1) repeated.push_back(found_entry(first_slot, k));
    const std::int64_t rank = advance_to(cursor, k);
    if (rank < 0) {
      unknown.push_back(found_entry(first_slot, k));
    } else {
      scratch.submitted_slot[static_cast<std::size_t>(rank)] = first_slot;
    }
    i = end;
  }
  list_first(unknown, d.unknown_keys, d.unknown_count);
  list_first(repeated, d.repeated_keys, d.repeated_count);
}

void find_missing(const key_order& order, const key_places& places, diagnosis& d) {
  found_keys missing;
  for (std::size_t rank = 0; rank < order.distinct.size(); ++rank) {
    if (places.expected_slot[rank] != nowhere && places.submitted_slot[rank] == nowhere) {
      missing.push_back(found_entry(places.expected_slot[rank], order.distinct[rank]));
    }
  }
  list_first(missing, d.missing_keys, d.missing_count);
}

key_places place_keys(const key_list& expected, const key_list& submitted, const key_order& order,
                      diagnosis_scratch& scratch, diagnosis& d) {
  scratch.expected_slot.assign(order.distinct.size(), nowhere);
  scratch.submitted_slot.assign(order.distinct.size(), nowhere);
  place_expected(expected, order, scratch);
  place_submitted(submitted, order, scratch, d);
  const key_places places{scratch.expected_slot, scratch.submitted_slot};
  find_missing(order, places, d);
  return places;
}

// ---- The first misplaced key and its path ----

// How the correct build orders its insertions: by stage, then by first position in the lists.
// Two-pass hashing's first pass is the first keys that hold their home slot in the end (no other
// first key can, as slots are never emptied); its other first keys follow, then the second keys.
// The other strategies take every key in one stage: first positions put the first keys first.
struct insertion_rules {
  const key_order& order;
  const key_places& places;
  strategy_id strategy;
  std::int64_t table_size;
  std::size_t first_list_length;
};

int stage_of(const insertion_rules& rules, std::uint32_t rank) {
  if (!traits_of(rules.strategy).first_list_two_passes) return 0;
  if (rules.order.first_position[rank] >= rules.first_list_length) return 2;
  const std::int64_t home = primary_hash(rules.order.distinct[rank], rules.table_size);
  return rules.places.expected_slot[rank] == home ? 0 : 1;
}

bool inserted_before(const insertion_rules& rules, std::uint32_t a, std::uint32_t b) {
  const int stage_a = stage_of(rules, a);
  const int stage_b = stage_of(rules, b);
  if (stage_a != stage_b) return stage_a < stage_b;
  return rules.order.first_position[a] < rules.order.first_position[b];
}

// Calls `visit(rank, number)` for each key, numbered from 1 in insertion order, until it returns
// true. Walks the ranks in place: a table of ten million keys needs no copy of them.
template <typename visit_fn>
void for_each_insertion(const insertion_rules& rules, visit_fn visit) {
  std::int64_t number = 0;
  const auto walk = [&](const std::vector<std::uint32_t>& ranks, int stage) {
    for (const std::uint32_t rank : ranks) {
      if (stage_of(rules, rank) != stage) continue;
      if (visit(rank, ++number)) return true;
    }
    return false;
  };
  if (!traits_of(rules.strategy).first_list_two_passes) {
    if (!walk(rules.order.first_ranks, 0)) walk(rules.order.second_ranks, 0);
    return;
  }
  if (walk(rules.order.first_ranks, 0) || walk(rules.order.first_ranks, 1)) return;
  walk(rules.order.second_ranks, 2);
}

// Slots are never emptied, so a slot held, when `rank` went in, whatever it holds in the end if
// that key went in earlier, and nothing otherwise.
key held_at(const insertion_rules& rules, const key_list& expected, std::uint32_t rank,
            std::int64_t slot) {
  const key k = expected[static_cast<std::size_t>(slot)];
  if (k == 0) return 0;
  const std::int64_t held_rank = rank_of(rules.order, k);
  if (held_rank < 0) return 0;
  return inserted_before(rules, static_cast<std::uint32_t>(held_rank), rank) ? k : 0;
}

void trace_path(const insertion_rules& rules, const key_list& expected, std::uint32_t rank,
                diagnosis& d) {
  const key k = rules.order.distinct[rank];
  const probe_rules& probing = traits_of(rules.strategy).rules;
  const std::int64_t m = rules.table_size;
  d.home = primary_hash(k, m);
  if (probing.probes > 1) d.step = probe_step(k, m, probing.step);
  d.settles = d.expected_slot;
  // A dropped key tries its whole sequence.
  d.path_length = d.settles ? tries_to(probing, m, k, *d.settles) : probe_count(probing, m, k);
  const auto head = std::min<std::int64_t>(d.path_length, path_head);
  const auto tail_start = std::max<std::int64_t>(head, d.path_length - std::int64_t{path_tail});
  for (std::int64_t i = 0; i < d.path_length; i = i + 1 == head ? tail_start : i + 1) {
    const std::int64_t slot = probe_slot(probing, m, k, i);
    d.path.push_back(path_step{slot, held_at(rules, expected, rank, slot)});
  }
}

void find_root_cause(const diagnosis_input& input, const key_list& expected, const key_order& order,
                     const key_places& places, diagnosis& d) {
  if (input.table_size <= 0) return;
  const insertion_rules rules{order, places, input.strategy, input.table_size,
                              list_or_empty(input.first_keys).size()};
  for_each_insertion(rules, [&](std::uint32_t rank, std::int64_t number) {
    if (places.expected_slot[rank] == places.submitted_slot[rank]) return false;
    d.first_misplaced_key = order.distinct[rank];
    d.insertion_number = number;
    d.expected_slot = as_slot(places.expected_slot[rank]);
    d.submitted_slot = as_slot(places.submitted_slot[rank]);
    trace_path(rules, expected, rank, d);
    return true;
  });
}

// ---- Known mistakes ----

// Mistakes found by comparing with a layout at hand are tried before the wrong builds, each group
// in catalogue order.
bool by_comparison(mistake_id id) {
  return catalogue_entry(id).check != mistake_check::wrong_build;
}

// Pairs are tried last, in catalogue order.
bool tried_before(const named_mistake& a, const named_mistake& b) {
  if (a.second.has_value() != b.second.has_value()) return !a.second;
  if (a.second) return a < b;
  if (by_comparison(a.first) != by_comparison(b.first)) return by_comparison(a.first);
  return a.first < b.first;
}

// A mistake that gives the line, with what its sentence and walk need.
struct candidate {
  named_mistake id;
  mistake_detail detail;
  std::optional<mistake_build> build;
};

void add_other_strategy(const diagnosis_input& input, const key_list& submitted,
                        std::vector<candidate>& found) {
  for (const strategy_id other : all_strategies) {
    if (other == input.strategy) continue;
    const key_list& layout = layout_of(*input.expected, other);
    if (static_cast<std::int64_t>(layout.size()) != input.table_size || layout != submitted) {
      continue;
    }
    found.push_back({mistake_id::wrong_strategy,
                     {input.strategy, other, false},
                     mistake_build{other, build_rules{}}});
    return;
  }
}

void add_shifted(const diagnosis_input& input, const key_list& submitted,
                 std::vector<candidate>& found) {
  for (const bool above : {true, false}) {
    const key_list* neighbour = above ? input.line_above : input.line_below;
    if (neighbour == nullptr || *neighbour != submitted) continue;
    found.push_back({mistake_id::line_shifted, {input.strategy, input.strategy, !above}, {}});
    return;
  }
}

// The line with each empty marker read as an empty slot; null when it holds no marker.
std::optional<key_list> marks_read_as_empty(const key_list& submitted) {
  if (std::find(submitted.begin(), submitted.end(), empty_marker_key) == submitted.end()) {
    return std::nullopt;
  }
  key_list read = submitted;
  std::replace(read.begin(), read.end(), empty_marker_key, key{0});
  return read;
}

// The correct layout with at least one empty slot printed as the empty marker.
void add_marked_empty(const diagnosis_input& input, const std::optional<key_list>& marked,
                      std::vector<candidate>& found) {
  if (marked && *marked == expected_layout(input)) {
    found.push_back({mistake_id::empty_marker, {input.strategy, input.strategy, false}, {}});
  }
}

// Whether `submitted` is `layout` with every empty slot printed as the empty marker, but for the
// one slot key 0 may hold when the build stores it as a key: a program that prints a marker for
// an empty slot prints no 0 for one.
bool printed_with_markers(const key_list& layout, const key_list& submitted, bool zero_stored) {
  if (layout.size() != submitted.size()) return false;
  int zeros_left = zero_stored ? 1 : 0;
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (layout[i] != 0 || submitted[i] == empty_marker_key) {
      if (submitted[i] != (layout[i] == 0 ? empty_marker_key : layout[i])) return false;
    } else if (submitted[i] != 0 || zeros_left-- == 0) {
      return false;
    }
  }
  return true;
}

// Two mistakes at once, in catalogue order.
named_mistake pair_of(mistake_id a, mistake_id b) {
  return a < b ? named_mistake{a, b} : named_mistake{b, a};
}

bool named_already(const std::vector<candidate>& found, const named_mistake& name) {
  return std::any_of(found.begin(), found.end(),
                     [&name](const candidate& c) { return c.id == name; });
}

// Each mistake once, by its first reading that gives the line; and, for a line that holds empty
// markers (`marked`, the line with them read as empty slots), each wrong build whose layout it
// then is, as that mistake with the empty marker.
void add_variants(const diagnosis_input& input, const key_list& submitted,
                  const std::optional<key_list>& marked, const key_order& order,
                  std::vector<candidate>& found) {
  const std::int64_t m = input.table_size;
  if (m < smallest_variant_table || m > largest_variant_table) return;
  if (static_cast<std::int64_t>(submitted.size()) != m) return;
  for (const wrong_build build : all_wrong_builds) {
    if (!variant_applies(build, input.strategy)) continue;
    const named_mistake with_marker = pair_of(mistake_id::empty_marker, build.mistake);
    const bool single_found = !found.empty() && found.back().id == build.mistake;
    if (single_found || (marked && named_already(found, with_marker))) continue;
    const key_list layout =
        build_variant(build, input.strategy, static_cast<std::int32_t>(m),
                      list_or_empty(input.first_keys), list_or_empty(input.second_keys), order);
    const candidate made{build.mistake,
                         {input.strategy, input.strategy, false},
                         mistake_build{input.strategy, rules_of(build)}};
    if (layout == submitted) {
      found.push_back(made);
    } else if (marked && printed_with_markers(layout, submitted, rules_of(build).zero_is_key)) {
      found.push_back({with_marker, made.detail, made.build});
    }
  }
}

// A pair of wrong builds of two mistakes, their rules merged.
struct pair_build {
  named_mistake name;
  build_rules rules;
};

std::vector<pair_build> find_pair_builds(strategy_id strategy) {
  std::vector<pair_build> pairs;
  for (std::size_t i = 0; i < all_wrong_builds.size(); ++i) {
    const wrong_build one = all_wrong_builds[i];
    if (!variant_applies(one, strategy)) continue;
    for (std::size_t j = i + 1; j < all_wrong_builds.size(); ++j) {
      const wrong_build other = all_wrong_builds[j];
      if (other.mistake == one.mistake || !variant_applies(other, strategy)) continue;
      const std::optional<build_rules> rules = merged_rules(rules_of(one), rules_of(other));
      if (rules) pairs.push_back({named_mistake{one.mistake, other.mistake}, *rules});
    }
  }
  return pairs;
}

// Every pair of readings of two mistakes that can be made together on `strategy`, in catalogue
// order: made once for each strategy.
const std::vector<pair_build>& pair_builds(strategy_id strategy) {
  static const std::array<std::vector<pair_build>, strategy_count> by_strategy = [] {
    std::array<std::vector<pair_build>, strategy_count> made;
    for (std::size_t s = 0; s < strategy_count; ++s) made[s] = find_pair_builds(all_strategies[s]);
    return made;
  }();
  return by_strategy[strategy_index(strategy)];
}

// Each pair of `pairs` that `wanted` picks, once, by its first readings that give the line; they
// are tried whole or not at all, as `slots_left` allows. False when they were not tried.
template <typename pick>
bool try_pairs(const diagnosis_input& input, const key_list& submitted, const key_order& order,
               std::int64_t& slots_left, pick wanted, std::vector<candidate>& found) {
  const std::int64_t m = input.table_size;
  const std::vector<pair_build>& pairs = pair_builds(input.strategy);
  const auto count = static_cast<std::int64_t>(std::count_if(pairs.begin(), pairs.end(), wanted));
  const std::int64_t cost = count * std::max(m, pair_build_floor);
  if (cost > slots_left) return false;
  slots_left -= cost;
  for (const pair_build& pair : pairs) {
    if (!wanted(pair) || named_already(found, pair.name)) continue;
    const key_list layout =
        build_by_rules(pair.rules, input.strategy, static_cast<std::int32_t>(m),
                       list_or_empty(input.first_keys), list_or_empty(input.second_keys), order);
    if (layout != submitted) continue;
    found.push_back({pair.name,
                     {input.strategy, input.strategy, false},
                     mistake_build{input.strategy, pair.rules}});
  }
  return true;
}

// Every pair of mistakes, for a line no mistake alone gives.
void add_pairs(const diagnosis_input& input, const key_list& submitted, const key_order& order,
               std::vector<candidate>& found, diagnosis& d) {
  if (input.pairs == nullptr || input.table_size > largest_pair_table) return;
  const auto every = [](const pair_build&) { return true; };
  d.pairs_searched = try_pairs(input, submitted, order, input.pairs->slots_left, every, found);
}

// Whether two mistakes can be made at once: two wrong builds whose rules merge for some
// reading of each, or the empty marker with any wrong build.
bool can_pair(mistake_id a, mistake_id b) {
  if (a == b) return false;
  const mistake_entry& one = catalogue_entry(a);
  const mistake_entry& other = catalogue_entry(b);
  if (one.check == mistake_check::marked_empty || other.check == mistake_check::marked_empty) {
    return one.check == mistake_check::wrong_build || other.check == mistake_check::wrong_build;
  }
  for (std::size_t i = 0; i < one.reading_count; ++i) {
    for (std::size_t j = 0; j < other.reading_count; ++j) {
      if (merged_rules(one.readings[i], other.readings[j])) return true;
    }
  }
  return false;
}

// Every named pair that holds `part`, which gives the line, and a wrong build that can't be
// made on the line's strategy: the program that makes both gives this line what `part` gives.
void add_pairs_off_strategy(const diagnosis_input& input, const candidate& part,
                            std::vector<candidate>& found) {
  for (const mistake_entry& entry : mistake_catalogue) {
    if (entry.check != mistake_check::wrong_build || mistake_applies(entry.id, input.strategy) ||
        !can_pair(part.id.first, entry.id)) {
      continue;
    }
    const named_mistake name = pair_of(part.id.first, entry.id);
    if (!named_already(found, name)) found.push_back({name, part.detail, part.build});
  }
}

// A program that makes two mistakes shows one of them alone on a line the other changes nothing
// on. So a line a mistake gives is given as well by each pair that holds it and whose other
// mistake shows nothing there: one that can't be made on the line's strategy, the empty marker
// on a line with no empty slot, or a wrong build whose merged build gives the line too (built
// while the budget for it lasts). A pair's evidence then counts every line it gives, and a
// program of two mistakes is named by both (see likely_mistakes).
void add_pairs_with_parts(const diagnosis_input& input, const key_list& submitted,
                          const key_order& order, std::vector<candidate>& found) {
  std::vector<mistake_id> builds;
  const std::size_t given = found.size();
  const auto zeros = std::count(submitted.begin(), submitted.end(), key{0});
  for (std::size_t i = 0; i < given; ++i) {
    const candidate part = found[i];  // a copy: `found` grows below
    if (part.id.second) continue;
    const mistake_check check = catalogue_entry(part.id.first).check;
    if (check == mistake_check::wrong_build) {
      builds.push_back(part.id.first);
    } else if (check != mistake_check::marked_empty) {
      continue;
    }
    add_pairs_off_strategy(input, part, found);
    // Key 0, stored as a key, prints as 0 where an empty slot prints as the marker.
    const bool none_empty =
        zeros == 0 || (zeros == 1 && part.build && part.build->rules.zero_is_key);
    const named_mistake marked = pair_of(mistake_id::empty_marker, part.id.first);
    if (check == mistake_check::wrong_build && none_empty && !named_already(found, marked)) {
      found.push_back({marked, part.detail, part.build});
    }
  }
  if (builds.empty() || input.pairs == nullptr || input.table_size > largest_pair_table) return;
  const auto holds_part = [&builds](const pair_build& pair) {
    return std::find(builds.begin(), builds.end(), pair.name.first) != builds.end() ||
           std::find(builds.begin(), builds.end(), *pair.name.second) != builds.end();
  };
  try_pairs(input, submitted, order, input.pairs->with_parts_left, holds_part, found);
}

// What an unexplained line says was tried.
std::string unexplained_text(const diagnosis_input& input, const diagnosis& d) {
  const std::int64_t m = input.table_size;
  if (m < smallest_variant_table || m > largest_variant_table) {
    return "No known mistake gives this line; wrong builds are tried for tables of " +
           std::to_string(smallest_variant_table) + " to " + std::to_string(largest_variant_table) +
           " slots only.";
  }
  if (d.pairs_searched || input.pairs == nullptr) return "No known mistake gives this line.";
  if (m > largest_pair_table) {
    return "No known mistake gives this line alone; pairs of mistakes are tried for tables of up "
           "to " +
           std::to_string(largest_pair_table) + " slots only.";
  }
  return "No known mistake gives this line alone; pairs of mistakes were not tried, the "
         "submission having spent the " +
         std::to_string(pair_slot_budget) + " slots its pairs may build.";
}

std::int64_t count_at(const std::vector<std::int64_t>& counts, std::size_t at) {
  return at < counts.size() ? counts[at] : 0;
}

// A mistake's evidence is the lines it gives. A pair's is too, when it gives a line neither of its
// mistakes gives alone or more lines than each: a pair that gives no more than one of its mistakes
// alone is read as that mistake.
std::int64_t weight_at(const mistake_evidence& evidence, std::size_t at) {
  const std::int64_t lines = count_at(evidence.lines, at);
  if (at < mistake_catalogue.size()) return lines;
  const named_mistake pair = named_at(at);
  const bool beats_parts = lines > count_at(evidence.lines, named_index(pair.first)) &&
                           lines > count_at(evidence.lines, named_index(*pair.second));
  return beats_parts || count_at(evidence.alone, at) > 0 ? lines : 0;
}

std::int64_t evidence_for(const mistake_evidence* evidence, const named_mistake& id) {
  return evidence == nullptr ? 0 : weight_at(*evidence, named_index(id));
}

// The layouts at hand are compared first, so that on equal evidence a line that is a whole
// correct layout is explained as that rather than as a wrong build that happens to give it.
void name_mistake(const diagnosis_input& input, const key_list& submitted, const key_order& order,
                  diagnosis& d) {
  std::vector<candidate> found;
  const std::optional<key_list> marked = marks_read_as_empty(submitted);
  // The case's lines together explain the line first; the other strategy's layout it also holds
  // is what the kept table gives, not a mistake of its own.
  if (input.table_kept && mistake_applies(mistake_id::table_not_reset, input.strategy)) {
    found.push_back(
        {mistake_id::table_not_reset, {input.strategy, strategy_id::linear_probing, false}, {}});
  }
  for (const mistake_entry& entry : mistake_catalogue) {
    if (!mistake_applies(entry.id, input.strategy)) continue;
    if (entry.check == mistake_check::other_strategy && !input.table_kept) {
      add_other_strategy(input, submitted, found);
    }
    if (entry.check == mistake_check::neighbour_line) add_shifted(input, submitted, found);
    if (entry.check == mistake_check::marked_empty) add_marked_empty(input, marked, found);
  }
  add_variants(input, submitted, marked, order, found);
  add_pairs_with_parts(input, submitted, order, found);
  const bool built =
      input.table_size >= smallest_variant_table && input.table_size <= largest_variant_table;
  if (found.empty() && built) {
    // No build gives a line of another length than its table's: no pair needs trying.
    const bool fits = static_cast<std::int64_t>(submitted.size()) == input.table_size;
    if (fits) {
      add_pairs(input, submitted, order, found, d);
    } else {
      d.pairs_searched = true;
    }
  }
  d.searched = true;
  if (found.empty()) {
    d.mistake_text = unexplained_text(input, d);
    return;
  }
  // Pairs after every mistake alone, in catalogue order, as likely_mistakes breaks ties.
  const auto pairs_from = std::find_if(found.begin(), found.end(),
                                       [](const candidate& c) { return c.id.second.has_value(); });
  std::stable_sort(pairs_from, found.end(),
                   [](const candidate& a, const candidate& b) { return a.id < b.id; });
  for (const candidate& c : found) d.reproducing.push_back(c.id);
  // A mistake alone that gives the line names it before any pair: the pairs that hold it are
  // evidence of the program's mistakes, not of this line's.
  const auto named_from = found.begin();
  const auto named_to = pairs_from == found.begin() ? found.end() : pairs_from;
  const mistake_evidence* evidence = input.evidence;
  if (evidence == nullptr && named_to - named_from > 1 && input.fetch_evidence) {
    evidence = input.fetch_evidence();
  }
  const candidate* best = &*named_from;
  for (auto c = named_from; c != named_to; ++c) {
    if (evidence_for(evidence, c->id) > evidence_for(evidence, best->id)) best = &*c;
  }
  std::sort(d.reproducing.begin(), d.reproducing.end());
  d.mistake = best->id;
  d.mistake_text = mistake_sentence(best->id, best->detail);
  d.named_build = best->build;
}

// Replaces each "{name}" of `text` by `value`.
void fill_blank(std::string& text, std::string_view name, std::string_view value) {
  for (std::size_t at = text.find(name); at != std::string::npos;
       at = text.find(name, at + value.size())) {
    text.replace(at, name.size(), value);
  }
}

// ---- The root-cause key, step by step ----

void trace_walks(const diagnosis_input& input, const key_list& expected, const key_order& order,
                 diagnosis& d) {
  if (!d.first_misplaced_key) return;
  walk_source source;
  source.strategy = input.strategy;
  source.table_size = input.table_size;
  source.first_keys = &list_or_empty(input.first_keys);
  source.second_keys = &list_or_empty(input.second_keys);
  source.order = &order;
  source.expected = &expected;
  source.root = *d.first_misplaced_key;
  source.length = d.path_length;
  source.settles = d.settles;
  source.mistake = d.named_build;
  if (d.mistake) source.mistake_name = mistake_title(*d.mistake);
  d.walk = trace_steps(source);
}

}  // namespace

diagnosis diagnose_line(const diagnosis_input& input, diagnosis_scratch& scratch) {
  diagnosis d;
  const key_list& submitted = list_or_empty(input.submitted);
  const key_list& expected = expected_layout(input);
  d.table_size = input.table_size;
  d.slot_count = static_cast<std::int64_t>(submitted.size()) + input.truncated_keys;
  d.notes = notes_of(input.notes, submitted);
  compare_lines(expected, submitted, d);
  d.differing_slots += input.truncated_keys;
  const bool built =
      input.expected != nullptr && static_cast<std::int64_t>(expected.size()) == input.table_size;
  if (d.differing_slots == 0 || !built) return d;
  if (input.names_only) {
    if (!input.keys_read) return d;
    const key_order order = input.order == nullptr ? order_keys(list_or_empty(input.first_keys),
                                                                list_or_empty(input.second_keys),
                                                                scratch.pairs, scratch.spare)
                                                   : key_order{};
    name_mistake(input, submitted, input.order == nullptr ? order : *input.order, d);
    return d;
  }
  key_order own_order;
  if (input.order == nullptr) {
    own_order = order_keys(list_or_empty(input.first_keys), list_or_empty(input.second_keys),
                           scratch.pairs, scratch.spare);
  }
  const key_order& order = input.order == nullptr ? own_order : *input.order;
  const key_places places = place_keys(expected, submitted, order, scratch, d);
  find_root_cause(input, expected, order, places, d);
  if (input.keys_read) name_mistake(input, submitted, order, d);
  trace_walks(input, expected, order, d);
  return d;
}

bool table_kept_in_case(const key_list& first_keys, const key_list& second_keys,
                        const layouts& expected,
                        const std::array<const key_list*, strategy_count>& submitted) {
  const key_list& linear = layout_of(expected, strategy_id::linear_probing);
  bool wrong = false;
  for (std::size_t i = 1; i < strategy_count; ++i) {
    // Each later line holds every key the first did, in the same slots.
    if (submitted[i] == nullptr || submitted[i]->size() != linear.size()) return false;
    for (std::size_t slot = 0; slot < linear.size(); ++slot) {
      if (linear[slot] != 0 && (*submitted[i])[slot] != linear[slot]) return false;
    }
    wrong = wrong || *submitted[i] != expected.by_strategy[i];
  }
  if (!wrong) return false;
  const std::array<key_list, strategy_count> kept =
      kept_table_layouts(linear, first_keys, second_keys);
  for (std::size_t i = 1; i < strategy_count; ++i) {
    if (kept[i].empty() || *submitted[i] != kept[i]) return false;
  }
  return true;
}

std::string mistake_sentence(mistake_id id, const mistake_detail& detail) {
  std::string text(catalogue_entry(id).sentence);
  fill_blank(text, "{strategy}", strategy_title(detail.strategy));
  fill_blank(text, "{other}", strategy_title(detail.other));
  const std::string side = detail.below ? "below" : "above";
  fill_blank(text, "{side}", detail.lines == 1 ? side : std::to_string(detail.lines) + " " + side);
  return text;
}

std::string mistake_sentence(const named_mistake& name, const mistake_detail& detail) {
  if (!name.second) return mistake_sentence(name.first, detail);
  return "Two mistakes at once: " + mistake_sentence(name.first, detail) + " " +
         mistake_sentence(*name.second, detail);
}

void count_evidence(const diagnosis& d, mistake_evidence& evidence) {
  ++evidence.wrong_lines;
  // A line not looked at (past the end, a bad token, a table too large) is no evidence either way.
  if (d.searched && d.reproducing.empty()) ++evidence.unexplained;
  const bool given_alone = std::any_of(d.reproducing.begin(), d.reproducing.end(),
                                       [](const named_mistake& id) { return !id.second; });
  const auto add = [](std::vector<std::int64_t>& counts, std::size_t at) {
    if (at >= counts.size()) counts.resize(std::max(at + 1, mistake_catalogue.size()), 0);
    ++counts[at];
  };
  for (const named_mistake& id : d.reproducing) {
    add(evidence.lines, named_index(id));
    if (id.second && !given_alone) add(evidence.alone, named_index(id));
  }
}

// Ties go as a line's name goes: to the mistake tried first.
std::vector<likely_mistake> likely_mistakes(const mistake_evidence& evidence) {
  std::vector<likely_mistake> likely;
  for (std::size_t m = 0; m < evidence.lines.size() && m < named_mistake_count; ++m) {
    if (weight_at(evidence, m) == 0) continue;
    likely.push_back({named_at(m), evidence.lines[m], evidence.wrong_lines});
  }
  std::sort(likely.begin(), likely.end(), [](const likely_mistake& a, const likely_mistake& b) {
    if (a.explains != b.explains) return a.explains > b.explains;
    return tried_before(a.mistake, b.mistake);
  });
  return likely;
}

std::optional<likely_mistake> program_mistake(const submission_shape& shape) {
  if (shape.likely.empty() || shape.likely.front().explains < shape.unexplained_lines) {
    return std::nullopt;
  }
  return shape.likely.front();
}
