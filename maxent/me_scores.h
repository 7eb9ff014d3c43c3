// The shift applied to scores before exp, shared by classification and training.
#ifndef VERRIN_MAXENT_ME_SCORES_H_
#define VERRIN_MAXENT_ME_SCORES_H_

namespace verrin {

// Scores are turned into probabilities as exp(score - shift) / Z, with the
// shift taken from the largest score `max`:
//  - max - 700 when that is positive, so that no exp overflows (exp(700) is
//    about 1e304, and the other terms are smaller);
//  - max itself when max is below -708, where exp(max) would be subnormal or
//    0 and Z could vanish (0 / 0);
//  - 0 otherwise, so that ordinary scores go through exp unchanged.
inline double ScoreShift(double max) {
  const double excess = max - 700.0;
  if (excess > 0) return excess;
  if (max < -708.0) return max;
  return 0.0;
}

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_SCORES_H_
