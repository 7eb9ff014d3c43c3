// CNELattice: candidate labels per character and the second-order best-path
// search over them.
#ifndef VERRIN_ENGINE_LATTICE_H_
#define VERRIN_ENGINE_LATTICE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "maxent/me_sample.h"
#include "text/ustring.h"

namespace verrin {

class CharLabelTable;
class CMEClassifier;
class CNEDecoder;

// The edge of character i runs from position i to i + 1.
struct NEEdge {
  NEEdge* next_by_end = nullptr;
  NEEdge* next_by_start = nullptr;
  int32_t start = 0;
  int32_t end = 0;
  int32_t label = 0;
  int32_t index = 0;  // sample that scores it
  double score = 0.0;
  int32_t trailing = 0;
};

// The decoded result: total score and one edge per character, in order.
struct NEPath {
  double score = 0.0;
  std::vector<NEEdge> edges;
};

class CNELattice {
 public:
  CNELattice();
  virtual ~CNELattice();
  CNELattice(const CNELattice&) = delete;
  CNELattice& operator=(const CNELattice&) = delete;

  void SetModel(const CMEClassifier* model);

  // Decodes `text` (the processed clause without its sentinel, at least one
  // unit) with `samples` (one per character plus the sentinel's at index N).
  // False when no complete path exists. Samples are extended and restored
  // during the search.
  bool Decode(const CUString& text, std::vector<CMESample>& samples,
              const CharLabelTable& table);
  const NEPath& Path() const { return path_; }
  // Releases every node and edge of the sentence; empties the path.
  void ResetLattice();
  // Empty for count < 2; otherwise prints "did not supoort multipath output\n"
  // and returns "error path set".
  CUString PathText(int count) const;

 private:
  const CMEClassifier* model_ = nullptr;
  NEPath path_;
  std::unique_ptr<CNEDecoder> decoder_;
  std::vector<int32_t> fallback_labels_;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_LATTICE_H_
