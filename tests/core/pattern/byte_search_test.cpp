#include "core/pattern/byte_search.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vellix::core {
namespace {

bool holds_byte_slowly(const std::string& text, unsigned char byte, bool either_case) {
  const bool letter = either_case && (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == byte || (letter && (b | 0x20) == (byte | 0x20))) return true;
  }
  return false;
}

// Every length up to five words, the byte at every place or nowhere, among
// fillers that differ from it by the case bit, the top bit, or one. Each text
// is its own allocation, so that the sanitizers see any read past its end.
TEST(ByteSearch, FindsTheByteAtAnyPlaceOfAnyLength) {
  for (unsigned char byte : {'5', 'k', 'K', '@', '\0', '\x80', '\xE2'}) {
    for (bool either_case : {false, true}) {
      const ByteProbe probe = byte_probe(byte, either_case);
      for (int other : {byte ^ 0x20, byte ^ 0x80, byte + 1, byte - 1, 0x00, 0xFF}) {
        const auto filler = static_cast<unsigned char>(other);
        if (filler == byte) continue;
        for (size_t n = 0; n <= 40; ++n) {
          for (size_t at = 0; at <= n; ++at) {  // at == n: not there
            std::string text(n, static_cast<char>(filler));
            if (at < n) text[at] = static_cast<char>(byte);
            ASSERT_EQ(holds_byte(text, probe), holds_byte_slowly(text, byte, either_case))
                << int{byte} << " " << either_case << " " << int{filler} << " " << n << " " << at;
          }
        }
      }
    }
  }
}

TEST(ByteSearch, AgreesWithAPlainSearchOnRandomTexts) {
  std::mt19937 rng(11);
  const std::string alphabet = std::string("5kK@`aA\x15\x80\xE2\x84\xAA ") + '\0';
  for (int round = 0; round < 200000; ++round) {
    const auto byte = static_cast<unsigned char>(alphabet[rng() % alphabet.size()]);
    const bool either_case = rng() % 2 == 0;
    std::string text(rng() % 70, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    ASSERT_EQ(holds_byte(text, byte_probe(byte, either_case)), holds_byte_slowly(text, byte, either_case))
        << text << " " << int{byte};
  }
}

}  // namespace
}  // namespace vellix::core
