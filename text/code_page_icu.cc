// The ICU back end of the code-page converters (every platform but Windows).
#if !defined(_WIN32)
#include <locale.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstdlib>

#include "text/code_page.h"

namespace verrin {
namespace {

const char* const kConverterNames[CCodePageSet::kCount] = {nullptr, "ISO8859-1", "GBK", "Big5",
                                                           "UTF-8"};

UConverter* Converter(void* const* converters, int code_page) {
  if (code_page < 0 || code_page >= CCodePageSet::kCount) return nullptr;
  return static_cast<UConverter*>(converters[code_page]);
}

}  // namespace

CCodePageSet::CCodePageSet() {
  for (int i = 0; i < kCount; ++i) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(kConverterNames[i], &status);
    converters_[i] = U_FAILURE(status) ? nullptr : converter;
  }
}

CCodePageSet::~CCodePageSet() {
  for (void*& converter : converters_) {
    if (converter != nullptr) ucnv_close(static_cast<UConverter*>(converter));
    converter = nullptr;
  }
}

int32_t CCodePageSet::ToUnicode(int code_page, const char* text, int32_t length, char16_t* dest,
                                int32_t capacity) {
  if (capacity < 0) capacity = 0;
  dest[0] = 0;
  UConverter* converter = Converter(converters_, code_page);
  if (converter == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converter, dest, capacity, text, length, &status);
  if (n > capacity) n = capacity;  // overflow: keep what fits
  if (n < 0) n = 0;
  dest[n] = 0;
  return n;
}

int32_t CCodePageSet::FromUnicode(int code_page, const char16_t* text, int32_t length, char* dest,
                                  int32_t capacity) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  UConverter* converter = Converter(converters_, code_page);
  if (converter == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(converter, dest, capacity - 1, text, length, &status);
  if (n > capacity - 1) n = capacity - 1;
  if (n < 0) n = 0;
  dest[n] = 0;
  return n;
}

std::string CCodePageSet::Encode(int code_page, const char16_t* text, int32_t length) {
  if (length < 0) length = UStrLen(text);
  if (length == 0) return std::string();
  UConverter* converter = Converter(converters_, code_page);
  if (converter == nullptr) return {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = ucnv_fromUChars(converter, nullptr, 0, text, length, &status);
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(converter, out.data(), needed + 1, text, length, &status);
  if (n < 0) n = 0;
  out.resize(static_cast<size_t>(n));
  return out;
}

int UStrCaseCompare(const char16_t* a, const char16_t* b) {
  return u_strcasecmp(a, b, U_FOLD_CASE_DEFAULT);
}

double ParseDouble(const char* text) {
  if (text == nullptr) return 0.0;
  return ParseDouble(text, nullptr);
}

double ParseDouble(const char* text, char** end) {
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text, end, c_locale);
}

}  // namespace verrin
#endif
