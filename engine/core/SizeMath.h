// Size arithmetic for pictures read from untrusted headers: every product is
// taken in 64 bits with overflow checks, and anything that does not fit the
// 32-bit size of a scratch mapping is refused before it is allocated.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace engine {

// The largest pixel storage or work area a scratch mapping can hold.
inline constexpr std::uint64_t kMaxMappingBytes = 0xFFFFFFFFull;

// product = the factors multiplied; false when a factor is negative or the
// product overflows 64 bits.
[[nodiscard]] inline bool CheckedProduct(std::uint64_t& product, std::initializer_list<std::int64_t> factors) {
  std::uint64_t result = 1;
  for (const std::int64_t factor : factors) {
    if (factor < 0) return false;
    if (__builtin_mul_overflow(result, static_cast<std::uint64_t>(factor), &result)) return false;
  }
  product = result;
  return true;
}

// As CheckedProduct, and the product must also fit a scratch mapping.
[[nodiscard]] inline bool MappableProduct(std::uint64_t& product, std::initializer_list<std::int64_t> factors) {
  return CheckedProduct(product, factors) && product <= kMaxMappingBytes;
}

}  // namespace engine
