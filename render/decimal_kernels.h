// The digit formatter behind every key list written as text, in two forms that write the same
// digits for every value: `fast_decimal_kernels` splits digits on all lanes of one register,
// `scalar_decimal_kernels` divides by ten a digit at a time. The program uses `decimal_kernels`,
// which is the scalar form when built with HASH_CHECKER_SCALAR_KERNELS; both forms are always
// compiled, so tests can hold one against the other on any machine.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scalar_decimal_kernels {

/// Writes `value` in decimal at `at`, without leading zeros, and returns the end.
inline char* put_decimal(char* at, std::uint32_t value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *at++ = digits[--count];
  return at;
}

}  // namespace scalar_decimal_kernels

namespace fast_decimal_kernels {

// The digits are built as the bytes of one word and stored with a copy of that word: the first
// digit must land in the lowest address, the lowest byte.
static_assert(std::endian::native == std::endian::little);

inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/// The eight decimal digits of `value` (below 10^8), zero-padded, as byte values 0..9 with the
/// first digit in the lowest byte: the two halves, their digit pairs and the digits are split off
/// with multiplications on all lanes of one register at once, with no table and no loop.
inline std::uint64_t eight_digit_bytes(std::uint32_t value) {
  const std::uint64_t halves =
      value + ((std::uint64_t{1} << 32) - 10000) * (value / 10000);  // lanes: low 4, high 4
  const std::uint64_t pairs =
      halves + ((std::uint64_t{1} << 16) - 100) * (((halves * 10486) >> 20) & 0x0000007F0000007FU);
  const std::uint64_t digits =
      pairs + ((std::uint64_t{1} << 8) - 10) * (((pairs * 103) >> 10) & 0x000F000F000F000FU);
  return __builtin_bswap64(digits);  // the lanes come out last digit first
}

inline constexpr std::uint64_t ascii_zeros = 0x3030303030303030U;

/// As the scalar put_decimal, but may write up to 10 bytes at `at` whatever the value's length.
/// About twice as fast as std::to_chars on keys of mixed lengths, which defeat its per-digit
/// branches.
inline char* put_decimal(char* at, std::uint32_t value) {
  if (value < 10) {  // most slots of a sparse table are 0
    *at = static_cast<char>('0' + value);
    return at + 1;
  }
  if (value >= 100000000) {
    const std::uint32_t high = value / 100000000;  // 1 to 42
    if (high >= 10) {
      std::memcpy(at, digit_pairs + std::size_t{2} * high, 2);
      at += 2;
    } else {
      *at++ = static_cast<char>('0' + high);
    }
    const std::uint64_t text = eight_digit_bytes(value % 100000000) + ascii_zeros;
    std::memcpy(at, &text, sizeof text);
    return at + 8;
  }
  const std::uint64_t digits = eight_digit_bytes(value);
  const int leading_zeros = std::countr_zero(digits) / 8;  // value >= 10: at most six
  const std::uint64_t text = (digits + ascii_zeros) >> (8 * leading_zeros);
  std::memcpy(at, &text, sizeof text);
  return at + 8 - leading_zeros;
}

}  // namespace fast_decimal_kernels

#if defined(HASH_CHECKER_SCALAR_KERNELS)
namespace decimal_kernels = scalar_decimal_kernels;
#else
namespace decimal_kernels = fast_decimal_kernels;
#endif
