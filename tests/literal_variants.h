// The known mistakes written probe by probe, exactly as each reads: every key probed slot by slot,
// repeats and key 0 not skipped. Slow, but plain enough to trust as the reference that the fast
// mistaken builders and the audit are checked against.
#pragma once

#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"

struct literal_rules {
  bool wrap = true;
  bool free_if_same_key = true;
  bool second_two_pass = false;
  // 0: k % (m - 2) + 1, 1: k % (m - 2), 2: k % (m - 1) + 1, 3: R - k % R, 4: k % m + 1
  int step_form = 0;
  int probes = 3;
  bool scan_from_home = false;
  bool keep_probing = false;
  int first_probe = 0;  // the number of the first double-hash probe
  int wrap_to = 0;      // where a scan goes on after the last slot
  int scan_cut = 0;     // a scan tries m - 1 - scan_cut slots
  bool second_inserted = true;
  bool table_kept = false;      // the strategies before this one fill the same table first
  bool zero_is_key = false;     // key 0 takes a slot, which still prints as 0
  bool step_from_held = false;  // the step of the key in the home slot
  bool collided_reversed = false;
  int scan_stride = 1;  // slots a scan advances a try
  // A key that finds no free slot: 0 dropped, 1 written over the last slot it tried, 2 over its
  // home slot.
  int overwrite = 0;
};

/// The table `strategy` builds under `rules`; `m` from 3 up.
key_list literal_build(strategy_id strategy, std::int32_t m, const key_list& first,
                       const key_list& second, const literal_rules& rules);

/// The reference builder of `strategy`.
key_list literal_correct(strategy_id strategy, std::int32_t m, const key_list& first,
                         const key_list& second);

/// The layout the wrong build gives for `strategy`, which it must apply to.
key_list literal_variant(wrong_build build, strategy_id strategy, std::int32_t m,
                         const key_list& first, const key_list& second);
