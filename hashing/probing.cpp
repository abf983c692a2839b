#include "hashing/probing.h"

#include <numeric>

namespace {

std::int64_t step_of(const probe_rules& rules, std::int64_t m, std::int64_t k) {
  return probe_step(k, m, rules.step);
}

// The probes of keep_probing repeat after m / gcd(step, m) of them, so no more are made.
std::int64_t probe_cycle(const probe_rules& rules, std::int64_t m, std::int64_t k) {
  return m / std::gcd(step_of(rules, m, k), m);
}

// Try `j` (from 1) of the linear scan after slot `start`; -1 past its end.
std::int64_t scanned_slot(std::int64_t start, std::int64_t j, std::int64_t m, bool wrap) {
  if (j > m - 1 || (!wrap && start + j >= m)) return -1;
  return (start + j) % m;
}

}  // namespace

std::int64_t scan_start(const probe_rules& rules, std::int64_t table_size, std::int64_t k) {
  const std::int64_t home = primary_hash(k, table_size);
  if (rules.scan_from_home || rules.probes <= 1) return home;
  return hash_probe(home, step_of(rules, table_size, k), rules.probes - 1, table_size);
}

std::int64_t probe_slot(const probe_rules& rules, std::int64_t table_size, std::int64_t k,
                        std::int64_t i) {
  const std::int64_t m = table_size;
  if (m <= 0 || i < 0) return -1;
  const std::int64_t home = primary_hash(k, m);
  if (rules.keep_probing) {
    return i < probe_cycle(rules, m, k) ? hash_probe(home, step_of(rules, m, k), i, m) : -1;
  }
  if (i < rules.probes) return i == 0 ? home : hash_probe(home, step_of(rules, m, k), i, m);
  return scanned_slot(scan_start(rules, m, k), i - rules.probes + 1, m, rules.wrap);
}

std::int64_t probe_count(const probe_rules& rules, std::int64_t table_size, std::int64_t k) {
  const std::int64_t m = table_size;
  if (m <= 0) return 0;
  if (rules.keep_probing) return probe_cycle(rules, m, k);
  const std::int64_t scanned = rules.wrap ? m - 1 : m - 1 - scan_start(rules, m, k);
  return rules.probes + scanned;
}

std::int64_t tries_to(const probe_rules& rules, std::int64_t table_size, std::int64_t k,
                      std::int64_t slot) {
  const std::int64_t m = table_size;
  if (m <= 0 || slot < 0 || slot >= m) return -1;
  const std::int64_t fixed = rules.keep_probing ? probe_cycle(rules, m, k) : rules.probes;
  for (std::int64_t i = 0; i < fixed; ++i) {
    if (probe_slot(rules, m, k, i) == slot) return i + 1;
  }
  if (rules.keep_probing) return -1;
  const std::int64_t start = scan_start(rules, m, k);
  const std::int64_t j = (slot - start - 1 + m) % m + 1;
  return scanned_slot(start, j, m, rules.wrap) < 0 ? -1 : rules.probes + j;
}
