// The two kernels the key-line parser's plain-token path runs on, in two forms that give the same
// results on every input: `fast_token_kernels` read a register at a time, `scalar_token_kernels` a
// byte at a time. The program uses `token_kernels`, which is the scalar form when built with
// HASH_CHECKER_SCALAR_KERNELS; both forms are always compiled, so tests can hold one against the
// other on any machine.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scalar_token_kernels {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

/// How many of the 16 bytes at `text` are digits before the first that is not: 0 to 16.
inline int digit_run(const char* text) {
  int count = 0;
  while (count < 16 && is_digit(text[count])) ++count;
  return count;
}

/// The value of the `count` digits (1 to 10) at `text`.
inline std::uint64_t plain_value(const char* text, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  return value;
}

}  // namespace scalar_token_kernels

namespace fast_token_kernels {

// eight_digits reads its bytes as one little-endian word.
static_assert(std::endian::native == std::endian::little);

/// As the scalar digit_run; all 16 bytes at `text` must be readable.
inline int digit_run(const char* text) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  // Signed compares: a byte above 0x7F is negative, so below '0', so not a digit.
  const __m128i outside = _mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8('0')),
                                       _mm_cmpgt_epi8(bytes, _mm_set1_epi8('9')));
  return std::countr_zero(static_cast<unsigned>(_mm_movemask_epi8(outside)) | 0x10000U);
#else
  return scalar_token_kernels::digit_run(text);
#endif
}

/// The value of the eight digits at `text`, the first the most significant, when only the last
/// `count` of them are the token's (earlier bytes count as leading zeros): three multiplications
/// that combine pairs, quads and octets of digits at once, instead of eight dependent steps.
inline std::uint64_t eight_digits(const char* text, int count) {
  std::uint64_t bytes = 0;
  std::memcpy(&bytes, text, sizeof bytes);
  bytes -= 0x3030303030303030U;
  bytes = count == 8 ? bytes : bytes << (8 * (8 - count));  // keeps the first `count` bytes
  bytes = (bytes * 10 + (bytes >> 8)) & 0x00FF00FF00FF00FFU;
  bytes = (bytes * 100 + (bytes >> 16)) & 0x0000FFFF0000FFFFU;
  return (bytes * 10000 + (bytes >> 32)) & 0xFFFFFFFFU;
}

/// As the scalar plain_value; the 16 bytes at `text` must be readable.
inline std::uint64_t plain_value(const char* text, int count) {
  if (count <= 8) return eight_digits(text, count);
  const std::uint64_t tail =
      count == 9 ? static_cast<std::uint64_t>(text[8] - '0')
                 : static_cast<std::uint64_t>((text[8] - '0') * 10 + (text[9] - '0'));
  return eight_digits(text, 8) * (count == 9 ? 10 : 100) + tail;
}

}  // namespace fast_token_kernels

#if defined(HASH_CHECKER_SCALAR_KERNELS)
namespace token_kernels = scalar_token_kernels;
#else
namespace token_kernels = fast_token_kernels;
#endif
