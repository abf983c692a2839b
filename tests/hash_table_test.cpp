#include "hashing/hash_table.h"

#include <gtest/gtest.h>

#include <string>

#include "hashing/huge_pages.h"

namespace {

struct layout_case {
  std::string name;
  std::int32_t table_size;
  key_list first_keys;
  key_list second_keys;
  key_list linear;
  key_list two_pass;
  key_list double_hash;
};

void PrintTo(const layout_case& c, std::ostream* os) { *os << c.name; }

class layouts : public testing::TestWithParam<layout_case> {};

TEST_P(layouts, every_builder_gives_its_layout) {
  const layout_case& c = GetParam();
  EXPECT_EQ(build_layout(strategy_id::linear_probing, c.table_size, c.first_keys, c.second_keys),
            c.linear);
  EXPECT_EQ(build_layout(strategy_id::two_pass_hashing, c.table_size, c.first_keys, c.second_keys),
            c.two_pass);
  EXPECT_EQ(build_layout(strategy_id::double_hashing, c.table_size, c.first_keys, c.second_keys),
            c.double_hash);
}

const key_list empty;

INSTANTIATE_TEST_SUITE_P(
    builders, layouts,
    testing::Values(
        layout_case{"collisions_move_along",
                    7,
                    {10, 17, 4},
                    {},
                    {0, 0, 0, 10, 17, 4, 0},
                    {0, 0, 0, 10, 4, 17, 0},
                    {0, 0, 0, 10, 4, 0, 17}},
        layout_case{"second_keys_follow",
                    7,
                    {10, 17, 4},
                    {24, 3},
                    {3, 0, 0, 10, 17, 4, 24},
                    {3, 0, 0, 10, 4, 17, 24},
                    {3, 24, 0, 10, 4, 0, 17}},
        layout_case{"home_slots_first",
                    7,
                    {17, 3, 10, 4},
                    {24},
                    {24, 0, 0, 17, 3, 10, 4},
                    {24, 0, 0, 17, 4, 3, 10},
                    {3, 24, 4, 17, 10, 0, 0}},
        layout_case{"two_passes_only_for_first_keys",
                    7,
                    {},
                    {3, 10, 4},
                    {0, 0, 0, 3, 10, 4, 0},
                    {0, 0, 0, 3, 10, 4, 0},
                    {0, 0, 4, 3, 10, 0, 0}},
        layout_case{"double_hash_falls_back",
                    7,
                    {1, 2, 3, 15},
                    {},
                    {0, 1, 2, 3, 15, 0, 0},
                    {0, 1, 2, 3, 15, 0, 0},
                    {0, 1, 2, 3, 15, 0, 0}},
        layout_case{"fallback_after_third_probe",
                    7,
                    {1, 3, 5, 19},
                    {},
                    {0, 1, 0, 3, 0, 5, 19},
                    {0, 1, 0, 3, 0, 5, 19},
                    {0, 1, 19, 3, 0, 5, 0}},
        layout_case{"full_table_drops",
                    5,
                    {5, 10, 15, 20, 25},
                    {30},
                    {5, 10, 15, 20, 25},
                    {5, 10, 15, 20, 25},
                    {5, 15, 10, 20, 25}},
        layout_case{"repeated_key_absorbed",
                    7,
                    {10, 17, 10, 17},
                    {17},
                    {0, 0, 0, 10, 17, 0, 0},
                    {0, 0, 0, 10, 17, 0, 0},
                    {0, 0, 0, 10, 0, 0, 17}},
        layout_case{"zero_changes_nothing", 3, {0, 3, 0}, {0}, {3, 0, 0}, {3, 0, 0}, {3, 0, 0}},
        layout_case{
            "size_three_steps_by_one", 3, {3, 6, 9, 12}, {}, {3, 6, 9}, {3, 6, 9}, {3, 6, 9}},
        layout_case{"size_one_keeps_first", 1, {5, 6, 5}, {7}, {5}, {5}, {5}},
        layout_case{"size_zero_without_keys", 0, {}, {}, {}, {}, {}},
        layout_case{"size_two_without_keys", 2, {}, {}, {0, 0}, {0, 0}, {0, 0}},
        layout_case{"size_two_with_keys", 2, {3}, {}, {0, 3}, {0, 3}, {}},
        layout_case{"size_zero_with_keys", 0, {1}, {}, {}, {}, {}},
        layout_case{"negative_key", 7, {3}, {-4}, {}, {}, {}},
        layout_case{"negative_size", -1, {3}, {}, {}, {}, {}},
        layout_case{"size_beyond_allocation_limit", 1073741824, {3}, {}, {}, {}, {}}),
    [](const testing::TestParamInfo<layout_case>& info) { return info.param.name; });

TEST(hash_functions, follow_truncating_remainders_without_overflow) {
  EXPECT_EQ(primary_hash(17, 7), 3);
  EXPECT_EQ(step_hash(17, 7), 3);
  EXPECT_EQ(step_hash(17, 1), 1);
  EXPECT_EQ(double_hash_slot(17, 1, 7), 6);
  EXPECT_EQ(double_hash_slot(19, 2, 7), 1);
  // 3 * m - 5 leaves the 32-bit range here; the 64-bit sum still gives the exact slot.
  const std::int64_t m = 1073741823;
  EXPECT_EQ(double_hash_slot(m - 1, 2, m), 3);
  EXPECT_EQ(double_hash_slot(2147483647, 2, m), 13);
}

TEST(builders, a_table_of_a_million_slots_has_every_slot) {
  const key_list keys{1, 2, 1000000, 999999};
  EXPECT_EQ(build_layout(strategy_id::linear_probing, 1000000, keys, {}).size(), 1000000U);
  EXPECT_EQ(build_layout(strategy_id::double_hashing, 1000000, keys, {}).size(), 1000000U);
}

}  // namespace

// Growth through reserve_keys and append_key keeps every key in order, for lists far past one
// huge page as for small ones, and advice on ranges too small for a huge page is harmless.
TEST(huge_pages, growth_keeps_every_key) {
  for (const std::size_t count :
       {std::size_t{0}, std::size_t{1}, std::size_t{17}, std::size_t{3} << 20}) {
    key_list keys;
    for (std::size_t i = 0; i < count; ++i) append_key(keys, static_cast<key>(i * 7));
    ASSERT_EQ(keys.size(), count);
    for (std::size_t i = 0; i < count; i += 4099) EXPECT_EQ(keys[i], static_cast<key>(i * 7));
    reserve_keys(keys, count * 3 + 1);
    EXPECT_GE(keys.capacity(), count * 3 + 1);
    ASSERT_EQ(keys.size(), count);
    if (count > 0) {
      EXPECT_EQ(keys.back(), static_cast<key>((count - 1) * 7));
    }
  }
  char small[64] = {};
  advise_huge_pages(small, sizeof small);
  release_pages(small, sizeof small);  // no whole page inside: nothing is given back
  small[0] = 1;
  EXPECT_EQ(small[0], 1);
}

// A reservation that can be had becomes the list's storage, keeping its keys, and leaves nothing
// handed over for the next list; one that can't be had leaves the list as it was.
TEST(huge_pages, try_reserve_keys_takes_the_room_it_found) {
  key_list keys{5, 6, 7};
  ASSERT_TRUE(try_reserve_keys(keys, 1000));
  EXPECT_EQ(keys.capacity(), 1000U);
  EXPECT_EQ(keys, (key_list{5, 6, 7}));
  EXPECT_EQ(take_back_key_storage(), nullptr);
  EXPECT_FALSE(try_reserve_keys(keys, keys.max_size() + 1));
  EXPECT_EQ(keys, (key_list{5, 6, 7}));
  EXPECT_EQ(keys.capacity(), 1000U);
}

// Pages given back read as zeros; bytes outside the whole pages of the range keep their values.
TEST(huge_pages, released_pages_read_as_zeros) {
  key_list keys(std::size_t{3} << 20, 7);
  release_pages(keys.data() + 1, (keys.size() - 2) * sizeof(key));
  EXPECT_EQ(keys.front(), 7);
  EXPECT_EQ(keys.back(), 7);
  EXPECT_EQ(keys[keys.size() / 2], 0);
  keys[keys.size() / 2] = 5;  // still writable
  EXPECT_EQ(keys[keys.size() / 2], 5);
}
