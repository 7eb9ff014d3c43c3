// Tags one fuzzed line and checks what every caller relies on.
#ifndef VERRIN_TESTS_FUZZ_TAG_LINE_CHECK_H_
#define VERRIN_TESTS_FUZZ_TAG_LINE_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_util.h"
#include "text/code_page.h"
#include "text/ustring.h"
#include "verrin/verrin.h"

namespace verrin::fuzz {

// The first byte picks the word separator option (0, 1 or 2), the rest is
// UTF-8 text. Checks that offsets add up, lengths fit the records, types and
// class texts are consistent, and the rendering is as long as announced.
inline void TagLineAndCheck(CKyVerrin& tagger, const uint8_t* data, size_t size) {
  if (size == 0) return;
  const int option = data[0] % 3;
  const CUString text = FromUtf8(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  tag_WordInfoW* records = nullptr;
  int count = 0;
  VERRIN_FUZZ_CHECK(tagger.KyTagNEInfo(text.c_str(), option, records, count));
  VERRIN_FUZZ_CHECK(count >= 0 && count <= text.Length());
  int32_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    VERRIN_FUZZ_CHECK(r.nOffset == offset);
    VERRIN_FUZZ_CHECK(r.cLength > 0);
    VERRIN_FUZZ_CHECK(r.pWord != nullptr && UStrLen(r.pWord) == r.cLength);
    VERRIN_FUZZ_CHECK(r.cWordType <= 3);
    VERRIN_FUZZ_CHECK((r.cWordType == 0) == (r.pTag == nullptr));
    if (r.cWordType == 3) {
      VERRIN_FUZZ_CHECK(UStrLen(r.pTag) == 1 &&
                        (r.pTag[0] == u'P' || r.pTag[0] == u'L' || r.pTag[0] == u'O'));
    }
    offset += r.cLength;
  }
  VERRIN_FUZZ_CHECK(offset <= text.Length());
  const int length = CKyVerrin::RenderedLength(records, count);
  CUString rendered(length);
  tagger.OutputTaggedSentence(records, count, rendered.MutableBuffer());
  VERRIN_FUZZ_CHECK(UStrLen(rendered.c_str()) == length);
  tagger.FreeWordSegResult(records, count);
}

}  // namespace verrin::fuzz

#endif  // VERRIN_TESTS_FUZZ_TAG_LINE_CHECK_H_
