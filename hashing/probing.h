// The one description of where a key goes: the strategies as a table of traits, and a key's probe
// sequence as a function of a strategy's probe rules. Every builder, the diagnosis, the audit and
// the step trace take their slots from here; a builder may reach them faster (the empty-slot
// tree), but never by other rules.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

/// The strategies, in the order a case builds and an output file lists them.
enum class strategy_id : std::uint8_t { linear_probing, two_pass_hashing, double_hashing };

/// How a key's step between hash probes is formed from the key k and the table size m.
enum class step_rule : std::uint8_t {
  plus_one,           // (k mod (m - 2)) + 1, the correct step
  no_plus_one,        // k mod (m - 2)
  modulo_m_minus_1,   // (k mod (m - 1)) + 1
  prime_below_m,      // R - (k mod R), R the largest prime below m
  modulo_m_plus_one,  // (k mod m) + 1
};

/// A key's probe sequence: `probes` hash probes, probe i at (home + i * step) mod m from i =
/// `first_probe` on, then a linear scan after the scan's start, `scan_stride` slots a try, up to
/// m - 1 - `scan_cut` tries. A scan past the last slot goes on in the ring of slots from `wrap_to`
/// on: a scan of 2 slots a try goes round an odd ring once, and round the slots of its start's
/// parity on an even one, trying them again. A key takes the first empty slot of its
/// sequence, or is dropped when the sequence ends. `step_from_held` alone is not a function of
/// the key: the builders take the step from the key that holds the home slot, and the functions
/// below, which know no table, ignore it.
struct probe_rules {
  int probes = 1;                        // 1: the home slot alone, then the scan
  int first_probe = 0;                   // 1: the probes are i = 1, 2, ..., skipping the home slot
  step_rule step = step_rule::plus_one;  // unused with one probe
  bool wrap = true;  // the scan goes on from slot `wrap_to` after the last slot, or ends there
  int wrap_to = 0;
  int scan_cut = 0;             // scanned slots fewer than m - 1
  int scan_stride = 1;          // slots a scan advances a try: 1 or 2
  bool scan_from_home = false;  // the scan starts after the home slot, not after the last probe
  bool keep_probing = false;    // no scan: probe i goes on up to where the probes repeat
  bool step_from_held = false;  // the step is that of the key holding the home slot
  std::int64_t step_key = -1;   // from 0: the key whose step every key takes, as step_from_held
  bool operator==(const probe_rules&) const = default;
};

/// What sets one strategy apart from the others.
struct strategy_traits {
  strategy_id id;
  std::string_view key;    // the fixed id reports print, such as "two_pass_hashing"
  std::string_view title;  // how a sentence names it, such as "two-pass hashing"
  probe_rules rules;
  bool first_list_two_passes;  // keys of the first list that find their home free take it first
  bool size_two_allowed;       // whether a table of 2 slots can take keys (no step exists there)
};

inline constexpr std::array strategy_table{
    strategy_traits{
        strategy_id::linear_probing, "linear_probing", "linear probing", {}, false, true},
    strategy_traits{
        strategy_id::two_pass_hashing, "two_pass_hashing", "two-pass hashing", {}, true, true},
    strategy_traits{strategy_id::double_hashing, "double_hashing", "double hashing",
                    probe_rules{.probes = 3}, false, false},
};

/// How many strategies a case builds, and so how many output lines a case has.
inline constexpr std::size_t strategy_count = strategy_table.size();

constexpr const strategy_traits& traits_of(strategy_id strategy) {
  return strategy_table[static_cast<std::size_t>(strategy)];
}

constexpr std::size_t strategy_index(strategy_id strategy) {
  return static_cast<std::size_t>(strategy);
}

constexpr bool traits_in_id_order() {
  for (std::size_t i = 0; i < strategy_count; ++i) {
    if (strategy_index(strategy_table[i].id) != i) return false;
  }
  return true;
}
static_assert(traits_in_id_order(), "each strategy's row sits at its strategy_id");

constexpr std::array<strategy_id, strategy_count> strategy_ids() {
  std::array<strategy_id, strategy_count> ids{};
  for (std::size_t i = 0; i < strategy_count; ++i) ids[i] = strategy_table[i].id;
  return ids;
}

/// Every strategy, in table order.
inline constexpr std::array<strategy_id, strategy_count> all_strategies = strategy_ids();

/// Home slot of `k`: the truncating remainder k mod `table_size`. Computed in 64 bits, so no input
/// overflows; a `table_size` of 0 has no remainder and gives 0.
constexpr std::int64_t primary_hash(std::int64_t k, std::int64_t table_size) {
  return table_size == 0 ? 0 : k % table_size;
}

/// The largest prime below `n`, for n of 3 or more; 1 below that.
std::int64_t largest_prime_below(std::int64_t n);

/// The divisor of the step under `rule` for a table of `table_size` slots; 1 below 3 slots, where
/// no other divisor exists.
inline std::int64_t step_divisor(std::int64_t table_size, step_rule rule) {
  if (table_size < 3) return 1;
  if (rule == step_rule::prime_below_m) return largest_prime_below(table_size);
  if (rule == step_rule::modulo_m_plus_one) return table_size;
  return rule == step_rule::modulo_m_minus_1 ? table_size - 1 : table_size - 2;
}

/// The step under `rule` from `remainder`, the key's remainder by `divisor` (step_divisor): a
/// builder that forms remainders its own faster way still takes the step from here.
constexpr std::int64_t step_from_remainder(std::int64_t remainder, std::int64_t divisor,
                                           step_rule rule) {
  if (rule == step_rule::prime_below_m) return divisor - remainder;
  return rule == step_rule::no_plus_one ? remainder : remainder + 1;
}

/// The step of `k` under `rule`: for the correct rule between 1 and m - 2 for k >= 0 and m >= 3,
/// and 1 below 3 slots.
inline std::int64_t probe_step(std::int64_t k, std::int64_t table_size, step_rule rule) {
  const std::int64_t divisor = step_divisor(table_size, rule);
  return step_from_remainder(k % divisor, divisor, rule);
}

/// Step of double hashing: (k mod (`table_size` - 2)) + 1, truncating; 1 below 3 slots.
inline std::int64_t step_hash(std::int64_t k, std::int64_t table_size) {
  return probe_step(k, table_size, step_rule::plus_one);
}

/// Hash probe `i` from `home` by `step`, in 64 bits, so every table size below 2^30 gets the
/// exact slot.
constexpr std::int64_t hash_probe(std::int64_t home, std::int64_t step, std::int64_t i,
                                  std::int64_t table_size) {
  return (home + i * step) % table_size;
}

/// Probe `i` of double hashing: (primary_hash + i * step_hash) mod `table_size`. Gives 0 for a
/// `table_size` of 0 or 2.
inline std::int64_t double_hash_slot(std::int64_t k, std::int64_t i, std::int64_t table_size) {
  if (table_size == 0 || table_size == 2) return 0;
  return hash_probe(primary_hash(k, table_size), step_hash(k, table_size), i, table_size);
}

/// The slot after which the scan of `k` starts: its home slot or its last hash probe.
std::int64_t scan_start(const probe_rules& rules, std::int64_t table_size, std::int64_t k);

/// Slot of try `i` (from 0) of key `k` under `rules` in a table of `table_size` slots; -1 once the
/// key has no try left and is dropped. A try counts whatever the slot holds, so a slot tried twice
/// (a step of 0) is two tries. Constant time.
std::int64_t probe_slot(const probe_rules& rules, std::int64_t table_size, std::int64_t k,
                        std::int64_t i);

/// Tries in all before `k` is dropped.
std::int64_t probe_count(const probe_rules& rules, std::int64_t table_size, std::int64_t k);

/// The number of tries up to and including the first that reaches `slot` (1 for the home slot),
/// or -1 when no try does. Constant time but for keep_probing, linear in its probes.
std::int64_t tries_to(const probe_rules& rules, std::int64_t table_size, std::int64_t k,
                      std::int64_t slot);

/// Try `j` (from 1) of the scan under `rules` after slot `start`; -1 past its end.
std::int64_t scanned_slot(const probe_rules& rules, std::int64_t table_size, std::int64_t start,
                          std::int64_t j);

/// The try (from 1) at which the scan under `rules` after slot `start` reaches `slot`, or -1 when
/// it never does.
std::int64_t scan_tries_to(const probe_rules& rules, std::int64_t table_size, std::int64_t start,
                           std::int64_t slot);
