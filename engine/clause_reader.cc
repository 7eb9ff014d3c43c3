#include "engine/clause_reader.h"

#include <algorithm>

#include "engine/ne_engine.h"
#include "text/char_class.h"
#include "text/code_page.h"

namespace verrin {
namespace {

// Bytes read at a time; a line shorter than this is read in one go.
constexpr size_t kChunkBytes = 1 << 16;

}  // namespace

CClauseReader::CClauseReader(std::FILE* file, int code_page, bool segmented, Trim trim,
                             int32_t piece_units)
    : file_(file),
      code_page_(code_page),
      segmented_(segmented),
      trim_(trim),
      piece_units_(static_cast<size_t>(std::max(piece_units, 1))) {}

bool CClauseReader::Trimmed(char16_t unit) const {
  return trim_ == Trim::kWhiteSpace ? IsWhiteSpace(unit) : unit == u'\n' || unit == u'\r';
}

size_t CClauseReader::CompleteLength(const std::string& bytes) const {
  const size_t size = bytes.size();
  if (code_page_ == CCodePageSet::kUtf8) {
    // Step back over continuation bytes to the lead byte of the last
    // character; keep it back when its sequence is not complete yet.
    size_t k = size;
    for (int back = 0;
         back < 3 && k > 0 && (static_cast<unsigned char>(bytes[k - 1]) & 0xC0) == 0x80; ++back) {
      --k;
    }
    if (k == 0) return size;
    const unsigned char lead = static_cast<unsigned char>(bytes[k - 1]);
    const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return k - 1 + needed > size ? k - 1 : size;
  }
  if (code_page_ == CCodePageSet::kGbk || code_page_ == CCodePageSet::kBig5) {
    // Double-byte code pages: a byte from 0x81 on leads a pair.
    size_t i = 0;
    while (i < size) i += static_cast<unsigned char>(bytes[i]) >= 0x81 ? 2 : 1;
    return i > size ? size - 1 : size;
  }
  return size;
}

bool CClauseReader::ReadChunk() {
  std::string bytes;
  bytes.swap(carry_);
  const size_t start = bytes.size();
  int c = EOF;
  while (bytes.size() - start < kChunkBytes && (c = std::getc(file_)) != EOF) {
    bytes.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (bytes.size() > start) line_begun_ = true;
  if (c == '\n' || c == EOF) {
    if (!line_begun_) return false;
    line_read_ = true;
  }
  const size_t complete = line_read_ ? bytes.size() : CompleteLength(bytes);
  carry_.assign(bytes, complete, std::string::npos);
  if (complete > 0) {
    const CUString units = CCodePageSet::Get().Decode(code_page_, bytes.data(), complete);
    pending_.append(units.c_str(), static_cast<size_t>(units.Length()));
  }
  return true;
}

size_t CClauseReader::CutPosition() const {
  // The piece must be followed by a unit that trimming keeps, or text that
  // the whole line would lose at its end could end up inside a piece.
  size_t last_kept = pending_.size();
  while (last_kept > 0 && Trimmed(pending_[last_kept - 1])) --last_kept;
  if (last_kept == 0) return 0;
  --last_kept;
  size_t cut = 0;
  for (size_t position = 0; position < pending_.size() && position < piece_units_;) {
    const int32_t n = CNEEngine::ClauseLength(
        pending_.data() + position, static_cast<int32_t>(pending_.size() - position), segmented_);
    if (n <= 0) break;
    position += static_cast<size_t>(n);
    if (position > last_kept) break;
    cut = position;
  }
  return cut;
}

bool CClauseReader::Next(CUString& piece, bool& line_end) {
  for (;;) {
    if (at_line_start_ && trim_ == Trim::kWhiteSpace) {
      size_t lead = 0;
      while (lead < pending_.size() && IsWhiteSpace(pending_[lead])) ++lead;
      pending_.erase(0, lead);
    }
    if (line_read_) {
      size_t end = pending_.size();
      while (end > 0 && Trimmed(pending_[end - 1])) --end;
      piece.Assign(pending_.data(), static_cast<int32_t>(end));
      pending_.clear();
      line_end = true;
      line_read_ = false;
      line_begun_ = false;
      at_line_start_ = true;
      return true;
    }
    if (pending_.size() >= piece_units_) {
      const size_t cut = CutPosition();
      if (cut > 0) {
        piece.Assign(pending_.data(), static_cast<int32_t>(cut));
        pending_.erase(0, cut);
        line_end = false;
        at_line_start_ = false;
        return true;
      }
    }
    if (!ReadChunk()) return false;
  }
}

}  // namespace verrin
