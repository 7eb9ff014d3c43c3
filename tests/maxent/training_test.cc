// The training driver: split, cut-off, preparation, expectations, the
// objective and its gradient, bounds, messages, and whole training runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::U;
using testing::Utf8;

// Adds events written as event-file lines ("pred pred ... label").
void AddEvents(CMEModel& model, const std::vector<std::string>& lines) {
  CMESample sample;
  for (const std::string& line : lines) {
    const CUString text = U(line);
    ASSERT_TRUE(ParseEventLine(text.c_str(), static_cast<size_t>(text.Length()), sample));
    model.AddEvent(sample);
  }
}

// PrepareTraining with standard error captured into `messages`.
int32_t Prepare(CMEModel& model, int cutoff, double sigma, double width_factor,
                std::string* messages = nullptr) {
  testing::CaptureDiagnostics();
  const int32_t result = model.PrepareTraining(cutoff, sigma, width_factor);
  const std::string captured = testing::GetCapturedDiagnostics();
  if (messages != nullptr) *messages = captured;
  return result;
}

// f and gradient at x.
double Objective(CMEModel& model, const std::vector<double>& x, std::vector<double>* g) {
  std::vector<double> gradient(x.size());
  double f = 0.0;
  EXPECT_EQ(
      model.ComputeFunctionGradient(x.data(), static_cast<int>(x.size()), &f, gradient.data()), 0);
  if (g != nullptr) *g = gradient;
  return f;
}

// Compares the gradient with central differences of f.
void ExpectGradientMatchesDifferences(CMEModel& model, const std::vector<double>& x) {
  std::vector<double> g;
  Objective(model, x, &g);
  const double h = 1e-5;
  for (size_t i = 0; i < x.size(); ++i) {
    std::vector<double> up = x, down = x;
    up[i] += h;
    down[i] -= h;
    const double numeric =
        (Objective(model, up, nullptr) - Objective(model, down, nullptr)) / (2 * h);
    EXPECT_NEAR(g[i], numeric, 1e-7) << "component " << i;
  }
}

const std::vector<std::string> kEvents = {"a b c 1", "a c 1", "b d 2", "c d 2", "a d 1",
                                          "b c 3",   "d 3",   "a b 2", "c 1",   "b 3"};

TEST(TrainingTest, HeldOutEventsComeFromTheEndInReverseOrder) {
  CMEModel model;
  AddEvents(model, {"p e1", "p e2", "p e3", "p e4", "p e5"});
  model.heldout_count = 2;
  ASSERT_EQ(Prepare(model, 0, 0, 0), 1);
  const CMEModel::Impl& m = model.Internals();
  EXPECT_EQ(m.heldout.outcomes, (std::vector<int32_t>{4, 3}));
  EXPECT_EQ(m.training.outcomes, (std::vector<int32_t>{2, 1, 0}));
  EXPECT_EQ(m.pending.Size(), 0u);
  EXPECT_TRUE(model.HasHeldout());
}

TEST(TrainingTest, TooMuchHeldOutDataChangesNothing) {
  CMEModel model;
  AddEvents(model, {"a 1", "b 2"});
  model.heldout_count = 2;
  testing::CaptureDiagnostics();
  EXPECT_EQ(model.Train(0, 0, 0), 0);
  EXPECT_EQ(testing::GetCapturedDiagnostics(),
            "error: too much heldout data. no training data is available.\n");
  EXPECT_EQ(model.Internals().pending.Size(), 2u);
  EXPECT_EQ(model.Internals().training.Size(), 0u);
}

TEST(TrainingTest, SecondTrainWithoutEventsFails) {
  CMEModel model;
  AddEvents(model, {"a 1", "b 2"});
  testing::CaptureDiagnostics();
  EXPECT_EQ(model.Train(0, 0, 0), 1);
  EXPECT_EQ(model.Train(0, 0, 0), 0);
  const std::string messages = testing::GetCapturedDiagnostics();
  EXPECT_NE(messages.find("error: too much heldout data. no training data is available.\n"),
            std::string::npos);
}

TEST(TrainingTest, CutoffDropsPairsSeenTooRarely) {
  // (1, a) occurs twice, (1, b) and (2, c) once each.
  CMEModel with_cutoff;
  AddEvents(with_cutoff, {"a b 1", "a 1", "c 2"});
  std::string messages;
  Prepare(with_cutoff, 2, 0, 0, &messages);
  EXPECT_EQ(with_cutoff.FeatureCount(), 1);
  EXPECT_EQ(messages.rfind("cutoff threshold = 2\n", 0), 0u) << messages;

  CMEModel without;
  AddEvents(without, {"a b 1", "a 1", "c 2"});
  Prepare(without, 0, 0, 0, &messages);
  EXPECT_EQ(without.FeatureCount(), 3);
  EXPECT_EQ(messages.find("cutoff"), std::string::npos);
}

TEST(TrainingTest, OutcomeCountCoversOutcomesOnlyHeldOut) {
  // Outcome indices: A 0, C 1, B 2; B only in the held-out event.
  CMEModel model;
  AddEvents(model, {"x A", "z C", "y B"});
  model.heldout_count = 1;
  Prepare(model, 0, 0, 0);
  EXPECT_EQ(model.OutcomeCount(), 2);

  // Outcome indices: A 0, B 1, C 2; training has A and C: count 3.
  CMEModel gap;
  AddEvents(gap, {"x A", "y B", "z C"});
  // Put B last so that it is the held-out event.
  gap.ClearEvents();
  AddEvents(gap, {"x A", "z C", "y B"});
  gap.heldout_count = 1;
  Prepare(gap, 0, 0, 0);
  EXPECT_EQ(gap.OutcomeCount(), 3);
}

TEST(TrainingTest, PreparationMessagesAndExpectationsByHand) {
  // Training samples (reverse order): "a 1", "a 2", "a b 1". Outcomes 1 -> 0,
  // 2 -> 1; predicates a -> 0, b -> 1. Features in walk order: (1,a) 0,
  // (2,a) 1, (1,b) 2. The active list of "a b 1" is (1,a), (2,a), (1,b).
  CMEModel model;
  AddEvents(model, {"a b 1", "a 2", "a 1"});
  std::string messages;
  EXPECT_EQ(Prepare(model, 0, 0, 0, &messages), 2);
  EXPECT_EQ(messages,
            "preparing for estimation...done\n"
            "number of samples = 3\n"
            "number of features = 3\n"
            "calculating empirical expectation...done\n");
  const CMEModel::Impl& m = model.Internals();
  // E: (1,a) fires with its own outcome in 2 of 3 samples, (2,a) and (1,b) in 1.
  EXPECT_EQ(m.empirical, (std::vector<double>{2.0 / 3, 1.0 / 3, 1.0 / 3}));
  EXPECT_EQ(model.Weights(), (std::vector<double>{0, 0, 0}));

  // At zero weights every p is 1/2: L = log 1/2; M sums 1/2 per active
  // sample: (1,a) and (2,a) active in all three, (1,b) in one.
  EXPECT_DOUBLE_EQ(model.ComputeLogLikelihood(), std::log(0.5));
  EXPECT_DOUBLE_EQ(m.model_expectation[0], 0.5);
  EXPECT_DOUBLE_EQ(m.model_expectation[1], 0.5);
  EXPECT_DOUBLE_EQ(m.model_expectation[2], 0.5 / 3);
  // Ties go to outcome 0 ("1"): samples 1 and 3 are right.
  EXPECT_DOUBLE_EQ(model.TrainingError(), 1.0 / 3);
}

TEST(TrainingTest, ProgressWritesAboutTenDots) {
  std::vector<std::string> events;
  for (int i = 0; i < 25; ++i)
    events.push_back("p" + std::to_string(i % 4) + " " + std::to_string(i % 3));
  CMEModel model;
  AddEvents(model, events);
  std::string messages;
  Prepare(model, 0, 0, 0, &messages);
  // Step 25 / 10 = 2: a dot at samples 0, 2, ..., 24.
  EXPECT_EQ(messages.rfind("preparing for estimation" + std::string(13, '.') + "done\n", 0), 0u)
      << messages;
}

TEST(TrainingTest, ObjectiveGradientMatchesFiniteDifferences) {
  CMEModel model;
  AddEvents(model, kEvents);
  Prepare(model, 0, 0, 0);
  const int n = model.FeatureCount();
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[i] = 0.3 * std::sin(1.7 * i + 0.4);
  ExpectGradientMatchesDifferences(model, x);
}

TEST(TrainingTest, GaussianPriorSubtractsHalfSquaredWeights) {
  CMEModel plain, prior;
  AddEvents(plain, kEvents);
  AddEvents(prior, kEvents);
  std::string messages;
  Prepare(plain, 0, 0, 0);
  Prepare(prior, 0, 1.0, 0, &messages);
  EXPECT_NE(messages.find("Gaussian prior sigma = 1\n"), std::string::npos);
  const int n = plain.FeatureCount();
  std::vector<double> x(static_cast<size_t>(n));
  double half_squares = 0.0;
  for (int i = 0; i < n; ++i) {
    x[i] = 0.5 * std::cos(0.9 * i);
    half_squares += x[i] * x[i] / 2;
  }
  std::vector<double> g_plain, g_prior;
  const double f_plain = Objective(plain, x, &g_plain);
  const double f_prior = Objective(prior, x, &g_prior);
  // f = -L: the prior adds sum w^2 / 2 to f and w to each gradient component.
  EXPECT_NEAR(f_prior - f_plain, half_squares, 1e-12);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(g_prior[i] - g_plain[i], x[i], 1e-12);

  CMEModel wide;
  AddEvents(wide, kEvents);
  Prepare(wide, 0, 2.5, 0);
  ExpectGradientMatchesDifferences(wide, x);
}

TEST(TrainingTest, InequalityModelWidthBoundsAndGradient) {
  std::vector<std::string> events;
  for (int i = 0; i < 100; ++i) {
    events.push_back("a" + std::to_string(i % 5) + " b" + std::to_string(i % 7) + " " +
                     std::to_string(i % 3));
  }
  CMEModel model;
  AddEvents(model, events);
  std::string messages;
  Prepare(model, 0, 0, 10, &messages);
  EXPECT_NE(messages.find("widthfactor = 10\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(model.Internals().width, 0.1);
  const int f = model.FeatureCount();
  std::vector<double> lo(2 * f), hi(2 * f);
  model.ComputeBounds(lo.data(), hi.data(), 2 * f);
  for (int i = 0; i < 2 * f; ++i) {
    EXPECT_EQ(lo[i], 0.0);
    EXPECT_EQ(hi[i], 10000.0);
  }
  // Weights are alpha - beta; the penalty is width * sum(alpha + beta).
  std::vector<double> x(2 * static_cast<size_t>(f));
  double sum = 0.0;
  for (int i = 0; i < 2 * f; ++i) {
    x[i] = 0.2 + 0.15 * std::sin(1.3 * i);
    sum += x[i];
  }
  const double penalised = Objective(model, x, nullptr);
  for (int i = 0; i < f; ++i) {
    EXPECT_DOUBLE_EQ(model.Weights()[i], x[i] - x[f + i]);
  }
  CMEModel plain;
  AddEvents(plain, events);
  Prepare(plain, 0, 0, 0);
  std::vector<double> w(static_cast<size_t>(f));
  for (int i = 0; i < f; ++i) w[i] = x[i] - x[f + i];
  EXPECT_NEAR(penalised - Objective(plain, w, nullptr), 0.1 * sum, 1e-12);
  ExpectGradientMatchesDifferences(model, x);
}

TEST(TrainingTest, PlainBoundsAndPriorWarning) {
  CMEModel model;
  AddEvents(model, kEvents);
  std::string messages;
  Prepare(model, 0, 1.0, 10, &messages);
  EXPECT_EQ(messages.rfind(
                "warning: Gausian prior and inequality ME cannot be used at the same time.\n", 0),
            0u);
  CMEModel plain;
  AddEvents(plain, kEvents);
  Prepare(plain, 0, 0, 0);
  double lo[2], hi[2];
  plain.ComputeBounds(lo, hi, 2);
  EXPECT_EQ(lo[0], -10000.0);
  EXPECT_EQ(hi[1], 10000.0);
}

TEST(TrainingTest, ScoresAbove700StayFinite) {
  CMEModel model;
  AddEvents(model, {"a b 1", "a b 2", "a 2"});
  Prepare(model, 0, 0, 0);
  std::vector<double> x = {400.0, 400.0, 400.5, 400.5};
  ASSERT_EQ(model.FeatureCount(), 4);
  std::vector<double> g;
  const double f = Objective(model, x, &g);
  ASSERT_TRUE(std::isfinite(f));
  for (double v : g) EXPECT_TRUE(std::isfinite(v));
  // Features in walk order: (2,a) 400, (2,b) 400, (1,a) 400.5, (1,b) 400.5.
  // Samples (reverse order): "a 2" scores 400.5 for 1 and 400 for 2,
  // "a b 2" 801 and 800, "a b 1" 801 and 800. With s the logistic function:
  // L = (log s(-0.5) + log s(-1) + log s(1)) / 3.
  auto s = [](double t) { return 1 / (1 + std::exp(-t)); };
  EXPECT_NEAR(-f, (std::log(s(-0.5)) + std::log(s(-1)) + std::log(s(1))) / 3, 1e-12);
}

// An outcome that only held-out data has has no probability in the model;
// its look-up must not fall outside the probability vector.
TEST(TrainingTest, HeldOutOutcomeUnseenInTrainingRegression) {
  // Training: "b Y", "a X" (outcomes X 0, Y 1: count 2). Held out: "a Z"
  // (Z is 2) and "c X".
  CMEModel model;
  AddEvents(model, {"a X", "b Y", "c X", "a Z"});
  model.heldout_count = 2;
  Prepare(model, 0, 0, 0);
  ASSERT_EQ(model.OutcomeCount(), 2);
  // Zero weights: "c X" gets p = 1/2 and is right (tie to index 0); "a Z" is
  // charged log 1e-15 and wrong.
  EXPECT_DOUBLE_EQ(model.HeldoutLogLikelihood(), (std::log(1e-15) + std::log(0.5)) / 2);
  EXPECT_DOUBLE_EQ(model.HeldoutError(), 0.5);
}

TEST(TrainingTest, TrainedModelClassifiesItsTrainingData) {
  // Each label has its own predicate; "n" and "m" occur with every label.
  CMEModel model;
  AddEvents(model, {"x1 n 1", "x2 n 2", "x3 m 3", "x1 m 1", "x2 m 2", "x3 n 3", "x1 1"});
  testing::CaptureDiagnostics();
  ASSERT_EQ(model.Train(0, 0, 0), 1);
  const std::string messages = testing::GetCapturedDiagnostics();
  EXPECT_NE(messages.find("performing LMVM\n"), std::string::npos);
  EXPECT_NE(messages.find("  0  logl(err) = -1.0986123 ("), std::string::npos) << messages;
  std::vector<double> probs;
  for (const char* label : {"1", "2", "3"}) {
    const int32_t best =
        model.Eval(testing::Sample("", {std::string("x") + label, "n", "m"}), probs);
    EXPECT_EQ(Utf8(model.GetOutcome(best)), label);
    EXPECT_GT(probs[best], 0.99);
  }
  EXPECT_EQ(model.TrainingError(), 0.0);
}

TEST(TrainingTest, TrainSaveLoadClassify) {
  const std::string dir = MakeTempDir("train_save");
  CMEClassifier classifier;
  CMEModel& model = classifier.Model();
  model.sigma = 1.0;
  std::vector<CMESample> samples;
  for (const std::string& line : kEvents) {
    CMESample sample;
    const CUString text = U(line);
    ParseEventLine(text.c_str(), static_cast<size_t>(text.Length()), sample);
    samples.push_back(sample);
  }
  testing::CaptureDiagnostics();
  ASSERT_EQ(model.TrainEvents(samples, 0, 1.0, 0), 1);
  testing::GetCapturedDiagnostics();
  ASSERT_TRUE(model.Save(dir + "/model.txt"));
  CMEModel loaded;
  ASSERT_TRUE(loaded.Load(dir + "/model.txt", false));
  EXPECT_EQ(loaded.OutcomeCount(), 3);
  // Saved weights have six decimals: the probabilities agree to about 1e-6.
  std::vector<double> trained_probs, loaded_probs;
  for (const CMESample& sample : samples) {
    const int32_t best = model.Eval(sample, trained_probs);
    const int32_t loaded_best = loaded.Eval(sample, loaded_probs);
    EXPECT_EQ(Utf8(model.GetOutcome(best)), Utf8(loaded.GetOutcome(loaded_best)));
    for (int o = 0; o < 3; ++o) {
      const int32_t lo = loaded.FindOutcome(model.GetOutcome(o));
      EXPECT_NEAR(trained_probs[o], loaded_probs[lo], 1e-5);
    }
  }
}

TEST(TrainingTest, InequalityTrainingReportsActiveFeatures) {
  CMEModel model;
  AddEvents(model, kEvents);
  testing::CaptureDiagnostics();
  ASSERT_EQ(model.Train(0, 0, 1.0), 1);
  const std::string messages = testing::GetCapturedDiagnostics();
  const size_t at = messages.find("number of active features = ");
  ASSERT_NE(at, std::string::npos) << messages;
  int active = 0;
  for (double w : model.Weights()) active += w != 0.0;
  EXPECT_EQ(messages.substr(at), "number of active features = " + std::to_string(active) + "\n");
  const CMEModel::Impl& m = model.Internals();
  for (int i = 0; i < model.FeatureCount(); ++i) {
    EXPECT_GE(m.alpha[i], 0.0);
    EXPECT_GE(m.beta[i], 0.0);
    EXPECT_EQ(m.weights[i], m.alpha[i] - m.beta[i]);
  }
}

TEST(TrainingTest, EarlyStopRestoresTheStartWhenHeldOutDataDisagrees) {
  // Held-out events (the last two) say the opposite of the training events:
  // the first step lowers the held-out likelihood, so with window 1 the
  // optimizer goes back to the point before that step, the zero vector.
  CMEModel model;
  AddEvents(model, {"a 1", "b 2", "a 1", "b 2", "a 1", "b 2", "a 2", "b 1"});
  model.heldout_count = 2;
  model.early_stop_window = 1;
  testing::CaptureDiagnostics();
  ASSERT_EQ(model.Train(0, 0, 0), 1);
  testing::GetCapturedDiagnostics();
  const std::vector<double>& history = model.HeldoutHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_DOUBLE_EQ(history[0], std::log(0.5));
  EXPECT_LT(history[1], history[0]);
  for (double w : model.Weights()) EXPECT_EQ(w, 0.0);
}

}  // namespace
}  // namespace verrin
