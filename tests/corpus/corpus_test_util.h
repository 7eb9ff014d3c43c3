// Helpers of the corpus reader tests: a conversion held in memory with its
// reports, and a word cutter over a small word set.
#ifndef VERRIN_TESTS_CORPUS_CORPUS_TEST_UTIL_H_
#define VERRIN_TESTS_CORPUS_CORPUS_TEST_UTIL_H_

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "corpus/corpus_converter.h"

namespace verrin::testing {

struct Conversion {
  std::string output;  // UTF-8 form of the GBK output (gold BIO: as written)
  ConversionStats stats;
  std::vector<std::pair<int64_t, std::string>> reports;
};

// Cuts text by forward longest match over a small word set; unknown units
// become single-unit words, white space is dropped.
WordCutter SetCutter(std::set<std::u16string> words);

// The options of a reader test: `format` into `output`; the corpus output
// cuts the text outside entities with `cutter` (gold BIO needs no cutter).
ConverterOptions ReaderOptions(CorpusFormat format, CorpusOutput output,
                               WordCutter cutter = SetCutter({}));

// Converts `input` with `options` (its reporter replaced by one that
// collects the reports).
Conversion ConvertWith(ConverterOptions options, const std::string& input);
Conversion Convert(CorpusFormat format, const std::string& input, WordCutter cutter = nullptr);

// Every written line must read back, through the corpus reader's rules, as
// the words and brackets it was meant to hold: the words of a line as read
// back, a bracket written "[class word]".
std::vector<std::string> ReadBack(const std::string& utf8_line);

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_CORPUS_CORPUS_TEST_UTIL_H_
