// Conversion of annotated corpora into the bracketed training corpus.
//
// Output: GBK text, one paragraph or sentence per line ending in "\n", words
// separated by single spaces. An entity is one bracket "[" class " " word "]"
// with class P (person), L (location) or O (organization); the words of a
// multi-word entity are joined with "/", which the corpus reader removes
// ("[O 北京/大学]"). An organization whose inner words are known may instead
// carry nested parts: each part's text, U+0005, its class (P, L, or n for any
// other part), U+0006, all inside the one bracket.
//
// Input formats:
//   kPd98  People's Daily 1998 (PKU): GBK, one paragraph per line, the first
//          token the paragraph identifier, tokens "word/TAG" separated by
//          spaces, compounds "[w/t  w/t]outer". nr -> P, ns -> L, nt -> O;
//          "[...]nt" -> O with nested parts; "[...]ns" -> L; other compounds
//          give plain words. Consecutive nr tokens form one person, except
//          that a one-character token after a person of two or more tokens
//          starts the next person (PKU writes surname and given name as two
//          tokens, and lists of names without punctuation between them).
//   kMsra  MSRA NER (UTF-8): "word/o word/nr word/ns word/nt" per line.
//   kBio   UTF-8, "char TAG" per line (O, B-X, I-X with X one of PER, LOC,
//          ORG), a blank line after each sentence. Text outside entities is
//          cut into words by the caller's word cutter.
//
// Nothing is written silently changed. A line (bio: a sentence) is skipped
// with a report when it is malformed, holds an unknown tag or a character
// that GBK cannot encode, or would not read back as it was meant. A line that
// reads back only once its nested parts are dropped is written without them,
// with a report (the part marks are symbols at which the reader cuts long
// clauses). An entity whose text cannot stand inside a bracket (it holds
// white space, "[", "]", "/", a nested-part mark or a clause delimiter) is
// written as plain words with a report. Reports go to the caller's reporter as (line, reason); line
// numbers count physical input lines from 1.
#ifndef VERRIN_CORPUS_CORPUS_CONVERTER_H_
#define VERRIN_CORPUS_CORPUS_CONVERTER_H_

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

class CNELexicon;

enum class CorpusFormat { kPd98, kMsra, kBio };

// "pd98", "msra" or "bio"; false for anything else.
bool ParseCorpusFormat(const std::string& name, CorpusFormat* format);

// Cuts a stretch of raw text into words (white space dropped).
using WordCutter = std::function<std::vector<CUString>(const char16_t* text, int32_t length)>;
// Receives one problem: the 1-based input line and a reason (UTF-8).
using IssueReporter = std::function<void(int64_t line, const std::string& reason)>;

// Entity and person counts cover written lines only.
struct ConversionStats {
  int64_t lines_read = 0;     // physical input lines
  int64_t lines_written = 0;  // output lines
  int64_t lines_skipped = 0;  // input lines (bio: sentences) left out, each reported
  int64_t lines_empty = 0;    // input lines (bio: sentences) with nothing to write
  int64_t persons = 0;        // entities written, by class
  int64_t locations = 0;
  int64_t organizations = 0;
  int64_t entities_unbracketed = 0;  // entities written as plain words, each reported
  int64_t persons_split = 0;         // pd98: extra persons cut from runs of nr tokens
  // Lines whose organizations were written without nested parts because a
  // clause break would otherwise fall inside one (each reported).
  int64_t lines_parts_dropped = 0;
  int64_t abbreviations_classed = 0;  // pd98: j tokens written as entities or entity parts
  int64_t names_cut = 0;              // pd98: persons cut from the start of longer words
  std::map<std::string, int64_t> skip_reasons;  // short reason -> skipped count
};

// One unit of a converted line: a plain word, or an entity.
struct CorpusPart {
  CUString text;
  char16_t klass = u'n';  // 'P', 'L' or 'n'
};
struct CorpusItem {
  char16_t klass = 0;             // 0 plain word; 'P', 'L' or 'O' entity; 'N' a
                                  // class word written "[number word]"
  std::vector<CUString> words;    // plain: one word; entity: its words in order
  std::vector<CorpusPart> parts;  // entity with nested parts (then `words` is unused)
  bool raw = false;               // `words` is uncut text (bio): cut by the cutter if written plain
};

// The bracketed text of the items (no line end). Entities are rendered as
// they stand; callers check them with EntityObstacle first.
CUString RenderCorpusItems(const std::vector<CorpusItem>& items);

// The first unit of an entity's words or parts that cannot stand inside a
// bracket, or 0 when there is none.
char16_t EntityObstacle(const CorpusItem& item);

// What the training-corpus reader makes of one line: every word in order,
// with the class text of its bracket (empty for plain words) and, for
// brackets, the word with "/" removed and nested-part marks kept. The line is
// trimmed, cut into clauses at the clause delimiters (soft limit 100, as for
// segmented text), each clause scanned for brackets and its plain stretches
// cut at spaces.
struct ReadBackWord {
  CUString klass;
  CUString word;
};
std::vector<ReadBackWord> ReadBracketedLine(const CUString& line);

struct ConverterOptions {
  CorpusFormat format = CorpusFormat::kPd98;
  WordCutter cutter;     // required for kBio
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

// Entity classes of words as a corpus in the MSRA format tags them, for
// classing the abbreviations of another corpus. A word of one character
// takes the entity tag it carries most often when it carries it at least 5
// times (its other senses are plain words: 中 "middle" / 中 "China"); a
// longer word takes it when it carries it at least twice and in at least
// half of its occurrences.
class CAbbreviationTable {
 public:
  // False with `error` set when the file cannot be read; tokens that are not
  // word/TAG are ignored.
  bool Load(const std::string& msra_path, std::string* error);
  void AddText(const CUString& line);
  // 'P', 'L', 'O' or 0.
  char16_t ClassOf(const CUString& word) const;
  size_t size() const { return counts_.size(); }

 private:
  // Occurrences as o, nr, ns, nt.
  std::map<std::u16string, std::array<int64_t, 4>> counts_;
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

// Forward longest match over `dictionary` with runs of digits, Latin letters
// and Chinese numerals kept whole (CNELexicon::SegmentRawText with grouping).
// The lexicon must outlive the cutter.
WordCutter DictionaryWordCutter(const CNELexicon& dictionary);

}  // namespace verrin

#endif  // VERRIN_CORPUS_CORPUS_CONVERTER_H_
