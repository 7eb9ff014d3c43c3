// AGIS: adaptive generalised iterative scaling, the alternative estimator.
#include <cmath>
#include <cstdio>
#include <vector>

#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "text/diagnostics.h"

namespace verrin {

int CMEModel::EstimateAGIS(int32_t C) {
  Impl& m = *impl_;
  CDiagnosticStream() << "C = " << C << "\n";
  CDiagnosticStream() << "performing AGIS"
                      << "\n";
  std::vector<double> saved;
  double previous = -999999.0;
  int n = 0;
  int c = 1;  // the divisor of the update; C is only reported
  int refusals = 0;
  while (n < 200) {
    const double f = ComputeLogLikelihood();
    DiagnoseFormat("iter = %2d  C = %d  f = %10.7f  train_err = %7.5f", n, c, f, m.training_error);
    if (HasHeldout()) {
      const double h = HeldoutLogLikelihood();
      DiagnoseFormat("  heldout_logl(err) = %f (%6.4f)", h, m.heldout_error);
    }
    DiagnoseFormat("\n");
    // A NaN likelihood is refused like a lower one.
    if (f < previous || std::isnan(f)) {
      c = c + 1;
      if (!saved.empty()) m.weights = saved;
      n = n - 1;
      if (++refusals >= kAgisMaxRefusals) {
        // Ever smaller steps have stopped helping: keep the last accepted weights.
        DiagnoseFormat("AGIS stopped after %d refused iterations in a row\n", refusals);
        break;
      }
    } else {
      refusals = 0;
      if (c > 1 && n % 10 == 0) c = c - 1;
      previous = f;
      saved = m.weights;
      for (size_t i = 0; i < m.weights.size(); ++i) {
        const double step = std::log(m.empirical[i] / m.model_expectation[i]) / c;
        // An expectation of 0 gives no finite step; such a feature keeps its weight.
        if (std::isfinite(step)) m.weights[i] = m.weights[i] + step;
      }
    }
    n = n + 1;
  }
  DiagnoseFormat("\n");
  return 0;
}

}  // namespace verrin
