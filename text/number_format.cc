#include "text/number_format.h"

#if !defined(_WIN32)
#include <unicode/unum.h>
#endif

#include <cstdio>

namespace verrin {

// Windows builds have no ICU: there the C library's "%f" serves (it can
// differ from ICU in the last digit of a value that lies on a rounding tie).
#if defined(_WIN32)
CFixedFormatter::CFixedFormatter() = default;
CFixedFormatter::~CFixedFormatter() = default;
#else
CFixedFormatter::CFixedFormatter() {
  UErrorCode status = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, kNumberLocale, nullptr, &status);
  if (U_FAILURE(status)) return;
  unum_setAttribute(format, UNUM_FRACTION_DIGITS, 6);
  format_ = format;
}

CFixedFormatter::~CFixedFormatter() {
  if (format_ != nullptr) unum_close(static_cast<UNumberFormat*>(format_));
}

#endif

void CFixedFormatter::Append(double value, std::u16string& out) {
#if !defined(_WIN32)
  if (format_ != nullptr) {
    const UNumberFormat* format = static_cast<const UNumberFormat*>(format_);
    UChar buffer[64];
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = unum_formatDouble(format, value, buffer, 64, nullptr, &status);
    if (U_SUCCESS(status)) {
      out.append(buffer, static_cast<size_t>(length));
      return;
    }
    if (status == U_BUFFER_OVERFLOW_ERROR) {  // huge magnitudes have hundreds of digits
      std::u16string text(static_cast<size_t>(length) + 1, u'\0');
      status = U_ZERO_ERROR;
      length = unum_formatDouble(format, value, text.data(), length + 1, nullptr, &status);
      if (U_SUCCESS(status)) {
        out.append(text.data(), static_cast<size_t>(length));
        return;
      }
    }
  }
#endif
  // Without ICU's formatter (its data missing): the C library's "%f".
  char text[400];
  const int length = std::snprintf(text, sizeof text, "%f", value);
  for (int i = 0; i < length && i < static_cast<int>(sizeof text) - 1; ++i) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
  }
}

}  // namespace verrin
