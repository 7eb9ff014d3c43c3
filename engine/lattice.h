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

// The edge of character i runs from position i to i + 1; the end edge runs
// from N to N + 1 with label kLabelEnd and is scored with sample N.
struct NEEdge {
  NEEdge* next_by_end = nullptr;    // next edge ending at the same position
  NEEdge* next_by_start = nullptr;  // next edge starting at the same position
  int32_t start = 0;
  int32_t end = 0;
  int32_t label = 0;
  int32_t index = 0;  // sample that scores it
  double score = 0.0;
  int32_t trailing = 0;
};

// The decoded result: total score and one edge per character, in order. The
// copied edges' list links are cleared.
struct NEPath {
  double score = 0.0;
  std::vector<NEEdge> edges;
};

// Samples as the search reads them: per sample its label and the model's
// indices of its predicates in sample order (unknown predicates left out).
struct NEIndexedSamples {
  std::vector<int32_t> labels;
  std::vector<uint32_t> starts{0};  // sample i: predicates[starts[i] .. starts[i + 1])
  std::vector<int32_t> predicates;

  size_t Size() const { return labels.size(); }
  // Empties the lists and keeps their storage.
  void Clear() {
    labels.clear();
    starts.assign(1, 0);
    predicates.clear();
  }
};

// The fallback candidates of a character the label table does not know.
class CNEFallbackLabels {
 public:
  CNEFallbackLabels();  // kLabelSingle, kLabelPersonBegin, ..., kLabelOrgEnd
  virtual ~CNEFallbackLabels();
  const std::vector<int32_t>& Labels() const { return labels_; }

 private:
  std::vector<int32_t> labels_;
};

class CNELattice {
 public:
  CNELattice();
  virtual ~CNELattice();
  CNELattice(const CNELattice&) = delete;
  CNELattice& operator=(const CNELattice&) = delete;

  // The model holder that scores labels (not owned). It may be loaded after
  // this call; a reloaded model is noticed at the next Decode.
  void SetModel(const CMEClassifier* model);
  const CMEClassifier* Model() const { return model_; }

  // Decodes `text` (the processed clause without its sentinel, at least one
  // unit) with `samples` (one per character plus the sentinel's at index N;
  // read only, left exactly as they were). Candidates of a free character
  // (label kLabelSingle, text "1") come from table.At(unit). Without a model no label is
  // an outcome, so only runs of unscored labels decode. False when no
  // complete path exists or when fewer than N + 1 samples are given; Path()
  // is then empty. The nodes of a failed clause stay allocated until
  // ResetLattice.
  bool Decode(const CUString& text, const std::vector<CMESample>& samples,
              const CharLabelTable& table);
  // Decode with samples already indexed in the bound model.
  bool Decode(const CUString& text, const NEIndexedSamples& samples, const CharLabelTable& table);
  // Decode with the candidate-label bits of each character given directly
  // (label_bits[i] for text[i]; bit j = label j, 0 = unknown character).
  // Decode leaves the steps of hopeless nodes unscored (see
  // CNEDecoder::BoundedForwardPass); this one scores every step, so that
  // the lattice can be inspected in full. Path and score are the same.
  bool DecodeWithLabelBits(const CUString& text, const std::vector<CMESample>& samples,
                           const std::vector<int32_t>& label_bits);
  bool DecodeWithLabelBits(const CUString& text, const NEIndexedSamples& samples,
                           const std::vector<int32_t>& label_bits);

  const NEPath& Path() const { return path_; }
  // Releases every node and edge of the sentence; empties the path.
  void ResetLattice();
  // Empty for count < 2; otherwise prints "did not supoort multipath output\n"
  // and returns "error path set".
  CUString PathText(int count) const;

  // The search engine, for statistics (model evaluations) and tests.
  CNEDecoder& Decoder() { return *decoder_; }
  const CNEDecoder& Decoder() const { return *decoder_; }

 private:
  // label_bits, or (null) the bits of table.At for every unit; `bounded`
  // selects CNEDecoder::BoundedForwardPass.
  template <class Samples>
  bool DecodeSamples(const CUString& text, const Samples& samples,
                     const std::vector<int32_t>* label_bits, const CharLabelTable* table,
                     bool bounded);

  const CMEClassifier* model_ = nullptr;
  NEPath path_;
  std::unique_ptr<CNEDecoder> decoder_;
  std::unique_ptr<CNEFallbackLabels> fallback_;
  std::vector<int32_t> label_bits_;  // scratch of Decode
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_LATTICE_H_
