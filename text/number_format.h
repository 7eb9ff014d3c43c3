// "%f" text of doubles: the locale-independent decimal text every number of
// a model or result file is written in.
#ifndef VERRIN_TEXT_NUMBER_FORMAT_H_
#define VERRIN_TEXT_NUMBER_FORMAT_H_

#include <string>

namespace verrin {

// The locale numbers are formatted in: a saved "%f" must always read back
// with a decimal point and no grouping, whatever the user's environment.
inline constexpr char kNumberLocale[] = "en_US_POSIX";

// Formats as ICU's u_fprintf "%f" does under kNumberLocale (the text of every
// model saved so far), but keeps one formatter instead of configuring one for
// every number (about 10 us each, which made saving a model of millions of
// features take minutes): the locale's decimal format with exactly six
// fraction digits.
class CFixedFormatter {
 public:
  CFixedFormatter();
  ~CFixedFormatter();
  CFixedFormatter(const CFixedFormatter&) = delete;
  CFixedFormatter& operator=(const CFixedFormatter&) = delete;

  // Appends the "%f" text of `value` to `out`.
  void Append(double value, std::u16string& out);

 private:
  void* format_ = nullptr;  // ICU's UNumberFormat
};

}  // namespace verrin

#endif  // VERRIN_TEXT_NUMBER_FORMAT_H_
