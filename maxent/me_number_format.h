// "%f" text of doubles, as ICU's u_fprintf writes it into a file opened with
// kNumberLocale, without the cost of u_fprintf.
#ifndef VERRIN_MAXENT_ME_NUMBER_FORMAT_H_
#define VERRIN_MAXENT_ME_NUMBER_FORMAT_H_

#include <string>

namespace verrin {

// u_fprintf reconfigures its decimal formatter for every "%f" (about 10 us a
// number, which made saving a model of millions of features take minutes);
// this keeps one formatter configured the way that handler configures it:
// the locale's decimal format with exactly six fraction digits.
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

#endif  // VERRIN_MAXENT_ME_NUMBER_FORMAT_H_
