// A bracketed training line (GBK, words separated by spaces, entities
// "[P 张三]" with nested parts): read back word by word, and turned into
// training events with the small hand-made resource set.
#include <cstddef>
#include <cstdint>
#include <string>

#include "corpus/read_back.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "fuzz_util.h"
#include "resource/char_label_table.h"
#include "text/code_page.h"
#include "verrin/verrin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verrin;
  static CNEResourceManager* manager = [] {
    auto* m = new CNEResourceManager();
    if (!m->LoadResource(VERRIN_FUZZ_TAGGER_DIR, nullptr, false)) std::abort();
    return m;
  }();
  verrin::fuzz::SilenceDiagnostics();
  const std::string line(reinterpret_cast<const char*>(data), size);
  if (line.find('\n') != std::string::npos) return 0;  // one line at a time
  for (const ReadBackWord& word : ReadBracketedLine(FromGbk(line))) {
    VERRIN_FUZZ_CHECK(word.word.Length() >= 0);
  }
  const std::string corpus = fuzz::WriteScratch("corpus.txt", data, size);
  // One engine for the run, as one for the many files of a training job.
  static CNEEngine* engine = [] {
    auto* e = new CNEEngine(manager->Resource());
    e->SetProgress(false);
    e->SetWordSeparatorOption(2);
    return e;
  }();
  VERRIN_FUZZ_CHECK(engine->GenerateFeatureData(corpus.c_str(), 0, fuzz::ScratchDir().c_str()));
  // The next line starts from a label table without this one's labels (the
  // units of the line and the placeholders; cheaper than a reset of all
  // 65,536), so that what is written comes mostly from one input.
  CharLabelTable& labels = manager->Resource()->CharLabels();
  const CUString text = FromGbk(line);
  for (int32_t i = 0; i < text.Length(); ++i) labels.Set(text[i], 0);
  for (char16_t unit = 0; unit < 0x20; ++unit) labels.Set(unit, 0);
  return 0;
}
