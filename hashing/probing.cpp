#include "hashing/probing.h"

#include <numeric>

namespace {

std::int64_t step_of(const probe_rules& rules, std::int64_t m, std::int64_t k) {
  return probe_step(rules.step_key >= 0 ? rules.step_key : k, m, rules.step);
}

// The probes of keep_probing repeat after m / gcd(step, m) of them, so no more are made.
std::int64_t probe_cycle(const probe_rules& rules, std::int64_t m, std::int64_t k) {
  return m / std::gcd(step_of(rules, m, k), m);
}

// Hash probe `i` (from 0) of `k`, counted from the rules' first probe.
std::int64_t nth_hash_probe(const probe_rules& rules, std::int64_t m, std::int64_t k,
                            std::int64_t i) {
  const std::int64_t number = i + rules.first_probe;
  const std::int64_t home = primary_hash(k, m);
  return number == 0 ? home : hash_probe(home, step_of(rules, m, k), number, m);
}

// Scanned slots at most, wrapping or not.
std::int64_t scan_length(const probe_rules& rules, std::int64_t m) {
  return std::max<std::int64_t>(m - 1 - rules.scan_cut, 0);
}

// Whether the scan goes on from `wrap_to` after the last slot.
bool scan_wraps(const probe_rules& rules, std::int64_t m) {
  return rules.wrap && rules.wrap_to < m;
}

// The try (from 1) at which a scan of 2 slots a try first lands `ahead` slots on from its start
// round a ring of `n` slots; 0 when it never does.
std::int64_t ring_tries_by_two(std::int64_t ahead, std::int64_t n) {
  if (n % 2 == 0) {
    if (ahead % 2 != 0) return 0;
    return ahead == 0 ? n / 2 : ahead / 2;
  }
  // On an odd ring the odd distances come on the second time round.
  if (ahead == 0) return n;
  return ahead % 2 == 0 ? ahead / 2 : (ahead + n) / 2;
}

// scan_tries_to for a scan of 2 slots a try, which may go round more than once. The
// ring's slots are counted from `wrap_to`, a start below it standing just before the ring's first.
std::int64_t strided_tries_to(const probe_rules& rules, std::int64_t m, std::int64_t start,
                              std::int64_t slot) {
  if (slot < 0 || slot >= m) return -1;
  std::int64_t j = 0;
  if (!scan_wraps(rules, m)) {
    const std::int64_t ahead = slot - start;
    if (ahead > 0 && ahead % rules.scan_stride == 0) j = ahead / rules.scan_stride;
  } else if (slot >= rules.wrap_to) {
    const std::int64_t n = m - rules.wrap_to;
    j = ring_tries_by_two(((slot - start) % n + n) % n, n);
  }
  return j >= 1 && j <= scan_length(rules, m) ? j : -1;
}

bool is_prime(std::int64_t n) {
  if (n < 2) return false;
  for (std::int64_t d = 2; d * d <= n; ++d) {
    if (n % d == 0) return false;
  }
  return true;
}

}  // namespace

std::int64_t largest_prime_below(std::int64_t n) {
  // A build asks for the same table size key after key.
  thread_local std::int64_t asked = 0;
  thread_local std::int64_t found = 1;
  if (n == asked) return found;
  std::int64_t p = n - 1;
  while (p >= 2 && !is_prime(p)) --p;
  asked = n;
  found = p >= 2 ? p : 1;
  return found;
}

std::int64_t scan_start(const probe_rules& rules, std::int64_t table_size, std::int64_t k) {
  if (rules.scan_from_home || rules.probes <= 1) return primary_hash(k, table_size);
  return nth_hash_probe(rules, table_size, k, rules.probes - 1);
}

std::int64_t scanned_slot(const probe_rules& rules, std::int64_t table_size, std::int64_t start,
                          std::int64_t j) {
  const std::int64_t m = table_size;
  if (j < 1 || j > scan_length(rules, m)) return -1;
  const std::int64_t at = start + rules.scan_stride * j;
  if (at < m) return at;
  if (!scan_wraps(rules, m)) return -1;
  return rules.wrap_to + (at - m) % (m - rules.wrap_to);
}

std::int64_t scan_tries_to(const probe_rules& rules, std::int64_t table_size, std::int64_t start,
                           std::int64_t slot) {
  const std::int64_t m = table_size;
  if (rules.scan_stride != 1) return strided_tries_to(rules, m, start, slot);
  if (slot > start && slot < m) {
    return scanned_slot(rules, m, start, slot - start) < 0 ? -1 : slot - start;
  }
  if (!rules.wrap || slot < rules.wrap_to || slot >= m) return -1;
  // The first turn after the wrap; a later turn reaches no slot the first did not.
  const std::int64_t j = m - start + slot - rules.wrap_to;
  return scanned_slot(rules, m, start, j) == slot ? j : -1;
}

std::int64_t probe_slot(const probe_rules& rules, std::int64_t table_size, std::int64_t k,
                        std::int64_t i) {
  const std::int64_t m = table_size;
  if (m <= 0 || i < 0) return -1;
  if (rules.keep_probing) return i < probe_cycle(rules, m, k) ? nth_hash_probe(rules, m, k, i) : -1;
  if (i < rules.probes) return nth_hash_probe(rules, m, k, i);
  return scanned_slot(rules, m, scan_start(rules, m, k), i - rules.probes + 1);
}

std::int64_t probe_count(const probe_rules& rules, std::int64_t table_size, std::int64_t k) {
  const std::int64_t m = table_size;
  if (m <= 0) return 0;
  if (rules.keep_probing) return probe_cycle(rules, m, k);
  const std::int64_t most = scan_length(rules, m);
  const std::int64_t scanned =
      scan_wraps(rules, m) ? most
                           : std::min(most, (m - 1 - scan_start(rules, m, k)) / rules.scan_stride);
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
  const std::int64_t j = scan_tries_to(rules, m, scan_start(rules, m, k), slot);
  return j < 0 ? -1 : rules.probes + j;
}
