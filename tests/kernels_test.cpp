// Each register-at-a-time kernel against its byte-at-a-time twin, on inputs chosen to sit on the
// edges the fast forms are built around, then on a seeded random sweep.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "checker/token_kernels.h"
#include "render/decimal_kernels.h"

namespace {

using window = std::array<char, 16>;

window window_of(std::string_view text) {
  window bytes{};
  for (std::size_t i = 0; i < bytes.size() && i < text.size(); ++i) bytes.at(i) = text[i];
  return bytes;
}

// Both forms of both token kernels on one 16-byte window: the digit run, and the value of every
// token length the parser asks for (1 to 10 digits) within it.
void expect_token_kernels_agree(const window& bytes) {
  const int run = scalar_token_kernels::digit_run(bytes.data());
  ASSERT_EQ(fast_token_kernels::digit_run(bytes.data()), run)
      << std::string_view(bytes.data(), bytes.size());
  for (int count = 1; count <= run && count <= 10; ++count) {
    ASSERT_EQ(fast_token_kernels::plain_value(bytes.data(), count),
              scalar_token_kernels::plain_value(bytes.data(), count))
        << std::string_view(bytes.data(), bytes.size()) << " count " << count;
  }
}

TEST(token_kernels, fast_and_scalar_agree_on_edge_windows) {
  const std::string_view windows[] = {
      "",
      "0",
      "1 2",
      "0123456789012345",  // sixteen digits: no byte ends the run
      "9999999999 1",
      "4294967295 1",
      "2147483648 1",
      "00000000001 1",
      "12345678/",  // the byte just below '0'
      "12345678:",  // the byte just above '9'
      "1234567\x80"
      "9",  // a byte above 0x7F, negative to a signed compare
      "1234\xff"
      "56",
      "123456789012345\x7f",
      "1\t2",
      std::string_view("12\0"
                       "34",
                       5),
  };
  for (const std::string_view text : windows) expect_token_kernels_agree(window_of(text));
}

TEST(token_kernels, fast_and_scalar_agree_on_random_windows) {
  std::mt19937 rng(2713);
  // Mostly digits, with the bytes either side of the digit range and the high half.
  constexpr std::string_view others(" /:+-\t\x80\xff\x7f\0a", 11);
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_int_distribution<std::size_t> other(0, others.size() - 1);
  for (int round = 0; round < 200000; ++round) {
    window bytes{};
    const int digit_share = pick(rng);
    for (char& byte : bytes) {
      byte = pick(rng) < digit_share ? static_cast<char>('0' + pick(rng) % 10) : others[other(rng)];
    }
    expect_token_kernels_agree(bytes);
  }
}

// Both forms of the formatter on one value, and the scalar one against std::to_chars.
void expect_decimal_kernels_agree(std::uint32_t value) {
  std::array<char, 16> fast{};
  std::array<char, 16> scalar{};
  std::array<char, 16> reference{};
  const char* fast_end = fast_decimal_kernels::put_decimal(fast.data(), value);
  const char* scalar_end = scalar_decimal_kernels::put_decimal(scalar.data(), value);
  const auto reference_end = std::to_chars(reference.data(), reference.data() + 16, value).ptr;
  const std::string_view scalar_text(scalar.data(),
                                     static_cast<std::size_t>(scalar_end - scalar.data()));
  ASSERT_EQ(scalar_text, std::string_view(reference.data(), static_cast<std::size_t>(
                                                                reference_end - reference.data())));
  ASSERT_EQ(std::string_view(fast.data(), static_cast<std::size_t>(fast_end - fast.data())),
            scalar_text);
}

TEST(decimal_kernels, fast_and_scalar_agree_on_edge_values) {
  // Each power of ten and its neighbours crosses a digit count, a lane or the eight-digit split.
  for (std::uint64_t power = 1; power <= 1000000000; power *= 10) {
    for (const std::uint64_t value : {power - 1, power, power + 1, 2 * power, 10 * power - 1}) {
      if (value <= UINT32_MAX) expect_decimal_kernels_agree(static_cast<std::uint32_t>(value));
    }
  }
  for (const std::uint32_t value :
       {0U, 2147483647U, 2147483648U, 4294967295U, 4200000000U, 1000000009U, 100000010U}) {
    expect_decimal_kernels_agree(value);
  }
}

TEST(decimal_kernels, fast_and_scalar_agree_on_random_values) {
  std::mt19937 rng(9127);
  std::uniform_int_distribution<int> bits(0, 32);
  for (int round = 0; round < 200000; ++round) {
    // Every length equally often: a value of up to `bits` bits.
    const int width = bits(rng);
    const std::uint32_t value = width == 0 ? 0U : static_cast<std::uint32_t>(rng()) >> (32 - width);
    expect_decimal_kernels_agree(value);
  }
}

}  // namespace
