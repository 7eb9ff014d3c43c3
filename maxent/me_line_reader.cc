#include "maxent/me_line_reader.h"

#include <cstdint>
#include <cstring>

#include "text/code_page.h"

namespace verrin {
namespace {

constexpr size_t kBlockSize = 1 << 20;

}  // namespace

namespace {

// GBK's double-byte characters, each as the converter turns the pair on its
// own into one UTF-16 unit (0 where it does not: an invalid, unassigned or
// longer sequence). GBK is stateless, so a pair converts alike in any line.
class GbkPairTable {
 public:
  static const GbkPairTable& Get() {
    static const GbkPairTable table;
    return table;
  }
  char16_t Unit(unsigned char lead, unsigned char trail) const {
    return units_[(static_cast<size_t>(lead) << 8) | trail];
  }

 private:
  GbkPairTable() : units_(size_t{1} << 16, 0) {
    CCodePageSet& converter = CCodePageSet::Get();
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t out[4] = {};
        if (converter.ToUnicode(CCodePageSet::kGbk, pair, 2, out, 3) == 1) {
          units_[(static_cast<size_t>(lead) << 8) | static_cast<size_t>(trail)] = out[0];
        }
      }
    }
  }
  std::vector<char16_t> units_;
};

}  // namespace

void DecodeGbkInto(const char* bytes, size_t length, std::vector<char16_t>& out) {
  // GBK never yields more UTF-16 units than bytes.
  out.resize(length + 1);
  char16_t* units = out.data();
  size_t n = 0;
  const GbkPairTable* pairs = nullptr;
  for (size_t i = 0; i < length; ++i) {
    // Eight bytes below 0x80 at a time: GBK leaves them as they are.
    while (i + 8 <= length) {
      uint64_t word;
      std::memcpy(&word, bytes + i, sizeof word);
      if ((word & 0x8080808080808080ull) != 0) break;
      for (size_t k = 0; k < 8; ++k) units[n + k] = static_cast<unsigned char>(bytes[i + k]);
      n += 8;
      i += 8;
    }
    if (i >= length) break;
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      units[n++] = byte;  // GBK leaves bytes below 0x80 as they are
      continue;
    }
    if (pairs == nullptr) pairs = &GbkPairTable::Get();
    const char16_t unit =
        i + 1 < length ? pairs->Unit(byte, static_cast<unsigned char>(bytes[i + 1])) : 0;
    if (unit == 0) {
      // Anything but a plain pair: the converter reads the whole line.
      const int32_t converted =
          CCodePageSet::Get().ToUnicode(CCodePageSet::kGbk, bytes, static_cast<int32_t>(length),
                                        out.data(), static_cast<int32_t>(length));
      out.resize(static_cast<size_t>(converted));
      return;
    }
    units[n++] = unit;
    ++i;
  }
  out.resize(n);
}

CLineReader::CLineReader(std::FILE* file, size_t block_size)
    : file_(file), block_(block_size > 0 ? block_size : kBlockSize) {}

bool CLineReader::Fill() {
  if (eof_) return false;
  const size_t n = std::fread(block_.data(), 1, block_.size(), file_);
  begin_ = 0;
  end_ = n;
  if (n == 0) eof_ = true;
  return n > 0;
}

bool CLineReader::NextBytes(const char** bytes, size_t* length) {
  carry_.clear();
  for (;;) {
    if (begin_ == end_ && !Fill()) {
      if (carry_.empty()) return false;
      *bytes = carry_.data();
      *length = carry_.size();
      return true;
    }
    const char* start = block_.data() + begin_;
    const void* lf = std::memchr(start, '\n', end_ - begin_);
    if (lf != nullptr) {
      const size_t n = static_cast<size_t>(static_cast<const char*>(lf) - start) + 1;
      begin_ += n;
      if (carry_.empty()) {
        *bytes = start;
        *length = n;
      } else {
        carry_.append(start, n);
        *bytes = carry_.data();
        *length = carry_.size();
      }
      return true;
    }
    carry_.append(start, end_ - begin_);
    begin_ = end_;
  }
}

bool CLineReader::NextLine(const char16_t** units, size_t* length) {
  const char* bytes = nullptr;
  size_t n = 0;
  if (!NextBytes(&bytes, &n)) return false;
  DecodeGbkInto(bytes, n, units_);
  *units = units_.data();
  *length = units_.size();
  return true;
}

}  // namespace verrin
