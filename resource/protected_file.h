// Protected resource files: the plain GBK text enciphered block by block.
//
// The cipher is DES in ECB mode over 8-byte blocks under the fixed key
// "qaltrev\0", with four deliberate departures from FIPS 46-3 that every
// protected file depends on (block byte order, two S-box entries and the
// round-key selection from D); see protected_file.cc. Files are written in
// 512-byte chunks, zero-padded, so the text ends at the first zero byte.
//
// The key schedule is computed per call: everything here is re-entrant.
#ifndef VERRIN_RESOURCE_PROTECTED_FILE_H_
#define VERRIN_RESOURCE_PROTECTED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

inline constexpr unsigned char kProtectedKey[8] = {'q', 'a', 'l', 't', 'r', 'e', 'v', 0};

// ECB over every whole 8-byte block from offset 0; a trailing partial block
// is left as it is.
void EncipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8]);
void DecipherBuffer(unsigned char* bytes, size_t length, const unsigned char key[8]);

// Reads the whole open file (opened "rb" by the caller) and deciphers it.
// False when the file cannot be read.
bool ReadProtectedFile(std::FILE* file, std::vector<unsigned char>& buffer);

// Reads `in` in 512-byte chunks, zero-fills each chunk past the bytes read,
// enciphers it and writes 512 bytes; ends when a read returns nothing.
bool EncipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]);
// The inverse: deciphers whole 512-byte chunks and writes the text up to the
// first zero byte (the padding is dropped).
bool DecipherFile(std::FILE* in, std::FILE* out, const unsigned char key[8]);

// The plain path with its last "txt" replaced by "des" (unchanged when the
// path holds no "txt").
std::string ProtectedPathFor(const std::string& plain_path);

// Cuts a deciphered buffer into lines and hands each, converted from GBK, to
// `on_line`. A line ends at a line feed or a zero byte; the walk stops after
// a line that ended at a zero byte. A last line followed by neither is handed
// over too. Lines are whole whatever their length; carriage returns stay.
void ScanProtectedLines(const std::vector<unsigned char>& buffer,
                        const std::function<void(CUString& line)>& on_line);

}  // namespace verrin

#endif  // VERRIN_RESOURCE_PROTECTED_FILE_H_
