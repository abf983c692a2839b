#include "reference/reference_builders.h"

#include <cstdlib>

namespace {

// A table is a plain slot array; `slots` is null when it could not be allocated.
struct table {
  key* slots;
  std::int64_t size;
};

bool free_for(const table& t, std::int64_t slot, key k) {
  return t.slots[slot] == 0 || t.slots[slot] == k;
}

// Scans the slots after `start`, wrapping, and stops one short of coming back to it.
void linear_probing_fallback(key k, std::int64_t start, table& t) {
  if (t.slots == nullptr) return;
  for (std::int64_t i = 0; i + 1 < t.size; ++i) {
    const std::int64_t j = (start + i + 1) % t.size;
    if (free_for(t, j, k)) {
      t.slots[j] = k;
      return;
    }
  }
}

void linear_probing_insert(key k, table& t) {
  if (t.slots == nullptr) return;
  const std::int64_t home = primary_hash(k, t.size);
  if (free_for(t, home, k)) {
    t.slots[home] = k;
  } else {
    linear_probing_fallback(k, home, t);
  }
}

void double_hashing_insert(key k, table& t) {
  if (t.slots == nullptr) return;
  std::int64_t slot = 0;
  for (std::int64_t i = 0; i < 3; ++i) {
    slot = double_hash_slot(k, i, t.size);
    if (free_for(t, slot, k)) {
      t.slots[slot] = k;
      return;
    }
  }
  linear_probing_fallback(k, slot, t);
}

// Every key that can sit in its home slot gets it before any colliding key is moved along.
void two_pass_insert(const key_list& keys, table& t) {
  if (t.slots == nullptr) return;
  key_list collided_keys;
  for (const key k : keys) {
    const std::int64_t home = primary_hash(k, t.size);
    if (free_for(t, home, k)) {
      t.slots[home] = k;
    } else {
      collided_keys.push_back(k);
    }
  }
  for (const key k : collided_keys) linear_probing_fallback(k, primary_hash(k, t.size), t);
}

bool has_negative(const key_list& keys) {
  for (const key k : keys) {
    if (k < 0) return true;
  }
  return false;
}

// Sizes whose remainders the given builder can't form with these keys, and negative keys, would
// index outside the table: such input gets no table at all.
bool can_build(std::int64_t table_size, bool size_two_allowed, const key_list& first_keys,
               const key_list& second_keys) {
  if (table_size < 0 || table_size > max_table_size) return false;
  if (has_negative(first_keys) || has_negative(second_keys)) return false;
  const bool has_keys = !first_keys.empty() || !second_keys.empty();
  return !has_keys || (table_size != 0 && (table_size != 2 || size_two_allowed));
}

table allocate_table(std::int64_t table_size) {
  // calloc(0) may return null; a zero-slot table needs no storage but is still a table.
  static key no_slots = 0;
  if (table_size == 0) return {&no_slots, 0};
  return {static_cast<key*>(std::calloc(static_cast<std::size_t>(table_size), sizeof(key))),
          table_size};
}

key_list release_table(table& t) {
  key_list bucket_contents;
  if (t.slots == nullptr) return bucket_contents;
  bucket_contents.assign(t.slots, t.slots + t.size);
  if (t.size != 0) std::free(t.slots);
  t.slots = nullptr;
  return bucket_contents;
}

}  // namespace

key_list reference_linear_probing(std::int32_t table_size, const key_list& first_keys,
                                  const key_list& second_keys) {
  if (!can_build(table_size, true, first_keys, second_keys)) return {};
  table buckets = allocate_table(table_size);
  for (const key k : first_keys) linear_probing_insert(k, buckets);
  for (const key k : second_keys) linear_probing_insert(k, buckets);
  return release_table(buckets);
}

key_list reference_two_pass_hashing(std::int32_t table_size, const key_list& first_keys,
                                    const key_list& second_keys) {
  if (!can_build(table_size, true, first_keys, second_keys)) return {};
  table buckets = allocate_table(table_size);
  two_pass_insert(first_keys, buckets);
  for (const key k : second_keys) linear_probing_insert(k, buckets);
  return release_table(buckets);
}

key_list reference_double_hashing(std::int32_t table_size, const key_list& first_keys,
                                  const key_list& second_keys) {
  if (!can_build(table_size, false, first_keys, second_keys)) return {};
  table buckets = allocate_table(table_size);
  for (const key k : first_keys) double_hashing_insert(k, buckets);
  for (const key k : second_keys) double_hashing_insert(k, buckets);
  return release_table(buckets);
}
