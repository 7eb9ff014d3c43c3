#include "engine/clause_reader.h"

#include <algorithm>

#include "engine/ne_engine.h"
#include "text/char_class.h"

namespace verrin {
namespace {

// Bytes read at a time; a line shorter than this is read in one go.
constexpr size_t kChunkBytes = 1 << 16;

}  // namespace

CClauseReader::CClauseReader(CTextLineReader& lines, bool segmented, Trim trim, int32_t piece_units)
    : lines_(lines),
      segmented_(segmented),
      trim_(trim),
      piece_units_(static_cast<size_t>(std::max(piece_units, 1))) {}

bool CClauseReader::Trimmed(char16_t unit) const {
  return trim_ == Trim::kWhiteSpace ? IsWhiteSpace(unit) : unit == u'\n' || unit == u'\r';
}

bool CClauseReader::ReadChunk() {
  if (!lines_.NextPiece(chunk_, line_read_, kChunkBytes)) return false;
  pending_.append(chunk_.c_str(), static_cast<size_t>(chunk_.Length()));
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
