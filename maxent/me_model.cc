#include "maxent/me_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <system_error>
#include <thread>

#include "maxent/me_large_table.h"
#include "maxent/me_model_impl.h"
#include "maxent/me_scores.h"
#include "text/diagnostics.h"

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
  return *impl_;
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
  const size_t begin = m.row_start[predicate];
  const size_t end = m.row_start[predicate + 1];
  if (end - begin >= m.dense_min && m.dense_valid) {
    AddDenseRow(m.dense_weight.data() + m.dense_row[static_cast<size_t>(predicate)],
                static_cast<size_t>(m.dense_width), scores);
    return;
  }
  const uint8_t* outcome = m.row_outcome.data();
  const double* weight = m.row_weight.data();
  for (size_t k = begin; k < end; ++k) scores[outcome[k]] += weight[k];
}

void CMEModel::PrefetchRowStart(int32_t predicate) const {
  const Impl& m = *impl_;
  if (predicate >= 0 && static_cast<size_t>(predicate) + 1 < m.row_start.size()) {
    __builtin_prefetch(&m.row_start[static_cast<size_t>(predicate)]);
  }
}

void CMEModel::PrefetchRow(int32_t predicate) const {
  const Impl& m = *impl_;
  if (predicate < 0 || static_cast<size_t>(predicate) + 1 >= m.row_start.size()) return;
  const size_t k = m.row_start[static_cast<size_t>(predicate)];
  if (m.row_start[static_cast<size_t>(predicate) + 1] - k >= m.dense_min && m.dense_valid) {
    const double* dense = m.dense_weight.data() + m.dense_row[static_cast<size_t>(predicate)];
    __builtin_prefetch(dense);
    __builtin_prefetch(dense + 8);
    return;
  }
  if (k >= m.row_weight.size()) return;
  __builtin_prefetch(&m.row_outcome[k]);
  __builtin_prefetch(&m.row_weight[k]);
  if (k + 8 < m.row_weight.size()) __builtin_prefetch(&m.row_weight[k + 8]);
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

int32_t CMEModel::ShortPredicateIndex(int32_t name, const char16_t* value, int32_t n) const {
  if (name < 0) return -1;
  return impl_->short_predicates.Find(ShortPredicateKey(name, value, n));
}

void CMEModel::PrefetchShortPredicate(int32_t name, const char16_t* value, int32_t n) const {
  if (name >= 0) impl_->short_predicates.Prefetch(ShortPredicateKey(name, value, n));
}

void CMEModel::AppendShortPredicates(const uint64_t* keys, int32_t count,
                                     std::vector<int32_t>& out) const {
  const Impl& m = *impl_;
  for (int32_t i = 0; i < count; ++i) m.short_predicates.Prefetch(keys[i]);
  const size_t rows = m.row_start.size();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t index = m.short_predicates.Find(keys[i]);
    if (index < 0) continue;
    if (static_cast<size_t>(index) + 1 < rows) {
      __builtin_prefetch(&m.row_start[static_cast<size_t>(index)]);
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

int32_t CMEModel::FindOutcome(const CUString& text) const {
  return impl_->outcomes.Find(text.View());
}

int32_t CMEModel::FindOutcome(const char16_t* text) const {
  if (text == nullptr) return -1;
  return impl_->outcomes.Find(std::u16string_view(text, static_cast<size_t>(UStrLen(text))));
}

int32_t CMEModel::PredicateCount() const { return impl_->predicates.Size(); }

int32_t CMEModel::FeatureCount() const { return static_cast<int32_t>(impl_->feature_keys.size()); }

void CMEModel::Impl::BuildRows(int32_t outcome_count) {
  // The short-predicate table reads only the vocabulary: it is built on a
  // second thread meanwhile (or afterwards, when no thread can be made).
  std::thread short_table;
  try {
    short_table = std::thread([this] { BuildShortPredicates(); });
  } catch (const std::system_error&) {
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
  const int32_t count = predicates.Size();
  short_predicates.Reset(static_cast<size_t>(count));
  // Keys of a group of predicates are computed and their slots fetched
  // before the first insertion, so that the cache misses overlap. Names come
  // in runs: the last one is compared before the name table is asked.
  constexpr int32_t kGroup = 32;
  uint64_t keys[kGroup];
  int32_t owners[kGroup];
  std::u16string_view last_name;
  int32_t last_index = -1;
  for (int32_t group = 0; group < count; group += kGroup) {
    const int32_t end = std::min(count, group + kGroup);
    int32_t n_keys = 0;
    for (int32_t p = group; p < end; ++p) {
      const std::u16string_view text = predicates.Text(p);
      const size_t equals = text.find(u'=');
      const size_t name_length = equals == std::u16string_view::npos ? text.size() : equals + 1;
      const size_t n = text.size() - name_length;
      if (n > 2) continue;
      const std::u16string_view name = text.substr(0, name_length);
      if (last_index < 0 || name != last_name) {
        last_index = short_names.Insert(name);
        last_name = name;
      }
      keys[n_keys] =
          ShortPredicateKey(last_index, text.data() + name_length, static_cast<int32_t>(n));
      owners[n_keys] = p;
      short_predicates.Prefetch(keys[n_keys]);
      ++n_keys;
    }
    for (int32_t k = 0; k < n_keys; ++k) short_predicates.Insert(keys[k], owners[k]);
  }
}

void CMEModel::Impl::BuildDenseRows(int32_t outcome_count) {
  dense_valid = false;
  dense_row.clear();
  dense_weight.clear();
  dense_width = outcome_count;
  // A dense row costs one addition per outcome, a sparse one a few
  // instructions per feature: worth it from about a third of the outcomes.
  const size_t width = outcome_count > 0 ? static_cast<size_t>(outcome_count) : 0;
  dense_min = std::max<size_t>(4, (width + 2) / 3);
  if (width == 0 || row_start.empty()) return;
  const size_t predicate_count = row_start.size() - 1;
  size_t dense_count = 0;
  for (size_t p = 0; p < predicate_count; ++p) {
    if (row_start[p + 1] - row_start[p] >= dense_min) ++dense_count;
  }
  dense_row.assign(predicate_count, 0);
  dense_weight.assign(dense_count * width, 0.0);
  size_t next = 0;
  for (size_t p = 0; p < predicate_count; ++p) {
    if (row_start[p + 1] - row_start[p] < dense_min) continue;
    dense_row[p] = static_cast<uint32_t>(next);
    for (size_t k = row_start[p]; k < row_start[p + 1]; ++k) {
      dense_weight[next + row_outcome[k]] = row_weight[k];
    }
    next += width;
  }
  dense_valid = true;
}

void CMEModel::Impl::RefreshRowWeights() {
  dense_valid = false;
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
