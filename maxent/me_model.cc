#include "maxent/me_model.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <system_error>
#include <thread>

#include "maxent/me_model_impl.h"
#include "maxent/me_scores.h"
#include "text/diagnostics.h"
#include "text/large_table.h"

namespace verrin {

CMEModel::CMEModel() : impl_(new Impl()) {}

CMEModel::~CMEModel() { delete impl_; }

int32_t CMEModel::PredicateIndex(const CUString& text) const {
  return impl_->predicates.Find(text.View());
}

int32_t CMEModel::PredicateIndex(const char16_t* text, int32_t length) const {
  if (text == nullptr) return -1;
  if (length < 0) length = UStrLen(text);
  return impl_->predicates.Find(std::u16string_view(text, static_cast<size_t>(length)));
}

CMEModel::Impl& CMEModel::Internals() {
  impl_->dense_valid = false;
  impl_->TouchRows();
  return *impl_;
}

uint64_t CMEModel::RowsVersion() const { return impl_->rows_version; }

void CMEModel::Impl::TouchRows() {
  // One sequence for every model of the process: a model loaded where
  // another was never repeats its version.
  static std::atomic<uint64_t> last{0};
  rows_version = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {

// scores[o] += dense[o] for o < n: each score gets the same single addition
// as from the sparse row, or + 0.
void AddDenseRow(const double* dense, size_t n, double* scores) {
  size_t o = 0;
#ifdef __SSE2__
  if (n == 16) {  // the shipped models' outcome count, unrolled
#pragma GCC unroll 8
    for (int i = 0; i < 16; i += 2) {
      _mm_storeu_pd(scores + i, _mm_add_pd(_mm_loadu_pd(scores + i), _mm_loadu_pd(dense + i)));
    }
    return;
  }
  for (; o + 2 <= n; o += 2) {
    _mm_storeu_pd(scores + o, _mm_add_pd(_mm_loadu_pd(scores + o), _mm_loadu_pd(dense + o)));
  }
#endif
  for (; o < n; ++o) scores[o] += dense[o];
}

}  // namespace

void CMEModel::AddPredicateScores(int32_t predicate, double* scores) const {
  const Impl& m = *impl_;
  // Predicates added by AddEvent after the rows were built have no features yet.
  if (predicate < 0 || static_cast<size_t>(predicate) + 1 >= m.row_start.size()) return;
  if (m.dense_valid) {
    const Impl::ScoreRow& row = m.score_rows[static_cast<size_t>(predicate)];
    if (row.count == 1) {
      scores[row.where] += row.weight;
    } else if (row.count == Impl::kDenseRow) {
      AddDenseRow(m.dense_weight.data() + row.where, static_cast<size_t>(m.dense_width), scores);
    } else {
      const uint8_t* outcome = m.row_outcome.data();
      const double* weight = m.row_weight.data();
      const size_t end = static_cast<size_t>(row.where) + row.count;
      for (size_t k = row.where; k < end; ++k) scores[outcome[k]] += weight[k];
    }
    return;
  }
  const uint8_t* outcome = m.row_outcome.data();
  const double* weight = m.row_weight.data();
  const size_t end = m.row_start[predicate + 1];
  for (size_t k = m.row_start[predicate]; k < end; ++k) scores[outcome[k]] += weight[k];
}

void CMEModel::PrefetchRowStarts(const int32_t* predicates, size_t count) const {
  const Impl& m = *impl_;
  const Impl::ScoreRow* rows = m.score_rows.data();
  const size_t size = m.score_rows.size();
  for (size_t i = 0; i < count; ++i) {
    const size_t predicate = static_cast<size_t>(static_cast<uint32_t>(predicates[i]));
    if (predicate < size) __builtin_prefetch(rows + predicate);
  }
}

namespace {

// Fetches the lines of bytes [first, last] (at most two).
inline void PrefetchSpan(const void* first, const void* last) {
  __builtin_prefetch(first);
  if (((reinterpret_cast<uintptr_t>(first) ^ reinterpret_cast<uintptr_t>(last)) & ~uintptr_t{63}) !=
      0) {
    __builtin_prefetch(last);
  }
}

}  // namespace

void CMEModel::PrefetchRow(int32_t predicate) const {
  const Impl& m = *impl_;
  if (predicate < 0 || static_cast<size_t>(predicate) + 1 >= m.row_start.size()) return;
  if (!m.dense_valid) {
    const size_t begin = m.row_start[static_cast<size_t>(predicate)];
    const size_t end = m.row_start[static_cast<size_t>(predicate) + 1];
    if (begin >= end || end > m.row_weight.size()) return;
    PrefetchSpan(m.row_weight.data() + begin, m.row_weight.data() + end - 1);
    PrefetchSpan(m.row_outcome.data() + begin, m.row_outcome.data() + end - 1);
    return;
  }
  const Impl::ScoreRow& row = m.score_rows[static_cast<size_t>(predicate)];
  if (row.count <= 1) return;  // the weight is in the record
  if (row.count == Impl::kDenseRow) {
    // A dense row starts on a line: one fetch per eight weights.
    const double* dense = m.dense_weight.data() + row.where;
    for (int32_t o = 0; o < m.dense_width; o += 8) __builtin_prefetch(dense + o);
    return;
  }
  const size_t begin = row.where;
  const size_t last = begin + row.count - 1;
  PrefetchSpan(m.row_weight.data() + begin, m.row_weight.data() + last);
  PrefetchSpan(m.row_outcome.data() + begin, m.row_outcome.data() + last);
}

int32_t CMEModel::ScoresToProbabilities(double* scores) const {
  const int32_t n = outcome_count_;
  if (n <= 0) return 0;
  return static_cast<int32_t>(SoftmaxInPlace(scores, static_cast<size_t>(n)));
}

double CMEModel::ScoresToTerms(double* scores) const {
  const int32_t n = outcome_count_;
  if (n <= 0) return 0.0;
  return SoftmaxTerms(scores, static_cast<size_t>(n));
}

int32_t CMEModel::ShortPredicateName(std::u16string_view name) const {
  return impl_->short_names.Find(name);
}

bool CMEModel::HasPredicateName(std::u16string_view name) const {
  return impl_->short_names.Find(name) >= 0 || impl_->long_names.Find(name) >= 0;
}

int32_t CMEModel::ShortPredicateIndex(int32_t name, const char16_t* value, int32_t n) const {
  if (name < 0) return -1;
  return impl_->FindShortPredicate(ShortPredicateKey(name, value, n));
}

void CMEModel::PrefetchShortPredicate(int32_t name, const char16_t* value, int32_t n) const {
  if (name >= 0) impl_->PrefetchShortPredicate(ShortPredicateKey(name, value, n));
}

const CShortValueTable& CMEModel::ShortValues() const { return impl_->short_values; }

void CMEModel::AppendShortPredicates(const uint64_t* keys, int32_t count,
                                     std::vector<int32_t>& out) const {
  const Impl& m = *impl_;
  for (int32_t i = 0; i < count; ++i) m.PrefetchShortPredicate(keys[i]);
  const size_t rows = m.score_rows.size();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t index = m.FindShortPredicate(keys[i]);
    if (index < 0) continue;
    if (static_cast<size_t>(index) < rows) {
      __builtin_prefetch(&m.score_rows[static_cast<size_t>(index)]);
    }
    out.push_back(index);
  }
}

int32_t CMEModel::Eval(const CMESample& sample, std::vector<double>& probs) const {
  probs.assign(static_cast<size_t>(outcome_count_), 0.0);
  if (outcome_count_ <= 0) return 0;
  for (const CUString& predicate : sample.predicates) {
    const int32_t index = PredicateIndex(predicate);
    if (index >= 0) AddPredicateScores(index, probs.data());
  }
  return ScoresToProbabilities(probs.data());
}

std::vector<double> CMEModel::Predict(CMESample& sample) const {
  std::vector<double> probs;
  const int32_t best = Eval(sample, probs);
  if (outcome_count_ > 0) sample.label = GetOutcome(best);
  return probs;
}

CUString CMEModel::GetOutcome(int32_t index) const {
  const CTextIndex& outcomes = impl_->outcomes;
  if (index < 0 || index >= outcomes.Size()) return CUString();
  const std::u16string_view text = outcomes.Text(index);
  return CUString(text.data(), static_cast<int32_t>(text.size()));
}

int64_t CMEModel::OutcomeLine(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= impl_->outcome_lines.size()) return 0;
  return impl_->outcome_lines[static_cast<size_t>(index)];
}

int32_t CMEModel::FindOutcome(const CUString& text) const {
  return impl_->outcomes.Find(text.View());
}

int32_t CMEModel::FindOutcome(const char16_t* text) const {
  if (text == nullptr) return -1;
  return impl_->outcomes.Find(std::u16string_view(text, static_cast<size_t>(UStrLen(text))));
}

int32_t CMEModel::PredicateCount() const { return impl_->predicates.Size(); }

int32_t CMEModel::FeatureCount() const { return static_cast<int32_t>(impl_->feature_keys.size()); }

int32_t CMEModel::WrittenFeatureCount() const {
  int32_t written = 0;
  for (double weight : impl_->weights) written += weight != 0.0;
  return written;
}

bool CMEModel::CheckWeightsLeft(double min_magnitude, std::string* error) const {
  if (WrittenFeatureCount() > 0) return true;
  char text[160];
  std::snprintf(text, sizeof text,
                "every weight lies within %g of 0: the model would hold no features (take a "
                "smaller prune)",
                min_magnitude);
  *error = text;
  return false;
}

void CMEModel::Impl::BuildRows(int32_t outcome_count) {
  // The short-predicate table reads only the vocabulary: it is built on a
  // second thread meanwhile (or afterwards, when no thread can be made, or
  // when the model is so small that starting a thread costs more).
  constexpr int32_t kThreadFromPredicates = 4096;
  std::thread short_table;
  if (predicates.Size() >= kThreadFromPredicates) {
    try {
      short_table = std::thread([this] { BuildShortPredicates(); });
    } catch (const std::system_error&) {
    }
  }
  struct Join {
    std::thread* thread;
    ~Join() {
      if (thread->joinable()) thread->join();
    }
  } join{&short_table};
  const size_t predicate_count = static_cast<size_t>(predicates.Size());
  const size_t feature_count = feature_keys.size();
  // Counting sort by outcome, then a stable one by predicate: each row comes
  // out ordered by outcome.
  size_t per_outcome[kMaxOutcomes + 1] = {};
  row_start.assign(predicate_count + 1, 0);
  for (size_t f = 0; f < feature_count; ++f) {
    const int32_t key = feature_keys[f];
    const int32_t outcome = KeyOutcome(key);
    const size_t predicate = static_cast<size_t>(KeyPredicate(key));
    if (outcome >= outcome_count || predicate >= predicate_count) continue;
    ++per_outcome[outcome + 1];
    ++row_start[predicate + 1];
  }
  for (int32_t o = 0; o < kMaxOutcomes; ++o) per_outcome[o + 1] += per_outcome[o];
  for (size_t p = 0; p < predicate_count; ++p) row_start[p + 1] += row_start[p];
  const size_t used = row_start[predicate_count];
  CLargeTable<int32_t> by_outcome(used);
  for (size_t f = 0; f < feature_count; ++f) {
    const int32_t key = feature_keys[f];
    const int32_t outcome = KeyOutcome(key);
    if (outcome >= outcome_count || static_cast<size_t>(KeyPredicate(key)) >= predicate_count) {
      continue;
    }
    by_outcome[per_outcome[outcome]++] = static_cast<int32_t>(f);
  }
  ReserveForRandomReads(row_outcome, used);
  row_outcome.resize(used);
  row_feature.resize(used);
  CLargeTable<size_t> next(row_start.begin(), row_start.end() - 1);
  for (int32_t f : by_outcome) {
    const int32_t key = feature_keys[static_cast<size_t>(f)];
    const size_t k = next[static_cast<size_t>(KeyPredicate(key))]++;
    row_outcome[k] = static_cast<uint8_t>(KeyOutcome(key));
    row_feature[k] = f;
  }
  row_weight.resize(used);
  RefreshRowWeights();
  BuildDenseRows(outcome_count);
  if (short_table.joinable()) {
    short_table.join();
  } else {
    BuildShortPredicates();
  }
}

void CMEModel::Impl::BuildShortPredicates() {
  short_names.Clear();
  long_names.Clear();
  const int32_t count = predicates.Size();
  // Per predicate: -1 when its value is longer than two units, otherwise
  // name index * 8 + units * 2 + 1 when the value can be kept by value
  // (one or two units, no NUL), + 0 when not. Names come in runs: the last
  // one is compared before the name table is asked.
  std::vector<int32_t> shapes(static_cast<size_t>(count), -1);
  std::u16string_view last_name, last_long_name;
  int32_t last_index = -1;
  for (int32_t p = 0; p < count; ++p) {
    const std::u16string_view text = predicates.Text(p);
    const size_t equals = text.find(u'=');
    const size_t name_length = equals == std::u16string_view::npos ? text.size() : equals + 1;
    const size_t n = text.size() - name_length;
    const std::u16string_view name = text.substr(0, name_length);
    if (n > 2) {
      if (long_names.Size() == 0 || name != last_long_name) {
        long_names.Insert(name);
        last_long_name = name;
      }
      continue;
    }
    if (last_index < 0 || name != last_name) {
      last_index = short_names.Insert(name);
      last_name = name;
    }
    const bool by_value = n > 0 && text.find(u'\0', name_length) == std::u16string_view::npos;
    shapes[static_cast<size_t>(p)] =
        last_index * 8 + static_cast<int32_t>(n) * 2 + (by_value ? 1 : 0);
  }
  // The names with the most values of one unit (of two units) get the slots
  // of the value records, ties to the lower name index.
  const size_t names = static_cast<size_t>(short_names.Size());
  std::vector<size_t> per_name[2];
  per_name[0].assign(names, 0);
  per_name[1].assign(names, 0);
  for (int32_t shape : shapes) {
    if (shape >= 0 && (shape & 1) != 0)
      ++per_name[(shape & 7) / 2 - 1][static_cast<size_t>(shape / 8)];
  }
  short_values.Reset(names, 0);
  size_t pair_predicates = 0;
  std::vector<int32_t> order(names);
  // The one-unit records take 2 MB whatever they hold: a model with fewer
  // such predicates than this keeps them by key (same look-ups, no table).
  constexpr size_t kUnitTableFrom = 64;
  size_t unit_predicates = 0;
  for (size_t count : per_name[0]) unit_predicates += count;
  for (int units = 0; units < 2; ++units) {
    if (units == 0 && unit_predicates < kUnitTableFrom) continue;
    const std::vector<size_t>& counts = per_name[units];
    for (size_t i = 0; i < names; ++i) order[i] = static_cast<int32_t>(i);
    // Most predicates first, ties in name order (std::sort with the index
    // as tie-break: std::stable_sort's temporary buffer trips ASan's
    // new/free check in libstdc++ 12).
    std::sort(order.begin(), order.end(), [&counts](int32_t a, int32_t b) {
      const size_t ca = counts[static_cast<size_t>(a)];
      const size_t cb = counts[static_cast<size_t>(b)];
      return ca != cb ? ca > cb : a < b;
    });
    for (int32_t name : order) {
      const size_t c = counts[static_cast<size_t>(name)];
      if (c == 0) break;
      const int32_t slot =
          units == 0 ? short_values.ClaimUnitSlot(name) : short_values.ClaimPairSlot(name);
      if (slot < 0) break;
      if (units == 1) pair_predicates += c;
    }
  }
  // Most pairs are the value of more than one name.
  short_values.ReservePairs(pair_predicates / 2);
  // A predicate is kept by value when its name has a slot for its length,
  // otherwise by its key.
  const auto by_value = [this](int32_t shape) {
    if (shape < 0 || (shape & 1) == 0) return false;
    const int32_t name = shape / 8;
    return (shape & 7) / 2 == 1 ? short_values.UnitSlot(name) >= 0
                                : short_values.PairSlot(name) >= 0;
  };
  size_t by_key = 0;
  for (int32_t shape : shapes) {
    if (shape >= 0 && !by_value(shape)) ++by_key;
  }
  short_predicates.Reset(by_key);
  // The record of a pair a few predicates on is fetched before it is needed.
  constexpr int32_t kAhead = 16;
  for (int32_t p = 0; p < count; ++p) {
    if (p + kAhead < count) {
      const int32_t shape = shapes[static_cast<size_t>(p + kAhead)];
      if (shape >= 0 && (shape & 7) == 5) {
        const std::u16string_view text = predicates.Text(p + kAhead);
        short_values.PrefetchPair(text[text.size() - 2], text.back());
      }
    }
    const int32_t shape = shapes[static_cast<size_t>(p)];
    if (shape < 0) continue;
    const std::u16string_view text = predicates.Text(p);
    const int32_t name = shape / 8;
    const int32_t n = (shape & 7) / 2;
    if (!by_value(shape)) {
      short_predicates.Insert(
          ShortPredicateKey(name, text.data() + text.size() - static_cast<size_t>(n), n), p);
    } else if (n == 1) {
      short_values.AddUnit(name, text.back(), p);
    } else {
      short_values.AddPair(name, text[text.size() - 2], text.back(), p);
    }
  }
}

int32_t CMEModel::Impl::FindShortPredicate(uint64_t key) const {
  const int32_t name = static_cast<int32_t>(key >> 34);
  const int32_t n = static_cast<int32_t>((key >> 32) & 3);
  const char16_t first = static_cast<char16_t>(key >> 16);
  const char16_t second = static_cast<char16_t>(key);
  if (n == 1 && first != 0) {
    const int32_t slot = short_values.UnitSlot(name);
    if (slot >= 0) return short_values.Unit(first)[slot];
  } else if (n == 2 && first != 0 && second != 0) {
    const int32_t slot = short_values.PairSlot(name);
    if (slot >= 0) return short_values.Pair(first, second)[slot];
  }
  return short_predicates.Find(key);
}

void CMEModel::Impl::PrefetchShortPredicate(uint64_t key) const {
  const int32_t n = static_cast<int32_t>((key >> 32) & 3);
  const char16_t first = static_cast<char16_t>(key >> 16);
  const char16_t second = static_cast<char16_t>(key);
  if (n == 2 && first != 0 && second != 0 &&
      short_values.PairSlot(static_cast<int32_t>(key >> 34)) >= 0) {
    short_values.PrefetchPair(first, second);
  } else {
    short_predicates.Prefetch(key);
  }
}

void CMEModel::Impl::BuildDenseRows(int32_t outcome_count) {
  dense_valid = false;
  score_rows.clear();
  dense_weight.clear();
  dense_width = outcome_count;
  // A dense row costs one addition per outcome, a sparse one a few
  // instructions per feature: worth it from about a third of the outcomes.
  const size_t width = outcome_count > 0 ? static_cast<size_t>(outcome_count) : 0;
  dense_min = std::max<size_t>(4, (width + 2) / 3);
  if (width == 0 || row_start.empty()) return;
  const size_t predicate_count = row_start.size() - 1;
  // The record's `where` holds positions of the row arrays.
  if (row_start[predicate_count] > Impl::kDenseRow) return;
  size_t dense_count = 0;
  for (size_t p = 0; p < predicate_count; ++p) {
    if (row_start[p + 1] - row_start[p] >= dense_min) ++dense_count;
  }
  // The dense rows start on a cache line (of 64 bytes), so that a row of up
  // to eight weights is one line and the shipped models' rows of 16 are two.
  const size_t stride = (width + 7) / 8 * 8;
  if (dense_count * stride + 8 > Impl::kDenseRow) return;
  ReserveForRandomReads(dense_weight, dense_count * stride + 8);
  dense_weight.assign(dense_count * stride + 8, 0.0);
  size_t next = (64 - reinterpret_cast<uintptr_t>(dense_weight.data()) % 64) % 64 / sizeof(double);
  score_rows.resize(predicate_count);
  for (size_t p = 0; p < predicate_count; ++p) {
    const size_t begin = row_start[p];
    const size_t count = row_start[p + 1] - begin;
    ScoreRow& row = score_rows[p];
    if (count == 1) {
      row = ScoreRow{row_weight[begin], row_outcome[begin], 1};
    } else if (count < dense_min) {
      row = ScoreRow{0.0, static_cast<uint32_t>(begin), static_cast<uint32_t>(count)};
    } else {
      row = ScoreRow{0.0, static_cast<uint32_t>(next), kDenseRow};
      for (size_t k = begin; k < begin + count; ++k) {
        dense_weight[next + row_outcome[k]] = row_weight[k];
      }
      next += stride;
    }
  }
  dense_valid = true;
}

void CMEModel::Impl::RefreshRowWeights() {
  dense_valid = false;
  TouchRows();
  const size_t n = row_feature.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t f = static_cast<size_t>(row_feature[k]);
    row_weight[k] = f < weights.size() ? weights[f] : 0.0;
  }
}

CKeyIndex& CMEModel::Impl::FeatureIndex() {
  if (!feature_index_valid) {
    feature_index.Clear();
    feature_index.Reserve(feature_keys.size());
    bool inserted = false;
    for (size_t f = 0; f < feature_keys.size(); ++f) {
      feature_index.Insert(feature_keys[f], static_cast<int32_t>(f), &inserted);
    }
    feature_index_valid = true;
  }
  return feature_index;
}

void CMEModel::Impl::CheckCapacity(int32_t outcome, int32_t predicate) {
  if (capacity_warned || (outcome < kMaxOutcomes && predicate < kMaxPredicates)) return;
  capacity_warned = true;
  DiagnoseFormat(
      "warning: more than %d outcomes or %d predicates; the features of the model "
      "collide from here on\n",
      kMaxOutcomes, kMaxPredicates);
}

}  // namespace verrin
