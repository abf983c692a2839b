// The three table builders written probe by probe, exactly as the rules read: slow on clustered
// keys, but plain enough to trust as the reference the fast builders are compared with.
#pragma once

#include "hashing/hash_table.h"

/// Same contract as `build_layout` of linear probing: `table_size` entries, or the empty list for
/// input it rejects.
key_list reference_linear_probing(std::int32_t table_size, const key_list& first_keys,
                                  const key_list& second_keys);

/// Same contract as `build_layout` of two-pass hashing.
key_list reference_two_pass_hashing(std::int32_t table_size, const key_list& first_keys,
                                    const key_list& second_keys);

/// Same contract as `build_layout` of double hashing.
key_list reference_double_hashing(std::int32_t table_size, const key_list& first_keys,
                                  const key_list& second_keys);
