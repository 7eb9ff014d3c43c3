// CNEEngine: the per-tagger pipeline from clause to labelled words.
//
//   SplitSentences -> PreSegment -> BuildProcessedText -> InitLabels
//   -> ExtractFeatures -> CNELattice::Decode -> AssembleWords
//
// The clause's data lives in an NEClause (engine/clause.h) that the engine
// keeps and reuses: nothing but buffers carries over from one clause to the
// next. One engine serves one thread at a time.
#ifndef VERRIN_ENGINE_NE_ENGINE_H_
#define VERRIN_ENGINE_NE_ENGINE_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/assembler.h"
#include "engine/clause.h"
#include "engine/feature_extractor.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_sample.h"
#include "resource/lexicon.h"
#include "text/diagnostics.h"
#include "text/ustring.h"

namespace verrin {

class CNEResource;

class CNEEngine {
 public:
  explicit CNEEngine(CNEResource* resource);
  virtual ~CNEEngine();
  CNEEngine(const CNEEngine&) = delete;
  CNEEngine& operator=(const CNEEngine&) = delete;

  // A clause that closes within kMaxClauseUnits units is cut at its
  // delimiters alone. When kMaxClauseUnits units follow a clause's start
  // without a delimiter, the clause is a piece of that run: it ends after the first
  // "的" at or past kMinPieceUnits units (segmented text: after the separator,
  // "/" or space, that follows the "的"), else after kMaxPieceUnits units
  // (one unit fewer when that would part a surrogate pair); a cut that would
  // part a bracket "[class word]" falls before its "[" instead (after its
  // "]" when the clause starts with it). The text goes on in the next clause,
  // so a long run becomes short clauses until what is left closes within the
  // limit.
  static constexpr int32_t kMaxClauseUnits = 4096;
  static constexpr int32_t kMinPieceUnits = 16;
  static constexpr int32_t kMaxPieceUnits = 256;

  // ---- clause pipeline ----
  // Clauses of `text` up to its first line feed (soft limit 100 segmented,
  // 200 raw; long runs as kMaxClauseUnits says). Always true.
  bool SplitSentences(const char16_t* text, std::vector<CUString>& sentences, bool segmented);
  // Length of the clause that starts at text[0], as SplitSentences cuts it,
  // looking at no unit beyond text[length - 1]. -1 when the clause is not
  // closed within `length` units (more text could still extend it; at the
  // end of a line the rest is the last clause). A clause that is a piece of
  // a long run is known only once kMaxClauseUnits + 1 units are seen.
  // A clause that has reached the soft limit closes before an enumeration
  // comma (twice the limit: before a breaking symbol), and that unit opens
  // the next clause without closing it, even where it is a delimiter such as
  // "，": `ends_in_break` (when given) tells whether the clause ended so, and
  // the next call passes it as `opened_by_break`.
  static int32_t ClauseLength(const char16_t* text, int32_t length, bool segmented,
                              bool opened_by_break = false, bool* ends_in_break = nullptr);
  // Tags one clause into `nodes` (emptied first) and its bracketed rendering.
  // False when decoding finds no path ("error sent: CLAUSE" on standard error, one UTF-8 line).
  // A caller that passes the same `nodes` and `rendered` every time makes
  // a warm engine allocate nothing.
  bool TagSentence(const CUString& sentence, bool segmented, std::vector<NEWordNode>& nodes,
                   CUString& rendered);
  // Tags the clause of `length` units at `text` into the engine's own nodes
  // (Nodes()) and rendering (Rendered()); as TagSentence otherwise.
  bool TagClause(const char16_t* text, int32_t length, bool segmented);
  const std::vector<NEWordNode>& Nodes() const { return tagged_nodes_; }
  const CUString& Rendered() const { return rendered_; }
  // The line of a tagged file for one input line whose white space at both
  // ends is trimmed (not empty): each clause's rendering followed by a space,
  // no line feed. A clause that finds no path is left out (and counted in
  // FailedClauses()); the clauses after it are still tagged.
  void TagLine(const CUString& line, bool segmented, CUString& out);
  // GBK file to GBK file, one output line per non-empty input line (see
  // CTextLineReader for line ends, NUL bytes and invalid bytes). A clause that
  // cannot be decoded is named with its line on standard error and left out;
  // the other clauses and lines are still written. OUT appears only when it
  // is complete. False when IN cannot be read, OUT cannot be written, or a
  // clause was left out (FailedClauses() > 0).
  bool TagFile(const char* in_path, const char* out_path, bool segmented);
  // Clauses TagSentence could not decode since the last ResetFailedClauses.
  int32_t FailedClauses() const { return failed_clauses_; }
  void ResetFailedClauses() { failed_clauses_ = 0; }
  bool HasNEFlag2(const CUString& sentence);
  bool HasNEFlag1(const CUString& sentence);
  bool HasNEAnyFlag(const CUString& sentence);

  // Clause -> clause.nodes, and clause.text the words concatenated, then the
  // sentinel, as clause.training, .segmented and .separator say. Returns
  // clause.text.
  const CUString& PreSegment(const CUString& sentence, NEClause& clause);
  // Processed text: class words and "mdw" words become one placeholder unit.
  // Fills clause.words (the nodes feature extraction walks) and
  // clause.positions; clause.text becomes the processed text.
  void BuildProcessedText(NEClause& clause);
  // Labels (training: the corpus's; tagging: those pre-segmentation fixes,
  // 1 elsewhere) and class codes of the processed text.
  void InitLabels(NEClause& clause);

  // ---- features ----
  // clause.samples from clause.labels (history predicates and dropped
  // samples with clause.training), with the predicate groups of
  // FeatureGroups().
  bool ExtractFeatures(NEClause& clause);
  // The groups ExtractFeatures produces: those of SetFeatureGroups, else
  // those the loaded model holds predicates of (ModelFeatureGroups). Tagging
  // always produces the model's.
  NEFeatureGroups FeatureGroups();
  // Fixes the groups of ExtractFeatures and GenerateFeatureData (a training
  // corpus gets the groups asked for, whatever model is loaded).
  void SetFeatureGroups(const NEFeatureGroups& groups) {
    groups_ = groups;
    fixed_groups_ = true;
  }
  // Back to the loaded model's groups.
  void UseModelFeatureGroups() { fixed_groups_ = false; }

  // ---- assembly ----
  // Cuts the decoded path of clause.text (without its sentinel) into words
  // (into `nodes`) and renders the clause with organization merging into
  // `rendered`.
  void AssembleWords(const NEClause& clause, const NEPath& path, std::vector<NEWordNode>& nodes,
                     CUString& rendered);

  // ---- training data ----
  // Bracketed corpus -> outDir + "/ME_featuredata_tr.txt" and
  // outDir + "/charset_lableInfo_tr.txt".
  bool GenerateFeatureData(const char* corpus_path, int param, const char* out_dir);

  // Whether long runs (TagFile, GenerateFeatureData) print their
  // "processed %d sentences\r" progress to standard error; on by default.
  void SetProgress(bool on) { progress_ = on; }
  // Feature generation reports the bytes of the corpus read so far to `hook`
  // instead of writing its own progress lines.
  void SetProgressHook(ProgressHook hook) { progress_hook_ = std::move(hook); }

  // Resolves a word separator option (see ResolveWordSeparatorOption) into
  // this engine's separator and returns the segmented-input flag. The
  // separator belongs to the engine, so taggers sharing a resource set may
  // use different options at the same time. Option 0 keeps the separator.
  bool SetWordSeparatorOption(int option);
  char16_t WordSeparator() const { return separator_; }

  CNEResource* Resource() const { return resource_; }
  CNELattice& Lattice() { return lattice_; }

 private:
  void ParsePlainText(const char16_t* stretch, int32_t length, NEClause& clause);
  void AddToken(const char16_t* token, int32_t length, int32_t klass, NEClause& clause);

  CNEResource* resource_;
  CNELattice lattice_;
  char16_t separator_ = u' ';
  bool progress_ = true;
  ProgressHook progress_hook_;
  int32_t failed_clauses_ = 0;

  // The clause being tagged and the storage of its steps, reused from
  // clause to clause.
  NEClause clause_;
  NEAssembly assembly_;
  NEPredicateNames predicate_names_;
  NELexiconMarks lexicon_marks_;
  NEFeatureGroups groups_;
  bool fixed_groups_ = false;
  CUString sentence_;  // TagClause's clause
  CUString rendered_;  // TagClause's rendering
  std::vector<NEWordNode> tagged_nodes_;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_NE_ENGINE_H_
