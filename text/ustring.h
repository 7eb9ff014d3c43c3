// CUString: the owned UTF-16 string used for all text inside Verrin.
//
// Units are UTF-16 code units (char16_t, identical to ICU's UChar); no
// surrogate handling is done here. The buffer is always NUL-terminated while it
// exists; `Length()` counts units before the terminator and `Capacity()` the
// units the buffer can hold without it (the allocation is capacity + 1 units).
//
// Capacity rules are part of the contract because callers rely on buffers being
// reused: `Assign` reuses the buffer only when the new length is strictly below
// the capacity, otherwise it reallocates to exactly the new length; `Append`
// grows, when it must, to the larger of the new length plus 100 spare units
// and one and a half times the old capacity, so that building a text of any
// length unit by unit costs amortised constant time per unit.
#ifndef VERRIN_TEXT_USTRING_H_
#define VERRIN_TEXT_USTRING_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace verrin {

class CUString {
 public:
  static constexpr int32_t kDefaultCapacity = 10;
  static constexpr int32_t kGrowSpare = 100;

  // Empty string with capacity 10.
  CUString();
  // Empty string with the given capacity (negative counts as 0).
  explicit CUString(int32_t capacity);
  // Copy of a NUL-terminated text; capacity = length. A null text gives "".
  CUString(const char16_t* text);  // NOLINT: implicit on purpose, like a literal.
  // Copy of the first `length` units of `text` (which need not be terminated).
  CUString(const char16_t* text, int32_t length);
  // The one-unit string; capacity = max(1, min_capacity).
  CUString(char16_t unit, int32_t min_capacity);
  // Narrow text converted through code page `code_page` (see CCodePageSet);
  // capacity = strlen(text), length = the number of units produced.
  CUString(const char* text, int code_page);
  // Deep copy; capacity = the source's length.
  CUString(const CUString& other);
  CUString(CUString&& other) noexcept;
  ~CUString();

  CUString& operator=(const CUString& other);
  CUString& operator=(CUString&& other) noexcept;

  void Assign(const char16_t* text);
  void Assign(const char16_t* text, int32_t length);
  void Assign(const CUString& other);
  void Assign(char16_t unit);
  // Like Assign, but keeps the buffer whenever it can hold the text (Assign
  // keeps it only when it is strictly larger), so a string refilled with
  // texts of similar lengths stops allocating.
  void Refill(const char16_t* text, int32_t length);
  void Refill(const CUString& other) { Refill(other.c_str(), other.Length()); }
  // Narrow GBK text converted to UTF-16, then assigned.
  void AssignNarrow(const char* text);

  // Appends and returns the new length.
  int32_t Append(const char16_t* text);
  int32_t Append(const char16_t* text, int32_t length);
  int32_t Append(const CUString& other);
  int32_t Append(char16_t unit);

  // Empties the text but keeps the buffer and the capacity.
  void Clear();
  // Frees the buffer: Buffer() is null, Length() and Capacity() are 0.
  void Release();
  // Drops units from the end so that the length becomes `length` (no-op when
  // the string is not longer).
  void Truncate(int32_t length);

  int32_t Length() const { return buffer_ ? length_ : 0; }
  int32_t Capacity() const { return capacity_; }
  bool Empty() const { return Length() == 0; }
  // The terminated buffer; null only after Release().
  const char16_t* Buffer() const { return buffer_; }
  // The text, "" after Release().
  const char16_t* c_str() const { return buffer_ ? buffer_ : u""; }
  char16_t* MutableBuffer() { return buffer_; }
  char16_t operator[](int32_t i) const { return buffer_[i]; }
  std::u16string_view View() const { return std::u16string_view(c_str(), Length()); }

  // Binary code-unit order, as u_strcmp gives it.
  int Compare(const CUString& other) const;
  bool operator==(const CUString& other) const { return View() == other.View(); }
  bool operator!=(const CUString& other) const { return !(*this == other); }
  bool operator<(const CUString& other) const { return Compare(other) < 0; }

  friend CUString operator+(const CUString& a, const CUString& b);

 private:
  void Allocate(int32_t capacity);

  char16_t* buffer_ = nullptr;
  int32_t length_ = 0;
  int32_t capacity_ = 0;
};

// Length of a NUL-terminated UTF-16 text (0 for null).
int32_t UStrLen(const char16_t* text);

struct CUStringHash {
  size_t operator()(const CUString& s) const { return std::hash<std::u16string_view>()(s.View()); }
};

}  // namespace verrin

#endif  // VERRIN_TEXT_USTRING_H_
