#include "verrin/word_alignment.h"

#include <string_view>

namespace verrin {

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Position of `unit` at or after `pos`, stepping over the class text of a
// bracket mark ("[" class " ") as a whole, so that a letter of the class text
// is never taken for a letter of the word. npos when it is not there.
size_t FindUnit(const char16_t* text, size_t length, size_t pos, char16_t unit) {
  while (pos < length) {
    const char16_t c = text[pos];
    if (c == unit) return pos;
    if (c == u'[') {
      // A mark reads "[" class " " word "]": skip to the word when both the
      // space and the closing bracket follow, the space first.
      size_t space = pos + 1;
      while (space < length && text[space] != u' ' && text[space] != u']' && text[space] != u'\n') {
        ++space;
      }
      if (space < length && text[space] == u' ') {
        size_t close = space + 1;
        while (close < length && text[close] != u']' && text[close] != u'\n') ++close;
        if (close < length && text[close] == u']') {
          pos = space + 1;
          continue;
        }
      }
    }
    ++pos;
  }
  return std::u16string::npos;
}

}  // namespace

bool ContinuesWord(const tag_WordInfoW* records, int index) {
  if (records == nullptr || index <= 0) return false;
  const tag_WordInfoW& before = records[index - 1];
  const tag_WordInfoW& record = records[index];
  if (before.cLength != kMaxRecordUnits || before.cWordType != record.cWordType) return false;
  if ((before.pTag == nullptr) != (record.pTag == nullptr)) return false;
  return before.pTag == nullptr || std::u16string_view(before.pTag) == record.pTag;
}

std::vector<CAlignedEntity> AlignedEntities(const std::vector<CAlignedWord>& words) {
  std::vector<CAlignedEntity> entities;
  bool open = false;  // the last word was an entity, so a continuation joins it
  for (const CAlignedWord& w : words) {
    if (w.type != kWordEntity) {
      open = false;
      continue;
    }
    if (open && w.continued) {
      CAlignedEntity& e = entities.back();
      e.text += w.word;
      e.end = w.end;
      e.unitEnd = w.unitEnd;
      continue;
    }
    entities.push_back({w.tag, w.word, w.start, w.end, w.unitStart, w.unitEnd});
    open = true;
  }
  return entities;
}

std::vector<int32_t> CodePointIndex(const char16_t* text, size_t length) {
  std::vector<int32_t> index(length + 1);
  int32_t points = 0;
  for (size_t i = 0; i < length; ++i) {
    index[i] = points;
    // The low half of a pair starts no code point of its own, so a boundary
    // inside a pair maps to the pair's end and no span splits a character.
    if (!(IsLowSurrogate(text[i]) && i > 0 && IsHighSurrogate(text[i - 1]))) ++points;
  }
  index[length] = points;
  return index;
}

std::vector<CAlignedWord> AlignWords(const char16_t* text, size_t length,
                                     const tag_WordInfoW* records, int count) {
  if (text == nullptr) length = 0;
  // Only the text before the first line feed is tagged.
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == u'\n') {
      length = i;
      break;
    }
  }
  const std::vector<int32_t> points = CodePointIndex(text, length);
  std::vector<CAlignedWord> words;
  words.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  size_t pos = 0;
  for (int r = 0; r < count; ++r) {
    CAlignedWord word;
    if (records[r].pWord != nullptr) word.word = records[r].pWord;
    word.hasTag = records[r].pTag != nullptr;
    if (word.hasTag) word.tag = records[r].pTag;
    word.type = records[r].cWordType;
    word.continued = ContinuesWord(records, r);

    size_t first = std::u16string::npos, last = pos, at = pos;
    bool found = !word.word.empty();
    for (char16_t unit : word.word) {
      const size_t hit = FindUnit(text, length, at, unit);
      if (hit == std::u16string::npos) {
        found = false;
        break;
      }
      if (first == std::u16string::npos) first = hit;
      last = hit + 1;
      at = hit + 1;
    }
    if (found) {
      word.unitStart = static_cast<int32_t>(first);
      word.unitEnd = static_cast<int32_t>(last);
      pos = last;
    } else {
      word.unitStart = word.unitEnd = static_cast<int32_t>(pos);
    }
    word.start = points[static_cast<size_t>(word.unitStart)];
    word.end = points[static_cast<size_t>(word.unitEnd)];
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace verrin
