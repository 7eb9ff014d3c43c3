#include "text/gbk_unit.h"

#include <cstdint>
#include <mutex>

#include "text/code_page.h"

namespace verrin {

bool IsGbkUnit(char16_t unit) {
  if (unit < 0x80 || (unit >= 0x4E00 && unit <= 0x9FA5)) return true;
  if (unit >= 0xD800 && unit <= 0xDFFF) return false;
  static std::once_flag done[256];
  static uint64_t bits[1024];  // one bit per unit, each block written once
  const int block = unit >> 8;
  std::call_once(done[block], [block] {
    for (int k = 0; k < 256; ++k) {
      const char16_t u = static_cast<char16_t>((block << 8) | k);
      const CUString one(&u, 1);
      if (FromGbk(ToGbk(one)) == one) bits[u >> 6] |= uint64_t{1} << (u & 63);
    }
  });
  return (bits[unit >> 6] >> (unit & 63)) & 1;
}

}  // namespace verrin
