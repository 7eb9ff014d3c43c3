#include <cstring>

#include "verrin/verrin.h"

tag_WordInfoW::tag_WordInfoW()
    : nReserved0(0),
      nOffset(0),
      nReserved8(0),
      cLength(0),
      pWord(nullptr),
      cWordType(0),
      pTag(nullptr),
      nReserved28(0) {}

tag_WordInfoW::~tag_WordInfoW() {
  delete[] pWord;
  pWord = nullptr;
  delete[] pTag;
  pTag = nullptr;
}

namespace {

void SetField(char16_t*& field, const char16_t* text, int32_t n) {
  delete[] field;
  field = nullptr;
  if (text == nullptr) return;
  if (n < 0) n = 0;
  field = new char16_t[static_cast<size_t>(n) + 1];
  if (n > 0) std::memcpy(field, text, sizeof(char16_t) * static_cast<size_t>(n));
  field[n] = 0;
}

}  // namespace

void tag_WordInfoW::SetWord(const char16_t* text, int32_t n) { SetField(pWord, text, n); }
void tag_WordInfoW::SetTag(const char16_t* text, int32_t n) { SetField(pTag, text, n); }
