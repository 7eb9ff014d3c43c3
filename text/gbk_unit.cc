#include "text/gbk_unit.h"

#include <mutex>

#include "text/code_page.h"

namespace verrin {
namespace gbk_unit_internal {

UnitBits unit_bits;  // zero-initialised: no block ready

namespace {

// A unit is GBK when the converter writes it and reads the bytes back as the
// unit alone. Surrogates never are (a lone one has no GBK form).
bool RoundTrips(CCodePageSet& converters, char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return false;
  char bytes[8];
  const int32_t n = converters.FromUnicode(CCodePageSet::kGbk, &unit, 1, bytes, sizeof bytes);
  if (n == 0) return false;
  char16_t back[3];
  return converters.ToUnicode(CCodePageSet::kGbk, bytes, n, back, 2) == 1 && back[0] == unit;
}

}  // namespace

bool FillBlockAndTest(char16_t unit) {
  static std::once_flag done[256];
  const int block = unit >> 8;
  std::call_once(done[block], [block] {
    CCodePageSet& converters = CCodePageSet::Get();
    uint64_t* words = unit_bits.bits + block * 4;
    for (int k = 0; k < 256; ++k) {
      const char16_t u = static_cast<char16_t>((block << 8) | k);
      const bool gbk = u < 0x80 || (u >= 0x4E00 && u <= 0x9FA5) || RoundTrips(converters, u);
      if (gbk) words[k >> 6] |= uint64_t{1} << (k & 63);
    }
    unit_bits.ready[block].store(true, std::memory_order_release);
  });
  return (unit_bits.bits[unit >> 6] >> (unit & 63)) & 1;
}

}  // namespace gbk_unit_internal
}  // namespace verrin
