#include "core/digest.h"

#include <cstring>

namespace {

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Both digests pad the message the same way: 0x80, zeros, then the bit length
// in 8 bytes (little-endian for MD5, big-endian for SHA-1).
template <typename Block>
void padAndRun(const uint8_t* data, size_t length, bool bigEndianLength, Block block) {
  size_t full = length / 64;
  for (size_t i = 0; i < full; ++i) block(data + 64 * i);
  uint8_t tail[128] = {0};
  size_t rest = length % 64;
  memcpy(tail, data + 64 * full, rest);
  tail[rest] = 0x80;
  size_t tailLength = rest < 56 ? 64 : 128;
  uint64_t bits = static_cast<uint64_t>(length) * 8;
  for (int i = 0; i < 8; ++i) {
    uint8_t byte = static_cast<uint8_t>(bits >> (8 * i));
    if (bigEndianLength)
      tail[tailLength - 1 - i] = byte;
    else
      tail[tailLength - 8 + i] = byte;
  }
  block(tail);
  if (tailLength == 128) block(tail + 64);
}

const uint32_t kMd5K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kMd5Shift[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                           14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                           4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

// The message word each MD5 step adds.
const uint8_t kMd5Word[64] = {0,  1,  2,  3,  4, 5, 6,  7, 8,  9,  10, 11, 12, 13, 14, 15, 1, 6,  11, 0, 5, 10,
                              15, 4,  9,  14, 3, 8, 13, 2, 7,  12, 5,  8,  11, 14, 1,  4,  7, 10, 13, 0, 3, 6,
                              9,  12, 15, 2,  0, 7, 14, 5, 12, 3,  10, 1,  8,  15, 6,  13, 4, 11, 2,  9};

// Sixteen steps of one MD5 round with its own mixing function; each round is
// a loop of its own, so that no step tests which round it is in.
template <int first, typename Mix>
inline void md5Round(uint32_t s[4], const uint32_t m[16], Mix mix) {
  uint32_t a = s[0], b = s[1], c = s[2], d = s[3];
#pragma GCC unroll 16
  for (int i = first; i < first + 16; ++i) {
    uint32_t t = a + mix(b, c, d) + kMd5K[i] + m[kMd5Word[i]];
    a = d;
    d = c;
    c = b;
    b += rotl(t, kMd5Shift[i]);
  }
  s[0] = a, s[1] = b, s[2] = c, s[3] = d;
}

}  // namespace

void md5Digest(const void* data, size_t length, uint8_t out[16]) {
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  padAndRun(static_cast<const uint8_t*>(data), length, false, [&h](const uint8_t* p) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = p[4 * i] | (p[4 * i + 1] << 8) | (p[4 * i + 2] << 16) | (static_cast<uint32_t>(p[4 * i + 3]) << 24);
    uint32_t s[4] = {h[0], h[1], h[2], h[3]};
    md5Round<0>(s, m, [](uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (~b & d); });
    md5Round<16>(s, m, [](uint32_t b, uint32_t c, uint32_t d) { return (d & b) | (~d & c); });
    md5Round<32>(s, m, [](uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; });
    md5Round<48>(s, m, [](uint32_t b, uint32_t c, uint32_t d) { return c ^ (b | ~d); });
    for (int i = 0; i < 4; ++i) h[i] += s[i];
  });
  for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (8 * (i % 4)));
}

void sha1Digest(const void* data, size_t length, uint8_t out[20]) {
  uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  padAndRun(static_cast<const uint8_t*>(data), length, true, [&h](const uint8_t* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
      w[i] = (static_cast<uint32_t>(p[4 * i]) << 24) | (p[4 * i + 1] << 16) | (p[4 * i + 2] << 8) | p[4 * i + 3];
    for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      uint32_t t = rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = rotl(b, 30);
      b = a;
      a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  });
  for (int i = 0; i < 20; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
}
