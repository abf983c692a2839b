#include "tests/literal_variants.h"

#include <algorithm>

#include "reference/reference_builders.h"

namespace {

struct literal_table {
  key_list slots;
  literal_rules rules;
  std::vector<bool> taken = std::vector<bool>(slots.size(), false);
};

std::int64_t size_of(const literal_table& t) { return static_cast<std::int64_t>(t.slots.size()); }

bool try_store(literal_table& t, std::int64_t slot, key k) {
  if (k == 0 && !t.rules.zero_is_key) return true;  // storing 0 leaves the slot empty
  const auto i = static_cast<std::size_t>(slot);
  if (t.taken[i] && !(t.rules.free_if_same_key && t.slots[i] == k)) return false;
  t.slots[i] = k;
  t.taken[i] = true;
  return true;
}

// Scans on from `start`: -1 once `k` is stored, else the last slot tried (`tried` when the scan
// tries none).
std::int64_t literal_scan_after(literal_table& t, std::int64_t start, key k, std::int64_t tried) {
  const std::int64_t m = size_of(t);
  std::int64_t slot = start;
  for (std::int64_t i = 1; i < m - t.rules.scan_cut; ++i) {
    slot += t.rules.scan_stride;
    if (slot >= m) {
      if (!t.rules.wrap || t.rules.wrap_to >= m) break;
      slot = t.rules.wrap_to + slot - m;
    }
    if (try_store(t, slot, k)) return -1;
    tried = slot;
  }
  return tried;
}

// `k` found no free slot; `last` is the last slot it tried.
void literal_no_room(literal_table& t, key k, std::int64_t home, std::int64_t last) {
  if (last < 0 || t.rules.overwrite == 0) return;
  const auto i = static_cast<std::size_t>(t.rules.overwrite == 1 ? last : home);
  t.slots[i] = k;
  t.taken[i] = true;
}

bool literal_is_prime(std::int64_t n) {
  for (std::int64_t d = 2; d < n; ++d) {
    if (n % d == 0) return false;
  }
  return n >= 2;
}

void literal_linear(literal_table& t, key k) {
  const std::int64_t home = k % size_of(t);
  if (!try_store(t, home, k)) literal_no_room(t, k, home, literal_scan_after(t, home, k, home));
}

std::int64_t literal_step(const literal_table& t, key k) {
  const std::int64_t m = size_of(t);
  if (t.rules.step_form == 1) return k % (m - 2);
  if (t.rules.step_form == 2) return k % (m - 1) + 1;
  if (t.rules.step_form == 4) return k % m + 1;
  if (t.rules.step_form == 3) {
    std::int64_t r = m - 1;
    while (!literal_is_prime(r)) --r;
    return r - k % r;
  }
  return k % (m - 2) + 1;
}

void literal_double(literal_table& t, key k) {
  const std::int64_t m = size_of(t);
  const std::int64_t home = k % m;
  const bool held = t.rules.step_from_held && t.taken[static_cast<std::size_t>(home)];
  const std::int64_t step = literal_step(t, held ? t.slots[static_cast<std::size_t>(home)] : k);
  const int probes = t.rules.keep_probing ? static_cast<int>(m) : t.rules.probes;
  std::int64_t slot = home;
  for (int i = 0; i < probes; ++i) {
    slot = (home + (i + t.rules.first_probe) * step) % m;
    if (try_store(t, slot, k)) return;
  }
  const std::int64_t last =
      t.rules.keep_probing ? slot
                           : literal_scan_after(t, t.rules.scan_from_home ? home : slot, k, slot);
  literal_no_room(t, k, home, last);
}

void literal_two_pass(literal_table& t, const key_list& keys) {
  key_list collided;
  for (const key k : keys) {
    if (!try_store(t, k % size_of(t), k)) collided.push_back(k);
  }
  if (t.rules.collided_reversed) std::reverse(collided.begin(), collided.end());
  for (const key k : collided) {
    const std::int64_t home = k % size_of(t);
    literal_no_room(t, k, home, literal_scan_after(t, home, k, home));
  }
}

}  // namespace

namespace {

void literal_fill(literal_table& t, strategy_id strategy, const key_list& first,
                  const key_list& second_in) {
  if (strategy == strategy_id::two_pass_hashing) {
    literal_two_pass(t, first);
    if (t.rules.second_two_pass) {
      literal_two_pass(t, second_in);
    } else {
      for (const key k : second_in) literal_linear(t, k);
    }
    return;
  }
  for (const key_list* keys : {&first, &second_in}) {
    for (const key k : *keys) {
      if (strategy == strategy_id::linear_probing) {
        literal_linear(t, k);
      } else {
        literal_double(t, k);
      }
    }
  }
}

}  // namespace

key_list literal_build(strategy_id strategy, std::int32_t m, const key_list& first,
                       const key_list& second, const literal_rules& rules) {
  literal_table t{key_list(static_cast<std::size_t>(m), 0), rules};
  const key_list none;
  const key_list& second_in = rules.second_inserted ? second : none;
  for (const strategy_id before : all_strategies) {
    if (before == strategy) break;
    if (rules.table_kept) literal_fill(t, before, first, second_in);
  }
  literal_fill(t, strategy, first, second_in);
  return t.slots;
}

key_list literal_correct(strategy_id strategy, std::int32_t m, const key_list& first,
                         const key_list& second) {
  if (strategy == strategy_id::linear_probing) return reference_linear_probing(m, first, second);
  if (strategy == strategy_id::two_pass_hashing) {
    return reference_two_pass_hashing(m, first, second);
  }
  return reference_double_hashing(m, first, second);
}

key_list literal_variant(wrong_build build, strategy_id strategy, std::int32_t m,
                         const key_list& first, const key_list& second) {
  literal_rules rules;
  switch (build.mistake) {
    case mistake_id::lists_swapped:
      return literal_correct(strategy, m, second, first);
    case mistake_id::no_wrap_around:
      rules.wrap = false;
      break;
    case mistake_id::repeated_key_stored:
      rules.free_if_same_key = false;
      break;
    case mistake_id::second_list_two_pass:
      rules.second_two_pass = true;
      break;
    case mistake_id::step_without_plus_one:
      rules.step_form = 1;
      break;
    case mistake_id::step_modulo_m_minus_1:
      rules.step_form = 2;
      break;
    case mistake_id::scan_from_home:
      rules.scan_from_home = true;
      break;
    case mistake_id::probes_off_by_one:
      rules.probes = build.reading == 0 ? 2 : 4;
      break;
    case mistake_id::double_probing_continues:
      rules.keep_probing = true;
      break;
    case mistake_id::wrap_to_slot_one:
      rules.wrap_to = 1;
      break;
    case mistake_id::scan_cut_short:
      rules.scan_cut = build.reading == 0 ? 1 : 2;
      break;
    case mistake_id::probes_from_one:
      rules.first_probe = 1;
      break;
    case mistake_id::step_prime_below_m:
      rules.step_form = 3;
      break;
    case mistake_id::second_list_skipped:
      rules.second_inserted = false;
      break;
    case mistake_id::key_zero_stored:
      rules.zero_is_key = true;
      break;
    case mistake_id::step_from_home_key:
      rules.step_from_held = true;
      break;
    case mistake_id::step_modulo_m:
      rules.step_form = 4;
      break;
    case mistake_id::collided_reversed:
      rules.collided_reversed = true;
      break;
    case mistake_id::scan_by_two:
      rules.scan_stride = 2;
      break;
    case mistake_id::overwrite_when_full:
      rules.overwrite = build.reading == 0 ? 1 : 2;
      break;

    case mistake_id::wrong_strategy:
    case mistake_id::line_shifted:
    case mistake_id::table_not_reset:
      return {};  // no wrong build: the line holds another correct layout, or the case's lines do
    case mistake_id::empty_marker:
      return {};  // no wrong build: the line holds another correct layout
  }
  return literal_build(strategy, m, first, second, rules);
}
