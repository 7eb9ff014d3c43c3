// Training driver: events, held-out split, feature preparation, likelihood,
// and the objective that the BLMVM optimizer minimises.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "maxent/blmvm.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent/me_scores.h"
#include "text/diagnostics.h"

namespace verrin {
namespace {

// Log-probability charged to a held-out sample whose outcome the training
// samples never had (it has no probability at all in the model).
constexpr double kUnseenOutcomeProbability = 1e-15;

// Forwards the optimizer's callbacks to the model.
class CModelObjective : public CBLMVMObjective {
 public:
  explicit CModelObjective(CMEModel& model) : model_(model) {}
  int ComputeFunctionGradient(const double* x, int n, double* f, double* g) override {
    return model_.ComputeFunctionGradient(x, n, f, g);
  }
  void ComputeBounds(double* lo, double* hi, int n) override { model_.ComputeBounds(lo, hi, n); }
  bool HasHeldout() const override { return model_.HasHeldout(); }
  double HeldoutLogLikelihood() override { return model_.HeldoutLogLikelihood(); }
  double TrainingError() const override { return model_.TrainingError(); }
  int EarlyStopWindow() const override { return model_.early_stop_window; }
  std::vector<double>& HeldoutHistory() override { return model_.HeldoutHistory(); }

 private:
  CMEModel& model_;
};

}  // namespace

void CMEModel::AddEvent(const CMESample& sample) {
  Impl& m = *impl_;
  const int32_t outcome = m.outcomes.Insert(sample.label.View());
  m.pending.outcomes.push_back(outcome);
  for (const CUString& text : sample.predicates) {
    const int32_t predicate = m.predicates.Insert(text.View());
    m.CheckCapacity(outcome, predicate);
    m.pending.predicates.push_back(predicate);
  }
  m.pending.starts.push_back(m.pending.predicates.size());
}

int32_t CMEModel::PendingEventCount() const { return static_cast<int32_t>(impl_->pending.Size()); }

void CMEModel::ClearEvents() { impl_->pending.Clear(); }

int CMEModel::TrainEvents(const std::vector<CMESample>& samples, int cutoff, double sigma_value,
                          double width_factor) {
  ClearEvents();
  for (const CMESample& sample : samples) AddEvent(sample);
  return Train(cutoff, sigma_value, width_factor);
}

int32_t CMEModel::PrepareTraining(int cutoff, double sigma_value, double width_factor) {
  Impl& m = *impl_;
  if (sigma_value > 0 && width_factor > 0) {
    CDiagnosticStream()
        << "warning: Gausian prior and inequality ME cannot be used at the same time."
        << "\n";
  }
  if (static_cast<int64_t>(heldout_count) >= static_cast<int64_t>(m.pending.Size())) {
    CDiagnosticStream() << "error: too much heldout data. no training data is available."
                        << "\n";
    return -1;
  }
  // Events leave the pending list from its end: the last heldout_count
  // events become held-out samples, and both lists are in reverse order.
  int64_t taken = 0;
  for (size_t i = m.pending.Size(); i-- > 0;) {
    IndexedSampleList& target = taken < heldout_count ? m.heldout : m.training;
    target.Add(m.pending.outcomes[i], m.pending.Begin(i), m.pending.Count(i));
    ++taken;
  }
  m.pending = IndexedSampleList();  // frees its storage, not just its size

  const size_t n = m.training.Size();
  sigma = sigma_value;
  m.width = width_factor / static_cast<double>(n);
  if (cutoff > 0) CDiagnosticStream() << "cutoff threshold = " << cutoff << "\n";
  if (sigma_value > 0) CDiagnosticStream() << "Gaussian prior sigma = " << sigma_value << "\n";
  if (width_factor > 0) CDiagnosticStream() << "widthfactor = " << width_factor << "\n";

  CDiagnosticStream() << "preparing for estimation";
  const int32_t max_predicates = PrepareEstimation(cutoff);
  CDiagnosticStream() << "done"
                      << "\n";
  const size_t feature_count = m.feature_keys.size();
  CDiagnosticStream() << "number of samples = " << n << "\n";
  CDiagnosticStream() << "number of features = " << feature_count << "\n";

  CDiagnosticStream() << "calculating empirical expectation...";
  m.empirical.assign(feature_count, 0.0);
  for (size_t s = 0; s < n; ++s) {
    const int32_t own = m.training.outcomes[s];
    for (const int32_t* p = m.training.Begin(s); p != m.training.End(s); ++p) {
      for (size_t k = m.row_start[*p]; k < m.row_start[*p + 1]; ++k) {
        if (m.row_outcome[k] == own) m.empirical[m.row_feature[k]] += 1.0;
      }
    }
  }
  for (double& e : m.empirical) e /= static_cast<double>(n);
  CDiagnosticStream() << "done"
                      << "\n";

  m.weights.assign(feature_count, 0.0);
  if (m.width > 0) {
    m.alpha.assign(feature_count, 0.0);
    m.beta.assign(feature_count, 0.0);
  }
  m.model_expectation.assign(feature_count, 0.0);
  return max_predicates;
}

int CMEModel::Train(int cutoff, double sigma_value, double width_factor) {
  const int32_t max_predicates = PrepareTraining(cutoff, sigma_value, width_factor);
  if (max_predicates < 0) return 0;
  Impl& m = *impl_;
  if (use_agis_) {
    EstimateAGIS(max_predicates);
  } else {
    EstimateLMVM();
  }
  if (m.width > 0) {
    size_t active = 0;
    for (double w : m.weights) active += w != 0.0 ? 1 : 0;
    CDiagnosticStream() << "number of active features = " << active << "\n";
  }
  m.RefreshRowWeights();
  return 1;
}

int32_t CMEModel::PrepareEstimation(int cutoff) {
  Impl& m = *impl_;
  const size_t n = m.training.Size();
  int32_t largest_outcome = 0;
  for (int32_t o : m.training.outcomes) largest_outcome = std::max(largest_outcome, o);
  outcome_count_ = largest_outcome + 1;

  // Occurrences of every (outcome, predicate) pair, only needed for the cut-off.
  CKeyIndex count_index;
  std::vector<int32_t> counts;
  if (cutoff > 0) {
    for (size_t s = 0; s < n; ++s) {
      const int32_t own = m.training.outcomes[s];
      for (const int32_t* p = m.training.Begin(s); p != m.training.End(s); ++p) {
        bool inserted = false;
        const int32_t slot =
            count_index.Insert(FeatureKey(own, *p), static_cast<int32_t>(counts.size()), &inserted);
        if (inserted) counts.push_back(0);
        ++counts[static_cast<size_t>(slot)];
      }
    }
  }

  int32_t max_predicates = 0;
  for (size_t s = 0; s < n; ++s) {
    max_predicates = std::max(max_predicates, static_cast<int32_t>(m.training.Count(s)));
    const int32_t own = m.training.outcomes[s];
    for (const int32_t* p = m.training.Begin(s); p != m.training.End(s); ++p) {
      const int32_t key = FeatureKey(own, *p);
      if (cutoff > 0 && counts[static_cast<size_t>(count_index.Find(key))] < cutoff) continue;
      bool inserted = false;
      m.FeatureIndex().Insert(key, static_cast<int32_t>(m.feature_keys.size()), &inserted);
      if (inserted) m.feature_keys.push_back(key);
    }
  }

  // Training walks rows, not keys: the key index is rebuilt if ever needed.
  m.feature_index.Clear();
  m.feature_index_valid = false;

  // The active features of a sample are, for each of its predicates in
  // order, the features of that predicate in outcome order: exactly the rows.
  // They are walked in place instead of being copied per sample.
  m.BuildRows(outcome_count_);
  const size_t step = n / 10 == 0 ? 1 : n / 10;
  for (size_t s = 0; s < n; ++s) {
    if (s % step == 0) CDiagnosticStream() << ".";
  }
  return max_predicates;
}

double CMEModel::ComputeLogLikelihood() {
  Impl& m = *impl_;
  m.RefreshRowWeights();
  const size_t n = m.training.Size();
  const size_t outcome_count = static_cast<size_t>(outcome_count_);
  const size_t feature_count = m.feature_keys.size();
  m.row_expectation.assign(m.row_feature.size(), 0.0);
  std::vector<double> p(outcome_count);
  const uint8_t* row_outcome = m.row_outcome.data();
  const double* row_weight = m.row_weight.data();
  double* row_expectation = m.row_expectation.data();

  double log_likelihood = 0.0;
  size_t correct = 0;
  for (size_t s = 0; s < n; ++s) {
    std::fill(p.begin(), p.end(), 0.0);
    const int32_t* begin = m.training.Begin(s);
    const int32_t* end = m.training.End(s);
    for (const int32_t* q = begin; q != end; ++q) {
      const size_t row_end = m.row_start[*q + 1];
      for (size_t k = m.row_start[*q]; k < row_end; ++k) p[row_outcome[k]] += row_weight[k];
    }
    const size_t best = SoftmaxInPlace(p.data(), outcome_count);
    const size_t own = static_cast<size_t>(m.training.outcomes[s]);
    log_likelihood += std::log(p[own]);
    if (best == own) ++correct;
    // Model expectations: each feature still receives its terms in sample
    // order, then active-list order, as a separate pass would add them.
    for (const int32_t* q = begin; q != end; ++q) {
      const size_t row_end = m.row_start[*q + 1];
      for (size_t k = m.row_start[*q]; k < row_end; ++k) row_expectation[k] += p[row_outcome[k]];
    }
  }

  m.model_expectation.assign(feature_count, 0.0);
  for (size_t k = 0; k < m.row_feature.size(); ++k) {
    m.model_expectation[static_cast<size_t>(m.row_feature[k])] = row_expectation[k];
  }
  for (double& e : m.model_expectation) e /= static_cast<double>(n);

  m.training_error = 1.0 - static_cast<double>(correct) / static_cast<double>(n);
  log_likelihood /= static_cast<double>(n);

  if (m.width > 0) {
    double sum = 0.0;
    for (size_t i = 0; i < feature_count; ++i) sum += m.alpha[i] + m.beta[i];
    log_likelihood -= m.width * sum;
  } else if (sigma > 0) {
    double sum = 0.0;
    for (size_t i = 0; i < feature_count; ++i) {
      sum += m.weights[i] * m.weights[i] / (2 * sigma * sigma);
    }
    log_likelihood -= sum;
  }
  return log_likelihood;
}

double CMEModel::HeldoutLogLikelihood() {
  Impl& m = *impl_;
  const size_t n = m.heldout.Size();
  if (n == 0) return 0.0;
  m.RefreshRowWeights();
  std::vector<double> p(static_cast<size_t>(outcome_count_));
  double log_likelihood = 0.0;
  size_t correct = 0;
  for (size_t s = 0; s < n; ++s) {
    std::fill(p.begin(), p.end(), 0.0);
    for (const int32_t* q = m.heldout.Begin(s); q != m.heldout.End(s); ++q) {
      AddPredicateScores(*q, p.data());
    }
    const int32_t best = ScoresToProbabilities(p.data());
    const int32_t own = m.heldout.outcomes[s];
    if (own >= outcome_count_) {
      // No training sample had this outcome: wrong, and nearly impossible.
      log_likelihood += std::log(kUnseenOutcomeProbability);
      continue;
    }
    log_likelihood += std::log(p[static_cast<size_t>(own)]);
    if (best == own) ++correct;
  }
  m.heldout_error = 1.0 - static_cast<double>(correct) / static_cast<double>(n);
  return log_likelihood / static_cast<double>(n);
}

void CMEModel::EstimateLMVM() {
  Impl& m = *impl_;
  CDiagnosticStream() << "performing LMVM"
                      << "\n";
  const size_t f = m.feature_keys.size();
  CModelObjective objective(*this);
  if (m.width > 0) {
    std::vector<double> x(2 * f);
    std::copy(m.alpha.begin(), m.alpha.end(), x.begin());
    std::copy(m.beta.begin(), m.beta.end(), x.begin() + static_cast<std::ptrdiff_t>(f));
    RunBLMVM(objective, x.data(), static_cast<int>(2 * f));
    for (size_t i = 0; i < f; ++i) {
      m.alpha[i] = x[i];
      m.beta[i] = x[f + i];
      m.weights[i] = m.alpha[i] - m.beta[i];
    }
  } else {
    std::vector<double> x(m.weights);
    RunBLMVM(objective, x.data(), static_cast<int>(f));
    m.weights = x;
  }
}

int CMEModel::ComputeFunctionGradient(const double* x, int n, double* f, double* g) {
  Impl& m = *impl_;
  const size_t feature_count = m.feature_keys.size();
  if (m.width > 0) {
    for (size_t i = 0; i < feature_count; ++i) {
      m.alpha[i] = x[i];
      m.beta[i] = x[feature_count + i];
      m.weights[i] = m.alpha[i] - m.beta[i];
    }
  } else {
    for (int i = 0; i < n; ++i) m.weights[static_cast<size_t>(i)] = x[i];
  }
  const double log_likelihood = ComputeLogLikelihood();
  *f = -log_likelihood;
  const std::vector<double>& e = m.empirical;
  const std::vector<double>& model = m.model_expectation;
  if (m.width > 0) {
    const double w = m.width;
    for (size_t i = 0; i < feature_count; ++i) {
      g[i] = -(e[i] - model[i] - w);
      g[feature_count + i] = -(model[i] - e[i] - w);
    }
  } else if (sigma > 0) {
    for (size_t i = 0; i < feature_count; ++i) {
      g[i] = -(e[i] - model[i] - m.weights[i] / (sigma * sigma));
    }
  } else {
    for (size_t i = 0; i < feature_count; ++i) g[i] = -(e[i] - model[i]);
  }
  return 0;
}

void CMEModel::ComputeBounds(double* lo, double* hi, int n) const {
  const bool inequality = impl_->width > 0;
  for (int i = 0; i < n; ++i) {
    lo[i] = inequality ? 0.0 : -10000.0;
    hi[i] = 10000.0;
  }
}

double CMEModel::TrainingError() const { return impl_->training_error; }
double CMEModel::HeldoutError() const { return impl_->heldout_error; }
bool CMEModel::HasHeldout() const { return impl_->heldout.Size() > 0; }
std::vector<double>& CMEModel::HeldoutHistory() { return impl_->heldout_history; }
const std::vector<double>& CMEModel::Weights() const { return impl_->weights; }

int32_t CMEModel::ZeroSmallWeights(double min_magnitude) {
  int32_t zeroed = 0;
  for (double& weight : impl_->weights) {
    if (weight != 0.0 && std::fabs(weight) < min_magnitude) {
      weight = 0.0;
      ++zeroed;
    }
  }
  impl_->RefreshRowWeights();
  return zeroed;
}

}  // namespace verrin
