#include "hashing/wrong_variants.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <span>
#include <tuple>
#include <utility>

#include "hashing/empty_slot_tree.h"
#include "hashing/huge_pages.h"
#include "hashing/thread_start.h"

namespace {

constexpr std::uint32_t no_rank = std::numeric_limits<std::uint32_t>::max();

// ---- Sorting keys with their positions ----

constexpr int digit_bits = 11;
constexpr std::uint64_t digit_mask = (std::uint64_t{1} << digit_bits) - 1;
// Below this many pairs std::sort beats three passes over a 2048-entry histogram.
constexpr std::size_t radix_threshold = 4096;

void append_pairs(const key_list& keys, std::uint64_t offset, std::vector<std::uint64_t>& pairs) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == 0) continue;
    pairs.push_back(std::uint64_t{static_cast<std::uint32_t>(keys[i])} << 32 | (offset + i));
  }
}

// One pass of the radix sort over pairs [begin, end) of `from`: the counts of each digit, then the
// pairs scattered to `to` from the offsets the caller worked out. Two halves of a large list each
// have their own, on two threads; the first half's pairs of a digit go before the second's, so
// the sort stays stable and the bytes are those of one thread.
struct radix_part {
  const std::vector<std::uint64_t>* from = nullptr;
  std::vector<std::uint64_t>* to = nullptr;
  std::size_t begin = 0;
  std::size_t end = 0;
  int shift = 0;
  std::vector<std::size_t> offsets = std::vector<std::size_t>(digit_mask + 1, 0);
};

void* count_digits(void* argument) {
  auto& part = *static_cast<radix_part*>(argument);
  std::fill(part.offsets.begin(), part.offsets.end(), 0);
  for (std::size_t i = part.begin; i < part.end; ++i) {
    ++part.offsets[((*part.from)[i] >> part.shift) & digit_mask];
  }
  return nullptr;
}

void* scatter_pairs(void* argument) {
  auto& part = *static_cast<radix_part*>(argument);
  for (std::size_t i = part.begin; i < part.end; ++i) {
    const std::uint64_t pair = (*part.from)[i];
    (*part.to)[part.offsets[(pair >> part.shift) & digit_mask]++] = pair;
  }
  return nullptr;
}

// Runs `routine` on the second part on a helper thread and on the first part here.
void on_both(void* (*routine)(void*), std::array<radix_part, 2>& parts) {
  helper_thread helper;
  // An empty second part still has its counts cleared, here.
  if (parts[1].begin < parts[1].end) {
    helper.run(routine, &parts[1]);
  } else {
    routine(&parts[1]);
  }
  routine(&parts[0]);
}

void radix_pass(std::array<radix_part, 2>& parts, int shift) {
  for (radix_part& part : parts) part.shift = shift;
  on_both(count_digits, parts);
  std::size_t sum = 0;
  for (std::size_t digit = 0; digit <= digit_mask; ++digit) {
    for (radix_part& part : parts) sum += std::exchange(part.offsets[digit], sum);
  }
  on_both(scatter_pairs, parts);
}

// Lists of at least this many pairs are sorted by two threads.
constexpr std::size_t two_thread_pairs = std::size_t{1} << 20;

// The buckets of the top digit, [begin, end) of them, each sorted by the key bits below it: its
// pairs are read from `from` and left in `to`, at the same places, `from` serving as room. A
// bucket of a large random list holds a few thousand pairs, so its passes run in cache where a
// pass over the whole list would not.
struct bucket_range {
  std::vector<std::uint64_t>* from = nullptr;
  std::vector<std::uint64_t>* to = nullptr;
  const std::vector<std::size_t>* ends = nullptr;  // where each bucket ends
  std::size_t begin = 0;
  std::size_t end = 0;
  int below_top = 0;
};

// Below this many pairs a bucket is sorted whole rather than cleared a histogram a pass.
constexpr std::size_t small_bucket = 256;

using digit_counts = std::array<std::size_t, digit_mask + 1>;

void sort_bucket(std::uint64_t* source, std::uint64_t* target, std::size_t count, int below_top,
                 digit_counts& offsets) {
  if (count < small_bucket) {
    std::sort(source, source + count);
    std::copy(source, source + count, target);
    return;
  }
  // Digits no wider than the bucket is long, so that no histogram outweighs its pairs.
  const int widest = std::clamp(static_cast<int>(std::bit_width(count)) - 1, 1, digit_bits);
  const int passes = (below_top + widest - 1) / widest;
  const int width = passes == 0 ? 0 : (below_top + passes - 1) / passes;
  const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int shift = 32 + pass * width;
    std::fill(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(mask + 1), 0);
    for (std::size_t i = 0; i < count; ++i) ++offsets[(source[i] >> shift) & mask];
    std::size_t sum = 0;
    for (std::size_t digit = 0; digit <= mask; ++digit) sum += std::exchange(offsets[digit], sum);
    for (std::size_t i = 0; i < count; ++i) {
      target[offsets[(source[i] >> shift) & mask]++] = source[i];
    }
    std::swap(source, target);
  }
  // After an even count of passes the pairs are back where they started: copied across.
  if (passes % 2 == 0) std::copy(source, source + count, target);
}

void* sort_buckets(void* argument) {
  const auto& range = *static_cast<const bucket_range*>(argument);
  const std::vector<std::size_t>& ends = *range.ends;
  digit_counts offsets{};
  for (std::size_t bucket = range.begin; bucket < range.end; ++bucket) {
    const std::size_t first = bucket == 0 ? 0 : ends[bucket - 1];
    sort_bucket(range.from->data() + first, range.to->data() + first, ends[bucket] - first,
                range.below_top, offsets);
  }
  return nullptr;
}

// Positions are distinct, so ordering whole pairs orders them by key and then by position. One
// pass over the whole list by the key's top digit, stable, then each bucket by the bits below.
void sort_pairs(std::vector<std::uint64_t>& pairs, std::vector<std::uint64_t>& spare) {
  if (pairs.size() < radix_threshold) {
    std::sort(pairs.begin(), pairs.end());
    return;
  }
  const std::uint64_t all_bits =
      std::accumulate(pairs.begin(), pairs.end(), std::uint64_t{0}, std::bit_or<>());
  const auto key_bits = static_cast<int>(std::bit_width(all_bits >> 32));
  const int below_top = std::max(0, key_bits - digit_bits);
  spare.resize(pairs.size());
  const bool two = pairs.size() >= two_thread_pairs;
  const std::size_t middle = two ? pairs.size() / 2 : pairs.size();
  std::array<radix_part, 2> parts;
  parts[0].begin = 0;
  parts[0].end = middle;
  parts[1].begin = middle;
  parts[1].end = pairs.size();
  for (radix_part& part : parts) {
    part.from = &pairs;
    part.to = &spare;
  }
  radix_pass(parts, 32 + below_top);
  // After the scatter, the second part's offsets are where each bucket ends.
  const std::vector<std::size_t>& ends = parts[1].offsets;
  std::array<bucket_range, 2> ranges;
  std::size_t split = digit_mask + 1;
  if (two) {
    split = static_cast<std::size_t>(std::lower_bound(ends.begin(), ends.end(), pairs.size() / 2) -
                                     ends.begin());
  }
  ranges[0] = {&spare, &pairs, &ends, 0, split, below_top};
  ranges[1] = {&spare, &pairs, &ends, split, digit_mask + 1, below_top};
  helper_thread helper;
  if (ranges[1].begin < ranges[1].end) helper.run(sort_buckets, &ranges[1]);
  sort_buckets(&ranges[0]);
}

bool positions_fit(std::size_t count) { return count <= std::numeric_limits<std::uint32_t>::max(); }

key pair_key(std::uint64_t pair) {
  return static_cast<key>(static_cast<std::uint32_t>(pair >> 32));
}

std::uint32_t pair_position(std::uint64_t pair) { return static_cast<std::uint32_t>(pair); }

// Whether sorted[i] holds the first position of its key.
bool starts_group(const std::vector<std::uint64_t>& sorted, std::size_t i) {
  return i == 0 || pair_key(sorted[i]) != pair_key(sorted[i - 1]);
}

// ---- Rules of one build ----

// ---- The working table ----

// The order a scan of 2 slots a try visits the slots in: round the ring of slots from `base` on
// (n of them), the even ring offsets first, then the odd ones. On an odd ring that is one cycle
// of the scan; on an even one, two, one of each parity. A slot below the ring (slot 0 when the
// ring starts at 1) is no scan's target and sits after the ring.
struct stride_order {
  std::int64_t base = 0;
  std::int64_t n = 0;
  std::int64_t cycle = 0;  // positions in one cycle
};

stride_order make_stride_order(std::int64_t m, const probe_rules& rules) {
  stride_order o;
  o.base = rules.wrap && rules.wrap_to < m ? rules.wrap_to : 0;
  o.n = m - o.base;
  o.cycle = o.n % 2 == 0 ? o.n / 2 : o.n;
  return o;
}

std::int64_t offset_position(const stride_order& o, std::int64_t q) {
  if (q % 2 == 0) return q / 2;
  return o.n % 2 == 0 ? o.n / 2 + q / 2 : (q + o.n) / 2;
}

std::int64_t slot_position(const stride_order& o, std::int64_t slot) {
  return slot < o.base ? o.n : offset_position(o, slot - o.base);
}

std::int64_t position_slot(const stride_order& o, std::int64_t p) {
  if (p >= o.n) return 0;
  if (o.n % 2 == 0) return o.base + (p < o.cycle ? 2 * p : 2 * (p - o.cycle) + 1);
  return o.base + 2 * p % o.n;
}

// Its empty slots are a tree of bitsets (hashing/empty_slot_tree.h); a scan of 2 slots a try has
// them again as a tree in the order it visits them.
struct probe_table {
  key* slots = nullptr;  // null in a comparison, where `reference` says what a filled slot holds
  empty_tree_layout empty;
  std::vector<std::uint64_t> empty_words;
  stride_order by_two;
  empty_tree_layout by_two_empty;
  std::vector<std::uint64_t> by_two_words;  // empty while no scan strides
  std::int64_t size = 0;
  std::int64_t empty_count = 0;
  std::int64_t budget = continued_probe_budget;
  // When set, the correct layout of the same lists: the build stops as soon as it is bound to
  // end elsewhere, since a stored key is never moved again. Until then every filled slot holds
  // what the reference holds there, so a comparison needs no slots of its own.
  const key_list* reference = nullptr;
  bool drops_diverge = false;  // the reference holds every key, so a dropped key differs
  bool diverged = false;
  // When set, the build stops just before this key would first be stored.
  std::optional<key> stop_before;
  bool stopped = false;
  overwrite_rule overwrite = overwrite_rule::none;
  // With overwrite and repeats absorbed: whether each key is in the table, by its rank in `order`
  // plus 1 (0 for key 0), as a key written over is no longer there. Empty otherwise.
  const key_order* order = nullptr;
  std::vector<bool> present;
};

std::size_t presence_index(const probe_table& t, key k) {
  return static_cast<std::size_t>(rank_of(*t.order, k) + 1);
}

void set_present(probe_table& t, key k, bool in_table) {
  if (!t.present.empty()) t.present[presence_index(t, k)] = in_table;
}

// Whether `k` is in the table already, where a build that absorbs repeats finds it; known only
// to a build that tracks its keys, which it then meets every time they are listed.
bool absorbed(const probe_table& t, key k) {
  return !t.present.empty() && t.present[presence_index(t, k)];
}

// Whether keys can still change the table.
bool takes_keys(const probe_table& t) {
  return (t.empty_count > 0 || t.overwrite != overwrite_rule::none) && t.budget >= 0 &&
         !t.diverged && !t.stopped;
}

// A table of `size` slots written to `slots`, which hold `size` zeros, or a comparison's table
// when `slots` is null.
probe_table make_table(std::int64_t size, key* slots) {
  probe_table t;
  t.slots = slots;
  t.empty = lay_out_empty_tree(static_cast<std::size_t>(size));
  t.empty_words.assign(empty_tree_words(t.empty), 0);
  mark_all_empty(t.empty, t.empty_words.data(), static_cast<std::size_t>(size));
  t.size = size;
  t.empty_count = size;
  return t;
}

bool is_empty(const probe_table& t, std::int64_t slot) {
  return slot_is_empty(t.empty_words.data(), static_cast<std::size_t>(slot));
}

void store(probe_table& t, std::int64_t slot, key k) {
  const auto i = static_cast<std::size_t>(slot);
  if (t.reference != nullptr && (*t.reference)[i] != k) t.diverged = true;
  if (t.slots != nullptr) t.slots[i] = k;
  set_present(t, k, true);
  --t.empty_count;
  mark_filled(t.empty, t.empty_words.data(), i);
  if (!t.by_two_words.empty()) {
    mark_filled(t.by_two_empty, t.by_two_words.data(),
                static_cast<std::size_t>(slot_position(t.by_two, slot)));
  }
}

// Lays out the tree a scan of 2 slots a try searches; the table must still be empty.
void prepare_scan(probe_table& t, const probe_rules& rules) {
  if (rules.scan_stride == 1) return;
  const auto size = static_cast<std::size_t>(t.size);
  t.by_two = make_stride_order(t.size, rules);
  t.by_two_empty = lay_out_empty_tree(size);
  t.by_two_words.assign(empty_tree_words(t.by_two_empty), 0);
  mark_all_empty(t.by_two_empty, t.by_two_words.data(), size);
}

// The first empty slot at or after `from`, or the table size when there is none before the end.
std::int64_t first_empty_at_or_after(const probe_table& t, std::int64_t from) {
  return first_empty_at_or_after(t.empty, t.empty_words.data(), t.size, from);
}

// As scan_after for a scan of 2 slots a try: the first empty slot round the start's cycle, the
// start itself last (a start below the ring stands for the ring's last slot, which it may try).
std::int64_t strided_scan_after(const probe_table& t, std::int64_t start,
                                const probe_rules& rules) {
  const stride_order& o = t.by_two;
  const std::int64_t from = start < o.base ? offset_position(o, o.n - 1) : slot_position(o, start);
  const std::int64_t cycle_start = from / o.cycle * o.cycle;
  const auto first_empty = [&t](std::int64_t p) {
    return first_empty_at_or_after(t.by_two_empty, t.by_two_words.data(), t.size, p);
  };
  std::int64_t found = first_empty(from + 1);
  if (found >= cycle_start + o.cycle) {
    found = first_empty(cycle_start);
    if (found > from) return -1;
  }
  const std::int64_t slot = position_slot(o, found);
  return scan_tries_to(rules, t.size, start, slot) < 0 ? -1 : slot;
}

// The scan under `rules` after a filled slot `start`: its first empty slot, going on from slot
// `wrap_to` when the rules wrap; -1 when there is none within its length. Slot `start` itself is
// filled, so a whole turn finds the same slots as a scan that stops one short of coming back.
std::int64_t scan_after(const probe_table& t, std::int64_t start, const probe_rules& rules) {
  if (rules.scan_stride != 1) return strided_scan_after(t, start, rules);
  std::int64_t found = first_empty_at_or_after(t, start + 1);
  if (found >= t.size) {
    if (!rules.wrap || rules.wrap_to >= t.size) return -1;
    found = first_empty_at_or_after(t, rules.wrap_to);
    if (found >= t.size) return -1;
  }
  return scan_tries_to(rules, t.size, start, found) < 0 ? -1 : found;
}

void drop(probe_table& t) { t.diverged = t.diverged || t.drops_diverge; }

// `k` goes over the key in the filled `slot`, which leaves the table.
void write_over(probe_table& t, std::int64_t slot, key k) {
  const auto i = static_cast<std::size_t>(slot);
  if (t.reference != nullptr && (*t.reference)[i] != k) t.diverged = true;
  if (t.slots != nullptr) {
    set_present(t, t.slots[i], false);
    t.slots[i] = k;
  }
  set_present(t, k, true);
}

// `k` found no empty slot on its probe sequence under `rules`.
void no_room(probe_table& t, key k, const probe_rules& rules) {
  if (t.overwrite == overwrite_rule::none) {
    drop(t);
    return;
  }
  const std::int64_t slot = t.overwrite == overwrite_rule::home
                                ? primary_hash(k, t.size)
                                : probe_slot(rules, t.size, k, probe_count(rules, t.size, k) - 1);
  // A home slot no probe tries may still be empty.
  if (is_empty(t, slot)) {
    store(t, slot, k);
  } else {
    write_over(t, slot, k);
  }
}

// Whether the build ends here, `k` being the key it stops before.
bool stops_at(probe_table& t, key k) {
  if (t.stop_before != k) return false;
  t.stopped = true;
  return true;
}

void store_after(probe_table& t, std::int64_t last, key k, const probe_rules& rules) {
  const std::int64_t slot = scan_after(t, last, rules);
  if (slot >= 0) {
    store(t, slot, k);
  } else {
    no_room(t, k, rules);
  }
}

// ---- Inserting keys ----

// The key a slot holds: the build's own, or in a comparison the reference's, which the slot holds
// until the build diverges.
key held_key(const probe_table& t, std::int64_t slot) {
  const auto i = static_cast<std::size_t>(slot);
  return t.slots != nullptr ? t.slots[i] : (*t.reference)[i];
}

// The step of `k`, or of the key the rules take every step from.
std::int64_t step_for(key k, std::int64_t table_size, const probe_rules& rules) {
  return probe_step(rules.step_key >= 0 ? rules.step_key : k, table_size, rules.step);
}

// Probes on from `home` by `step` while the rules let it, up to where the probes repeat; the
// budget bounds what is left.
void keep_probing_insert(key k, std::int64_t home, std::int64_t step, const probe_rules& rules,
                         probe_table& t) {
  if (t.empty_count == 0) {
    no_room(t, k, rules);
    return;
  }
  const std::int64_t count = probe_count(rules, t.size, k);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t slot = hash_probe(home, step, i + rules.first_probe, t.size);
    if (is_empty(t, slot)) {
      store(t, slot, k);
      return;
    }
    if (--t.budget < 0) return;
  }
  no_room(t, k, rules);
}

// Stores `k`, homed at `home`, in the first empty slot of its probe sequence under `rules`: the
// hash probes one by one, then the scan through the tree.
void probe_insert_from(key k, std::int64_t home, probe_table& t, const probe_rules& rules) {
  if (rules.keep_probing) {
    keep_probing_insert(k, home, step_for(k, t.size, rules), rules, t);
    return;
  }
  const bool home_first = rules.first_probe == 0;
  if (home_first && is_empty(t, home)) {
    store(t, home, k);
    return;
  }
  if (rules.probes > 1 || !home_first) {
    const std::int64_t step = step_for(k, t.size, rules);
    for (std::int64_t i = home_first ? 1 : 0; i < rules.probes; ++i) {
      const std::int64_t slot = hash_probe(home, step, i + rules.first_probe, t.size);
      if (is_empty(t, slot)) {
        store(t, slot, k);
        return;
      }
    }
  }
  store_after(t, scan_start(rules, t.size, k), k, rules);
}

// As probe_insert_from, a step_from_held build taking the step of the key at home, if any.
void probe_insert(key k, probe_table& t, const probe_rules& rules) {
  if (absorbed(t, k) || stops_at(t, k)) return;
  const std::int64_t home = primary_hash(k, t.size);
  if (rules.step_from_held && !is_empty(t, home)) {
    probe_rules from_held = rules;
    from_held.step_from_held = false;
    from_held.step_key = held_key(t, home);
    probe_insert_from(k, home, t, from_held);
    return;
  }
  probe_insert_from(k, home, t, rules);
}

// One list's keys in insertion order: the list as given, or, when `ranks` is set, the keys of
// `distinct` at those ranks, or, when `fresh` is set, the keys of the list whose bit (from
// `offset` on) is set there. Key 0 is passed over unless `zero_is_key`. `keys` is the whole list
// in every case.
struct key_source {
  const key_list* keys = nullptr;
  const std::vector<std::uint32_t>* ranks = nullptr;
  const key_list* distinct = nullptr;
  const std::uint64_t* fresh = nullptr;
  std::size_t offset = 0;
  bool zero_is_key = false;
};

std::size_t size_of(const key_source& source) {
  return source.ranks != nullptr ? source.ranks->size() : source.keys->size();
}

bool bit_at(const std::uint64_t* bits, std::size_t i) { return (bits[i / 64] >> (i % 64)) & 1U; }

void set_bit(std::uint64_t* bits, std::size_t i) { bits[i / 64] |= std::uint64_t{1} << (i % 64); }

// Hands `insert` each nonzero key of `source` in turn, with its index there. Stops once the table
// is full, as no key can change it after that, or once the probe budget is spent.
template <typename insert_fn>
void insert_each(const key_source& source, const probe_table& t, insert_fn insert) {
  const std::size_t count = size_of(source);
  for (std::size_t i = 0; i < count && takes_keys(t); ++i) {
    if (source.fresh != nullptr && !bit_at(source.fresh, source.offset + i)) continue;
    const key k =
        source.ranks != nullptr ? (*source.distinct)[(*source.ranks)[i]] : (*source.keys)[i];
    if (k != 0 || source.zero_is_key) insert(k, i);
  }
}

// The keys `left` over from a first pass, each scanning on from its home slot, in the reverse
// order of the whole lists, the last list first: a key met again sits there at its last place,
// where a program that walks its left-over keys backwards meets it first.
void take_back_reversed(std::span<const key_source* const> lists, key_list& left, probe_table& t,
                        const probe_rules& rules) {
  std::sort(left.begin(), left.end());
  std::vector<bool> taken_back(left.size(), false);
  for (auto list = lists.rbegin(); list != lists.rend(); ++list) {
    const key_list& keys = *(*list)->keys;
    for (auto at = keys.rbegin(); at != keys.rend() && takes_keys(t); ++at) {
      const auto found = std::lower_bound(left.begin(), left.end(), *at);
      if (found == left.end() || *found != *at) continue;
      const auto index = static_cast<std::size_t>(found - left.begin());
      if (taken_back[index]) continue;
      taken_back[index] = true;
      if (!stops_at(t, *at)) store_after(t, primary_hash(*at, t.size), *at, rules);
    }
  }
}

// The keys of a list that names each key every time it is listed, those marked `left_over` by
// their index taken back last first.
void take_back_listed_reversed(const key_source& keys, const std::vector<std::uint64_t>& left_over,
                               probe_table& t, const probe_rules& rules) {
  for (std::size_t i = size_of(keys); i-- > 0 && takes_keys(t);) {
    const key k = (*keys.keys)[i];
    if (!bit_at(left_over.data(), i) || absorbed(t, k) || stops_at(t, k)) continue;
    store_after(t, primary_hash(k, t.size), k, rules);
  }
}

// Stores `k` at its home slot when that is empty; false when it is filled.
bool take_home(probe_table& t, key k) {
  const std::int64_t home = primary_hash(k, t.size);
  if (!is_empty(t, home)) return false;
  if (!stops_at(t, k)) store(t, home, k);
  return true;
}

// A key already in the table stored a second time, scanning on from its home slot: where the
// scan finds no room the table keeps the key it has, so nothing is dropped.
void store_again(probe_table& t, key k, const probe_rules& rules) {
  const std::int64_t slot = scan_after(t, primary_hash(k, t.size), rules);
  if (slot >= 0) store(t, slot, k);
}

// Whether `source` passes each key once, at its first place, or every place of the list.
bool passes_keys_once(const key_source& source) {
  return source.fresh != nullptr || source.ranks != nullptr;
}

// Keys of `lists`, in turn, whose home slot is empty take it first; the rest then scan on from
// their home slots, in list order, or in reverse order when `reversed`. Those left over are marked
// by their index, a bit each. With `every_key` the second pass scans on for the keys at home too.
void two_pass_insert(std::span<const key_source* const> lists, probe_table& t,
                     const probe_rules& rules, bool reversed, bool every_key = false) {
  std::vector<std::vector<std::uint64_t>> left_over;
  key_list left_keys;
  // Lists of distinct keys have each at its first place; lists naming every key walk back.
  const bool by_value =
      reversed && std::all_of(lists.begin(), lists.end(),
                              [](const key_source* keys) { return passes_keys_once(*keys); });
  for (const key_source* keys : lists) {
    std::vector<std::uint64_t>& bits = left_over.emplace_back(size_of(*keys) / 64 + 1, 0);
    insert_each(*keys, t, [&](key k, std::size_t i) {
      // A key at its home slot is absorbed now; one elsewhere, when it scans, if still there.
      if (!t.present.empty() && held_key(t, primary_hash(k, t.size)) == k) return;
      if (take_home(t, k)) return;
      if (by_value) {
        left_keys.push_back(k);
      } else {
        set_bit(bits.data(), i);
      }
    });
  }
  if (by_value) {
    take_back_reversed(lists, left_keys, t, rules);
    return;
  }
  if (reversed) {
    for (std::size_t list = lists.size(); list-- > 0;) {
      take_back_listed_reversed(*lists[list], left_over[list], t, rules);
    }
    return;
  }
  for (std::size_t list = 0; list < lists.size(); ++list) {
    insert_each(*lists[list], t, [&](key k, std::size_t i) {
      if (bit_at(left_over[list].data(), i)) {
        if (!absorbed(t, k) && !stops_at(t, k)) store_after(t, primary_hash(k, t.size), k, rules);
      } else if (every_key) {
        store_again(t, k, rules);
      }
    });
  }
}

// The first list's first pass, then the second list by linear probing, then the keys left over.
// The program inserts a second-list key it does not find in the table: a key met before is found
// unless the first pass left it over and it has not gone in since, so such a key goes in at its
// place in the second list. `second` marks its keys by `fresh` when it passes each once.
void second_list_between(const key_source& first, const key_source& second, probe_table& t,
                         const probe_rules& rules, bool second_inserted) {
  key_list left_keys;
  insert_each(first, t, [&](key k, std::size_t) {
    if (!take_home(t, k)) left_keys.push_back(k);
  });
  const bool once = passes_keys_once(first);
  key_list pending = left_keys;
  std::sort(pending.begin(), pending.end());
  std::vector<bool> gone_in(pending.size(), false);
  // Marks a left-over key as gone in; false when it is not left over or has gone in before.
  const auto first_time_in = [&](key k) {
    const auto found = std::lower_bound(pending.begin(), pending.end(), k);
    if (found == pending.end() || *found != k) return false;
    auto gone = gone_in[static_cast<std::size_t>(found - pending.begin())];
    if (gone) return false;
    gone = true;
    return true;
  };
  if (second_inserted) {
    key_source every_place = second;
    every_place.fresh = nullptr;
    insert_each(every_place, t, [&](key k, std::size_t i) {
      const bool fresh =
          !once || second.fresh == nullptr || bit_at(second.fresh, second.offset + i);
      if (fresh || first_time_in(k)) probe_insert(k, t, rules);
    });
  }
  for (const key k : left_keys) {
    if (!takes_keys(t)) return;
    if (once && !first_time_in(k)) continue;
    if (!stops_at(t, k)) store_after(t, primary_hash(k, t.size), k, rules);
  }
}

// A first pass that tests only for an empty home slot, over every place of the first list: a key
// met again at its home slot is left over, and the second pass, which finds a key where it lies,
// stores the first of its left-over places a second time. Key 0 goes in where `first` takes it.
void first_pass_when_empty(const key_source& first, probe_table& t, const probe_rules& rules) {
  const key_source every_place{.keys = first.keys, .zero_is_key = first.zero_is_key};
  key_list left_keys;
  insert_each(every_place, t, [&](key k, std::size_t) {
    if (!take_home(t, k)) left_keys.push_back(k);
  });
  std::vector<std::uint64_t> first_places(left_keys.size() / 64 + 1, 0);
  if (passes_keys_once(first)) {
    std::vector<std::uint64_t> pairs;
    std::vector<std::uint64_t> spare;
    sort_key_positions(left_keys, pairs, spare);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      if (starts_group(pairs, i)) set_bit(first_places.data(), pair_position(pairs[i]));
    }
  } else {
    std::fill(first_places.begin(), first_places.end(), ~std::uint64_t{0});
  }
  const key_source left{.keys = &left_keys, .fresh = first_places.data()};
  insert_each(left, t, [&](key k, std::size_t) {
    const std::int64_t home = primary_hash(k, t.size);
    if (held_key(t, home) == k) {
      store_again(t, k, rules);
    } else if (!stops_at(t, k)) {
      store_after(t, home, k, rules);
    }
  });
}

void fill_two_pass(probe_table& t, const key_source& first, const key_source& second,
                   const build_rules& rules, const probe_rules& probing) {
  const auto insert = [&t, &probing](key k, std::size_t) { probe_insert(k, t, probing); };
  const std::array<const key_source*, 2> both{&first, &second};
  const std::span<const key_source* const> first_alone(both.data(), 1);
  switch (rules.two_pass) {
    case two_pass_rule::second_before_collided:
      second_list_between(first, second, t, probing, rules.second_list_inserted);
      return;
    case two_pass_rule::lists_together:
      two_pass_insert(rules.second_list_inserted ? std::span(both) : first_alone, t, probing,
                      rules.collided_reversed);
      return;
    case two_pass_rule::repeat_collides:
      first_pass_when_empty(first, t, probing);
      break;
    case two_pass_rule::second_list_alone:
      break;  // the first list is lost: build_by_rules builds the second list alone
    case two_pass_rule::as_given:
    case two_pass_rule::second_pass_every_key:
      two_pass_insert(first_alone, t, probing, rules.collided_reversed,
                      rules.two_pass == two_pass_rule::second_pass_every_key);
      if (rules.second_two_pass) {
        if (rules.second_list_inserted) {
          two_pass_insert(std::span(both).subspan(1), t, probing, rules.collided_reversed);
        }
        return;
      }
      break;
  }
  if (rules.second_list_inserted) insert_each(second, t, insert);
}

void fill_with_rules(probe_table& t, strategy_id strategy, const key_source& first,
                     const key_source& second, const build_rules& rules) {
  const probe_rules probing = probing_for(rules, strategy);
  prepare_scan(t, probing);
  t.overwrite = rules.overwrite;
  if (traits_of(strategy).first_list_two_passes) {
    fill_two_pass(t, first, second, rules, probing);
    return;
  }
  const auto insert = [&t, &probing](key k, std::size_t) { probe_insert(k, t, probing); };
  insert_each(first, t, insert);
  if (rules.second_list_inserted) insert_each(second, t, insert);
}

// A build that writes keys over others meets every key each time it is listed and, when it
// absorbs repeats, tracks which keys are in the table by `order`.
void track_keys(probe_table& t, const build_rules& rules, const key_order& order) {
  if (rules.overwrite == overwrite_rule::none || !rules.absorb_repeats) return;
  t.order = &order;
  t.present.assign(order.distinct.size() + 1, false);
}

key_list build_with_rules(strategy_id strategy, std::int32_t table_size, const key_source& first,
                          const key_source& second, const build_rules& rules,
                          const key_order* order = nullptr) {
  key_list layout(static_cast<std::size_t>(table_size), 0);
  probe_table t = make_table(table_size, layout.data());
  if (order != nullptr) track_keys(t, rules, *order);
  fill_with_rules(t, strategy, first, second, rules);
  if (t.budget < 0) return {};
  return layout;
}

// ---- Whether a mistake can show at a table size ----

// Under every double-hashing rule a key goes to the first empty slot of a fixed order of slots
// that depends on the key alone. Two rules whose orders agree for every key build the same
// layout from any lists; where they part for some key, placing other keys in the slots both
// orders try first makes that key land apart.
key_list probe_order(key k, std::int64_t m, const probe_rules& rules, std::vector<char>& seen) {
  seen.assign(static_cast<std::size_t>(m), 0);
  key_list order;
  const std::int64_t count = probe_count(rules, m, k);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t slot = probe_slot(rules, m, k, i);
    if (seen[static_cast<std::size_t>(slot)] != 0) continue;
    seen[static_cast<std::size_t>(slot)] = 1;
    order.push_back(static_cast<key>(slot));
  }
  return order;
}

// Probes compared before a size counts as revealing without a proof.
constexpr std::int64_t revealing_proof_budget = std::int64_t{1} << 24;

// Every key's hashes repeat with period lcm(m, m - 1, m - 2), so the keys below it stand for all.
bool double_rules_part(const build_rules& rules, std::int64_t m) {
  const std::int64_t period = std::lcm(std::lcm(m, m - 1), m - 2);
  const std::int64_t keys = std::min<std::int64_t>(period, std::numeric_limits<key>::max());
  if (keys > revealing_proof_budget / m) return true;
  const probe_rules correct = traits_of(strategy_id::double_hashing).rules;
  const probe_rules changed = probing_for(rules, strategy_id::double_hashing);
  std::vector<char> seen;
  for (std::int64_t k = 0; k < keys; ++k) {
    const auto as_key = static_cast<key>(k);
    if (probe_order(as_key, m, correct, seen) != probe_order(as_key, m, changed, seen)) {
      return true;
    }
  }
  return false;
}

bool has_negative(const key_list& keys) {
  return std::any_of(keys.begin(), keys.end(), [](key k) { return k < 0; });
}

// Whether a build under `rules` keeps nothing of the first list: its table is made anew before
// the second list, which then goes in by linear probing.
bool loses_first_list(const build_rules& rules, strategy_id strategy) {
  return rules.two_pass == two_pass_rule::second_list_alone &&
         traits_of(strategy).first_list_two_passes;
}

// The rules of that second build: all the others kept.
build_rules second_list_rules(build_rules rules) {
  rules.two_pass = two_pass_rule::as_given;
  return rules;
}

// Whether a build under `rules` must tell a key's first place from the places it is met again
// (fresh_source), not only pass each key once.
bool needs_first_places(const build_rules& rules) {
  return rules.two_pass == two_pass_rule::second_before_collided;
}

// Whether the correct builders give a layout of `table_size` slots for these lists, rather than
// the empty list (see hash_table.h).
bool correct_builds(strategy_id strategy, std::int64_t table_size, const marked_lists& lists) {
  if (table_size < 0 || table_size > max_table_size || lists.negative) return false;
  const bool has_keys = !lists.first_keys->empty() || !lists.second_keys->empty();
  return !has_keys ||
         (table_size != 0 && (table_size != 2 || traits_of(strategy).size_two_allowed));
}

key_source fresh_source(const marked_lists& lists, bool second, bool zero_is_key = false) {
  const std::size_t offset = second ? lists.first_keys->size() : 0;
  return key_source{second ? lists.second_keys : lists.first_keys,
                    nullptr,
                    nullptr,
                    lists.fresh.data(),
                    offset,
                    zero_is_key};
}

// Marks the first key 0 of the lists as well, for a build that takes key 0 as a key.
void mark_first_zero(marked_lists& lists) {
  std::size_t position = 0;
  for (const key_list* keys : {lists.first_keys, lists.second_keys}) {
    const auto zero = std::find(keys->begin(), keys->end(), 0);
    if (zero != keys->end()) {
      set_bit(lists.fresh.data(), position + static_cast<std::size_t>(zero - keys->begin()));
      return;
    }
    position += keys->size();
  }
}

// Builds with `rules` against `reference`, the correct layout of `distinct` keys, without slots of
// its own (see probe_table::reference).
variant_outcome compare_built(strategy_id strategy, std::int32_t table_size,
                              const key_source& first, const key_source& second,
                              const build_rules& rules, std::int64_t distinct,
                              const key_list& reference) {
  probe_table t = make_table(table_size, nullptr);
  const auto held = std::count_if(reference.begin(), reference.end(), [](key k) { return k != 0; });
  t.reference = &reference;
  t.drops_diverge = rules.absorb_repeats && held == distinct;
  fill_with_rules(t, strategy, first, second, rules);
  if (t.diverged) return variant_outcome::differs;
  if (t.budget < 0) return variant_outcome::undecided;
  // Every key stored sits where the reference has it, so only a key too few can differ.
  return table_size - t.empty_count == held ? variant_outcome::same : variant_outcome::differs;
}

// ---- First occurrences ----

// Below this many keys sorting them beats bucketing.
constexpr std::size_t keys_worth_buckets = 4096;

key key_at(const marked_lists& marked, std::size_t position) {
  const std::size_t first_count = marked.first_keys->size();
  return position < first_count ? (*marked.first_keys)[position]
                                : (*marked.second_keys)[position - first_count];
}

void mark_by_sorting(marked_lists& marked) {
  std::vector<std::uint64_t> pairs;
  const std::size_t total = marked.first_keys->size() + marked.second_keys->size();
  for (std::size_t p = 0; p < total; ++p) {
    const key k = key_at(marked, p);
    if (k != 0) pairs.push_back(std::uint64_t{static_cast<std::uint32_t>(k)} << 32 | p);
  }
  std::sort(pairs.begin(), pairs.end());
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (i == 0 || pairs[i] >> 32 != pairs[i - 1] >> 32) {
      set_bit(marked.fresh.data(), static_cast<std::uint32_t>(pairs[i]));
    }
  }
}

// Large lists are told apart by the keys' high bits: a bucket's low bits fit a bitmap of seen
// values that stays in cache. Buckets are taken a group at a time, the (low bits, position)
// pairs of a group's keys gathered in order of position into room for an eighth of the keys, so
// that the lists are read a few times over instead of sorted at 16 bytes a key. A bucket that
// alone outgrows that room is read straight from the lists. One gathering marks both orders of
// the lists: the swapped order reads a bucket's second-list pairs before its first-list ones.
constexpr int low_bits = 20;
constexpr std::size_t bucket_count = std::size_t{1} << (32 - low_bits);
constexpr std::uint64_t low_mask = (std::uint64_t{1} << low_bits) - 1;

std::size_t bucket_of(key k) { return static_cast<std::uint32_t>(k) >> low_bits; }

struct marking {
  const key_list& first_keys;
  const key_list& second_keys;
  std::uint64_t* in_order;
  std::uint64_t* swapped;  // may be null
  std::vector<std::uint64_t> seen = std::vector<std::uint64_t>((low_mask + 1) / 64, 0);
};

// Marks `position` of the order the lists are in, or of the swapped order, when its low bits are
// new to the bucket.
void mark_new(marking& m, std::uint64_t low, std::size_t position, std::uint64_t* fresh) {
  if (bit_at(m.seen.data(), low)) return;
  set_bit(m.seen.data(), low);
  set_bit(fresh, position);
}

std::size_t swapped_position(const marking& m, std::size_t position) {
  const std::size_t first_count = m.first_keys.size();
  return position >= first_count ? position - first_count : position + m.second_keys.size();
}

// Clears the seen bits that the pairs of a bucket set, a word at a time.
void forget_seen(marking& m, const std::uint64_t* begin, const std::uint64_t* end) {
  for (const std::uint64_t* pair = begin; pair != end; ++pair) m.seen[(*pair >> 32) / 64] = 0;
}

// The pairs of one bucket, positions rising.
void mark_gathered(marking& m, const std::uint64_t* begin, const std::uint64_t* end) {
  for (const std::uint64_t* pair = begin; pair != end; ++pair) {
    mark_new(m, *pair >> 32, static_cast<std::uint32_t>(*pair), m.in_order);
  }
  forget_seen(m, begin, end);
  if (m.swapped == nullptr) return;
  const std::uint64_t first_count = m.first_keys.size();
  const std::uint64_t* split = std::find_if(
      begin, end, [&](std::uint64_t pair) { return (pair & 0xFFFFFFFFU) >= first_count; });
  for (const auto& [from, to] : {std::pair{split, end}, std::pair{begin, split}}) {
    for (const std::uint64_t* pair = from; pair != to; ++pair) {
      mark_new(m, *pair >> 32, swapped_position(m, static_cast<std::uint32_t>(*pair)), m.swapped);
    }
  }
  forget_seen(m, begin, end);
}

// One bucket read straight from the lists, in each order.
void mark_bucket_in_place(marking& m, std::size_t bucket) {
  const auto sweep = [&](const key_list& keys, std::size_t offset, std::uint64_t* fresh) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const key k = keys[i];
      if (k != 0 && bucket_of(k) == bucket) {
        mark_new(m, static_cast<std::uint32_t>(k) & low_mask, offset + i, fresh);
      }
    }
  };
  sweep(m.first_keys, 0, m.in_order);
  sweep(m.second_keys, m.first_keys.size(), m.in_order);
  std::fill(m.seen.begin(), m.seen.end(), 0);
  if (m.swapped == nullptr) return;
  sweep(m.second_keys, 0, m.swapped);
  sweep(m.first_keys, m.second_keys.size(), m.swapped);
  std::fill(m.seen.begin(), m.seen.end(), 0);
}

// Gathers the pairs of buckets [from, to), whose keys fit `pairs`, and marks them.
void mark_group(marking& m, std::size_t from, std::size_t to,
                const std::vector<std::size_t>& counts, std::vector<std::uint64_t>& pairs) {
  std::vector<std::size_t> next(to - from + 1, 0);
  for (std::size_t b = from; b < to; ++b) next[b - from + 1] = next[b - from] + counts[b];
  const std::vector<std::size_t> starts = next;
  std::size_t position = 0;
  for (const key_list* keys : {&m.first_keys, &m.second_keys}) {
    for (const key k : *keys) {
      const std::size_t b = bucket_of(k);
      if (k != 0 && b >= from && b < to) {
        pairs[next[b - from]++] = (static_cast<std::uint32_t>(k) & low_mask) << 32 | position;
      }
      ++position;
    }
  }
  for (std::size_t b = from; b < to; ++b) {
    if (counts[b] == 0) continue;
    mark_gathered(m, pairs.data() + starts[b - from], pairs.data() + starts[b - from + 1]);
  }
}

void mark_by_buckets(marking& m) {
  std::vector<std::size_t> counts(bucket_count, 0);
  for (const key_list* keys : {&m.first_keys, &m.second_keys}) {
    for (const key k : *keys) counts[bucket_of(k)] += k != 0 ? 1 : 0;
  }
  const std::size_t room = (m.first_keys.size() + m.second_keys.size()) / 8 + keys_worth_buckets;
  std::vector<std::uint64_t> pairs;
  std::size_t from = 0;
  while (from < bucket_count) {
    if (counts[from] > room) {
      mark_bucket_in_place(m, from++);
      continue;
    }
    std::size_t to = from;
    std::size_t held = 0;
    while (to < bucket_count && counts[to] <= room - held) held += counts[to++];
    if (held > 0) {
      pairs.resize(std::max(pairs.size(), held));
      mark_group(m, from, to, counts, pairs);
    }
    from = to;
  }
}

std::int64_t count_bits(const std::vector<std::uint64_t>& bits) {
  std::int64_t count = 0;
  for (const std::uint64_t word : bits) count += std::popcount(word);
  return count;
}

void start_marks(marked_lists& marked, const key_list& first_keys, const key_list& second_keys) {
  marked.first_keys = &first_keys;
  marked.second_keys = &second_keys;
  marked.fresh.assign((first_keys.size() + second_keys.size()) / 64 + 1, 0);
  marked.nonzero = 0;
  marked.negative = false;
  for (const key_list* keys : {&first_keys, &second_keys}) {
    marked.nonzero += std::count_if(keys->begin(), keys->end(), [](key k) { return k != 0; });
    marked.negative = marked.negative || has_negative(*keys);
  }
}

}  // namespace

void sort_key_positions(const key_list& keys, std::vector<std::uint64_t>& pairs,
                        std::vector<std::uint64_t>& spare) {
  pairs.clear();
  if (!positions_fit(keys.size())) return;
  pairs.reserve(keys.size());
  append_pairs(keys, 0, pairs);
  sort_pairs(pairs, spare);
}

// After the sort, `spare` is free: it holds each position's rank, so that the ranks can be read
// back in position order without touching fresh memory.
key_order order_keys(const key_list& first_keys, const key_list& second_keys,
                     std::vector<std::uint64_t>& pairs, std::vector<std::uint64_t>& spare) {
  key_order order;
  const std::size_t total = first_keys.size() + second_keys.size();
  if (!positions_fit(total)) return order;
  pairs.clear();
  pairs.reserve(total);
  append_pairs(first_keys, 0, pairs);
  append_pairs(second_keys, first_keys.size(), pairs);
  sort_pairs(pairs, spare);
  std::vector<std::uint64_t>& rank_at = spare;
  rank_at.assign(total, no_rank);
  std::size_t distinct_count = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) distinct_count += starts_group(pairs, i) ? 1 : 0;
  order.distinct.reserve(distinct_count);
  order.first_position.reserve(distinct_count);
  // Each list gets room for every distinct key: pages are taken only as they are written, so the
  // room a list leaves unused costs nothing.
  order.first_ranks.reserve(distinct_count);
  order.second_ranks.reserve(distinct_count);
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (!starts_group(pairs, i)) continue;
    rank_at[pair_position(pairs[i])] = order.distinct.size();
    order.distinct.push_back(pair_key(pairs[i]));
    order.first_position.push_back(pair_position(pairs[i]));
  }
  for (std::size_t p = 0; p < total; ++p) {
    if (rank_at[p] == no_rank) continue;
    (p < first_keys.size() ? order.first_ranks : order.second_ranks)
        .push_back(static_cast<std::uint32_t>(rank_at[p]));
  }
  return order;
}

key_order order_keys(const key_list& first_keys, const key_list& second_keys) {
  std::vector<std::uint64_t> pairs;
  std::vector<std::uint64_t> spare;
  return order_keys(first_keys, second_keys, pairs, spare);
}

std::int64_t rank_of(const key_order& order, key k) {
  const auto as_unsigned = [](key a, key b) {
    return static_cast<std::uint32_t>(a) < static_cast<std::uint32_t>(b);
  };
  const auto found = std::lower_bound(order.distinct.begin(), order.distinct.end(), k, as_unsigned);
  if (found == order.distinct.end() || *found != k) return -1;
  return found - order.distinct.begin();
}

key_list build_variant(wrong_build build, strategy_id strategy, std::int32_t table_size,
                       const key_list& first_keys, const key_list& second_keys,
                       const key_order& order) {
  if (table_size > largest_variant_table) return {};
  return build_variant_any_size(build, strategy, table_size, first_keys, second_keys, order);
}

key_list build_variant_any_size(wrong_build build, strategy_id strategy, std::int32_t table_size,
                                const key_list& first_keys, const key_list& second_keys,
                                const key_order& order) {
  if (!variant_applies(build, strategy)) return {};
  return build_by_rules(rules_of(build), strategy, table_size, first_keys, second_keys, order);
}

key_list build_by_rules(const build_rules& rules, strategy_id strategy, std::int32_t table_size,
                        const key_list& first_keys, const key_list& second_keys,
                        const key_order& order) {
  if (table_size < smallest_variant_table || table_size > max_table_size) return {};
  if (has_negative(first_keys) || has_negative(second_keys)) return {};
  if (rules.lists_swapped) {
    build_rules others = rules;
    others.lists_swapped = false;
    if (others == build_rules{}) return build_layout(strategy, table_size, second_keys, first_keys);
    return build_by_rules(others, strategy, table_size, second_keys, first_keys,
                          order_keys(second_keys, first_keys));
  }
  if (loses_first_list(rules, strategy)) {
    return build_by_rules(second_list_rules(rules), strategy_id::linear_probing, table_size, {},
                          second_keys, order_keys({}, second_keys));
  }
  if (!rules.absorb_repeats || rules.overwrite != overwrite_rule::none) {
    return build_with_rules(
        strategy, table_size, key_source{.keys = &first_keys, .zero_is_key = rules.zero_is_key},
        key_source{.keys = &second_keys, .zero_is_key = rules.zero_is_key}, rules, &order);
  }
  if (rules.zero_is_key || needs_first_places(rules)) {
    marked_lists marked = mark_lists(first_keys, second_keys);
    if (rules.zero_is_key) mark_first_zero(marked);
    return build_with_rules(strategy, table_size, fresh_source(marked, false, rules.zero_is_key),
                            fresh_source(marked, true, rules.zero_is_key), rules);
  }
  return build_with_rules(strategy, table_size,
                          key_source{&first_keys, &order.first_ranks, &order.distinct},
                          key_source{&second_keys, &order.second_ranks, &order.distinct}, rules);
}

variant_outcome compare_variant(wrong_build build, strategy_id strategy, std::int32_t table_size,
                                const marked_lists& lists, const key_list& correct) {
  const key_list& first_keys = *lists.first_keys;
  const key_list& second_keys = *lists.second_keys;
  const bool buildable = variant_applies(build, strategy) && !rules_of(build).lists_swapped &&
                         table_size >= smallest_variant_table &&
                         static_cast<std::int64_t>(correct.size()) == table_size && !lists.negative;
  if (!buildable) return variant_outcome::undecided;
  const build_rules& rules = rules_of(build);
  // Without a key met twice, storing repeats changes nothing; a build that changes another rule
  // as well must still be compared.
  if (rules == build_rules{.absorb_repeats = false} && lists.nonzero == lists.distinct) {
    return variant_outcome::same;
  }
  if (rules.zero_is_key || rules.overwrite != overwrite_rule::none ||
      loses_first_list(rules, strategy)) {
    // Key 0 in a slot the correct table leaves empty prints as that empty slot, a key written over
    // may come back, and a table made anew keeps none of the slots before it, which a build stopped
    // at its first stored key can't tell: the whole layouts are compared.
    const key_list layout = build_by_rules(rules, strategy, table_size, first_keys, second_keys,
                                           order_keys(first_keys, second_keys));
    if (layout.empty()) return variant_outcome::undecided;
    return layout == correct ? variant_outcome::same : variant_outcome::differs;
  }
  if (!rules.absorb_repeats) {
    return compare_built(strategy, table_size, key_source{&first_keys}, key_source{&second_keys},
                         rules, lists.distinct, correct);
  }
  return compare_built(strategy, table_size, fresh_source(lists, false), fresh_source(lists, true),
                       rules, lists.distinct, correct);
}

void mark_lists(const key_list& first_keys, const key_list& second_keys, marked_lists& in_order,
                marked_lists* swapped) {
  start_marks(in_order, first_keys, second_keys);
  if (swapped != nullptr) start_marks(*swapped, second_keys, first_keys);
  if (first_keys.size() + second_keys.size() < keys_worth_buckets) {
    mark_by_sorting(in_order);
    if (swapped != nullptr) mark_by_sorting(*swapped);
  } else {
    marking m{first_keys, second_keys, in_order.fresh.data(),
              swapped != nullptr ? swapped->fresh.data() : nullptr};
    mark_by_buckets(m);
  }
  in_order.distinct = count_bits(in_order.fresh);
  if (swapped != nullptr) swapped->distinct = in_order.distinct;
}

marked_lists mark_lists(const key_list& first_keys, const key_list& second_keys) {
  marked_lists marked;
  mark_lists(first_keys, second_keys, marked, nullptr);
  return marked;
}

bool build_correct_into(strategy_id strategy, std::int32_t table_size, const marked_lists& lists,
                        key_list& into) {
  into.clear();
  if (!correct_builds(strategy, table_size, lists)) return true;
  const auto size = static_cast<std::size_t>(table_size);
  if (into.capacity() < size && !try_reserve_keys(into, size)) return false;
  into.assign(size, 0);
  probe_table t = make_table(table_size, into.data());
  fill_with_rules(t, strategy, fresh_source(lists, false), fresh_source(lists, true),
                  build_rules{});
  return true;
}

variant_outcome compare_correct(strategy_id strategy, std::int32_t table_size,
                                const marked_lists& lists, const key_list& reference) {
  if (!correct_builds(strategy, table_size, lists)) {
    return reference.empty() ? variant_outcome::same : variant_outcome::differs;
  }
  if (static_cast<std::int64_t>(reference.size()) != table_size) return variant_outcome::differs;
  if (table_size == 0) return variant_outcome::same;
  return compare_built(strategy, table_size, fresh_source(lists, false), fresh_source(lists, true),
                       build_rules{}, lists.distinct, reference);
}

// double_rules_part for a reading of a mistake, which depends on the reading and the size alone
// and is asked again and again while inputs are generated: each thread keeps the answers for the
// small tables a generated input holds.
bool rules_part_at(wrong_build build, const build_rules& rules, std::int64_t table_size) {
  constexpr std::int64_t kept_sizes = 64;
  if (table_size >= kept_sizes) return double_rules_part(rules, table_size);
  thread_local std::map<std::tuple<mistake_id, std::size_t, std::int64_t>, bool> known;
  const auto at = std::make_tuple(build.mistake, build.reading, table_size);
  const auto found = known.find(at);
  if (found != known.end()) return found->second;
  const bool parts = double_rules_part(rules, table_size);
  known.emplace(at, parts);
  return parts;
}

bool variant_revealable(wrong_build build, strategy_id strategy, std::int64_t table_size) {
  if (!variant_applies(build, strategy)) return false;
  // Sizes 0 and 2 take no key; one slot keeps the first key inserted, whatever the rules.
  const build_rules& rules = rules_of(build);
  if (rules.lists_swapped) return table_size == 1 || table_size >= 3;
  if (table_size < smallest_variant_table || table_size > max_table_size) return false;
  // Only the probes changed: each key still takes the first empty slot of an order of its own.
  // Where every key has the same step, taking it from another key changes nothing.
  const bool steps_alike = step_divisor(table_size, rules.step) == 1;
  const bool ordered_by_probes = strategy == strategy_id::double_hashing && rules.absorb_repeats &&
                                 rules.second_list_inserted && !rules.zero_is_key &&
                                 rules.overwrite == overwrite_rule::none &&
                                 (!rules.step_from_held || steps_alike);
  return !ordered_by_probes || rules_part_at(build, rules, table_size);
}

std::int64_t probe_slot_in(const build_rules& rules, strategy_id strategy, const key_list& before,
                           key k, std::int64_t i) {
  probe_rules probing = probing_for(rules, strategy);
  const auto m = static_cast<std::int64_t>(before.size());
  if (probing.step_from_held && m > 0) {
    const key held = before[static_cast<std::size_t>(primary_hash(k, m))];
    if (held != 0) probing.step_key = held;
  }
  return probe_slot(probing, m, k, i);
}

bool inserts_key(const build_rules& rules, strategy_id strategy, const key_order& order,
                 const key_list& first_keys, const key_list& second_keys, key k) {
  const std::int64_t rank = rank_of(order, k);
  if (rank < 0) return false;
  if (loses_first_list(rules, strategy)) {
    return rules.second_list_inserted &&
           std::find(second_keys.begin(), second_keys.end(), k) != second_keys.end();
  }
  const std::uint32_t position = order.first_position[static_cast<std::size_t>(rank)];
  return rules.second_list_inserted || position < first_keys.size();
}

key_list table_before(const build_rules& rules, strategy_id strategy, std::int32_t table_size,
                      const key_list& first_keys, const key_list& second_keys,
                      const key_order& order, key k) {
  if (table_size < smallest_variant_table || table_size > max_table_size) return {};
  if (has_negative(first_keys) || has_negative(second_keys)) return {};
  if (loses_first_list(rules, strategy)) {
    return table_before(second_list_rules(rules), strategy_id::linear_probing, table_size, {},
                        second_keys, order_keys({}, second_keys), k);
  }
  key_list layout(static_cast<std::size_t>(table_size), 0);
  probe_table t = make_table(table_size, layout.data());
  t.stop_before = k;
  if (rules.lists_swapped) {
    const key_order swapped = order_keys(second_keys, first_keys);
    fill_with_rules(t, strategy, key_source{&second_keys, &swapped.first_ranks, &swapped.distinct},
                    key_source{&first_keys, &swapped.second_ranks, &swapped.distinct}, rules);
  } else if (!rules.absorb_repeats || rules.overwrite != overwrite_rule::none) {
    track_keys(t, rules, order);
    fill_with_rules(t, strategy, key_source{.keys = &first_keys, .zero_is_key = rules.zero_is_key},
                    key_source{.keys = &second_keys, .zero_is_key = rules.zero_is_key}, rules);
  } else if (rules.zero_is_key || needs_first_places(rules)) {
    marked_lists marked = mark_lists(first_keys, second_keys);
    if (rules.zero_is_key) mark_first_zero(marked);
    fill_with_rules(t, strategy, fresh_source(marked, false, rules.zero_is_key),
                    fresh_source(marked, true, rules.zero_is_key), rules);
  } else {
    fill_with_rules(t, strategy, key_source{&first_keys, &order.first_ranks, &order.distinct},
                    key_source{&second_keys, &order.second_ranks, &order.distinct}, rules);
  }
  if (t.budget < 0) return {};
  return layout;
}

namespace {

// Inserts the keys into `table` by the correct rules of `strategy`, where a slot holding the key
// is the key's own: false once the tries pass `budget`, which they count down.
bool insert_on_table(strategy_id strategy, key_list& table, const key_list& first_keys,
                     const key_list& second_keys, std::int64_t& budget) {
  const auto m = static_cast<std::int64_t>(table.size());
  const probe_rules& rules = traits_of(strategy).rules;
  const auto insert = [&](key k) {
    const std::int64_t tries = probe_count(rules, m, k);
    for (std::int64_t i = 0; i < tries; ++i) {
      if (--budget < 0) return false;
      key& held = table[static_cast<std::size_t>(probe_slot(rules, m, k, i))];
      if (held != 0 && held != k) continue;
      held = k;
      return true;
    }
    return true;  // dropped
  };
  key_list collided;
  for (const key k : first_keys) {
    if (k == 0) continue;
    key& home = table[static_cast<std::size_t>(primary_hash(k, m))];
    if (traits_of(strategy).first_list_two_passes && home != 0 && home != k) {
      collided.push_back(k);
    } else if (!insert(k)) {
      return false;
    }
  }
  for (const key_list* keys : {static_cast<const key_list*>(&collided), &second_keys}) {
    for (const key k : *keys) {
      if (k != 0 && !insert(k)) return false;
    }
  }
  return true;
}

}  // namespace

std::array<key_list, strategy_count> kept_table_layouts(const key_list& expected_linear,
                                                        const key_list& first_keys,
                                                        const key_list& second_keys) {
  std::array<key_list, strategy_count> kept;
  const auto m = static_cast<std::int64_t>(expected_linear.size());
  if (m < smallest_variant_table || m > largest_variant_table || has_negative(first_keys) ||
      has_negative(second_keys)) {
    return kept;
  }
  std::int64_t budget = continued_probe_budget;
  kept[0] = expected_linear;
  for (std::size_t i = 1; i < strategy_count; ++i) {
    kept[i] = kept[i - 1];
    if (!insert_on_table(all_strategies[i], kept[i], first_keys, second_keys, budget)) {
      return {};
    }
  }
  return kept;
}

namespace {

// Every field of build_rules, so that two wrong builds can be merged field by field.
constexpr auto rule_fields = std::make_tuple(
    &build_rules::lists_swapped, &build_rules::wrap, &build_rules::absorb_repeats,
    &build_rules::second_two_pass, &build_rules::step, &build_rules::probes,
    &build_rules::scan_from_home, &build_rules::keep_probing, &build_rules::first_probe,
    &build_rules::wrap_to, &build_rules::scan_cut, &build_rules::second_list_inserted,
    &build_rules::zero_is_key, &build_rules::step_from_held, &build_rules::collided_reversed,
    &build_rules::scan_stride, &build_rules::overwrite, &build_rules::two_pass);

// Stands for any field's value, to count an aggregate's fields by initialising it.
struct any_field {
  template <typename value>
  constexpr operator value() const {  // NOLINT(google-explicit-constructor)
    return value{};
  }
};

template <typename aggregate, typename... fields>
constexpr std::size_t field_count() {
  if constexpr (requires { aggregate{fields{}..., any_field{}}; }) {
    return field_count<aggregate, fields..., any_field>();
  } else {
    return sizeof...(fields);
  }
}

static_assert(field_count<build_rules>() == std::tuple_size_v<decltype(rule_fields)>,
              "rule_fields lists every field of build_rules");

}  // namespace

std::optional<build_rules> merged_rules(const build_rules& one, const build_rules& other) {
  constexpr build_rules plain{};
  build_rules merged = one;
  bool clash = false;
  const auto merge = [&](auto field) {
    if (other.*field == plain.*field) return;
    clash = clash || merged.*field != plain.*field;
    merged.*field = other.*field;
  };
  std::apply([&](auto... field) { (merge(field), ...); }, rule_fields);
  if (clash) return std::nullopt;
  return merged;
}

std::string mistake_key(const named_mistake& name) {
  std::string key(mistake_key(name.first));
  if (name.second) key.append("+").append(mistake_key(*name.second));
  return key;
}

std::string mistake_title(const named_mistake& name) {
  std::string title(mistake_key(name.first));
  if (name.second) title.append(" + ").append(mistake_key(*name.second));
  return title;
}
