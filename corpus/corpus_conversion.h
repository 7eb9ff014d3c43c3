// The conversion of one corpus, line by line: each reader's items are
// checked (entities that cannot stand in a bracket, characters GBK cannot
// write, the read-back check) and written as one bracketed line, or the line
// is skipped with a report.
#ifndef VERRIN_CORPUS_CORPUS_CONVERSION_H_
#define VERRIN_CORPUS_CORPUS_CONVERSION_H_

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "corpus/bio_reader.h"
#include "corpus/corpus_converter.h"
#include "corpus/corpus_line.h"
#include "corpus/pd98_reader.h"

namespace verrin {

// Fed with physical input lines; hands every output line (GBK bytes with its
// line feed) to `write`, which returns false when it could not write.
// `options` and `stats` must outlive the conversion.
class CConversion {
 public:
  CConversion(const ConverterOptions& options, ConversionStats* stats,
              std::function<bool(const std::string&)> write);

  // One physical input line, with or without its line end. False when the
  // output could not be written.
  bool Feed(std::string line);

  // First reading of one input line when names are cut out of words: counts
  // the persons the line holds.
  void Survey(std::string line);
  // Ends the first reading: names written at least twice are cut out.
  void EndSurvey();

  bool Finish();

 private:
  void Skip(int64_t line, const CorpusProblem& problem);

  bool ConvertLine(const std::string& bytes, int64_t number);

  // Checks the items and writes them as one line; the line is skipped when
  // it cannot be written faithfully.
  bool Emit(std::vector<CorpusItem>& items, int64_t number, const ConversionStats& line_stats);

  bool FeedBio(const std::string& bytes, int64_t number);

  bool ConvertCluenerLine(const std::string& bytes, int64_t number);

  // Writes one sentence read character by character: as gold BIO, or
  // through Emit into the corpus.
  bool WriteCharacters(const std::vector<BioChar>& chars, int64_t number);

  bool MarkBad(int64_t number, const CorpusProblem& problem);

  bool FlushSentence();

  const ConverterOptions& options_;
  BioLabelMap label_map_;
  Pd98Rules rules_;
  std::map<std::u16string, int64_t> person_counts_;
  std::set<std::u16string> names_;
  ConversionStats* stats_;
  std::function<bool(const std::string&)> write_;
  IssueReporter report_;
  std::vector<BioChar> sentence_chars_;
  bool sentence_bad_ = false;
  int64_t sentence_line_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_CORPUS_CORPUS_CONVERSION_H_
