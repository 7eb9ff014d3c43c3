// Entity scoring over BIO-tagged text: exact (start, end, class) spans.
//
// BIO text: one "character TAG" per line (the tag after the last space or
// tab), a blank line after each sentence. Tags are O, B-X and I-X for any
// class X. Spans follow conlleval: B-X always starts an entity; I-X continues
// an entity of class X and otherwise (after O, after another class, at the
// start of a sentence) starts a new one; an entity ends at O, at B-, at a tag
// of another class and at the end of its sentence.
#ifndef VERRIN_EVAL_NER_SCORER_H_
#define VERRIN_EVAL_NER_SCORER_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace verrin {

struct BioSentence {
  std::vector<std::string> chars;  // the text of each line before its tag (UTF-8 or bytes)
  std::vector<std::string> tags;   // "O", "B-PER", ...
  int64_t first_line = 0;          // 1-based line of the first character in its file
};

// Reads BIO text; "\r\n" line ends and a UTF-8 byte-order mark are accepted.
// False with "NAME:LINE: reason" in `error` on a line without a tag or with a
// tag that is not O, B-X or I-X; `sentences` then holds what came before.
bool ReadBioText(const std::string& text, const std::string& name,
                 std::vector<BioSentence>* sentences, std::string* error);
// Reads a BIO file (the file name serves as NAME in messages).
bool ReadBioFile(const std::string& path, std::vector<BioSentence>* sentences, std::string* error);

// The BIO text of the sentences: "char TAG" per line, a blank line after each.
std::string BioText(const std::vector<BioSentence>& sentences);

// An entity: characters [begin, end) of one sentence, 0-based.
struct EntitySpan {
  int32_t begin = 0;
  int32_t end = 0;
  std::string klass;
  bool operator==(const EntitySpan& o) const {
    return begin == o.begin && end == o.end && klass == o.klass;
  }
  bool operator<(const EntitySpan& o) const {
    if (begin != o.begin) return begin < o.begin;
    if (end != o.end) return end < o.end;
    return klass < o.klass;
  }
};

// The entities of one sentence's tags, in order. Tags that are not O, B-X
// or I-X count as O.
std::vector<EntitySpan> ExtractSpans(const std::vector<std::string>& tags);

struct SpanCounts {
  int64_t gold = 0;
  int64_t predicted = 0;
  int64_t correct = 0;
  // Fractions in [0, 1]; 0 when their denominator is 0.
  double Precision() const;
  double Recall() const;
  double F1() const;
};

struct NerScore {
  bool ok = false;
  std::string error;                          // set when !ok
  std::map<std::string, SpanCounts> classes;  // PER, LOC, ORG always; others when seen
  SpanCounts overall;                         // sums over every class
  int64_t sentences = 0;
  int64_t characters = 0;
};

// Scores `predicted` against `gold`. The two must hold the same sentences
// with the same characters; otherwise ok is false and `error` names the
// first sentence (and its lines) that differs.
NerScore ScoreSpans(const std::vector<BioSentence>& gold,
                    const std::vector<BioSentence>& predicted);

// A table with one row per class and an overall row: class, gold,
// predicted, correct, precision, recall and F1 (percentages, two decimals).
std::string FormatScoreTable(const NerScore& score);

}  // namespace verrin

#endif  // VERRIN_EVAL_NER_SCORER_H_
