#include "text/ustring.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "text/code_page.h"

namespace verrin {

int32_t UStrLen(const char16_t* text) {
  if (text == nullptr) return 0;
  const char16_t* p = text;
  while (*p) ++p;
  return static_cast<int32_t>(p - text);
}

void CUString::Allocate(int32_t capacity) {
  if (capacity < 0) capacity = 0;
  buffer_ = new char16_t[static_cast<size_t>(capacity) + 1];
  buffer_[0] = 0;
  length_ = 0;
  capacity_ = capacity;
}

CUString::CUString() { Allocate(kDefaultCapacity); }

CUString::CUString(int32_t capacity) { Allocate(capacity); }

CUString::CUString(const char16_t* text) : CUString(text, UStrLen(text)) {}

CUString::CUString(const char16_t* text, int32_t length) {
  if (length < 0) length = 0;
  Allocate(length);
  if (length > 0) std::memcpy(buffer_, text, sizeof(char16_t) * length);
  buffer_[length] = 0;
  length_ = length;
}

CUString::CUString(char16_t unit, int32_t min_capacity) {
  Allocate(std::max<int32_t>(1, min_capacity));
  buffer_[0] = unit;
  buffer_[1] = 0;
  length_ = unit ? 1 : 0;
}

CUString::CUString(const char* text, int code_page) {
  const int32_t n = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  Allocate(n);
  std::fill(buffer_, buffer_ + n + 1, char16_t{0});
  if (n > 0) CCodePageSet::Get().ToUnicode(code_page, text, n, buffer_, n);
  buffer_[n] = 0;
  length_ = UStrLen(buffer_);
}

CUString::CUString(const CUString& other) : CUString(other.c_str(), other.Length()) {}

CUString::CUString(CUString&& other) noexcept
    : buffer_(other.buffer_), length_(other.length_), capacity_(other.capacity_) {
  other.buffer_ = nullptr;
  other.length_ = 0;
  other.capacity_ = 0;
}

CUString::~CUString() { Release(); }

CUString& CUString::operator=(const CUString& other) {
  if (this != &other) Assign(other);
  return *this;
}

CUString& CUString::operator=(CUString&& other) noexcept {
  if (this != &other) {
    Release();
    std::swap(buffer_, other.buffer_);
    std::swap(length_, other.length_);
    std::swap(capacity_, other.capacity_);
  }
  return *this;
}

void CUString::Assign(const char16_t* text) { Assign(text, UStrLen(text)); }

void CUString::Assign(const char16_t* text, int32_t length) {
  if (length < 0) length = 0;
  if (buffer_ != nullptr && length < capacity_) {
    if (length > 0) std::memmove(buffer_, text, sizeof(char16_t) * length);
    buffer_[length] = 0;
    length_ = length;
    return;
  }
  // Reallocate to exactly the new length; copy first in case `text` points
  // into our own buffer.
  char16_t* fresh = new char16_t[static_cast<size_t>(length) + 1];
  if (length > 0) std::memcpy(fresh, text, sizeof(char16_t) * length);
  fresh[length] = 0;
  delete[] buffer_;
  buffer_ = fresh;
  length_ = length;
  capacity_ = length;
}

void CUString::Refill(const char16_t* text, int32_t length) {
  if (buffer_ == nullptr || length > capacity_) {
    Assign(text, length);
    return;
  }
  if (length < 0) length = 0;
  if (length > 0) std::memmove(buffer_, text, sizeof(char16_t) * length);
  buffer_[length] = 0;
  length_ = length;
}

void CUString::Assign(const CUString& other) {
  if (this == &other) return;
  Assign(other.c_str(), other.Length());
}

void CUString::Assign(char16_t unit) {
  char16_t one[2] = {unit, 0};
  Assign(one, unit ? 1 : 0);
}

void CUString::AssignNarrow(const char* text) {
  CUString converted(text, CCodePageSet::kGbk);
  Assign(converted);
}

int32_t CUString::Append(const char16_t* text) { return Append(text, UStrLen(text)); }

int32_t CUString::Append(const char16_t* text, int32_t length) {
  if (length <= 0) return Length();
  const int32_t old_length = Length();
  const int32_t new_length = old_length + length;
  if (buffer_ == nullptr || new_length > capacity_) {
    // Growing by a share of the capacity, not only by a fixed step, keeps long
    // texts built piece by piece linear; short strings still get the spare
    // units they always had.
    const int64_t grown =
        std::max<int64_t>(int64_t{new_length} + kGrowSpare, int64_t{capacity_} + capacity_ / 2);
    const int32_t capacity = static_cast<int32_t>(std::min<int64_t>(grown, INT32_MAX - 1));
    char16_t* fresh = new char16_t[static_cast<size_t>(capacity) + 1];
    if (old_length > 0) std::memcpy(fresh, buffer_, sizeof(char16_t) * old_length);
    std::memcpy(fresh + old_length, text, sizeof(char16_t) * length);
    fresh[new_length] = 0;
    delete[] buffer_;
    buffer_ = fresh;
    capacity_ = capacity;
  } else {
    std::memmove(buffer_ + old_length, text, sizeof(char16_t) * length);
    buffer_[new_length] = 0;
  }
  // The length follows the buffer, so an appended NUL ends the text there.
  length_ = old_length + UStrLen(buffer_ + old_length);
  return length_;
}

int32_t CUString::Append(const CUString& other) {
  if (this == &other) {
    CUString copy(other);
    return Append(copy.c_str(), copy.Length());
  }
  return Append(other.c_str(), other.Length());
}

int32_t CUString::Append(char16_t unit) { return Append(&unit, 1); }

void CUString::Clear() {
  if (buffer_ != nullptr) buffer_[0] = 0;
  length_ = 0;
}

void CUString::Release() {
  delete[] buffer_;
  buffer_ = nullptr;
  length_ = 0;
  capacity_ = 0;
}

void CUString::Truncate(int32_t length) {
  if (buffer_ == nullptr || length < 0 || length >= length_) return;
  buffer_[length] = 0;
  length_ = length;
}

int CUString::Compare(const CUString& other) const { return View().compare(other.View()); }

CUString operator+(const CUString& a, const CUString& b) {
  CUString result(a);
  result.Append(b);
  return result;
}

}  // namespace verrin
