// Each reader of `verrin convert`: the first byte picks People's Daily 1998,
// MSRA, BIO, Weibo or CLUENER (the last three cut into words with the small
// hand-made dictionary, or written as gold BIO) and the option bits; the rest
// is the input file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "corpus/corpus_converter.h"
#include "corpus/lexicon_rules.h"
#include "fuzz_util.h"
#include "resource/lexicon.h"
#include "text/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verrin;
  static CNELexicon* dictionary = [] {
    auto* d = new CNELexicon();
    if (!d->LoadLexicon(VERRIN_FUZZ_TAGGER_DIR "/dict.txt", false)) std::abort();
    return d;
  }();
  if (size == 0) return 0;
  ConverterOptions options;
  const CorpusFormat formats[] = {CorpusFormat::kPd98, CorpusFormat::kMsra, CorpusFormat::kBio,
                                  CorpusFormat::kWeibo, CorpusFormat::kCluener};
  options.format = formats[data[0] % 5];
  if ((data[0] & 32) != 0 && IsCharacterFormat(options.format)) {
    options.output = CorpusOutput::kBio;
  }
  options.cutter = DictionaryWordCutter(*dictionary);
  options.report = [](int64_t, const std::string&) {};
  options.fold_full_width = (data[0] & 4) != 0;
  options.raw_text_tokens = (data[0] & 8) != 0;
  options.cut_names_in_words = (data[0] & 16) != 0 && options.format == CorpusFormat::kPd98;
  ConversionStats stats;
  std::string output, error;
  ConvertCorpusText(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), &output,
                    options, &stats, &error);
  return 0;
}
