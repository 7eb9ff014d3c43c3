// Protected resource files: the plain GBK text enciphered block by block.
//
// The cipher is DES in ECB mode over 8-byte blocks (no chaining, no initial
// vector) under the fixed key "qaltrev\0". Every protected file depends on
// four departures from FIPS 46-3:
//   1. each block and the key are two little-endian 32-bit words (bytes 0-3,
//      4-7); DES bit 1 is the top bit of the first word, bit 7 of byte 3;
//   2. S-box S2, row 1, column 7 holds 15;
//   3. S-box S4, row 3, column 5 holds 10;
//   4. the last 24 round-key bits select bit v - 27 of D instead of v - 28
//      (v the published PC-2 entry); for v = 56 that bit is 0.
// Files are written in 512-byte chunks, zero-padded, so the text ends at the
// first zero byte.
//
// The key schedule is computed per call and the lookup tables never change
// after their first use: everything here is re-entrant.
#ifndef VERRIN_IO_PROTECTED_FILE_H_
#define VERRIN_IO_PROTECTED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

inline constexpr unsigned char kProtectedKey[8] = {'q', 'a', 'l', 't', 'r', 'e', 'v', 0};

// Which DES the buffer routines apply. kProtectedFile is the cipher of every
// protected file (little-endian 32-bit words per half-block and key, the two
// changed S-box entries, the shifted round-key selection from D). kFips46 is
// the published cipher with big-endian blocks; it exists so that the shared
// machinery can be checked against the standard's test vectors.
enum class DesVariant { kProtectedFile, kFips46 };

// ECB over every whole 8-byte block from offset 0; a trailing partial block
// is left as it is.
void EncipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8],
                    DesVariant variant = DesVariant::kProtectedFile);
void DecipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8],
                    DesVariant variant = DesVariant::kProtectedFile);

// Reads the whole open file (opened "rb" by the caller, positioned anywhere)
// into `buffer`, exactly the file's length, and deciphers it. False when the
// file's length cannot be determined or fewer bytes could be read (`buffer`
// then holds what was read, not deciphered).
bool ReadProtectedFile(std::FILE* file, std::vector<unsigned char>& buffer);

// Reads `in` in 512-byte chunks, zero-fills each chunk past the bytes read,
// enciphers it and writes 512 bytes; ends when a read returns nothing. False
// on a read or write error. Both files are opened in binary mode by the caller.
bool EncipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]);
// The inverse: deciphers `in` chunk by chunk and writes the text up to the
// first zero byte (the padding is dropped; a file without one is written
// whole). False on a read or write error.
bool DecipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]);

// Why a deciphered buffer cannot be the text of a protected file, or "":
// its size is not a multiple of 512 bytes (cut short, or not a protected
// file), or bytes other than zero follow the first zero byte (a damaged
// block, or the wrong key: the text goes on after its padding).
std::string ProtectedTextProblem(const std::vector<unsigned char>& buffer);

// The plain path with its last "txt" replaced by "des" (unchanged when the
// path holds no "txt").
std::string ProtectedPathFor(const std::string& plain_path);

// Cuts a deciphered buffer into lines and hands each, converted from GBK, to
// `on_line` (which may modify it). A line ends at a line feed (not part of
// the line) or a zero byte; the walk stops after a line that ended at a zero
// byte, so the padding yields one more line, empty when the text ended with a
// line feed. A last line followed by neither is handed over too. Lines are
// whole whatever their length; carriage returns stay.
void ScanProtectedLines(const std::vector<unsigned char>& buffer,
                        const std::function<void(CUString& line)>& on_line);

}  // namespace verrin

#endif  // VERRIN_IO_PROTECTED_FILE_H_
