// AGIS: acceptance, refusal with a smaller step, and the bound on refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::U;

void AddEvents(CMEModel& model, const std::vector<std::string>& lines) {
  CMESample sample;
  for (const std::string& line : lines) {
    const CUString text = U(line);
    ASSERT_TRUE(ParseEventLine(text.c_str(), static_cast<size_t>(text.Length()), sample));
    model.AddEvent(sample);
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%10.7f", value);
  return text;
}

// Five predicates that always occur together, A three times out of four:
// the first full step log(E/M) counts the evidence five times over.
const std::vector<std::string> kRedundant = {"p1 p2 p3 p4 p5 A", "p1 p2 p3 p4 p5 A",
                                             "p1 p2 p3 p4 p5 B", "p1 p2 p3 p4 p5 A"};

TEST(AgisTest, OvershootIsRefusedAndRetriedWithASmallerStep) {
  CMEModel model;
  AddEvents(model, kRedundant);
  model.SetUseAgis(true);
  testing::CaptureDiagnostics();
  ASSERT_EQ(model.Train(0, 0, 0), 1);
  const std::vector<std::string> lines = Lines(testing::GetCapturedDiagnostics());
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[4], "C = 5");
  EXPECT_EQ(lines[5], "performing AGIS");
  // Iteration 0 at zero weights: f = log 1/2, accepted against -999999.
  const std::string half = Fixed(std::log(0.5));
  EXPECT_EQ(lines[6], "iter =  0  C = 1  f = " + half + "  train_err = 0.25000");
  // The full step: E = 3/4 for (A, p_i) and 1/4 for (B, p_i), M = 1/2 for
  // both, so each A weight gains log 1.5 and each B weight log 0.5. Then
  // p(A) = 1 / (1 + (1/3)^5) = 243/244 and
  // f = 3/4 log(243/244) + 1/4 log(1/244), below log 1/2: refused.
  const double overshoot = 0.75 * std::log(243.0 / 244) + 0.25 * std::log(1.0 / 244);
  EXPECT_EQ(lines[7], "iter =  1  C = 1  f = " + Fixed(overshoot) + "  train_err = 0.25000");
  // The weights are restored (f repeats) and the iteration is redone with c = 2.
  EXPECT_EQ(lines[8], "iter =  1  C = 2  f = " + half + "  train_err = 0.25000");
  // Half steps: the score gap is 5/2 log 3, p(A) = 1 / (1 + 3^-2.5): still
  // below log 1/2, refused again; c = 3 then.
  const double p2 = 1 / (1 + std::pow(3.0, -2.5));
  EXPECT_EQ(lines[9],
            "iter =  2  C = 2  f = " + Fixed(0.75 * std::log(p2) + 0.25 * std::log(1 - p2)) +
                "  train_err = 0.25000");
  EXPECT_EQ(lines[10], "iter =  2  C = 3  f = " + half + "  train_err = 0.25000");
  // Third steps: gap 5/3 log 3, p(A) = 1 / (1 + 3^(-5/3)), above log 1/2: accepted.
  const double p3 = 1 / (1 + std::pow(3.0, -5.0 / 3));
  const double f3 = 0.75 * std::log(p3) + 0.25 * std::log(1 - p3);
  ASSERT_GT(f3, std::log(0.5));
  EXPECT_EQ(lines[11], "iter =  3  C = 3  f = " + Fixed(f3) + "  train_err = 0.25000");
  // The run ends after 200 accepted iterations with an empty line.
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 2].rfind("iter = 199  C = ", 0), 0u);
}

TEST(AgisTest, HeldOutLikelihoodIsReportedPerIteration) {
  CMEModel model;
  AddEvents(model, {"a 1", "b 2", "a 1", "b 2", "a 1", "b 1"});
  model.heldout_count = 1;
  ASSERT_GE(model.PrepareTraining(0, 0, 0), 0);
  testing::CaptureDiagnostics();
  EXPECT_EQ(model.EstimateAGIS(1), 0);
  const std::vector<std::string> lines = Lines(testing::GetCapturedDiagnostics());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "C = 1");
  // Zero weights: the held-out "a 1" has p = 1/2 and is right (tie to "1").
  EXPECT_EQ(lines[2], "iter =  0  C = 1  f = " + Fixed(std::log(0.5)) +
                          "  train_err = 0.40000  heldout_logl(err) = -0.693147 (0.0000)");
}

// A likelihood that is not a number (here from a weight that is not one)
// is refused; refusals that cannot restore a better point must not loop for
// ever.
TEST(AgisTest, RefusalsInARowAreBounded) {
  CMEModel model;
  AddEvents(model, kRedundant);
  ASSERT_GE(model.PrepareTraining(0, 0, 0), 0);
  model.Internals().weights[0] = std::nan("");
  testing::CaptureDiagnostics();
  EXPECT_EQ(model.EstimateAGIS(5), 0);
  const std::vector<std::string> lines = Lines(testing::GetCapturedDiagnostics());
  int iterations = 0;
  for (const std::string& line : lines) iterations += line.rfind("iter =", 0) == 0;
  EXPECT_EQ(iterations, CMEModel::kAgisMaxRefusals);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "AGIS stopped after 50 refused iterations in a row");
}

TEST(AgisTest, FeatureWithoutExpectationKeepsItsWeight) {
  CMEModel model;
  AddEvents(model, kRedundant);
  ASSERT_GE(model.PrepareTraining(0, 0, 0), 0);
  // No empirical expectation: log(0 / M) is not a finite step.
  model.Internals().empirical[0] = 0.0;
  testing::CaptureDiagnostics();
  model.EstimateAGIS(5);
  testing::GetCapturedDiagnostics();
  EXPECT_EQ(model.Weights()[0], 0.0);
  for (double w : model.Weights()) EXPECT_TRUE(std::isfinite(w));
}

}  // namespace
}  // namespace verrin
