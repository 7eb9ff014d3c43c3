// BLMVM: bound-constrained limited-memory variable-metric minimisation.
//
// Minimises f(X) over lo <= X <= hi with memory-8 quasi-Newton directions, a
// backtracking step search and a projected-gradient stopping test, optionally
// stopping early when the held-out log-likelihood falls. The optimizer sees
// the problem only through CBLMVMObjective, which the trainer implements.
//
// Every routine returns an error code, 0 for success; only allocation can
// fail (code 1). A routine that fails writes its own name to standard output
// (no end of line) and returns the code. Progress goes to standard error as
// one "%3d  logl(err) = %10.7f (%7.5f)\r" line per iteration.
#ifndef VERRIN_MAXENT_BLMVM_H_
#define VERRIN_MAXENT_BLMVM_H_

#include <vector>

namespace verrin {

class CBLMVMObjective {
 public:
  virtual ~CBLMVMObjective() = default;
  // f and its gradient g (n values) at x; non-zero on failure.
  virtual int ComputeFunctionGradient(const double* x, int n, double* f, double* g) = 0;
  virtual void ComputeBounds(double* lo, double* hi, int n) = 0;
  virtual bool HasHeldout() const = 0;
  virtual double HeldoutLogLikelihood() = 0;
  // Training error left by the last evaluation of f.
  virtual double TrainingError() const = 0;
  virtual int EarlyStopWindow() const = 0;
  // Held-out log-likelihood history; the optimizer appends one value per iteration.
  virtual std::vector<double>& HeldoutHistory() = 0;
};

// A vector header: n doubles, owned when made by allocation.
struct BLMVMVec {
  int n = 0;
  double* val = nullptr;
  bool owned = false;
};

// The limited-memory matrix: S[0], Y[0] hold the newest correction pair.
struct LMVMMat {
  int lm = 0;              // pairs kept
  int lmnow = 0;           // pairs in use
  int update_count = 0;    // updates attempted
  int reject_count = 0;    // updates refused by the curvature test
  double eps = 2.2e-11;    // curvature threshold
  BLMVMVec** S = nullptr;  // lm + 1
  BLMVMVec** Y = nullptr;  // lm + 1
  BLMVMVec* Gprev = nullptr;
  BLMVMVec* Xprev = nullptr;
  double y0normsquared = 1.0;
  double* rho = nullptr;   // lm + 1
  double* beta = nullptr;  // lm + 1, two-loop scratch
};

struct BLMVMWork {
  LMVMMat* M = nullptr;
  BLMVMVec* DX = nullptr;  // direction
  BLMVMVec* PG = nullptr;  // projected gradient
  BLMVMVec* G = nullptr;   // gradient
  BLMVMVec* XL = nullptr;  // lower bounds
  BLMVMVec* XU = nullptr;  // upper bounds
  BLMVMVec* Xs = nullptr;  // point before the last step
  int pgits = 0;           // steps that fell back to the projected gradient
};

// Minimises from x (n values, updated in place).
int RunBLMVM(CBLMVMObjective& objective, double* x, int n);

int SetUp_BLMVM(BLMVMWork* work, BLMVMVec* X, int lm);
int Solve_BLMVM(CBLMVMObjective& objective, BLMVMWork* work, BLMVMVec* X);
int SetDown_BLMVM(BLMVMWork* work);
int LMVMMatCreate(BLMVMVec* X, int lm, LMVMMat** out);
int LMVMMatDestroy(LMVMMat* M);
int LMVMMatUpdate(LMVMMat* M, BLMVMVec* X, BLMVMVec* G);
int LMVMMatSolve(LMVMMat* M, BLMVMVec* G, BLMVMVec* D);
int BLMVMComputeFunctionGradient(CBLMVMObjective& objective, BLMVMVec* X, double* f, BLMVMVec* G);

// Vector kernels (n = the first operand's count).
int BLMVMVecCreate(BLMVMVec* like, BLMVMVec** out);  // same size, owned
int BLMVMVecWrap(double* data, int n, BLMVMVec** out);
int BLMVMVecDestroy(BLMVMVec* v);
int BLMVMVecCopy(const BLMVMVec* x, BLMVMVec* y);                                // y = x
int BLMVMVecScale(double a, BLMVMVec* y);                                        // y = a y
int BLMVMVecAXPY(double a, const BLMVMVec* x, BLMVMVec* y);                      // y = y + a x
int BLMVMVecWAXPY(double a, const BLMVMVec* x, const BLMVMVec* y, BLMVMVec* w);  // w = a x + y
int BLMVMVecAYPX(double a, const BLMVMVec* x, BLMVMVec* y);                      // y = a y + x
int BLMVMVecDot(const BLMVMVec* x, const BLMVMVec* y, double* result);
int BLMVMVecPointwiseMin(const BLMVMVec* x, const BLMVMVec* hi, BLMVMVec* w);
int BLMVMVecPointwiseMax(const BLMVMVec* x, const BLMVMVec* lo, BLMVMVec* w);
// PG = g, then 0 where g > 0 at a point not above lo, or g < 0 (or NaN) at a
// point not below hi. PG may be g itself.
int BLMVMVecProjectGradient(const BLMVMVec* g, const BLMVMVec* x, const BLMVMVec* lo,
                            const BLMVMVec* hi, BLMVMVec* pg);

}  // namespace verrin

#endif  // VERRIN_MAXENT_BLMVM_H_
