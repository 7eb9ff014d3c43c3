#include "maxent/me_line_reader.h"

#include <cstring>

#include "text/code_page.h"

namespace verrin {
namespace {

constexpr size_t kBlockSize = 1 << 20;

}  // namespace

void DecodeGbkInto(const char* bytes, size_t length, std::vector<char16_t>& out) {
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    // GBK leaves bytes below 0x80 as they are.
    out.resize(length);
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return;
  }
  // GBK never yields more UTF-16 units than bytes.
  out.resize(length + 1);
  const int32_t n =
      CCodePageSet::Get().ToUnicode(CCodePageSet::kGbk, bytes, static_cast<int32_t>(length),
                                    out.data(), static_cast<int32_t>(length));
  out.resize(static_cast<size_t>(n));
}

CLineReader::CLineReader(std::FILE* file) : file_(file), block_(kBlockSize) {}

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
