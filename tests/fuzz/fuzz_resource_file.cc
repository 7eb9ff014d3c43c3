// Each resource file of a resource set: the first byte picks which one
// (dictionary, entity items, affixes, person-name flags, label table), the
// rest is the file. A loaded lexicon is then searched with its own bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_util.h"
#include "resource/char_label_table.h"
#include "resource/lexicon.h"
#include "resource/pe_info.h"
#include "text/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  verrin::fuzz::SilenceDiagnostics();
  using namespace verrin;
  if (size == 0) return 0;
  const int which = data[0] % 5;
  const std::string path = fuzz::WriteScratch("resource.txt", data + 1, size - 1);
  switch (which) {
    case 0:
    case 1:
    case 2: {
      // A lexicon is only ever filled once: a fresh one per input.
      const std::unique_ptr<CNELexicon> made =
          which == 0 ? std::make_unique<CNELexicon>()
                     : std::make_unique<CNEValuedLexicon>(ReadLexiconValue);
      CNELexicon& lexicon = *made;
      if (lexicon.LoadLexicon(path, false)) {
        const CUString text =
            FromGbk(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
        for (const CUString& word : lexicon.SegmentRawText(text.c_str(), text.Length(), true)) {
          VERRIN_FUZZ_CHECK(word.Length() > 0);
        }
      }
      break;
    }
    case 3: {
      // Loading into a table that holds entries is what a reload does.
      static PeInfoTable* table = new PeInfoTable();
      table->LoadPeInfo(path, false);
      break;
    }
    default: {
      static CharLabelTable* table = new CharLabelTable();
      if (!table->Load(path, false)) {
        // A refused file leaves nothing of itself behind: no unit of its
        // text has labels.
        const CUString text =
            FromGbk(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
        for (int32_t i = 0; i < text.Length(); ++i) VERRIN_FUZZ_CHECK(table->At(text[i]) == 0);
      }
      break;
    }
  }
  return 0;
}
