#include "checker/input_generator.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "checker/audit.h"

std::uint64_t mix_seed(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

namespace {

std::uint64_t mix(std::uint64_t x) { return mix_seed(x); }

struct random_source {
  std::uint64_t state;
  std::uint64_t next() { return mix(state++); }
  std::int64_t below(std::int64_t bound) {
    return static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(bound));
  }
};

// Tables above this add nothing a smaller one can't reveal, and only take longer to read.
constexpr std::int64_t largest_useful_table = 13;
constexpr int candidates_per_round = 48;
constexpr int most_rounds = 400;
constexpr int single_case_tries = 300;

// A key homed in one of `width` slots from `start`, from 1 to largest_generated_key.
key key_near(random_source& random, std::int64_t m, std::int64_t start, std::int64_t width) {
  const std::int64_t home = (start + random.below(width)) % m;
  const std::int64_t turns = (largest_generated_key - home) / m + 1;
  const std::int64_t k = home + m * random.below(turns);
  return static_cast<key>(k == 0 ? m : k);
}

// Keys homed in a narrow window collide, fill runs and often reach the last slot; now and then
// a key is met again or is key 0, which a program may wrongly store.
key_list random_keys(random_source& random, std::int64_t m, std::int64_t count) {
  const std::int64_t start = random.below(m);
  const std::int64_t width = 1 + random.below(m);
  key_list keys;
  for (std::int64_t i = 0; i < count; ++i) {
    const bool again = !keys.empty() && random.below(6) == 0;
    const bool zero = !again && random.below(10) == 0;
    keys.push_back(
        again ? keys[static_cast<std::size_t>(random.below(static_cast<std::int64_t>(keys.size())))]
        : zero ? 0
               : key_near(random, m, start, width));
  }
  return keys;
}

case_result random_case(random_source& random, std::int64_t smallest, std::int64_t largest) {
  const std::int64_t m = smallest + random.below(largest - smallest + 1);
  key_list first = random_keys(random, m, 1 + random.below(m + m / 2));
  key_list second = random_keys(random, m, 1 + random.below(m));
  return make_case(0, static_cast<std::int32_t>(m), std::move(first), std::move(second));
}

std::vector<case_result> renumbered(const std::vector<case_result>& cases) {
  std::vector<case_result> numbered;
  numbered.reserve(cases.size());
  std::int64_t number = 0;
  std::transform(cases.begin(), cases.end(), std::back_inserter(numbered),
                 [&number](const case_result& c) {
                   return make_case(number++, static_cast<std::int32_t>(c.table_size), c.first_keys,
                                    c.second_keys);
                 });
  return numbered;
}

bool catches_all(const std::vector<case_result>& cases) {
  const audit_result result = audit_cases(renumbered(cases));
  return std::all_of(result.verdicts.begin(), result.verdicts.end(),
                     [](const audit_verdict& v) { return v.caught; });
}

// Verdicts of `cases` still missed, by their index in an audit's verdicts.
std::vector<bool> missed_of(const std::vector<case_result>& cases) {
  const audit_result result = audit_cases(renumbered(cases));
  std::vector<bool> missed(result.verdicts.size());
  std::transform(result.verdicts.begin(), result.verdicts.end(), missed.begin(),
                 [](const audit_verdict& v) { return !v.caught; });
  return missed;
}

std::int64_t newly_caught(const case_result& candidate, const std::vector<bool>& missed) {
  const audit_result alone = audit_cases(std::span<const case_result>(&candidate, 1));
  std::int64_t count = 0;
  for (std::size_t i = 0; i < missed.size(); ++i) count += missed[i] && alone.verdicts[i].caught;
  return count;
}

// The first mistake that no table of `largest` slots or fewer reveals, with the size that does.
std::string unrevealable_mistake(std::int64_t largest) {
  for (const mistake_id mistake : all_mistakes) {
    for (const strategy_id s : all_strategies) {
      if (!mistake_applies(mistake, s)) continue;
      std::int64_t m = 1;
      while (m <= largest_useful_table && !audit_revealable(mistake, s, m)) ++m;
      if (m <= largest) continue;
      return "no table of " + std::to_string(largest) + " slots or fewer can reveal " +
             std::string(mistake_key(mistake)) + " on " + std::string(strategy_title(s)) +
             "; --max-size=" + std::to_string(m) + " or more can";
    }
  }
  return "";
}

// Drops each case, last first, that the others can do without.
void drop_needless(std::vector<case_result>& cases) {
  for (std::size_t i = cases.size(); i-- > 0;) {
    std::vector<case_result> without = cases;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
    if (!without.empty() && catches_all(without)) cases = std::move(without);
  }
}

// What a generated input shows beside the mistakes it catches, so that mistakes of the printing,
// of key 0 and of a full table show in a submission too: a key 0, a table filled to its last
// slot, a table with more keys than slots, and at least `least_generated_cases` cases.
struct input_features {
  bool zero = false;
  bool full = false;
  bool overflowing = false;
};

constexpr std::int64_t least_generated_cases = 3;

input_features features_of(const std::vector<case_result>& cases) {
  input_features found;
  for (const case_result& c : cases) {
    const key_order order = order_keys(c.first_keys, c.second_keys);
    const auto distinct = static_cast<std::int64_t>(order.distinct.size());
    for (const key_list* keys : {&c.first_keys, &c.second_keys}) {
      found.zero = found.zero || std::find(keys->begin(), keys->end(), 0) != keys->end();
    }
    found.full = found.full || distinct == c.table_size;
    found.overflowing = found.overflowing || distinct > c.table_size;
  }
  return found;
}

// A random case of `keys` distinct nonzero keys, a key 0 among them when `zero`.
case_result case_of_keys(random_source& random, std::int64_t m, std::int64_t keys, bool zero) {
  key_list all;
  while (static_cast<std::int64_t>(all.size()) < keys) {
    const key k = key_near(random, m, 0, m);
    if (std::find(all.begin(), all.end(), k) == all.end()) all.push_back(k);
  }
  if (zero) all.insert(all.begin() + random.below(static_cast<std::int64_t>(all.size()) + 1), 0);
  const auto split = static_cast<std::ptrdiff_t>(1 + random.below(std::ssize(all)));
  return make_case(0, static_cast<std::int32_t>(m), key_list(all.begin(), all.begin() + split),
                   key_list(all.begin() + split, all.end()));
}

// The next case `cases` needs for its features, or a random one.
case_result padding_case(random_source& random, std::int64_t largest,
                         const std::vector<case_result>& cases) {
  const input_features found = features_of(cases);
  const std::int64_t m = 3 + random.below(largest - 2);
  if (!found.full) return case_of_keys(random, m, m, !found.zero);
  if (!found.overflowing) return case_of_keys(random, m, m + 1 + random.below(2), !found.zero);
  if (!found.zero) return case_of_keys(random, m, 1 + random.below(m), true);
  return random_case(random, 3, largest);
}

bool has_features(const std::vector<case_result>& cases, std::int64_t least) {
  const input_features found = features_of(cases);
  return found.zero && found.full && found.overflowing &&
         static_cast<std::int64_t>(cases.size()) >= least;
}

// Cases after `cases` until they have the features and there are `least`, and they still catch
// everything; false when the draws run out first.
bool pad_cases(random_source& random, std::int64_t largest, std::int64_t least,
               std::vector<case_result>& cases) {
  const std::size_t found = cases.size();
  least = std::max(least, least_generated_cases);
  for (int tries = 0; tries < single_case_tries; ++tries) {
    cases.resize(found);
    while (!has_features(cases, least)) cases.push_back(padding_case(random, largest, cases));
    if (cases.size() == found || catches_all(cases)) return true;
  }
  return false;
}

}  // namespace

generated_input generate_input(std::uint64_t seed, std::int64_t max_size,
                               std::int64_t least_cases) {
  generated_input generated;
  generated.refusal = unrevealable_mistake(max_size);
  generated.too_small = !generated.refusal.empty();
  if (generated.too_small) return generated;
  const std::int64_t largest = std::min(max_size, largest_useful_table);
  random_source random{mix(seed)};
  std::vector<case_result> cases;
  for (int round = 0; round < most_rounds; ++round) {
    const std::vector<bool> missed = missed_of(cases);
    if (!cases.empty() && std::none_of(missed.begin(), missed.end(), [](bool b) { return b; })) {
      drop_needless(cases);
      if (!pad_cases(random, largest, least_cases, cases)) break;
      generated.cases = renumbered(cases);
      return generated;
    }
    case_result best;
    std::int64_t best_count = -1;
    for (int c = 0; c < candidates_per_round; ++c) {
      case_result candidate = random_case(random, 3, largest);
      const std::int64_t count = newly_caught(candidate, missed);
      if (count > best_count) {
        best_count = count;
        best = std::move(candidate);
      }
    }
    cases.push_back(std::move(best));
  }
  generated.refusal = "the search found no input of tables up to " + std::to_string(max_size) +
                      " slots that catches every mistake; try another --seed";
  return generated;
}

large_shape shape_named(std::string_view name) {
  if (name == "clustered") return large_shape::clustered;
  if (name == "wrap") return large_shape::wrap;
  if (name == "repeated") return large_shape::repeated;
  return large_shape::random;
}

key large_case_key(large_shape shape, std::uint64_t seed, std::int64_t table_size,
                   std::uint64_t index) {
  constexpr std::uint64_t largest_key = std::numeric_limits<key>::max();
  const std::uint64_t seeded = mix(seed) ^ 0x5bd1e995ULL;
  if (shape == large_shape::repeated && index > 0 && mix(seeded + index) % repeated_share == 0) {
    index = mix(seeded ^ index) % index;
  }
  const std::uint64_t draw = mix(seeded + 2 * index + 1);
  if (shape == large_shape::random || shape == large_shape::repeated) {
    return static_cast<key>(1 + draw % largest_key);
  }
  const auto m = static_cast<std::uint64_t>(table_size);
  const std::uint64_t width = std::max<std::uint64_t>(1, m / 256);
  const std::uint64_t offset = (draw >> 32) % width;
  const std::uint64_t home = shape == large_shape::clustered ? offset : m - width + offset;
  const std::uint64_t turns = (largest_key - home) / m + 1;
  const std::uint64_t k = home + m * ((draw & 0xffffffffULL) % turns);
  return static_cast<key>(k == 0 ? m : k);
}
