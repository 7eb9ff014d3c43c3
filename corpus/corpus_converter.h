// Conversion of annotated corpora into the bracketed training corpus.
//
// Output: GBK text, one paragraph or sentence per line ending in "\n", words
// separated by single spaces, entities in brackets (corpus/corpus_item.h).
// Input formats: kPd98 People's Daily 1998 (corpus/pd98_reader.h), kMsra MSRA
// NER (corpus/msra_reader.h), kBio BIO (corpus/bio_reader.h), kWeibo Weibo
// NER (corpus/weibo_reader.h), kCluener CLUENER2020 JSON lines
// (corpus/cluener_reader.h). The last three can instead be written as gold
// BIO for scoring (CorpusOutput::kBio).
//
// A unit that GBK cannot write (an emoji is two) is written as the stand-in
// kNonGbkStandIn (〓), the character the tagger computes predicates with in
// its place, and counted. A line (bio, weibo: a sentence) is skipped with a
// report when it is malformed, holds an unknown tag, or would not read back
// as it was meant. Nothing else is written changed without a report: a line
// that reads back only once the plain "[" before a bracket become "【" (a
// symbol of the same class, which the reader does not take for a bracket) is
// written so, with a report. A line that
// reads back only once its nested parts are dropped is written without them,
// with a report (the part marks are symbols at which the reader cuts long
// clauses). An entity whose text cannot stand inside a bracket (it holds
// white space, "[", "]", "/", a nested-part mark or a clause delimiter) is
// written as plain words with a report. Reports go to the caller's reporter
// as (line, reason); line numbers count physical input lines from 1.
#ifndef VERRIN_CORPUS_CORPUS_CONVERTER_H_
#define VERRIN_CORPUS_CORPUS_CONVERTER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "corpus/abbreviation_table.h"
#include "corpus/bio_reader.h"
#include "corpus/corpus_item.h"
#include "corpus/read_back.h"
#include "text/ustring.h"

namespace verrin {

enum class CorpusFormat { kPd98, kMsra, kBio, kWeibo, kCluener };

// "pd98", "msra", "bio", "weibo" or "cluener"; false for anything else.
bool ParseCorpusFormat(const std::string& name, CorpusFormat* format);

// The bracketed training corpus (GBK), or gold BIO for scoring (UTF-8, one
// "char TAG" per line with PER, LOC, ORG, a blank line after each sentence).
enum class CorpusOutput { kCorpus, kBio };

// Whether the format is read character by character (bio, weibo, cluener).
bool IsCharacterFormat(CorpusFormat format);

struct ConverterOptions {
  CorpusFormat format = CorpusFormat::kPd98;
  CorpusOutput output = CorpusOutput::kCorpus;
  // bio, weibo, cluener: how tag types map to classes; null: the format's own
  // map (DefaultBioMap, WeiboBioMap, CluenerBioMap).
  const BioLabelMap* label_map = nullptr;
  WordCutter cutter;     // required for bio, weibo and cluener into the corpus
  IssueReporter report;  // null: "line N: reason" on standard error
  // Called every `progress_interval` input lines and once at the end.
  std::function<void(const ConversionStats&)> progress;
  int64_t progress_interval = 1000;
  // Full-width digits and Latin letters become their ASCII forms.
  bool fold_full_width = false;
  // Plain words are cut where raw text would be cut by the tagger's
  // pre-segmentation (at every change between Chinese characters, digits,
  // Latin letters and Chinese numerals; symbols one by one), and runs of two
  // or more Chinese numerals become "[number ...]" class words, so that the
  // model is trained on the class words and punctuation it sees in raw text.
  bool raw_text_tokens = false;
  // When set, an organization written as one piece whose text starts with a
  // location gets nested parts: the location (class L) and the rest (class n),
  // so that training sees the location labels inside organizations that the
  // tagger may produce. Called with the organization's text; returns the
  // length of its location prefix, or 0.
  std::function<int32_t(const CUString& organization)> location_prefix;
  // pd98: the class of an abbreviation (tag j, on its own or inside a
  // "[...]nt" compound): 'P', 'L', 'O', or 0 to keep it a plain word
  // (an ordinary part inside an organization).
  std::function<char16_t(const CUString& abbreviation)> abbreviation_class;
  // pd98: a word tagged n, nz, vn, l or i that starts with a person's name
  // of three or four characters written as nr tokens at least twice in the
  // same corpus, and goes on for at least two more characters, becomes the
  // person and the rest (邓小平理论/n -> [P 邓小平] 理论). Reads the input
  // twice.
  bool cut_names_in_words = false;
};

// Converts the file at `in_path` into the training corpus at `out_path`.
// False with `error` set only when a file cannot be opened, read or written
// or the options are unusable; bad input lines are reported and skipped.
// `stats` is filled in either case. The output is complete only on success.
bool ConvertCorpus(const std::string& in_path, const std::string& out_path,
                   const ConverterOptions& options, ConversionStats* stats, std::string* error);

// Converts text held in memory (the bytes of a whole input file) into the
// GBK bytes of the training corpus; the same rules as ConvertCorpus.
bool ConvertCorpusText(const std::string& input, std::string* output,
                       const ConverterOptions& options, ConversionStats* stats, std::string* error);

}  // namespace verrin

#endif  // VERRIN_CORPUS_CORPUS_CONVERTER_H_
