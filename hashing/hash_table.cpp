#include "hashing/hash_table.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "hashing/empty_slot_tree.h"
#include "hashing/huge_pages.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"

namespace {

// Storage from calloc or malloc, released by its owner. calloc is kept for the slot array because
// large zeroed allocations come straight from fresh pages, with no pass to clear them.
struct free_deleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using c_array = std::unique_ptr<T[], free_deleter>;

// Within one builder a key's probe path never changes and no slot is ever emptied, so a key met
// again is absorbed or dropped again, and key 0 never changes a slot. Skipping both, every key
// inserted is new to the table and "free for it" just means "empty". The first empty slot at or
// after a start is then a query on the tree of bitsets in hashing/empty_slot_tree.h.

// k mod d for a 32-bit k by two multiplications instead of a division (Lemire's fastmod, exact
// for every 32-bit k and d >= 1): a fill takes up to five remainders a key.
struct modulus {
  std::uint64_t inverse = 0;  // ceil(2^64 / divisor), 0 for a divisor of 1
  std::uint64_t divisor = 1;
};

modulus modulus_of(std::int64_t divisor) {
  const auto d = static_cast<std::uint64_t>(divisor);
  return {~std::uint64_t{0} / d + 1, d};
}

std::int64_t remainder(std::int64_t k, const modulus& m) {
  const std::uint64_t low = m.inverse * static_cast<std::uint32_t>(k);
#if defined(__wasm__)
  // WebAssembly has no 64 by 64 bit multiply into 128 bits: there a 128-bit product is a library
  // call on every probe. A divisor below 2^32 lets two 64-bit products give the high word
  // exactly, neither sum overflowing.
  static_assert(max_table_size < (std::int64_t{1} << 32));
  const std::uint64_t high = (low >> 32) * m.divisor + (((low & 0xffffffffU) * m.divisor) >> 32);
  return static_cast<std::int64_t>(high >> 32);
#else
  __extension__ using wide = unsigned __int128;
  return static_cast<std::int64_t>((static_cast<wide>(low) * m.divisor) >> 64);
#endif
}

// In a large case, each strategy but the last gets its own table and thread: the fills read the
// keys and `fresh` only and write only their own table and result, so they need no lock. Smaller
// tables are filled one after another on one table, which costs less than a thread.
constexpr std::int64_t slots_worth_a_thread = large_case_slots;

// A table's slots, or its empty-slot bits. Those of a table that may be filled on a thread of its
// own are mapped straight from the system: their pages come zeroed with no pass to clear them,
// and a thread that never calls malloc never gets a malloc arena of its own, which would hold
// 64 MiB of address space for the rest of the run (a memory limit counts it). AddressSanitizer
// guards only what malloc gives, so its builds take every block from calloc.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HASH_CHECKER_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(HASH_CHECKER_ADDRESS_SANITIZER)
constexpr bool may_map_tables = false;
#else
constexpr bool may_map_tables = true;
#endif

struct table_block_deleter {
  std::size_t bytes = 0;
  bool mapped = false;
  void operator()(void* block) const {
    if (mapped) {
      ::munmap(block, bytes);
    } else {
      std::free(block);
    }
  }
};

using table_block = std::unique_ptr<void, table_block_deleter>;

struct table {
  table_block slot_block;
  table_block word_block;
  key* slots = nullptr;  // null when either block could not be had
  empty_tree_layout empty;
  std::uint64_t* empty_words = nullptr;  // the tree's words, in `word_block`
  std::int64_t size;
  std::int64_t empty_count;
  // Slots [full_from, full_to) were all filled when last looked at, and slots are never emptied
  // while a table fills: a scan that starts inside this run can start at its end.
  std::int64_t full_from = 0;
  std::int64_t full_to = 0;
  modulus by_size;  // for home slots and probes, which stay below 2^32
  modulus by_step;  // the correct step's divisor (see step_divisor)
};

// Home slot and step of a key of the table, as primary_hash and probe_step give them for the keys
// a table takes (never below 0).
std::int64_t home_of(key k, const table& t) { return remainder(k, t.by_size); }
std::int64_t step_of(key k, const table& t) {
  return step_from_remainder(remainder(k, t.by_step), static_cast<std::int64_t>(t.by_step.divisor),
                             step_rule::plus_one);
}

bool is_empty(const table& t, std::int64_t slot) {
  return slot_is_empty(t.empty_words, static_cast<std::size_t>(slot));
}

// Zeroed storage of `bytes`, or a null block; never through operator new, whose failure ends the
// run.
table_block zeroed_block(std::size_t bytes, bool mapped) {
  if (!mapped) return {std::calloc(bytes, 1), table_block_deleter{bytes, false}};
  void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return {nullptr, table_block_deleter{}};
  return {pages, table_block_deleter{bytes, true}};
}

// Null slots when the storage can't be had; `size` is above 0.
table allocate_table(std::int64_t size) {
  const auto count = static_cast<std::size_t>(size);
  table t{};
  t.size = size;
  t.empty_count = size;
  t.by_size = modulus_of(size);
  t.by_step = modulus_of(step_divisor(size, step_rule::plus_one));
  const bool mapped = may_map_tables && size >= slots_worth_a_thread;
  t.empty = lay_out_empty_tree(count);
  const std::size_t words = empty_tree_words(t.empty);
  t.slot_block = zeroed_block(count * sizeof(key), mapped);
  t.word_block = zeroed_block(words * sizeof(std::uint64_t), mapped);
  if (t.slot_block == nullptr || t.word_block == nullptr) return t;
  t.slots = static_cast<key*>(t.slot_block.get());
  t.empty_words = static_cast<std::uint64_t*>(t.word_block.get());
  advise_huge_pages(t.slots, count * sizeof(key));
  mark_all_empty(t.empty, t.empty_words, count);
  return t;
}

// Copies the slots into `contents`, whose room for them was reserved before the table was
// filled, so the copy never allocates.
void copy_contents(const table& t, key_list& contents) {
  contents.assign(t.slots, t.slots + t.size);
}

// As copy_contents, for a table freed right after: its slots are given back a block at a time as
// they are copied, so a large table and its copy don't both stay resident.
void copy_final_contents(table& t, key_list& contents) {
  constexpr std::size_t block = std::size_t{1} << 20;  // keys
  contents.clear();
  for (std::size_t first = 0; first < static_cast<std::size_t>(t.size); first += block) {
    const std::size_t count = std::min(block, static_cast<std::size_t>(t.size) - first);
    contents.insert(contents.end(), t.slots + first, t.slots + first + count);
    release_pages(t.slots + first, count * sizeof(key));
  }
}

// Empties the table for the next strategy.
void clear_table(table& t) {
  std::memset(t.slots, 0, static_cast<std::size_t>(t.size) * sizeof(key));
  mark_all_empty(t.empty, t.empty_words, static_cast<std::size_t>(t.size));
  t.empty_count = t.size;
  t.full_from = 0;
  t.full_to = 0;
}

void store(table& t, std::int64_t slot, key k) {
  t.slots[slot] = k;
  --t.empty_count;
  mark_filled(t.empty, t.empty_words, static_cast<std::size_t>(slot));
}

// First empty slot at or after `from`, or `size` when there is none before the end.
std::int64_t first_empty_up_to_end(const table& t, std::int64_t from) {
  return first_empty_at_or_after(t.empty, t.empty_words, t.size, from);
}

// Needs an empty slot somewhere; finds the first one at or after `from`, wrapping. Keys whose
// homes lie in one long cluster all scan to its end: the longest run of filled slots seen so
// far lets such a scan jump there at once instead of searching the tree from its home.
std::int64_t first_empty_from(table& t, std::int64_t from) {
  const bool in_run = t.full_from <= from && from <= t.full_to;
  const std::int64_t run_start = in_run ? t.full_from : from;
  const std::int64_t found = first_empty_up_to_end(t, in_run ? t.full_to : from);
  if (found - run_start >= t.full_to - t.full_from) {  // [run_start, found) is all filled
    t.full_from = run_start;
    t.full_to = found;
  }
  return found < t.size ? found : first_empty_up_to_end(t, 0);
}

// Stores `k` in the first empty slot after `start`, which is filled, or drops it when none is.
void linear_probing_fallback(key k, std::int64_t start, table& t) {
  if (t.empty_count == 0) return;
  store(t, first_empty_from(t, start + 1 == t.size ? 0 : start + 1), k);
}

// Stores `k` in the first empty slot of its probe sequence under the strategy's rules: the hash
// probes one by one, then the scan through the tree.
template <strategy_id strategy>
void probe_insert(key k, table& t) {
  constexpr probe_rules rules = traits_of(strategy).rules;
  static_assert(rules.wrap && rules.wrap_to == 0 && rules.scan_cut == 0 && rules.scan_stride == 1 &&
                    rules.first_probe == 0 && !rules.scan_from_home && !rules.keep_probing &&
                    rules.step == step_rule::plus_one,
                "the tree's scan and the step's divisor serve the correct rules alone");
  const std::int64_t home = home_of(k, t);
  if (is_empty(t, home)) {
    store(t, home, k);
    return;
  }
  std::int64_t slot = home;
  if constexpr (rules.probes > 1) {
    const std::int64_t step = step_of(k, t);
    for (std::int64_t i = 1; i < rules.probes; ++i) {
      slot = remainder(home + i * step, t.by_size);
      if (is_empty(t, slot)) {
        store(t, slot, k);
        return;
      }
    }
  }
  linear_probing_fallback(k, slot, t);
}

bool is_set(const std::uint64_t* bits, std::size_t i) { return (bits[i / 64] >> (i % 64)) & 1U; }

// Hands `insert` each key of `keys` marked in `fresh`, where bit `offset` stands for keys[0].
// Random keys land anywhere in a large table, so the home slot of the key some way ahead, and
// its word of empty-slot bits, are fetched into cache while the keys before it go in.
template <typename insert_fn>
void for_each_fresh(const key_list& keys, const std::uint64_t* fresh, std::size_t offset,
                    const table& t, insert_fn insert) {
  constexpr std::size_t ahead = 16;
  constexpr std::int64_t slots_worth_prefetching = std::int64_t{1} << 16;
  const std::size_t count = keys.size();
  const std::size_t fetched = t.size < slots_worth_prefetching || count < ahead ? 0 : count - ahead;
  std::size_t i = 0;
  for (; i < fetched; ++i) {
    const auto home = static_cast<std::size_t>(home_of(keys[i + ahead], t));
    __builtin_prefetch(&t.slots[home], 1);
    __builtin_prefetch(&t.empty_words[home / 64]);
    if (is_set(fresh, offset + i)) insert(keys[i]);
  }
  for (; i < count; ++i) {
    if (is_set(fresh, offset + i)) insert(keys[i]);
  }
}

// A key the first pass left out is one whose home slot it does not hold, keys being distinct; its
// home slot stays filled, so the second pass can find it again without keeping a list.
bool left_out_of_first_pass(key k, const table& t) { return t.slots[home_of(k, t)] != k; }

// Every key that can sit in its home slot gets it before any colliding key is moved along.
void two_pass_insert(const key_list& keys, const std::uint64_t* fresh, table& t) {
  for_each_fresh(keys, fresh, 0, t, [&t](key k) {
    const std::int64_t home = home_of(k, t);
    if (is_empty(t, home)) store(t, home, k);
  });
  for_each_fresh(keys, fresh, 0, t, [&t](key k) {
    if (left_out_of_first_pass(k, t)) linear_probing_fallback(k, home_of(k, t), t);
  });
}

// Repeated keys are found by bucketing: one counting pass sorts (low bits, position) pairs by
// the key's high bits, stably, and within a bucket a bitmap over the low bits, small enough to
// stay in cache, tells the first occurrence of each key. Keys here are never below 0.
constexpr int low_bits = 20;
constexpr std::uint64_t low_mask = (std::uint64_t{1} << low_bits) - 1;
constexpr std::size_t bucket_count = std::size_t{1} << (31 - low_bits);

std::size_t bucket_of(key k) { return static_cast<std::size_t>(k) >> low_bits; }

// Counts the nonzero keys of each bucket into `starts` (bucket_count + 1 entries, all 0), then
// turns the counts into where each bucket begins; returns the count of nonzero keys.
std::size_t count_buckets(const key_list& first_keys, const key_list& second_keys,
                          std::size_t* starts) {
  for (const key_list* keys : {&first_keys, &second_keys}) {
    for (const key k : *keys) starts[bucket_of(k)] += k != 0 ? 1 : 0;
  }
  std::size_t sum = 0;
  for (std::size_t b = 0; b <= bucket_count; ++b) sum += std::exchange(starts[b], sum);
  return sum;
}

// Writes each nonzero key's (low bits << 32 | position) into its bucket, positions rising.
void scatter(const key_list& keys, std::uint64_t offset, std::size_t* next, std::uint64_t* pairs) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const key k = keys[i];
    if (k == 0) continue;
    pairs[next[bucket_of(k)]++] = (static_cast<std::uint64_t>(k) & low_mask) << 32 | (offset + i);
  }
}

// Marks in `fresh` the first position of each key among one bucket's pairs; `seen` is all clear
// before and after.
void mark_bucket(const std::uint64_t* begin, const std::uint64_t* end, std::uint64_t* seen,
                 std::uint64_t* fresh) {
  for (const std::uint64_t* pair = begin; pair != end; ++pair) {
    const std::uint64_t low = *pair >> 32;
    const std::uint64_t bit = std::uint64_t{1} << (low % 64);
    if ((seen[low / 64] & bit) != 0) continue;
    seen[low / 64] |= bit;
    const std::uint64_t position = *pair & 0xFFFFFFFFU;
    fresh[position / 64] |= std::uint64_t{1} << (position % 64);
  }
  for (const std::uint64_t* pair = begin; pair != end; ++pair) seen[(*pair >> 32) / 64] = 0;
}

// Below this many keys, sorting (key, position) pairs outright costs less than clearing the
// buckets and the bitmap.
constexpr std::size_t keys_worth_buckets = 1024;

// Marks the first position of each nonzero key of a short list, by sorting.
void mark_by_sorting(const key_list& first_keys, const key_list& second_keys,
                     std::uint64_t* fresh) {
  std::array<std::uint64_t, keys_worth_buckets> pairs;  // only the first `count` are read
  std::size_t count = 0;
  for (const key_list* keys : {&first_keys, &second_keys}) {
    const std::uint64_t offset = keys == &first_keys ? 0 : first_keys.size();
    for (std::size_t i = 0; i < keys->size(); ++i) {
      const auto k = static_cast<std::uint64_t>((*keys)[i]);
      if (k != 0) pairs[count++] = k << 32 | (offset + i);
    }
  }
  std::sort(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0 && pairs[i] >> 32 == pairs[i - 1] >> 32) continue;
    const std::uint64_t position = pairs[i] & 0xFFFFFFFFU;
    fresh[position / 64] |= std::uint64_t{1} << (position % 64);
  }
}

// One bit per position of `first_keys` then `second_keys`, set where a nonzero key occurs for
// the first time; null when the storage can't be had (8 bytes a key while bucketing, positions
// limited to 32 bits). Linear whatever the keys.
c_array<std::uint64_t> first_occurrences(const key_list& first_keys, const key_list& second_keys) {
  const std::size_t total = first_keys.size() + second_keys.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  c_array<std::uint64_t> fresh(
      static_cast<std::uint64_t*>(std::calloc(total / 64 + 1, sizeof(std::uint64_t))));
  if (fresh != nullptr && total < keys_worth_buckets) {
    mark_by_sorting(first_keys, second_keys, fresh.get());
    return fresh;
  }
  const c_array<std::uint64_t> pairs(
      static_cast<std::uint64_t*>(std::malloc((total + 1) * sizeof(std::uint64_t))));
  const c_array<std::uint64_t> seen(
      static_cast<std::uint64_t*>(std::calloc((low_mask + 1) / 64, sizeof(std::uint64_t))));
  // Where each bucket begins, then where its next pair goes.
  const c_array<std::size_t> starts(
      static_cast<std::size_t*>(std::calloc(2 * (bucket_count + 1), sizeof(std::size_t))));
  if (fresh == nullptr || pairs == nullptr || seen == nullptr || starts == nullptr) return nullptr;
  advise_huge_pages(pairs.get(), (total + 1) * sizeof(std::uint64_t));
  count_buckets(first_keys, second_keys, starts.get());
  std::size_t* next = starts.get() + bucket_count + 1;
  std::copy(starts.get(), starts.get() + bucket_count, next);
  scatter(first_keys, 0, next, pairs.get());
  scatter(second_keys, first_keys.size(), next, pairs.get());
  for (std::size_t b = 0; b < bucket_count; ++b) {
    mark_bucket(pairs.get() + starts[b], pairs.get() + starts[b + 1], seen.get(), fresh.get());
  }
  return fresh;
}

template <strategy_id strategy>
void fill_strategy(table& t, const std::uint64_t* fresh, const key_list& first_keys,
                   const key_list& second_keys) {
  const auto insert = [&t](key k) { probe_insert<strategy>(k, t); };
  if constexpr (traits_of(strategy).first_list_two_passes) {
    two_pass_insert(first_keys, fresh, t);
  } else {
    for_each_fresh(first_keys, fresh, 0, t, insert);
  }
  for_each_fresh(second_keys, fresh, first_keys.size(), t, insert);
}

using fill_fn = void (*)(table&, const std::uint64_t*, const key_list&, const key_list&);

template <std::size_t... index>
constexpr std::array<fill_fn, strategy_count> fills_of(std::index_sequence<index...> /*unused*/) {
  return {fill_strategy<strategy_table[index].id>...};
}

// Each strategy's fill, by strategy_id.
constexpr std::array<fill_fn, strategy_count> strategy_fills =
    fills_of(std::make_index_sequence<strategy_count>{});

bool has_negative(const key_list& keys) {
  return std::any_of(keys.begin(), keys.end(), [](key k) { return k < 0; });
}

// Sizes whose remainders the given builder can't form with these keys, and negative keys, would
// index outside the table: such input gets no table at all.
bool can_build(std::int64_t table_size, strategy_id strategy, const key_list& first_keys,
               const key_list& second_keys) {
  const bool size_two_allowed = traits_of(strategy).size_two_allowed;
  if (table_size < 0 || table_size > max_table_size) return false;
  if (has_negative(first_keys) || has_negative(second_keys)) return false;
  const bool has_keys = !first_keys.empty() || !second_keys.empty();
  return !has_keys || (table_size != 0 && (table_size != 2 || size_two_allowed));
}

// One strategy of a layouts request: how to fill the table, whether it may be built, and where
// its result goes.
struct strategy_job {
  fill_fn fill;
  bool wanted;
  key_list* result;
};

using strategy_jobs = std::array<strategy_job, strategy_count>;

// Some jobs of one request, at most one a strategy: fixed room, so that listing them never
// allocates.
struct job_list {
  std::array<const strategy_job*, strategy_count> items{};
  std::size_t count = 0;
  void add(const strategy_job* job) { items[count++] = job; }
};

// Fills `jobs` one after another on one table, copying each out into the room reserved for its
// result. False, with no result changed, when the table can't be had.
bool fill_in_turn(std::int32_t table_size, const std::uint64_t* fresh, const key_list& first_keys,
                  const key_list& second_keys, const job_list& jobs) {
  if (jobs.count == 0) return true;
  table buckets = allocate_table(table_size);
  if (buckets.slots == nullptr) return false;
  for (std::size_t i = 0; i < jobs.count; ++i) {
    const strategy_job& job = *jobs.items[i];
    if (i > 0) clear_table(buckets);
    job.fill(buckets, fresh, first_keys, second_keys);
    if (i + 1 == jobs.count) {
      copy_final_contents(buckets, *job.result);
    } else {
      copy_contents(buckets, *job.result);
    }
  }
  return true;
}

// A strategy filled on a table of its own, so that strategies can be filled at once on several
// threads; `built` is false when its table could not be had.
struct solo_fill {
  const strategy_job* job = nullptr;
  const std::uint64_t* fresh = nullptr;
  const key_list* first_keys = nullptr;
  const key_list* second_keys = nullptr;
  std::int32_t table_size = 0;
  bool built = false;
};

// Allocates nothing through malloc (see table_block_deleter): the table is mapped and the result
// already has its room.
void* fill_alone(void* argument) {
  auto* task = static_cast<solo_fill*>(argument);
  table own = allocate_table(task->table_size);
  if (own.slots == nullptr) return nullptr;
  task->job->fill(own, task->fresh, *task->first_keys, *task->second_keys);
  copy_final_contents(own, *task->job->result);
  task->built = true;
  return nullptr;
}

// A fill thread only walks a table, so a small stack is plenty; the default one (8 MiB, from
// ulimit -s) is address space that a memory limit would count against the tables.
constexpr std::size_t fill_stack_bytes = std::size_t{1} << 19;

// Fills the wanted strategies but the last on threads of their own, where a thread can be had,
// and the rest on the caller's thread meanwhile. A strategy that got no table, on its thread or
// on the caller's, is filled on one table once the others have freed theirs. False, with some
// results perhaps filled, when even that table can't be had.
bool fill_beside(std::int32_t table_size, const std::uint64_t* fresh, const key_list& first_keys,
                 const key_list& second_keys, const strategy_jobs& jobs) {
  std::array<solo_fill, strategy_count> tasks{};
  std::array<helper_thread, strategy_count> threads;
  std::array<bool, strategy_count> started{};
  job_list here;
  std::size_t last = jobs.size();
  while (last > 0 && !jobs[last - 1].wanted) --last;
  for (std::size_t i = 0; i + 1 < last; ++i) {
    if (!jobs[i].wanted) continue;
    tasks[i] = solo_fill{&jobs[i], fresh, &first_keys, &second_keys, table_size, false};
    started[i] = threads[i].start(fill_alone, &tasks[i], fill_stack_bytes);
    if (!started[i]) here.add(&jobs[i]);
  }
  if (last > 0) here.add(&jobs[last - 1]);
  const bool filled_here = fill_in_turn(table_size, fresh, first_keys, second_keys, here);
  job_list retry = filled_here ? job_list{} : here;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (!started[i]) continue;
    threads[i].join();
    if (!tasks[i].built) retry.add(&jobs[i]);
  }
  return fill_in_turn(table_size, fresh, first_keys, second_keys, retry);
}

// Room for every wanted result, made before any table is filled and on the caller's thread only:
// the copies out of the tables then never allocate, and a case whose results can't be held is
// known before any work. False when the room can't be had.
bool reserve_results(std::int32_t table_size, const strategy_jobs& jobs) {
  return std::all_of(jobs.begin(), jobs.end(), [table_size](const strategy_job& job) {
    return !job.wanted || try_reserve_keys(*job.result, static_cast<std::size_t>(table_size));
  });
}

// Fills one working table with each wanted strategy in turn, finding repeated keys only once;
// a large table has its strategies filled at once (fill_beside). False, with every result
// empty and its room given back, when storage can't be had.
bool build_jobs(std::int32_t table_size, const key_list& first_keys, const key_list& second_keys,
                const strategy_jobs& jobs) {
  // Nothing is allocated for a size no strategy may build: a size below 0 or above the limit
  // must not reach calloc, and size 0 needs no table.
  const bool any_wanted =
      std::any_of(jobs.begin(), jobs.end(), [](const strategy_job& job) { return job.wanted; });
  if (!any_wanted || table_size == 0) return true;
  const c_array<std::uint64_t> fresh = first_occurrences(first_keys, second_keys);
  bool filled = fresh != nullptr && reserve_results(table_size, jobs);
  if (filled && table_size >= slots_worth_a_thread) {
    filled = fill_beside(table_size, fresh.get(), first_keys, second_keys, jobs);
  } else if (filled) {
    job_list all;
    for (const strategy_job& job : jobs) {
      if (job.wanted) all.add(&job);
    }
    filled = fill_in_turn(table_size, fresh.get(), first_keys, second_keys, all);
  }
  if (filled) return true;
  for (const strategy_job& job : jobs) {
    if (job.result != nullptr) key_list().swap(*job.result);
  }
  return false;
}

}  // namespace

key_list build_layout(strategy_id strategy, std::int32_t table_size, const key_list& first_keys,
                      const key_list& second_keys) {
  key_list result;
  if (!can_build(table_size, strategy, first_keys, second_keys)) return result;
  strategy_jobs jobs{};
  jobs[strategy_index(strategy)] =
      strategy_job{strategy_fills[strategy_index(strategy)], true, &result};
  build_jobs(table_size, first_keys, second_keys, jobs);
  return result;
}

layouts build_layouts(std::int32_t table_size, const key_list& first_keys,
                      const key_list& second_keys) {
  layouts built;
  strategy_jobs jobs{};
  for (const strategy_id strategy : all_strategies) {
    jobs[strategy_index(strategy)] = strategy_job{
        strategy_fills[strategy_index(strategy)],
        can_build(table_size, strategy, first_keys, second_keys), &layout_of(built, strategy)};
  }
  built.allocation_failed = !build_jobs(table_size, first_keys, second_keys, jobs);
  return built;
}
