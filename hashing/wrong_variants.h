// Builders of the layouts that known mistakes give, so that a wrong line can be matched against
// them. Each is the correct builder of its strategy with one rule changed and every other rule
// kept: key 0 adds nothing and a key met again is absorbed, unless the change says otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hashing/hash_table.h"

/// The mistakes, in the order they are tried. `two_probes` and `four_probes` are the two forms of
/// one mistake and share its id.
enum class variant_id {
  lists_swapped,
  no_wrap_around,
  repeated_key_stored,
  second_list_two_pass,
  step_without_plus_one,
  step_modulo_m_minus_1,
  scan_from_home,
  two_probes,
  four_probes,
  double_probing_continues,
};

inline constexpr std::array<variant_id, 10> all_variants{
    variant_id::lists_swapped,         variant_id::no_wrap_around,
    variant_id::repeated_key_stored,   variant_id::second_list_two_pass,
    variant_id::step_without_plus_one, variant_id::step_modulo_m_minus_1,
    variant_id::scan_from_home,        variant_id::two_probes,
    variant_id::four_probes,           variant_id::double_probing_continues};

/// Table sizes the variants are built for; outside them `build_variant` gives no layout.
inline constexpr std::int32_t smallest_variant_table = 3;
inline constexpr std::int32_t largest_variant_table = 100000;

/// Probes a `double_probing_continues` build may make in all before it gives up; bounds the
/// build at a few tens of milliseconds whatever the keys.
inline constexpr std::int64_t continued_probe_budget = std::int64_t{1} << 24;

/// The fixed id reports print, such as "no_wrap_around"; both probe-count forms give
/// "probes_off_by_one".
std::string_view variant_key(variant_id id);

/// One plain sentence, ending in a full stop, saying what the mistaken builder does.
std::string_view variant_text(variant_id id);

/// Whether the mistake can be made when building `strategy`: lists_swapped, no_wrap_around and
/// repeated_key_stored apply to all three, second_list_two_pass to two-pass hashing only and the
/// rest to double hashing only.
bool variant_applies(variant_id id, strategy_id strategy);

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

/// The layout `id` gives for `strategy`: `table_size` slots, 0 for an empty one. Empty when the
/// mistake does not apply to `strategy`, when `table_size` lies outside smallest_variant_table to
/// largest_variant_table, when a key is below 0, or when a double_probing_continues build runs
/// past continued_probe_budget. `order` must be order_keys of the same two lists; passing it lets
/// a caller sort the keys once for every variant. Linear in the table size plus the key count.
key_list build_variant(variant_id id, strategy_id strategy, std::int32_t table_size,
                       const key_list& first_keys, const key_list& second_keys,
                       const key_order& order);

/// As above, ordering the keys itself.
key_list build_variant(variant_id id, strategy_id strategy, std::int32_t table_size,
                       const key_list& first_keys, const key_list& second_keys);

/// As build_variant with `order`, for any table size from smallest_variant_table up to
/// max_table_size; takes 8 bytes a slot beside the keys.
key_list build_variant_any_size(variant_id id, strategy_id strategy, std::int32_t table_size,
                                const key_list& first_keys, const key_list& second_keys,
                                const key_order& order);

enum class variant_outcome { same, differs, undecided };

/// Whether `id` builds another layout for `strategy` than `correct`, the correct layout of the
/// same lists (`order` as for build_variant), without building it whole: the build stops at the
/// first key it stores where `correct` holds another, or drops while `correct` holds every key.
/// `undecided` when a double_probing_continues build runs past its budget, and for input that
/// build_variant_any_size gives no layout for, lists_swapped included. At most as slow as that
/// build, and far faster when the layouts part early; takes 8 bytes a slot.
variant_outcome compare_variant(variant_id id, strategy_id strategy, std::int32_t table_size,
                                const key_list& first_keys, const key_list& second_keys,
                                const key_order& order, const key_list& correct);

/// Whether some pair of key lists makes `id` build another layout than the correct builder of
/// `strategy` at `table_size`. False only when that is proven: at every size where no case can
/// hold keys or where the mistake never changes where a key goes (say a step that is always 1 at
/// table size 3); true whenever the proof would cost more than a few million probes.
bool variant_revealable(variant_id id, strategy_id strategy, std::int64_t table_size);
