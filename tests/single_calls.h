// Calls of the libraries that make their own working room, for tests that build or diagnose one
// thing at a time.
#pragma once

#include "checker/diagnosis.h"
#include "hashing/wrong_variants.h"

/// build_variant, ordering the keys itself.
inline key_list build_variant(wrong_build build, strategy_id strategy, std::int32_t table_size,
                              const key_list& first_keys, const key_list& second_keys) {
  return build_variant(build, strategy, table_size, first_keys, second_keys,
                       order_keys(first_keys, second_keys));
}

/// diagnose_line, with scratch room of its own.
inline diagnosis diagnose_line(const diagnosis_input& input) {
  diagnosis_scratch scratch;
  return diagnose_line(input, scratch);
}
