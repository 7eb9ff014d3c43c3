#include "io/protected_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/code_page.h"

namespace verrin {
namespace {

// Tables of FIPS 46-3, 1-based bit numbers with bit 1 the most significant.
constexpr uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};

constexpr uint8_t kPermutationP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                       26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                       3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kPermutedChoice1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                          10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                          63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                          14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint8_t kSBoxes[8][4][16] = {{{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
                                        {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
                                        {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
                                        {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
                                       {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
                                        {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
                                        {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
                                        {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
                                       {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
                                        {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
                                        {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
                                        {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
                                       {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
                                        {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
                                        {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
                                        {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
                                       {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
                                        {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
                                        {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
                                        {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
                                       {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
                                        {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
                                        {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
                                        {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
                                       {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
                                        {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
                                        {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
                                        {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
                                       {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
                                        {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
                                        {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
                                        {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// A 64-bit block holds DES bit d (1-based) at bit 64 - d, so bit 1 is the
// most significant.
inline uint64_t DesBit64(int d) { return uint64_t{1} << (64 - d); }

// Per-variant lookup tables. They are built once and only read afterwards,
// so the cipher keeps no mutable state between calls.
struct DesTables {
  // sp[j][x]: P applied to the output of S-box j+1 for the 6-bit input x.
  uint32_t sp[8][64];
  // ip[k][v] / fp[k][v]: the permuted image of byte k (0 = DES bits 1..8)
  // of the block when that byte is v; OR over the eight bytes.
  uint64_t ip[8][256];
  uint64_t fp[8][256];
};

void BuildPermutationTable(const uint8_t (&perm)[64], uint64_t (&table)[8][256]) {
  for (int k = 0; k < 8; ++k) {
    for (int v = 0; v < 256; ++v) {
      uint64_t out = 0;
      for (int i = 0; i < 64; ++i) {
        const int source = perm[i];  // 1-based input bit of output bit i + 1
        const int byte = (source - 1) / 8;
        const int bit = 7 - (source - 1) % 8;
        if (byte == k && ((v >> bit) & 1)) out |= DesBit64(i + 1);
      }
      table[k][v] = out;
    }
  }
}

DesTables BuildTables(DesVariant variant) {
  DesTables t;
  uint8_t sbox[8][4][16];
  std::memcpy(sbox, kSBoxes, sizeof sbox);
  if (variant == DesVariant::kProtectedFile) {
    sbox[1][1][7] = 15;  // published: 14
    sbox[3][3][5] = 10;  // published: 1
  }
  for (int j = 0; j < 8; ++j) {
    for (int x = 0; x < 64; ++x) {
      const int row = ((x >> 4) & 2) | (x & 1);
      const int col = (x >> 1) & 15;
      // The four output bits are DES bits 4j+1..4j+4 of the 32-bit half.
      const uint32_t pre = static_cast<uint32_t>(sbox[j][row][col]) << (28 - 4 * j);
      uint32_t out = 0;
      for (int i = 0; i < 32; ++i) {
        if ((pre >> (32 - kPermutationP[i])) & 1) out |= uint32_t{1} << (31 - i);
      }
      t.sp[j][x] = out;
    }
  }
  uint8_t inverse[64];
  for (int i = 0; i < 64; ++i) inverse[kInitialPermutation[i] - 1] = static_cast<uint8_t>(i + 1);
  BuildPermutationTable(kInitialPermutation, t.ip);
  BuildPermutationTable(inverse, t.fp);
  return t;
}

const DesTables& TablesFor(DesVariant variant) {
  static const DesTables protected_tables = BuildTables(DesVariant::kProtectedFile);
  static const DesTables fips_tables = BuildTables(DesVariant::kFips46);
  return variant == DesVariant::kProtectedFile ? protected_tables : fips_tables;
}

uint64_t Permute(const uint64_t (&table)[8][256], uint64_t block) {
  uint64_t out = 0;
  for (int k = 0; k < 8; ++k) out |= table[k][(block >> (56 - 8 * k)) & 0xFF];
  return out;
}

// Bytes <-> 64-bit block in the byte order of the variant.
uint64_t LoadBlock(const unsigned char* p, DesVariant variant) {
  if (variant == DesVariant::kFips46) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
  }
  const uint64_t first =
      uint64_t{p[0]} | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16 | uint64_t{p[3]} << 24;
  const uint64_t second =
      uint64_t{p[4]} | uint64_t{p[5]} << 8 | uint64_t{p[6]} << 16 | uint64_t{p[7]} << 24;
  return first << 32 | second;
}

void StoreBlock(uint64_t v, unsigned char* p, DesVariant variant) {
  if (variant == DesVariant::kFips46) {
    for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<unsigned char>(v);
    return;
  }
  const uint32_t first = static_cast<uint32_t>(v >> 32);
  const uint32_t second = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<unsigned char>(first >> (8 * i));
    p[4 + i] = static_cast<unsigned char>(second >> (8 * i));
  }
}

// Round keys as eight 6-bit groups each, the group j feeding S-box j + 1.
using RoundKeys = std::array<std::array<uint8_t, 8>, 16>;

RoundKeys MakeRoundKeys(const unsigned char key[8], DesVariant variant) {
  const uint64_t k = LoadBlock(key, variant);
  // C and D as 28 bits each; index 0 is register bit 1. D gets one extra,
  // always-zero bit 29, which the shifted selection reads for entry 56.
  uint8_t c[28], d[29];
  for (int i = 0; i < 28; ++i) {
    c[i] = (k & DesBit64(kPermutedChoice1[i])) ? 1 : 0;
    d[i] = (k & DesBit64(kPermutedChoice1[28 + i])) ? 1 : 0;
  }
  d[28] = 0;
  const int d_shift = variant == DesVariant::kProtectedFile ? 1 : 0;
  RoundKeys keys{};
  for (int round = 0; round < 16; ++round) {
    for (int s = 0; s < kShifts[round]; ++s) {
      const uint8_t c0 = c[0], d0 = d[0];
      std::memmove(c, c + 1, 27);
      std::memmove(d, d + 1, 27);
      c[27] = c0;
      d[27] = d0;
    }
    for (int i = 0; i < 48; ++i) {
      const int v = kPermutedChoice2[i];
      const uint8_t bit = v <= 28 ? c[v - 1] : d[v - 29 + d_shift];
      keys[round][i / 6] = static_cast<uint8_t>(keys[round][i / 6] << 1 | bit);
    }
  }
  return keys;
}

uint64_t CryptBlock(uint64_t block, const RoundKeys& keys, bool decipher, const DesTables& t) {
  block = Permute(t.ip, block);
  uint32_t left = static_cast<uint32_t>(block >> 32);
  uint32_t right = static_cast<uint32_t>(block);
  for (int round = 0; round < 16; ++round) {
    const std::array<uint8_t, 8>& k = keys[decipher ? 15 - round : round];
    // E(R): group j is DES bits 4j .. 4j+5 of R, bit 0 standing for bit 32
    // and bit 33 for bit 1. Lay R out as 34 bits with those wrap-arounds at
    // both ends; group j then starts 4j bits below the top.
    const uint64_t wide = uint64_t{right & 1} << 33 | uint64_t{right} << 1 | (right >> 31);
    uint32_t f = 0;
    for (int j = 0; j < 8; ++j) f |= t.sp[j][((wide >> (28 - 4 * j)) & 0x3F) ^ k[j]];
    const uint32_t next = left ^ f;
    left = right;
    right = next;
  }
  return Permute(t.fp, uint64_t{right} << 32 | left);
}

void CryptBuffer(unsigned char* bytes, size_t length, const unsigned char key[8],
                 DesVariant variant, bool decipher) {
  const DesTables& tables = TablesFor(variant);
  const RoundKeys keys = MakeRoundKeys(key, variant);
  for (size_t offset = 0; offset + 8 <= length; offset += 8) {
    const uint64_t block = LoadBlock(bytes + offset, variant);
    StoreBlock(CryptBlock(block, keys, decipher, tables), bytes + offset, variant);
  }
}

constexpr size_t kChunkSize = 512;

}  // namespace

void EncipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8],
                    DesVariant variant) {
  CryptBuffer(bytes, length, key, variant, false);
}

void DecipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8],
                    DesVariant variant) {
  CryptBuffer(bytes, length, key, variant, true);
}

bool ReadProtectedFile(std::FILE* file, std::vector<unsigned char>& buffer) {
  buffer.clear();
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file);
  if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
  buffer.assign(static_cast<size_t>(size), 0);
  const size_t read = buffer.empty() ? 0 : std::fread(buffer.data(), 1, buffer.size(), file);
  if (read != buffer.size()) {
    buffer.resize(read);
    return false;
  }
  DecipherBuffer(buffer.data(), buffer.size(), kProtectedKey);
  return true;
}

bool EncipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]) {
  unsigned char chunk[kChunkSize];
  for (;;) {
    const size_t n = std::fread(chunk, 1, kChunkSize, in);
    if (n == 0) break;
    std::memset(chunk + n, 0, kChunkSize - n);
    EncipherBuffer(chunk, kChunkSize, key);
    if (std::fwrite(chunk, 1, kChunkSize, out) != kChunkSize) return false;
  }
  return std::ferror(in) == 0 && std::fflush(out) == 0;
}

bool DecipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]) {
  unsigned char chunk[kChunkSize];
  for (;;) {
    const size_t n = std::fread(chunk, 1, kChunkSize, in);
    if (n == 0) break;
    DecipherBuffer(chunk, n, key);
    const auto* zero = static_cast<const unsigned char*>(std::memchr(chunk, 0, n));
    const size_t keep = zero != nullptr ? static_cast<size_t>(zero - chunk) : n;
    if (keep > 0 && std::fwrite(chunk, 1, keep, out) != keep) return false;
    if (zero != nullptr) break;
  }
  return std::ferror(in) == 0 && std::fflush(out) == 0;
}

std::string ProtectedTextProblem(const std::vector<unsigned char>& buffer) {
  if (buffer.size() % kChunkSize != 0) {
    return "its size, " + std::to_string(buffer.size()) +
           " bytes, is not a multiple of 512 (the file is cut short or not a protected file)";
  }
  const auto zero = std::find(buffer.begin(), buffer.end(), 0);
  const auto after = std::find_if(zero, buffer.end(), [](unsigned char b) { return b != 0; });
  if (after != buffer.end()) {
    return "bytes follow the zero padding at byte " + std::to_string(zero - buffer.begin()) +
           " (the file is damaged or was not enciphered with this key)";
  }
  return "";
}

std::string ProtectedPathFor(const std::string& plain_path) {
  const size_t at = plain_path.rfind("txt");
  if (at == std::string::npos) return plain_path;
  std::string path = plain_path;
  path.replace(at, 3, "des");
  return path;
}

void ScanProtectedLines(const std::vector<unsigned char>& buffer,
                        const std::function<void(CUString& line)>& on_line) {
  const char* bytes = reinterpret_cast<const char*>(buffer.data());
  const size_t size = buffer.size();
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != '\n' && bytes[i] != 0) continue;
    CUString line = CCodePageSet::Get().Decode(CCodePageSet::kGbk, bytes + start, i - start);
    on_line(line);
    if (bytes[i] == 0) return;  // the zero padding ends the text
    start = i + 1;
  }
  // A last line without a line feed or zero byte after it (a file whose text
  // fills its last chunk exactly) is still a line of the text.
  if (start < size) {
    CUString line = CCodePageSet::Get().Decode(CCodePageSet::kGbk, bytes + start, size - start);
    on_line(line);
  }
}

}  // namespace verrin
