// Whether a short text holds a given byte, without a call or a branch per
// byte: the texts a scan meets are mostly a few to a few dozen bytes long,
// where a library search costs more in its setup than in its reading, and a
// loop mispredicts where it ends.
//
// Reads only the text's own bytes, in words that overlap where its length
// needs it; a text of any length is answered.
//
//   ByteProbe p = byte_probe('5', false);
//   holds_byte("2024-05-01", p);   // true
//   ByteProbe k = byte_probe('k', true);
//   holds_byte("KILO", k);         // true: either ASCII case
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vellix::core {

// The byte looked for, in all eight lanes of a word: a letter in lower case
// with 0x20 in `fold`, so that a byte with that bit set matches either case.
struct ByteProbe {
  uint64_t target = 0;
  uint64_t fold = 0;
};

constexpr uint64_t kByteLanes = 0x0101010101010101ull;

// `byte` exactly, or either ASCII case of it when `either_case` and it is a letter.
constexpr ByteProbe byte_probe(unsigned char byte, bool either_case) noexcept {
  const bool letter = either_case && (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
  const unsigned char target = letter ? static_cast<unsigned char>(byte | 0x20) : byte;
  return {kByteLanes * target, letter ? kByteLanes * 0x20 : 0};
}

namespace detail {

// Nonzero when some lane of `word` is the probe's byte. The sum borrows only
// upward from a lane that is zero, so the answer is exact as a whole.
constexpr uint64_t lanes_matching(uint64_t word, const ByteProbe& p) noexcept {
  const uint64_t x = (word | p.fold) ^ p.target;
  return (x - kByteLanes) & ~x & (kByteLanes << 7);
}

inline uint64_t load64(const char* p) noexcept {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

inline uint64_t load32(const char* p) noexcept {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

}  // namespace detail

inline bool holds_byte(std::string_view text, const ByteProbe& p) noexcept {
  using detail::lanes_matching;
  using detail::load64;
  const char* s = text.data();
  const size_t n = text.size();
  if (n > 8) {
    // The first and last eight bytes, then any whole words between them.
    uint64_t found = lanes_matching(load64(s), p) | lanes_matching(load64(s + n - 8), p);
    for (size_t i = 8; i + 8 < n && found == 0; i += 8) found = lanes_matching(load64(s + i), p);
    return found != 0;
  }
  if (n >= 4) {
    const uint64_t word = detail::load32(s) | detail::load32(s + n - 4) << 32;
    return lanes_matching(word, p) != 0;
  }
  if (n == 0) return false;
  // One to three bytes: the first, the middle and the last cover them. Lanes
  // left over hold the first byte again, which changes nothing.
  const auto b = [&](size_t i) { return uint64_t{static_cast<unsigned char>(s[i])}; };
  const uint64_t word = b(0) * kByteLanes ^ (b(0) ^ b(n / 2)) << 8 ^ (b(0) ^ b(n - 1)) << 16;
  return lanes_matching(word, p) != 0;
}

}  // namespace vellix::core
