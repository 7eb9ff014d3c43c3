#include "maxent/blmvm.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "text/diagnostics.h"

namespace verrin {
namespace {

// Failure trail: each failing routine names itself in the diagnostics.
int Trail(const char* routine, int code) {
  Diagnose(routine);
  return code;
}

constexpr double kStopNorm = 0.0001;
constexpr int kMaxIterations = 1000;
constexpr int kMaxEvaluations = 10000;
constexpr int kMaxStepTrials = 100;
constexpr double kStepShrink = 0.75;
constexpr int kMemory = 8;

}  // namespace

int BLMVMVecCreate(BLMVMVec* like, BLMVMVec** out) {
  BLMVMVec* v = new (std::nothrow) BLMVMVec();
  if (v == nullptr) return Trail("LMVMMatSolve", 1);
  v->n = like->n;
  v->owned = true;
  if (v->n > 0) {
    v->val = new (std::nothrow) double[static_cast<size_t>(v->n)]();
    if (v->val == nullptr) {
      delete v;
      return Trail("LMVMMatSolve", 1);
    }
  }
  *out = v;
  return 0;
}

int BLMVMVecWrap(double* data, int n, BLMVMVec** out) {
  BLMVMVec* v = new (std::nothrow) BLMVMVec();
  if (v == nullptr) return 1;
  v->n = n;
  v->val = data;
  v->owned = false;
  *out = v;
  return 0;
}

int BLMVMVecDestroy(BLMVMVec* v) {
  if (v == nullptr) return 0;
  if (v->owned) delete[] v->val;
  delete v;
  return 0;
}

int BLMVMVecCopy(const BLMVMVec* x, BLMVMVec* y) {
  for (int i = 0; i < x->n; ++i) y->val[i] = x->val[i];
  return 0;
}

int BLMVMVecScale(double a, BLMVMVec* y) {
  for (int i = 0; i < y->n; ++i) y->val[i] *= a;
  return 0;
}

int BLMVMVecAXPY(double a, const BLMVMVec* x, BLMVMVec* y) {
  for (int i = 0; i < x->n; ++i) y->val[i] = y->val[i] + a * x->val[i];
  return 0;
}

int BLMVMVecWAXPY(double a, const BLMVMVec* x, const BLMVMVec* y, BLMVMVec* w) {
  for (int i = 0; i < x->n; ++i) w->val[i] = a * x->val[i] + y->val[i];
  return 0;
}

int BLMVMVecAYPX(double a, const BLMVMVec* x, BLMVMVec* y) {
  for (int i = 0; i < x->n; ++i) y->val[i] = a * y->val[i] + x->val[i];
  return 0;
}

int BLMVMVecDot(const BLMVMVec* x, const BLMVMVec* y, double* result) {
  double sum = 0.0;
  for (int i = 0; i < x->n; ++i) sum += x->val[i] * y->val[i];
  *result = sum;
  return 0;
}

int BLMVMVecPointwiseMin(const BLMVMVec* x, const BLMVMVec* hi, BLMVMVec* w) {
  for (int i = 0; i < x->n; ++i) w->val[i] = hi->val[i] > x->val[i] ? x->val[i] : hi->val[i];
  return 0;
}

int BLMVMVecPointwiseMax(const BLMVMVec* x, const BLMVMVec* lo, BLMVMVec* w) {
  for (int i = 0; i < x->n; ++i) w->val[i] = lo->val[i] >= x->val[i] ? lo->val[i] : x->val[i];
  return 0;
}

int BLMVMVecProjectGradient(const BLMVMVec* g, const BLMVMVec* x, const BLMVMVec* lo,
                            const BLMVMVec* hi, BLMVMVec* pg) {
  for (int i = 0; i < g->n; ++i) {
    const double gi = g->val[i];
    // Written as negations so that NaN components count as pointing outwards.
    const bool blocked_low = gi > 0 && !(x->val[i] > lo->val[i]);
    const bool blocked_high = !(gi >= 0) && x->val[i] >= hi->val[i];
    pg->val[i] = blocked_low || blocked_high ? 0.0 : gi;
  }
  return 0;
}

int LMVMMatCreate(BLMVMVec* X, int lm, LMVMMat** out) {
  LMVMMat* M = new (std::nothrow) LMVMMat();
  if (M == nullptr) return 1;
  M->lm = lm;
  M->lmnow = 0;
  M->update_count = 0;
  M->reject_count = 0;
  M->eps = 2.2e-11;
  M->S = new (std::nothrow) BLMVMVec*[static_cast<size_t>(lm) + 1]();
  M->Y = new (std::nothrow) BLMVMVec*[static_cast<size_t>(lm) + 1]();
  M->rho = new (std::nothrow) double[static_cast<size_t>(lm) + 1]();
  M->beta = new (std::nothrow) double[static_cast<size_t>(lm) + 1]();
  *out = M;
  if (M->S == nullptr || M->Y == nullptr || M->rho == nullptr || M->beta == nullptr) return 1;
  for (int i = 0; i <= lm; ++i) {
    int info = BLMVMVecCreate(X, &M->S[i]);
    if (info == 0) info = BLMVMVecCreate(X, &M->Y[i]);
    if (info != 0) return Trail("SetDown_BLMVM", info);
  }
  M->Gprev = nullptr;
  M->Xprev = nullptr;
  M->y0normsquared = 1.0;
  return 0;
}

int LMVMMatDestroy(LMVMMat* M) {
  if (M == nullptr) return 0;
  for (int i = 0; i <= M->lm; ++i) {
    if (M->S != nullptr) BLMVMVecDestroy(M->S[i]);
    if (M->Y != nullptr) BLMVMVecDestroy(M->Y[i]);
  }
  delete[] M->S;
  delete[] M->Y;
  delete[] M->rho;
  delete[] M->beta;
  delete M;
  return 0;
}

int LMVMMatUpdate(LMVMMat* M, BLMVMVec* X, BLMVMVec* G) {
  if (M->Gprev == nullptr || M->Xprev == nullptr) {
    M->Gprev = M->Y[M->lm];
    M->Xprev = M->S[M->lm];
    M->rho[0] = 1.0;
    M->y0normsquared = 1.0;
    M->update_count = 0;
    M->reject_count = 0;
  } else {
    M->update_count++;
    BLMVMVecAYPX(-1.0, G, M->Gprev);  // y = G - Gprev
    BLMVMVecAYPX(-1.0, X, M->Xprev);  // s = X - Xprev
    double ys = 0.0, yy = 0.0;
    BLMVMVecDot(M->Xprev, M->Gprev, &ys);
    BLMVMVecDot(M->Gprev, M->Gprev, &yy);
    if (ys > M->eps * yy) {
      M->lmnow = M->lmnow + 1 < M->lm ? M->lmnow + 1 : M->lm;
      for (int i = M->lm - 1; i >= 0; --i) {
        M->S[i + 1] = M->S[i];
        M->Y[i + 1] = M->Y[i];
        M->rho[i + 1] = M->rho[i];
      }
      M->S[0] = M->Xprev;
      M->Y[0] = M->Gprev;
      M->rho[0] = 1.0 / ys;
      M->y0normsquared = yy;
      // The vectors pushed out to position lm become the next scratch pair.
      M->Xprev = M->S[M->lm];
      M->Gprev = M->Y[M->lm];
    } else {
      M->reject_count++;
    }
  }
  BLMVMVecCopy(X, M->Xprev);
  BLMVMVecCopy(G, M->Gprev);
  return 0;
}

int LMVMMatSolve(LMVMMat* M, BLMVMVec* G, BLMVMVec* D) {
  if (M->lmnow < 1) {
    M->rho[0] = 1.0;
    M->y0normsquared = 1.0;
  }
  BLMVMVecCopy(G, D);
  for (int i = 0; i < M->lmnow; ++i) {
    double sq = 0.0;
    BLMVMVecDot(D, M->S[i], &sq);
    M->beta[i] = M->rho[i] * sq;
    BLMVMVecAXPY(-M->beta[i], M->Y[i], D);
  }
  BLMVMVecScale(1.0 / (M->rho[0] * M->y0normsquared), D);
  for (int i = M->lmnow - 1; i >= 0; --i) {
    double yq = 0.0;
    BLMVMVecDot(D, M->Y[i], &yq);
    const double b = M->rho[i] * yq;
    BLMVMVecAXPY(M->beta[i] - b, M->S[i], D);
  }
  return 0;
}

int BLMVMComputeFunctionGradient(CBLMVMObjective& objective, BLMVMVec* X, double* f, BLMVMVec* G) {
  const int info = objective.ComputeFunctionGradient(X->val, X->n, f, G->val);
  if (info != 0) return Trail("BLMVMComputeFunctionGradient", info);
  return 0;
}

int SetUp_BLMVM(BLMVMWork* work, BLMVMVec* X, int lm) {
  BLMVMVec** targets[] = {&work->Xs, &work->DX, &work->PG, &work->G, &work->XL, &work->XU};
  for (BLMVMVec** target : targets) {
    const int info = BLMVMVecCreate(X, target);
    if (info != 0) return Trail("SetUp_BLMVM", info);
  }
  const int info = LMVMMatCreate(X, lm, &work->M);
  if (info != 0) return Trail("SetUp_BLMVM", info);
  return 0;
}

int SetDown_BLMVM(BLMVMWork* work) {
  BLMVMVecDestroy(work->Xs);
  BLMVMVecDestroy(work->DX);
  BLMVMVecDestroy(work->PG);
  BLMVMVecDestroy(work->G);
  BLMVMVecDestroy(work->XL);
  BLMVMVecDestroy(work->XU);
  work->Xs = work->DX = work->PG = work->G = work->XL = work->XU = nullptr;
  LMVMMatDestroy(work->M);
  work->M = nullptr;
  return 0;
}

int Solve_BLMVM(CBLMVMObjective& objective, BLMVMWork* work, BLMVMVec* X) {
  BLMVMVec* XL = work->XL;
  BLMVMVec* XU = work->XU;
  BLMVMVec* G = work->G;
  BLMVMVec* PG = work->PG;
  BLMVMVec* DX = work->DX;
  BLMVMVec* Xs = work->Xs;

  objective.ComputeBounds(XL->val, XU->val, X->n);
  BLMVMVecPointwiseMin(X, XU, X);
  BLMVMVecPointwiseMax(X, XL, X);

  double f = 0.0;
  int info = BLMVMComputeFunctionGradient(objective, X, &f, G);
  if (info != 0) return Trail("Solve_BLMVM", info);
  work->pgits = 0;
  int iter = 0;
  int evaluations = 1;

  for (;;) {
    BLMVMVecProjectGradient(G, X, XL, XU, PG);
    double r2 = 0.0;
    BLMVMVecDot(PG, PG, &r2);
    DiagnoseFormat("%3d  logl(err) = %10.7f (%7.5f)\r", iter, -f, objective.TrainingError());

    if (objective.HasHeldout()) {
      std::vector<double>& history = objective.HeldoutHistory();
      history.push_back(objective.HeldoutLogLikelihood());
      const int window = objective.EarlyStopWindow();
      if (window > 0 && history.size() > static_cast<size_t>(window)) {
        const size_t size = history.size();
        double recent = 0.0, before = 0.0;
        for (int k = 0; k < window; ++k) recent += history[size - 1 - static_cast<size_t>(k)];
        for (int k = 0; k < window; ++k) before += history[size - 2 - static_cast<size_t>(k)];
        if (recent < before) {
          // Held-out likelihood falls: go back to the point before the last step.
          BLMVMVecCopy(Xs, X);
          DiagnoseFormat("\n");
          return 0;
        }
      }
    }

    if (std::sqrt(r2) < kStopNorm || iter > kMaxIterations || evaluations > kMaxEvaluations) {
      DiagnoseFormat("\n");
      return 0;
    }
    ++iter;

    info = LMVMMatUpdate(work->M, X, PG);
    if (info != 0) return Trail("Solve_BLMVM", info);
    info = LMVMMatSolve(work->M, G, DX);
    if (info != 0) return Trail("Solve_BLMVM", info);
    BLMVMVecProjectGradient(DX, X, XL, XU, DX);

    double gdx = 0.0;
    BLMVMVecDot(G, DX, &gdx);
    if (!(gdx > 0)) {
      BLMVMVecCopy(PG, DX);
      work->pgits++;
    }

    const double f_old = f;
    double f_new = f_old;
    double step = -1.0;
    int trials = 0;
    BLMVMVecCopy(X, Xs);
    while (f_new >= f_old) {
      BLMVMVecWAXPY(step, DX, Xs, X);
      BLMVMVecPointwiseMin(X, XU, X);
      BLMVMVecPointwiseMax(X, XL, X);
      info = BLMVMComputeFunctionGradient(objective, X, &f_new, G);
      if (info != 0) return Trail("Solve_BLMVM", info);
      ++evaluations;
      ++trials;
      if (f_new >= f_old) step *= kStepShrink;
      if (trials > kMaxStepTrials) break;
    }
    f = f_new;
  }
}

int RunBLMVM(CBLMVMObjective& objective, double* x, int n) {
  BLMVMWork* work = new (std::nothrow) BLMVMWork();
  if (work == nullptr) return Trail("SetDown_BLMVM", 1);
  BLMVMVec* X = nullptr;
  int info = BLMVMVecWrap(x, n, &X);
  if (info == 0) info = SetUp_BLMVM(work, X, kMemory);
  if (info == 0) info = Solve_BLMVM(objective, work, X);
  const int down = SetDown_BLMVM(work);
  if (info == 0) info = down;
  BLMVMVecDestroy(X);
  delete work;
  if (info != 0) return Trail("SetDown_BLMVM", info);
  return 0;
}

}  // namespace verrin
