// Strict reading of the weight field of model file lines.

#include "maxent/me_model_weight.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <system_error>

#include "text/code_page.h"

namespace verrin {
namespace {

// Strict weight reading of a field in any form strtod reads: the whole field
// (surrounding blanks aside) must be one finite number; atof would turn "abc"
// into 0 and "1e999" into infinity.
bool ParseWeightText(const std::string& text, double* weight) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\r' || text[end - 1] == '\n' ||
                         text[end - 1] == '\t')) {
    --end;
  }
  if (begin == end) return false;
  const std::string field = text.substr(begin, end - begin);
  const char c = field[0];
  if (!(c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9'))) return false;
  char* stop = nullptr;
  errno = 0;
  const double value = ParseDouble(field.c_str(), &stop);
  if (stop != field.c_str() + field.size() || !std::isfinite(value)) return false;
  // An underflow to 0 or a denormal is a weight of no effect, not an error.
  *weight = value;
  return true;
}

}  // namespace

// The units of a field as ASCII; any other unit becomes 0x01, which no
// number holds.
std::string AsciiField(const char16_t* text, int32_t length) {
  std::string ascii;
  for (int32_t k = 0; k < length; ++k) {
    ascii.push_back(text[k] < 0x80 ? static_cast<char>(text[k]) : '\x01');
  }
  return ascii;
}

// The weight of a model line: `text` up to the line's end. Only ASCII can
// belong to a number. A plain decimal number followed by nothing but white
// space is read with from_chars, which rounds exactly as strtod does; anything
// else goes to strtod itself (ParseWeightText). False when the field is not
// one finite number.
bool ParseWeight(const char16_t* text, int32_t length, double* weight) {
  char digits[64];
  const int32_t n = std::min<int32_t>(length, static_cast<int32_t>(sizeof(digits)) - 1);
  int32_t i = 0;
  auto digit = [&](int32_t k) { return k < n && digits[k] >= '0' && digits[k] <= '9'; };
  for (int32_t k = 0; k < n; ++k) {
    digits[k] = text[k] < 0x80 ? static_cast<char>(text[k]) : '\x01';
  }
  digits[n] = 0;
  if (n == length) {
    if (i < n && digits[i] == '-') ++i;
    const int32_t begin = i;
    while (digit(i)) ++i;
    bool plain = i > begin;
    if (plain && i < n && digits[i] == '.') {
      ++i;
      while (digit(i)) ++i;
    }
    if (plain && i < n && (digits[i] == 'e' || digits[i] == 'E')) {
      int32_t k = i + 1;
      if (k < n && (digits[k] == '+' || digits[k] == '-')) ++k;
      plain = digit(k);
      while (digit(k)) ++k;
      i = k;
    }
    const int32_t end = i;
    while (i < n &&
           (digits[i] == ' ' || digits[i] == '\t' || digits[i] == '\r' || digits[i] == '\n')) {
      ++i;
    }
    if (plain && i == n) {
      // Out of range (where strtod gives infinity or a subnormal) goes to strtod.
      double value = 0.0;
      const std::from_chars_result read = std::from_chars(digits, digits + end, value);
      if (read.ec == std::errc() && read.ptr == digits + end) {
        *weight = value;
        return true;
      }
    }
    return ParseWeightText(std::string(digits, static_cast<size_t>(n)), weight);
  }
  return ParseWeightText(AsciiField(text, length), weight);
}

}  // namespace verrin
