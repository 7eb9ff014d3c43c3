#include "engine/lattice.h"

#include <cstdio>

#include "engine/decoder.h"
#include "engine/word_node.h"
#include "resource/char_label_table.h"
#include "text/diagnostics.h"

namespace verrin {

CNEFallbackLabels::CNEFallbackLabels() {
  for (int32_t label = kLabelSingle; label <= kLabelOrgEnd; ++label) labels_.push_back(label);
}

CNEFallbackLabels::~CNEFallbackLabels() = default;

CNELattice::CNELattice()
    : decoder_(std::make_unique<CNEDecoder>()), fallback_(std::make_unique<CNEFallbackLabels>()) {}

CNELattice::~CNELattice() = default;

void CNELattice::SetModel(const CMEClassifier* model) { model_ = model; }

namespace {

template <class Samples>
size_t SampleCount(const Samples& samples) {
  return samples.size();
}
template <>
size_t SampleCount(const NEIndexedSamples& samples) {
  return samples.Size();
}

}  // namespace

template <class Samples>
bool CNELattice::DecodeSamples(const CUString& text, const Samples& samples,
                               const std::vector<int32_t>* label_bits, const CharLabelTable* table,
                               bool bounded) {
  path_.score = 0.0;
  path_.edges.clear();
  const int32_t n = text.Length();
  if (label_bits == nullptr) {
    label_bits_.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) label_bits_[static_cast<size_t>(i)] = table->At(text[i]);
    label_bits = &label_bits_;
  }
  // The end edge reads sample n; every character needs its candidate bits.
  if (SampleCount(samples) < static_cast<size_t>(n) + 1 ||
      label_bits->size() < static_cast<size_t>(n)) {
    return false;
  }
  decoder_->BuildLattice(text, samples, *label_bits, fallback_->Labels());
  decoder_->SetInput(text, samples, model_);
  if (bounded) {
    decoder_->BoundedForwardPass();
  } else {
    decoder_->ForwardPass();
  }
  return decoder_->BestPath(path_);
}

bool CNELattice::Decode(const CUString& text, const std::vector<CMESample>& samples,
                        const CharLabelTable& table) {
  return DecodeSamples(text, samples, nullptr, &table, true);
}

bool CNELattice::Decode(const CUString& text, const NEIndexedSamples& samples,
                        const CharLabelTable& table) {
  return DecodeSamples(text, samples, nullptr, &table, true);
}

bool CNELattice::DecodeWithLabelBits(const CUString& text, const std::vector<CMESample>& samples,
                                     const std::vector<int32_t>& label_bits) {
  return DecodeSamples(text, samples, &label_bits, nullptr, false);
}

bool CNELattice::DecodeWithLabelBits(const CUString& text, const NEIndexedSamples& samples,
                                     const std::vector<int32_t>& label_bits) {
  return DecodeSamples(text, samples, &label_bits, nullptr, false);
}

void CNELattice::ResetLattice() {
  decoder_->Release();
  path_.edges.clear();
  path_.score = 0.0;
}

CUString CNELattice::PathText(int count) const {
  if (count < 2) return CUString();
  Diagnose("did not supoort multipath output\n");
  return CUString(u"error path set");
}

}  // namespace verrin
