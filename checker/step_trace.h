// A Wrong line's root-cause key, probe by probe: the table as it stood just before the key went
// in, each slot the key tried and what that slot held at that moment, in the correct build and,
// where the line is a known mistake's layout, in the mistaken build beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"

/// One try of the key: its number from 1, the slot and the key that slot held then (0: empty).
struct walk_step {
  std::int64_t number = 0;
  std::int64_t slot = 0;
  key held = 0;
  bool operator==(const walk_step&) const = default;
};

/// Slots [begin, begin + keys.size()) of a table as it stood.
struct table_span {
  std::int64_t begin = 0;
  key_list keys;
  bool operator==(const table_span&) const = default;
};

/// Tables of up to this many slots are kept whole; a larger one keeps only the slots within
/// walk_window_radius of a kept step's slot.
inline constexpr std::int64_t walk_whole_table_slots = 2000;
inline constexpr std::int64_t walk_window_radius = 8;
/// Steps kept of a walk: its first walk_head_steps and its last walk_tail_steps.
inline constexpr std::int64_t walk_head_steps = 16;
inline constexpr std::int64_t walk_tail_steps = 4;

/// One build's insertion of the key.
struct build_walk {
  std::string build;             // "correct", or the named mistake's id
  std::vector<walk_step> steps;  // kept steps, in order
  std::int64_t length = 0;       // steps in all, kept or not
  std::optional<std::int64_t> settles;
  bool cut_short = false;  // a mistake's walk stops one step after it parts from the correct one
  std::optional<std::int64_t> parts_at;  // a mistake's walk: its first step unlike the correct's
  std::vector<table_span> stood;         // the table as it stood, ascending, not overlapping
};

/// Both walks of a line; `correct` is null when the line has no root-cause key, `mistake` when no
/// known mistaken build is named or its table is outside smallest_variant_table to
/// largest_variant_table.
struct step_trace {
  std::optional<build_walk> correct;
  std::optional<build_walk> mistake;
};

/// The build a named mistake stands for: another strategy's correct build (`rules` the default),
/// or a wrong build of the line's own strategy.
struct mistake_build {
  strategy_id strategy = strategy_id::linear_probing;
  build_rules rules;
};

/// What the walks are made from. `length` and `settles` are the key's path in the correct build as
/// the diagnosis found them (null `settles`: the key is dropped).
struct walk_source {
  strategy_id strategy = strategy_id::linear_probing;
  std::int64_t table_size = 0;
  const key_list* first_keys = nullptr;
  const key_list* second_keys = nullptr;
  const key_order* order = nullptr;    // order_keys of the two lists
  const key_list* expected = nullptr;  // the correct layout, table_size slots
  key root = 0;
  std::int64_t length = 0;
  std::optional<std::int64_t> settles;
  std::optional<mistake_build> mistake;
  std::string mistake_name;  // the mistake's key, such as "no_wrap_around"
};

/// The walks of `source.root`. The correct table as it stood is read off the correct layout (a
/// slot holds what it holds in the end if that key went in earlier), so a table of any size costs
/// a few hundred lookups; a mistaken build is rebuilt up to the key, taking 8 bytes a slot. A
/// mistake's walk ends one step after it parts from the correct walk, or where it settles or
/// drops the key. Memory is bounded by the table, output by the kept steps and windows.
step_trace trace_steps(const walk_source& source);
