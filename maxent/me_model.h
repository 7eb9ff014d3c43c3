// CMEModel: a conditional maximum-entropy model over string predicates.
//
// Feature key = outcome index + 256 * predicate index (at most 256 outcomes
// and 2^23 predicates; beyond that keys collide and a warning is given).
// p(o | sample) = exp(score(o)) / Z with score(o) the sum, in sample order, of
// the weights of (o, p) for every known predicate p of the sample; Z sums the
// exps in outcome order. Outcome, predicate and feature indices are dense from
// 0 in order of first insertion.
//
// Classification only reads the model: Eval, Predict and the fast path may
// run concurrently with each other, never with Load, LoadTable or training.
#ifndef VERRIN_MAXENT_ME_MODEL_H_
#define VERRIN_MAXENT_ME_MODEL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "maxent/me_sample.h"
#include "maxent/me_vocabulary.h"
#include "text/ustring.h"

namespace verrin {

// A model entry of an in-memory table; the table ends at outcome "///".
struct MEModelEntry {
  const char16_t* outcome;
  const char16_t* predicate;
  double weight;
};

class CMEModelPrefetch;

class CMEModel {
 public:
  CMEModel();
  ~CMEModel();
  CMEModel(const CMEModel&) = delete;
  CMEModel& operator=(const CMEModel&) = delete;

  // ---- classification ----
  // Fills `probs` with one probability per outcome; returns the best index
  // (ties to the lowest). An empty model returns 0 with an empty vector.
  // Scores above 700 are shifted down before exp so that nothing overflows;
  // when every exp underflows to 0 the scores are taken relative to their
  // maximum. Neither changes the result of any other sample.
  int32_t Eval(const CMESample& sample, std::vector<double>& probs) const;
  // Eval, then sample.label = the best outcome's text; returns the
  // probabilities. An empty model leaves the label as it is.
  std::vector<double> Predict(CMESample& sample) const;
  // A copy of the outcome text; empty when the index is not below the outcome count.
  CUString GetOutcome(int32_t index) const;
  // The line of the model file that named outcome `index` first; 0 when the
  // model was not loaded from a file (or index is out of range).
  int64_t OutcomeLine(int32_t index) const;
  int32_t FindOutcome(const CUString& text) const;
  int32_t FindOutcome(const char16_t* text) const;
  int32_t OutcomeCount() const { return outcome_count_; }

  // ---- fast path with the same bits as Eval ----
  // Predicate index of a text, -1 when unknown.
  int32_t PredicateIndex(const CUString& text) const;
  int32_t PredicateIndex(const char16_t* text, int32_t length) const;
  // scores[o] += weight(o, predicate) for every feature of the predicate, in
  // the order Eval adds them. `scores` holds OutcomeCount() doubles. A row
  // of many features may also add 0 to the other outcomes' scores, which
  // changes nothing but a score of -0 into +0 (scores that start at +0, as
  // Eval's do, never become -0).
  void AddPredicateScores(int32_t predicate, double* scores) const;
  // Start fetching what AddPredicateScores(predicate, ...) reads: first the
  // row's position of each of `count` predicates (negative ones are passed
  // over), later (once that has arrived) the row itself.
  void PrefetchRowStarts(const int32_t* predicates, size_t count) const;
  void PrefetchRow(int32_t predicate) const;
  // Turns scores into probabilities exactly as Eval does (in place); returns
  // the best index.
  int32_t ScoresToProbabilities(double* scores) const;
  // The first half of ScoresToProbabilities: scores become the terms of the
  // normaliser (in place), which is returned; term / normaliser is then the
  // probability ScoresToProbabilities gives, bit for bit.
  double ScoresToTerms(double* scores) const;

  // ---- predicates by name and short value ----
  // A predicate text is a name (up to and including its first '=', or the
  // whole text when it has none) and a value. A predicate whose value holds
  // at most two units is also found from the name's index and the value,
  // without building the text.
  // Index of a name with at least one such predicate, -1 otherwise.
  int32_t ShortPredicateName(std::u16string_view name) const;
  // Whether any predicate has this name, whatever the length of its value.
  bool HasPredicateName(std::u16string_view name) const;
  // PredicateIndex(name + value) for a name of ShortPredicateName and a value
  // of n <= 2 units (-1 when unknown, as for a name of -1).
  int32_t ShortPredicateIndex(int32_t name, const char16_t* value, int32_t n) const;
  // Starts fetching what ShortPredicateIndex(name, value, n) will read.
  void PrefetchShortPredicate(int32_t name, const char16_t* value, int32_t n) const;
  // The exact key of a name (>= 0) and a value of n <= 2 units, `first` and
  // `second` (0 beyond n).
  static uint64_t ShortKey(int32_t name, char16_t first, char16_t second, int32_t n) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(name)) << 34) |
           (static_cast<uint64_t>(n) << 32) | (static_cast<uint64_t>(first) << 16) | second;
  }
  // The predicates of one- and two-unit values by value: for a name of
  // ShortPredicateName with a slot there and a value without NUL, the
  // record's entry of that slot is ShortPredicateIndex(name, value, n).
  const CShortValueTable& ShortValues() const;
  // ShortPredicateIndex of each of `count` keys of ShortKey, in order, appended
  // to `out`, unknown ones left out. The look-ups overlap, and the rows of the
  // predicates found start to be fetched.
  void AppendShortPredicates(const uint64_t* keys, int32_t count, std::vector<int32_t>& out) const;

  // ---- model files ----
  // Replaces vocabularies, features and weights with the entries of a GBK
  // text file ("outcome TAB predicate TAB weight" per line; the predicate runs
  // from the first to the last tab). With `protected_form` the file read is
  // the DES-protected twin whose path has the last "txt" replaced by "des".
  // A protected path without "txt" is read as it is. False (message
  // "error: cannot open PATH !" on standard error, then the file opened and
  // the reason; model emptied, outcome count 0) when the file cannot be
  // opened, and "error: cannot read PATH !" when reading it fails. A pair
  // that repeats gets the weight of its later line (a warning names the
  // line). Every other line that cannot be read fails the load with
  // "error: model file PATH, line N: ..." and empties the model: a line
  // without two tabs, a weight that is not a whole finite number ("abc", "nan", "inf", "1e999",
  // "0.5x"), bytes that are not valid GBK or a NUL byte, a last line without its line feed (the
  // file was cut short). So does a file without a single feature, and a protected file whose size
  // is not a multiple of 512 bytes or whose text goes on after its zero padding. The path is a byte
  // string handed to the operating system unchanged.
  bool Load(const std::string& path, bool protected_form);
  // The same with the plain file read ahead by `prefetch` when it was made
  // for `path` (null: read here).
  bool Load(const std::string& path, bool protected_form, CMEModelPrefetch* prefetch);
  // Same as the protected branch of Load, on bytes already deciphered;
  // `source` names them in messages.
  bool LoadDeciphered(const std::vector<unsigned char>& bytes,
                      const std::string& source = "(protected model)");
  // Writes outcomes in code-unit order, within each its predicates in
  // code-unit order, one "%S\t%S\t%f\n" line per non-zero weight (GBK).
  // False with "error: cannot open PATH!" when the file cannot be created.
  bool Save(const std::string& path) const;
  // Adds the entries of a table ending at outcome "///" (any case) to the
  // vocabularies and the feature table. Weights start again from 0 for every
  // feature already known; each entry sets its feature's weight (a repeated
  // pair keeps the later weight). Always true.
  bool LoadTable(const MEModelEntry* entries);
  // Sets every weight whose magnitude is below `min_magnitude` to 0, so that
  // Save leaves its feature out; returns how many features that zeroed.
  int32_t ZeroSmallWeights(double min_magnitude);
  // After ZeroSmallWeights(min_magnitude): false with `error` set when no
  // weight is left to write, which would make a model no loader takes.
  bool CheckWeightsLeft(double min_magnitude, std::string* error) const;
  // Every feature, zero weights included, in the order Save writes them.
  void ExportEntries(std::vector<std::pair<std::pair<CUString, CUString>, double>>& out) const;

  // ---- training ----
  // Indexes the sample (new outcomes and predicates are added to the
  // vocabularies) and queues it for Train.
  void AddEvent(const CMESample& sample);
  void ClearEvents();
  int TrainEvents(const std::vector<CMESample>& samples, int cutoff, double sigma,
                  double width_factor);
  // Splits the queued events (the last heldout_count of them are held out),
  // builds the features seen at least `cutoff` times (every one for
  // cutoff <= 0), and fits the weights with BLMVM (or AGIS), with a Gaussian
  // prior when sigma > 0 or the inequality model when width_factor > 0.
  // 1 on success, 0 when the held-out count leaves no training event.
  // Progress and statistics go to standard error. Training samples, features
  // and vocabularies accumulate: train a fresh model.
  int Train(int cutoff, double sigma, double width_factor);
  // AGIS in place of BLMVM for the estimation step of Train.
  void SetUseAgis(bool use_agis) { use_agis_ = use_agis; }

  // Training settings (plain fields, default 0).
  int32_t heldout_count = 0;
  int32_t early_stop_window = 0;
  double sigma = 0.0;

  // Sizes, for statistics.
  int32_t PendingEventCount() const;  // events queued for Train
  int32_t PredicateCount() const;
  int32_t FeatureCount() const;
  int32_t WrittenFeatureCount() const;  // those of non-zero weight, which Save writes

  // ---- training steps (the driver, the optimizers and tests call these) ----
  // Train up to the zeroed weights (messages included): split, preparation,
  // empirical expectations. Returns the largest predicate count of a training
  // sample, or -1 when the held-out count leaves no training event.
  int32_t PrepareTraining(int cutoff, double sigma, double width_factor);
  int32_t PrepareEstimation(int cutoff);
  // Penalised mean log-likelihood of the training samples at the current
  // weights; refreshes the model expectations and the training error.
  double ComputeLogLikelihood();
  // Mean log-likelihood of the held-out samples; refreshes the held-out error.
  // A held-out sample whose outcome no training sample had counts as wrong
  // with probability 1e-15.
  double HeldoutLogLikelihood();
  void EstimateLMVM();
  // Stops after kAgisMaxRefusals refused iterations in a row, keeping the
  // weights of the last accepted iteration. Returns 0.
  int EstimateAGIS(int32_t C);
  static constexpr int kAgisMaxRefusals = 50;
  // Objective -L and its gradient at x (n = F, or 2F for the inequality model).
  int ComputeFunctionGradient(const double* x, int n, double* f, double* g);
  void ComputeBounds(double* lo, double* hi, int n) const;
  double TrainingError() const;
  double HeldoutError() const;
  bool HasHeldout() const;
  std::vector<double>& HeldoutHistory();
  const std::vector<double>& Weights() const;

  // Changes, to a value no model of the process had before, whenever the
  // rows' weights may have changed: when they are built or refreshed from
  // the feature weights, and at every call of the non-const Internals().
  // Whoever keeps tables made from the weights compares it.
  uint64_t RowsVersion() const;

  struct Impl;  // storage details live in maxent/me_model_impl.h
  const Impl& Internals() const { return *impl_; }
  // Whoever may write the rows through this loses the model's dense copies
  // of them (the rows are then read as they are).
  Impl& Internals();

 private:
  // Adds one "outcome TAB predicate TAB weight" line. A line that cannot be
  // read (see Load) sets `error`; once `error` is set, lines are ignored.
  void ParseEntry(const char16_t* line, int32_t length, int64_t line_number,
                  const std::string& source, int32_t* warnings, std::string* error);

 public:
  // What ParseEntry reads from a line before it touches the model: where its
  // tabs are and, when asked for, its weight. Any thread may scan lines.
  struct LineFields {
    bool blank = false;           // nothing but blanks
    int32_t first = -1;           // first tab, -1: none
    int32_t last = -1;            // last tab
    bool weight_scanned = false;  // the two below are set
    bool weight_read = false;     // the weight after `last` is a finite number
    double weight = 0.0;
    uint64_t predicate_hash = 0;  // CTextIndex::Hash of the predicate, when first < last
    int32_t bad_unit = -1;        // first NUL or U+FFFD (bytes not valid GBK), -1: none
  };
  static void ScanLine(const char16_t* line, int32_t length, bool weight, LineFields* fields);

 private:
  // ParseEntry with the line already scanned.
  void AddEntry(const char16_t* line, int32_t length, const LineFields& fields, int64_t line_number,
                const std::string& source, int32_t* warnings, std::string* error);
  void FinishLoad();

  int32_t outcome_count_ = 0;
  bool use_agis_ = false;
  Impl* impl_;
};

// A plain model file opened, read and decoded on a thread of its own from
// construction on, so that the work overlaps what the caller does before the
// CMEModel::Load it is handed to. It reports nothing: a file that cannot be
// opened or read is reported by that Load, exactly as without it.
class CMEModelPrefetch {
 public:
  explicit CMEModelPrefetch(const std::string& path);
  ~CMEModelPrefetch();  // stops reading
  CMEModelPrefetch(const CMEModelPrefetch&) = delete;
  CMEModelPrefetch& operator=(const CMEModelPrefetch&) = delete;

  struct Reader;

 private:
  friend class CMEModel;
  std::string path_;
  std::unique_ptr<Reader> reader_;  // null: the file did not open
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_MODEL_H_
