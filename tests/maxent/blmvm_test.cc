// The BLMVM optimizer on small problems whose answers are known.
#include "maxent/blmvm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

// An objective given by a function, with fixed bounds and an optional
// scripted held-out history.
class TestObjective : public CBLMVMObjective {
 public:
  using Function = std::function<double(const double* x, double* g)>;
  TestObjective(int n, Function function, double lo, double hi)
      : n_(n), function_(std::move(function)), lo_(lo), hi_(hi) {}

  int ComputeFunctionGradient(const double* x, int n, double* f, double* g) override {
    EXPECT_EQ(n, n_);
    ++evaluations;
    last_point.assign(x, x + n);
    *f = function_(x, g);
    return 0;
  }
  void ComputeBounds(double* lo, double* hi, int n) override {
    for (int i = 0; i < n; ++i) {
      lo[i] = lo_;
      hi[i] = hi_;
    }
  }
  bool HasHeldout() const override { return !heldout_values.empty(); }
  double HeldoutLogLikelihood() override {
    points_at_heldout.push_back(last_point);
    const size_t k = points_at_heldout.size() - 1;
    return k < heldout_values.size() ? heldout_values[k] : heldout_values.back();
  }
  double TrainingError() const override { return 0.25; }
  int EarlyStopWindow() const override { return window; }
  std::vector<double>& HeldoutHistory() override { return history; }

  int evaluations = 0;
  int window = 0;
  std::vector<double> heldout_values;
  std::vector<double> history;
  std::vector<double> last_point;
  std::vector<std::vector<double>> points_at_heldout;

 private:
  int n_;
  Function function_;
  double lo_, hi_;
};

// f = sum (x_i - c_i)^2 with c = (5, -3, 0.5, 2).
double Quadratic(const double* x, double* g) {
  static const double c[] = {5.0, -3.0, 0.5, 2.0};
  double f = 0.0;
  for (int i = 0; i < 4; ++i) {
    f += (x[i] - c[i]) * (x[i] - c[i]);
    g[i] = 2 * (x[i] - c[i]);
  }
  return f;
}

// Rosenbrock's valley: minimum 0 at (1, 1), reached only with many
// iterations and real curvature pairs.
double Rosenbrock(const double* x, double* g) {
  const double a = 1 - x[0], b = x[1] - x[0] * x[0];
  g[0] = -2 * a - 400 * x[0] * b;
  g[1] = 200 * b;
  return a * a + 100 * b * b;
}

TEST(BlmvmTest, FindsTheMinimumOfAQuadratic) {
  TestObjective objective(4, Quadratic, -10000, 10000);
  std::vector<double> x(4, 0.0);
  testing::CaptureDiagnostics();
  EXPECT_EQ(RunBLMVM(objective, x.data(), 4), 0);
  const std::string progress = testing::GetCapturedDiagnostics();
  EXPECT_NEAR(x[0], 5.0, 1e-5);
  EXPECT_NEAR(x[1], -3.0, 1e-5);
  EXPECT_NEAR(x[2], 0.5, 1e-5);
  EXPECT_NEAR(x[3], 2.0, 1e-5);
  // First line: iteration 0 at f = 25 + 9 + 0.25 + 4, then one line feed at the end.
  EXPECT_EQ(progress.rfind("  0  logl(err) = -38.2500000 (0.25000)\r", 0), 0u) << progress;
  EXPECT_EQ(progress.back(), '\n');
  EXPECT_EQ(std::count(progress.begin(), progress.end(), '\n'), 1);
}

// Rosenbrock's valley needs real curvature pairs, not just gradient steps.
TEST(BlmvmTest, FindsTheMinimumOfRosenbrock) {
  TestObjective objective(2, Rosenbrock, -10000, 10000);
  std::vector<double> x = {-1.2, 1.0};
  testing::CaptureDiagnostics();
  RunBLMVM(objective, x.data(), 2);
  testing::GetCapturedDiagnostics();
  EXPECT_NEAR(x[0], 1.0, 1e-4);
  EXPECT_NEAR(x[1], 1.0, 1e-4);
  EXPECT_LT(objective.evaluations, 1000);
}

TEST(BlmvmTest, ComponentsPinnedAtABoundDoNotMove) {
  // Bounds [0, 10]: the minimum of component 1 (-3) lies below the box, so it
  // sits at 0 with a positive gradient; the start point is clipped into the box.
  TestObjective objective(4, Quadratic, 0, 10);
  std::vector<double> x = {20.0, 0.0, 1.0, -4.0};
  testing::CaptureDiagnostics();
  RunBLMVM(objective, x.data(), 4);
  testing::GetCapturedDiagnostics();
  EXPECT_NEAR(x[0], 5.0, 1e-5);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_NEAR(x[2], 0.5, 1e-5);
  EXPECT_NEAR(x[3], 2.0, 1e-5);
}

TEST(BlmvmTest, ProjectedGradientZeroesOutwardComponents) {
  double g[] = {1.0, 1.0, -1.0, -1.0, 2.0, NAN};
  double x[] = {0.0, 0.5, 1.0, 0.5, 1.0, 1.0};
  double lo[] = {0, 0, 0, 0, 0, 0};
  double hi[] = {1, 1, 1, 1, 1, 1};
  double pg[6];
  BLMVMVec vg{6, g, false}, vx{6, x, false}, vlo{6, lo, false}, vhi{6, hi, false},
      vpg{6, pg, false};
  BLMVMVecProjectGradient(&vg, &vx, &vlo, &vhi, &vpg);
  EXPECT_EQ(pg[0], 0.0);   // at lo, pushing down
  EXPECT_EQ(pg[1], 1.0);   // inside
  EXPECT_EQ(pg[2], 0.0);   // at hi, pushing up
  EXPECT_EQ(pg[3], -1.0);  // inside
  EXPECT_EQ(pg[4], 2.0);   // at hi, pushing down: free
  EXPECT_EQ(pg[5], 0.0);   // NaN at hi counts as pushing up
}

TEST(BlmvmTest, MatrixStartsAsIdentityAndRefusesFlatPairs) {
  std::vector<double> storage(3, 0.0);
  BLMVMVec* x = nullptr;
  ASSERT_EQ(BLMVMVecWrap(storage.data(), 3, &x), 0);
  LMVMMat* m = nullptr;
  ASSERT_EQ(LMVMMatCreate(x, 8, &m), 0);

  std::vector<double> g_values = {1.0, -2.0, 0.5}, d_values(3);
  BLMVMVec g{3, g_values.data(), false}, d{3, d_values.data(), false};
  // No pair in use: D = G, a projected steepest-descent step.
  LMVMMatSolve(m, &g, &d);
  EXPECT_EQ(d_values, g_values);

  LMVMMatUpdate(m, x, &g);  // first call only records the point
  EXPECT_EQ(m->lmnow, 0);
  // s = (1, 0, 0), y = (-1, 0, 0): s.y = -1 is not above eps * y.y.
  storage = {1.0, 0.0, 0.0};
  g_values = {0.0, -2.0, 0.5};
  LMVMMatUpdate(m, x, &g);
  EXPECT_EQ(m->lmnow, 0);
  EXPECT_EQ(m->reject_count, 1);
  EXPECT_EQ(m->update_count, 1);
  // s = (1, 0, 0), y = (2, 0, 0): accepted; rho = 1/2, scaling y.y = 4.
  storage = {2.0, 0.0, 0.0};
  g_values = {2.0, -2.0, 0.5};
  LMVMMatUpdate(m, x, &g);
  EXPECT_EQ(m->lmnow, 1);
  EXPECT_EQ(m->reject_count, 1);
  EXPECT_DOUBLE_EQ(m->rho[0], 0.5);
  EXPECT_DOUBLE_EQ(m->y0normsquared, 4.0);
  // With H0 = (s.y / y.y) I = I/2 and the pair giving curvature 2 along e0,
  // the solve maps G = (2, -2, 0.5) to (1, -1, 0.25).
  LMVMMatSolve(m, &g, &d);
  EXPECT_DOUBLE_EQ(d_values[0], 1.0);
  EXPECT_DOUBLE_EQ(d_values[1], -1.0);
  EXPECT_DOUBLE_EQ(d_values[2], 0.25);
  LMVMMatDestroy(m);
  BLMVMVecDestroy(x);
}

TEST(BlmvmTest, EarlyStopRestoresThePointBeforeTheLastStep) {
  TestObjective objective(2, Rosenbrock, -10000, 10000);
  objective.window = 2;
  objective.heldout_values = {0.50, 0.60, 0.55, 0.52, 0.51};
  std::vector<double> x = {-1.2, 1.0};
  testing::CaptureDiagnostics();
  EXPECT_EQ(RunBLMVM(objective, x.data(), 2), 0);
  testing::GetCapturedDiagnostics();
  // After the fourth value 0.52 + 0.55 < 0.55 + 0.60: stop, back to the point
  // at which the third value was taken.
  EXPECT_EQ(objective.history, (std::vector<double>{0.50, 0.60, 0.55, 0.52}));
  ASSERT_EQ(objective.points_at_heldout.size(), 4u);
  EXPECT_EQ(x, objective.points_at_heldout[2]);
  EXPECT_NE(x, objective.points_at_heldout[3]);
}

TEST(BlmvmTest, NoEarlyStopWithoutAWindow) {
  TestObjective objective(2, Rosenbrock, -10000, 10000);
  objective.heldout_values = {0.50, 0.40, 0.30, 0.20, 0.10};
  std::vector<double> x = {-1.2, 1.0};
  testing::CaptureDiagnostics();
  RunBLMVM(objective, x.data(), 2);
  testing::GetCapturedDiagnostics();
  EXPECT_GT(objective.history.size(), 4u);
  EXPECT_NEAR(x[0], 1.0, 1e-4);
}

TEST(BlmvmTest, FailedStepSearchesEndOnTheEvaluationLimit) {
  // f never decreases: every step search runs 101 evaluations, and the run
  // ends when the count passes 10000: 1 + 100 * 101 = 10101 evaluations.
  TestObjective objective(
      1,
      [](const double*, double* g) {
        g[0] = 1.0;
        return 1.0;
      },
      -10000, 10000);
  std::vector<double> x = {3.0};
  testing::CaptureDiagnostics();
  EXPECT_EQ(RunBLMVM(objective, x.data(), 1), 0);
  const std::string progress = testing::GetCapturedDiagnostics();
  EXPECT_EQ(objective.evaluations, 10101);
  // The last trial points are kept: the point moved below 3.
  EXPECT_LT(x[0], 3.0);
  EXPECT_NE(progress.find("100  logl(err) = -1.0000000 (0.25000)\r\n"), std::string::npos);
}

}  // namespace
}  // namespace verrin
