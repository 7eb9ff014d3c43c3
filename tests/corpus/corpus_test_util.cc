#include "corpus/corpus_test_util.h"

#include <gtest/gtest.h>

#include <utility>

#include "corpus/read_back.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin::testing {

WordCutter SetCutter(std::set<std::u16string> words) {
  return [words](const char16_t* text, int32_t length) {
    std::vector<CUString> out;
    int32_t i = 0;
    while (i < length) {
      if (text[i] == u' ') {
        ++i;
        continue;
      }
      int32_t best = 1;
      for (const auto& w : words) {
        const int32_t n = static_cast<int32_t>(w.size());
        if (n > best && i + n <= length && std::u16string(text + i, n) == w) best = n;
      }
      out.emplace_back(text + i, best);
      i += best;
    }
    return out;
  };
}

ConverterOptions ReaderOptions(CorpusFormat format, CorpusOutput output, WordCutter cutter) {
  ConverterOptions options;
  options.format = format;
  options.output = output;
  if (output == CorpusOutput::kCorpus) options.cutter = std::move(cutter);
  return options;
}

Conversion ConvertWith(ConverterOptions options, const std::string& input) {
  Conversion run;
  options.report = [&run](int64_t line, const std::string& reason) {
    run.reports.emplace_back(line, reason);
  };
  std::string bytes, error;
  EXPECT_TRUE(ConvertCorpusText(input, &bytes, options, &run.stats, &error)) << error;
  run.output = options.output == CorpusOutput::kBio ? bytes : Utf8(FromGbk(bytes));
  return run;
}

Conversion Convert(CorpusFormat format, const std::string& input, WordCutter cutter) {
  ConverterOptions options;
  options.format = format;
  options.cutter = std::move(cutter);
  return ConvertWith(std::move(options), input);
}

std::vector<std::string> ReadBack(const std::string& utf8_line) {
  std::vector<std::string> out;
  for (const ReadBackWord& w : ReadBracketedLine(U(utf8_line))) {
    out.push_back(w.klass.Empty() ? Utf8(w.word) : "[" + Utf8(w.klass) + " " + Utf8(w.word) + "]");
  }
  return out;
}

}  // namespace verrin::testing
