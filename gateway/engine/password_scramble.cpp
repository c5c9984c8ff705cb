// The stored password form: the C library's linear congruential generator (multiplier 214013,
// increment 2531011, output bits 16..30) draws a key and per-character offsets, so stored
// forms written by earlier versions read back unchanged. Pure functions, own generator per call.
#include "gateway/engine/password_scramble.h"

#include <ctime>

namespace engine {
namespace {

constexpr int kLengthBias = 20;   // byte 0 holds n + 20
constexpr int kKeyModulus = 64;   // keys 1..63
constexpr int kStepModulus = 32;  // offsets drawn 1..31
// Far beyond any run of zero draws the generator makes; only bounds the loop.
constexpr int kDrawLimit = 1000;

class CrtRandom {
 public:
  explicit CrtRandom(uint32_t seed) : state_(seed) {}
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  // Draws until the value modulo m is not 0.
  int NextNonZero(int m) {
    for (int i = 0; i < kDrawLimit; ++i) {
      if (int v = Next() % m; v != 0) return v;
    }
    return 1;
  }

 private:
  uint32_t state_;
};

// Where character i of n is stored: bytes 1..n-1, the last one after the key in byte n.
size_t PositionOf(size_t i, size_t n) { return i + 1 < n ? i + 1 : n + 1; }

// The stored form of plain under key k; false when a scrambled character would be 0.
bool ScrambleWithKey(const std::string& plain, int k, std::string* out) {
  const size_t n = plain.size();
  out->assign(n + 2, '\0');
  (*out)[0] = static_cast<char>(n + kLengthBias);
  (*out)[n] = static_cast<char>(k);
  CrtRandom random(static_cast<uint32_t>(k));
  for (size_t i = 0; i < n; ++i) {
    const int r = random.NextNonZero(kStepModulus);
    const auto c = static_cast<unsigned char>(((static_cast<int>(i) % r) + k) ^
                                              static_cast<unsigned char>(plain[i]));
    if (c == 0) return false;
    (*out)[PositionOf(i, n)] = static_cast<char>(c);
  }
  return true;
}

int Scramble(std::string* text, uint32_t seed) {
  const std::string plain = text->substr(0, kMaxScrambledPassword);
  const int first = CrtRandom(seed).NextNonZero(kKeyModulus);
  // A key that yields a zero byte is followed by the next one, not by a reseed from the clock
  // (which would spin until the second changes); some texts have no usable key at all.
  for (int tried = 0; tried < kKeyModulus - 1; ++tried) {
    const int k = (first - 1 + tried) % (kKeyModulus - 1) + 1;
    if (ScrambleWithKey(plain, k, text)) return 0;
  }
  text->clear();
  return -1;
}

int Unscramble(std::string* text) {
  const std::string stored = *text;
  text->clear();
  const int n = static_cast<unsigned char>(stored[0]) - kLengthBias;
  if (n < 1 || stored.size() != static_cast<size_t>(n) + 2) return -1;
  const int k = static_cast<unsigned char>(stored[n]);
  CrtRandom random(static_cast<uint32_t>(k));
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    const int r = random.NextNonZero(kStepModulus);
    const auto c = static_cast<unsigned char>(((static_cast<int>(i) % r) + k) ^
                                              static_cast<unsigned char>(stored[PositionOf(i, n)]));
    text->push_back(static_cast<char>(c));
  }
  return 0;
}

}  // namespace

int ScramblePasswordSeeded(int mode, std::string* text, uint32_t seed) {
  if (text->empty()) return 0;
  if (mode == 1) return Scramble(text, seed);
  if (mode == -1) return Unscramble(text);
  return -1;
}

void ScramblePassword(int mode, std::string* text) {
  (void)ScramblePasswordSeeded(mode, text, static_cast<uint32_t>(std::time(nullptr)));
}

}  // namespace engine
