// Literal probe-by-probe builders against the fast ones on 100,000 slots, then the ratios.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <string>

#include "hashing/hash_table.h"
#include "reference/reference_builders.h"

namespace {

constexpr std::int32_t table_size = 100000;

struct strategy {
  strategy_id id;
  key_list (*literal)(std::int32_t, const key_list&, const key_list&);
  const char* name;
  key_list fast(std::int32_t size, const key_list& first, const key_list& second) const {
    return build_layout(id, size, first, second);
  }
};

const std::array<strategy, strategy_count> strategies{{
    {strategy_id::linear_probing, reference_linear_probing, "linear_probing"},
    {strategy_id::two_pass_hashing, reference_two_pass_hashing, "two_pass_hashing"},
    {strategy_id::double_hashing, reference_double_hashing, "double_hashing"},
}};

struct key_input {
  const char* name;
  key_list keys;
};

// Only 21,474 positive multiples of the table size fit a key, so the 100,000 keys that all share
// home slot 0 go round them again, and the literal builders scan the cluster for every repeat.
key_list one_home_keys() {
  key_list keys(table_size);
  for (std::size_t j = 0; j < keys.size(); ++j) {
    keys[j] = static_cast<key>(j % 21474 + 1) * table_size;
  }
  return keys;
}

bool probes_in_block(key k, key block_end) {
  for (std::int64_t i = 0; i < 3; ++i) {
    const std::int64_t slot = double_hash_slot(k, i, table_size);
    if (slot < 1 || slot > block_end) return false;
  }
  return true;
}

// Keys 1..50,000 fill slots 1..50,000; then come 50,000 keys whose home and both double-hash
// probes all land in that block, so every strategy scans along the block for each of them.
key_list filled_block_keys() {
  constexpr key block_end = table_size / 2;
  key_list keys;
  for (key k = 1; k <= block_end; ++k) keys.push_back(k);
  for (key k = block_end + 1; keys.size() < static_cast<std::size_t>(table_size); ++k) {
    if (probes_in_block(k, block_end)) keys.push_back(k);
  }
  return keys;
}

key_list uniform_keys() {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<key> draw(0, std::numeric_limits<key>::max());
  key_list keys(table_size);
  for (key& k : keys) k = draw(rng);
  return keys;
}

// Mean seconds of one build, by "input/strategy/kind", for the summary after the runs.
std::map<std::string, double> seconds_per_build;

void time_builds(benchmark::State& state, const strategy& s, bool literal, const key_list& keys,
                 const std::string& label) {
  std::chrono::duration<double> total{0};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    key_list slots = literal ? s.literal(table_size, keys, {}) : s.fast(table_size, keys, {});
    total += std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(slots.data());
  }
  seconds_per_build[label] = total.count() / static_cast<double>(state.iterations());
}

// Literal builds on clustered keys take seconds, so they run once.
void register_builds(const key_input& input) {
  const bool clustered = std::string(input.name) != "uniform";
  for (const strategy& s : strategies) {
    for (const bool literal : {true, false}) {
      const std::string label =
          std::string(input.name) + "/" + s.name + (literal ? "/literal" : "/fast");
      auto* run = benchmark::RegisterBenchmark(
          label.c_str(), [&s, literal, &input, label](benchmark::State& state) {
            time_builds(state, s, literal, input.keys, label);
          });
      run->Unit(benchmark::kMillisecond);
      if (literal && clustered) run->Iterations(1);
    }
  }
}

void print_ratios(const std::array<key_input, 3>& inputs) {
  std::printf("\n%-13s %-17s %12s %12s %10s\n", "keys", "builder", "literal ms", "fast ms",
              "ratio");
  for (const key_input& input : inputs) {
    for (const strategy& s : strategies) {
      const std::string label = std::string(input.name) + "/" + s.name;
      const auto literal = seconds_per_build.find(label + "/literal");
      const auto fast = seconds_per_build.find(label + "/fast");
      if (literal == seconds_per_build.end() || fast == seconds_per_build.end()) continue;
      std::printf("%-13s %-17s %12.3f %12.3f %9.1fx\n", input.name, s.name, literal->second * 1e3,
                  fast->second * 1e3, literal->second / fast->second);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::array<key_input, 3> inputs{{{"one_home", one_home_keys()},
                                         {"filled_block", filled_block_keys()},
                                         {"uniform", uniform_keys()}}};
  for (const key_input& input : inputs) register_builds(input);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_ratios(inputs);
  return 0;
}
