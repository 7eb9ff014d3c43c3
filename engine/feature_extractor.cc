#include "engine/feature_extractor.h"

#include <algorithm>

#include "text/code_page.h"
#include "text/feature_list.h"  // FeatureList

namespace verrin {

namespace {

// Every predicate name, converted once and shared by all clauses.
struct FeatureNames {
  CUString chr{u"char="}, ct{u"ct="};
  CUString ntc1{u"ntc1="}, nt1ct{u"nt1ct="}, ntc0c1{u"ntc0c1="};
  CUString ntc2{u"ntc2="}, ntc1c2{u"ntc1c2="}, wd_theory{u"wd_therory"};
  CUString pvc1{u"pvc1="}, pvc0c1{u"pvc0c1="}, pvc1c2{u"pvc1c2="}, pvc2{u"pvc2="};
  CUString pv1nt1{u"pv1nt1="};
  CUString pv1lb{u"pv1lb="}, pv2lb{u"pv2lb="};
  // Switched-off groups.
  CUString pv1wd{u"pv1wd="};
  CUString fnname{u"fnname"}, pnpfx{u"pnpfx"}, pnsfx{u"pnsfx"}, pnsur{u"pnsur"};
  CUString pvfnname{u"pvfnname"}, pvpnpfx{u"pvpnpfx"}, pvpnsur{u"pvpnsur"};
  CUString ntfnname{u"ntfnname"}, ntpnsfx{u"ntpnsfx"}, ntpnsur{u"ntpnsur"};
  CUString pntitle{u"pntitle"}, lnsfx{u"lnsfx"}, onsfx{u"onsfx"}, lnname{u"lnname"};
  CUString pnsfxcon{u"pnsfxcon"}, lnsfxcon{u"lnsfxcon"}, onsfxcon{u"onsfxcon"},
      lnnamecon{u"lnnamecon"};
  CUString match_compare[4] = {u"ntpnsfx_c=", u"ntlnsfx_c=", u"ntonsfx_c=", u"ntlnname_c="};
  CUString match_text[4] = {u"ntpnsfx_n=", u"ntlnsfx_n=", u"ntonsfx_n=", u"ntlnname_n="};
  CUString match_flag[4] = {u"ntispnsfx", u"ntislnsfx", u"ntisonsfx", u"ntislnname"};
  // Word shape.
  CUString wdsingle{u"wdsingle"}, wdbegin{u"wdbegin"}, wdend{u"wdend"};
  CUString shape_begin[4] = {u"2wdbegin", u"3wdbegin", u"4wdbegin", u"5wdbegin"};
  CUString shape_end[4] = {u"2wdend", u"3wdend", u"4wdend", u"5wdend"};
  CUString shape_inner[4] = {u"", u"3wdcond", u"4wdcond", u"5wdcond"};
  // Defined for the model vocabulary; nothing produces them.
  CUString pv1ct{u"pv1ct="}, wd{u"wd="}, nt1wd{u"nt1wd="}, nt2wd{u"nt2wd="}, pv2wd{u"pv2wd="};

  // Decimal texts of the small ints that label and class texts use.
  static constexpr int kSmallInts = 64;
  CUString decimal[kSmallInts];

  FeatureNames() {
    for (int i = 0; i < kSmallInts; ++i) decimal[i] = DecimalText(i);
  }
};

const FeatureNames& Names() {
  static const FeatureNames names;
  return names;
}

// Writes the predicates of one sample slot by slot into its list, reusing the
// strings a previous clause left there, so that a steady stream of clauses
// allocates almost nothing. The texts are those of the feature-list helpers.
class PredicateWriter {
 public:
  // Writing starts at `start`; Finish() drops whatever lies beyond the last
  // predicate written.
  PredicateWriter(FeatureList& list, size_t start) : list_(list), next_(start) {}

  // name + units (n units; a NUL among them ends the text, as Append does).
  void Put(const CUString& name, const char16_t* units, int32_t n) {
    int32_t kept = 0;
    while (kept < n && units[kept] != 0) ++kept;
    const int32_t length = name.Length() + kept;
    if (length >= kScratch) {
      CUString text(length);
      text.Append(name);
      text.Append(units, kept);
      Slot().Assign(text);
      return;
    }
    char16_t buffer[kScratch];
    std::copy(name.c_str(), name.c_str() + name.Length(), buffer);
    std::copy(units, units + kept, buffer + name.Length());
    Slot().Assign(buffer, length);
  }
  void PutUnit(const CUString& name, char16_t unit) { Put(name, &unit, 1); }
  // name + decimal text ("%S%d").
  void PutInt(const CUString& name, int32_t value) {
    if (value >= 0 && value < FeatureNames::kSmallInts) {
      const CUString& text = Names().decimal[value];
      Put(name, text.c_str(), text.Length());
    } else {
      const CUString text = DecimalText(value);
      Put(name, text.c_str(), text.Length());
    }
  }
  void PutBare(const CUString& name) { Slot().Assign(name); }
  // name + 1, 2 or 3 for a <, =, > b.
  void PutCompare(const CUString& name, int32_t a, int32_t b) {
    PutInt(name, a < b ? 1 : (a == b ? 2 : 3));
  }
  void Finish() {
    if (list_.size() > next_) list_.resize(next_);
  }

 private:
  // Room for every predicate of the vocabulary without reallocation.
  static constexpr int32_t kScratch = 32;

  CUString& Slot() {
    if (next_ == list_.size()) list_.emplace_back(kScratch);
    return list_[next_++];
  }

  FeatureList& list_;
  size_t next_;
};

const char16_t kTheoryWords[2][2] = {{u'主', u'义'}, {u'理', u'论'}};
constexpr int32_t kMatchClasses[4] = {1, 2, 4, 64};

void SetLabelText(CUString& label, int32_t value) {
  if (value >= 0 && value < FeatureNames::kSmallInts) {
    label.Assign(Names().decimal[value]);
  } else {
    label.Assign(DecimalText(value));
  }
}

bool HasMark(const NELexiconView& lexicon, int32_t position, int32_t bits) {
  if (lexicon.marks == nullptr || position < 0 ||
      static_cast<size_t>(position) >= lexicon.marks->size()) {
    return false;
  }
  return ((*lexicon.marks)[static_cast<size_t>(position)] & bits) != 0;
}

void AddSwitchedOffGroups(const NEFeatureWindow& window, int32_t length, PredicateWriter& out,
                          const NELexiconView& lexicon) {
  const FeatureNames& names = Names();
  const int32_t p = window.position;
  if constexpr (kPreviousWordFeatures) {
    if (!window.previous_words.empty() && window.previous_words.front() != nullptr) {
      const CUString& previous = *window.previous_words.front();
      if (!previous.Empty()) out.Put(names.pv1wd, previous.c_str(), previous.Length());
    }
  }
  if constexpr (kPersonMarkFeatures) {
    if (HasMark(lexicon, p, 0x80)) out.PutBare(names.fnname);
    if (HasMark(lexicon, p, 0x10)) out.PutBare(names.pnpfx);
    if (HasMark(lexicon, p, 0x20)) out.PutBare(names.pnsfx);
    if (HasMark(lexicon, p, 0x08)) out.PutBare(names.pnsur);
    if (p >= 1) {
      if (HasMark(lexicon, p - 1, 0x80)) out.PutBare(names.pvfnname);
      if (HasMark(lexicon, p - 1, 0x10)) out.PutBare(names.pvpnpfx);
      if (HasMark(lexicon, p - 1, 0x08)) out.PutBare(names.pvpnsur);
    }
    if (p + 1 < length) {
      if (HasMark(lexicon, p + 1, 0x80)) out.PutBare(names.ntfnname);
      if (HasMark(lexicon, p + 1, 0x20)) out.PutBare(names.ntpnsfx);
      if (HasMark(lexicon, p + 1, 0x08)) out.PutBare(names.ntpnsur);
    }
  }
  if constexpr (kClassMarkFeatures) {
    if (HasMark(lexicon, p, 0x01)) out.PutBare(names.pntitle);
    if (HasMark(lexicon, p, 0x02)) out.PutBare(names.lnsfx);
    if (HasMark(lexicon, p, 0x04)) out.PutBare(names.onsfx);
    if (HasMark(lexicon, p, 0x40)) out.PutBare(names.lnname);
  }
  if constexpr (kContinuationFeatures) {
    if (HasMark(lexicon, p, 0x100)) out.PutBare(names.pnsfxcon);
    if (HasMark(lexicon, p, 0x200)) out.PutBare(names.lnsfxcon);
    if (HasMark(lexicon, p, 0x400)) out.PutBare(names.onsfxcon);
    if (HasMark(lexicon, p, 0x4000)) out.PutBare(names.lnnamecon);
  }
  if constexpr (kNextMatchFeatures) {
    if (lexicon.matches != nullptr) {
      for (int g = 0; g < 4; ++g) {
        auto it = lexicon.matches->find((p + 1) * 256 + kMatchClasses[g]);
        if (it == lexicon.matches->end() || it->second.length == 0) continue;
        out.PutCompare(names.match_compare[g], it->second.length, 2);
        if (!it->second.text.Empty()) {
          out.Put(names.match_text[g], it->second.text.c_str(), it->second.text.Length());
        }
        out.PutBare(names.match_flag[g]);
      }
    }
  }
  (void)window;
  (void)length;
  (void)lexicon;
  (void)kMatchClasses;
}

}  // namespace

bool IsUnscoredLabel(int32_t label) {
  switch (label) {
    case kLabelNone:
    case kLabelPunctuation:
    case kLabelClassWord:
    case kLabelMdw:
    case kLabelStart:
    case kLabelEnd:
      return true;
    default:
      return false;
  }
}

bool AllUnscoredLabels(int32_t current, int32_t previous, int32_t second_previous) {
  return IsUnscoredLabel(current) && IsUnscoredLabel(previous) && IsUnscoredLabel(second_previous);
}

bool IsLexiconFreeLabel(int32_t label) {
  return label == kLabelPunctuation || label == kLabelClassWord || label == kLabelEnd;
}

void AddLabelHistory(CMESample& sample, int32_t previous, int32_t second_previous) {
  PredicateWriter out(sample.predicates, sample.predicates.size());
  out.PutInt(Names().pv1lb, previous);
  out.PutInt(Names().pv2lb, second_previous);
}

namespace {

void WriteWordShape(const NEWordNode& word, int32_t offset, PredicateWriter& out, bool generic,
                    int32_t min_length) {
  const FeatureNames& names = Names();
  const int32_t n = word.nTextLen;
  if (generic) {
    if (n == 1) {
      out.PutBare(names.wdsingle);
    } else if (offset == 0) {
      out.PutBare(names.wdbegin);
    } else if (offset == n - 1) {
      out.PutBare(names.wdend);
    }
  }
  if (min_length <= 2 && n == 2) {
    out.PutBare(offset == 0 ? names.shape_begin[0] : names.shape_end[0]);
  }
  // Lengths 3, 4 and 5-or-more share the begin / end / inner pattern.
  for (int32_t size = 3; size <= 5; ++size) {
    const bool fits = size < 5 ? n == size : n >= 5;
    if (min_length > size || !fits) continue;
    const int g = size - 2;
    if (offset == 0) {
      out.PutBare(names.shape_begin[g]);
    } else if (offset == n - 1) {
      out.PutBare(names.shape_end[g]);
    } else {
      out.PutBare(names.shape_inner[g]);
    }
  }
}

void WriteNeighbours(const CUString& text, const std::vector<int32_t>& char_classes,
                     PredicateWriter& out, const NEFeatureWindow& window,
                     const NELexiconView& lexicon) {
  const FeatureNames& names = Names();
  const char16_t* t = text.c_str();
  const int32_t length = text.Length();
  const int32_t p = window.position;

  const bool has_next = p + 1 < length;
  const bool has_prev = p > 0 && p - 1 < length;
  if (has_next) {
    out.PutUnit(names.ntc1, t[p + 1]);
    if (static_cast<size_t>(p + 1) < char_classes.size()) {
      out.PutInt(names.nt1ct, char_classes[static_cast<size_t>(p + 1)]);
    }
    out.Put(names.ntc0c1, t + p, 2);
    if (p + 2 < length) {
      out.PutUnit(names.ntc2, t[p + 2]);
      out.Put(names.ntc1c2, t + p + 1, 2);
      for (const char16_t* word : kTheoryWords) {
        if (t[p + 1] == word[0] && t[p + 2] == word[1]) {
          out.PutBare(names.wd_theory);
          break;
        }
      }
    }
  }
  if (has_prev) {
    out.PutUnit(names.pvc1, t[p - 1]);
    out.Put(names.pvc0c1, t + p - 1, 2);
    if (p >= 3) {
      out.Put(names.pvc1c2, t + p - 2, 2);
      out.PutUnit(names.pvc2, t[p - 2]);
    }
  }
  if (has_prev && has_next) {
    const char16_t around[2] = {t[p - 1], t[p + 1]};
    out.Put(names.pv1nt1, around, 2);
  }
  AddSwitchedOffGroups(window, length, out, lexicon);
}

// Fills samples[used], samples[used + 1], ... (reusing what is there) for
// every unit of words[word_index]; `used` ends behind the last kept sample.
void WriteWordSamples(const CUString& text, std::vector<CMESample>& samples, size_t& used,
                      const std::vector<NEWordNode*>& words, size_t word_index,
                      const std::vector<int32_t>& labels, const std::vector<int32_t>& char_classes,
                      int32_t word_start, bool training) {
  const FeatureNames& names = Names();
  const NEWordNode& word = *words[word_index];
  NEFeatureWindow window;
  if (word_index > 0) window.previous_words.push_back(&words[word_index - 1]->strText);
  window.current_words.push_back(&word.strText);
  if (word_index + 1 < words.size())
    window.current_words.push_back(&words[word_index + 1]->strText);

  const char16_t* t = text.c_str();
  const int32_t limit = static_cast<int32_t>(
      std::min({static_cast<size_t>(text.Length()), labels.size(), char_classes.size()}));
  for (int32_t k = 0; k < word.nTextLen; ++k) {
    const int32_t p = word_start + k;
    if (p < 0 || p >= limit) break;
    window.current_char = t[p];
    window.position = p;
    window.current_label = labels[static_cast<size_t>(p)];
    window.previous_label = p >= 1 ? labels[static_cast<size_t>(p - 1)] : kLabelStart;
    window.second_previous_label =
        p >= 2 ? labels[static_cast<size_t>(p - 2)] : (p == 1 ? kLabelStart : kLabelNone);

    // Training leaves out steps the model never scores.
    if (training && AllUnscoredLabels(window.current_label, window.previous_label,
                                      window.second_previous_label)) {
      continue;
    }
    if (used == samples.size()) samples.emplace_back();
    CMESample& sample = samples[used++];
    SetLabelText(sample.label, window.current_label);
    PredicateWriter out(sample.predicates, 0);
    if (training) {
      out.PutInt(names.pv1lb, window.previous_label);
      out.PutInt(names.pv2lb, window.second_previous_label);
    }
    out.PutUnit(names.chr, t[p]);
    out.PutInt(names.ct, char_classes[static_cast<size_t>(p)]);
    WriteWordShape(word, k, out, kGenericWordShape, kWordShapeMinLength);
    WriteNeighbours(text, char_classes, out, window, NELexiconView());
    out.Finish();
  }
}

}  // namespace

void AddWordShapeFeatures(const NEWordNode& word, int32_t offset, CMESample& sample, bool generic,
                          int32_t min_length) {
  PredicateWriter out(sample.predicates, sample.predicates.size());
  WriteWordShape(word, offset, out, generic, min_length);
}

void AddNeighbourFeatures(const CUString& text, const std::vector<int32_t>& char_classes,
                          CMESample& sample, const NEFeatureWindow& window,
                          const NELexiconView& lexicon) {
  PredicateWriter out(sample.predicates, sample.predicates.size());
  WriteNeighbours(text, char_classes, out, window, lexicon);
}

void ExtractWordFeatures(const CUString& text, std::vector<CMESample>& samples,
                         const std::vector<NEWordNode*>& words, size_t word_index,
                         const std::vector<int32_t>& labels,
                         const std::vector<int32_t>& char_classes, int32_t word_start,
                         bool training) {
  size_t used = samples.size();
  WriteWordSamples(text, samples, used, words, word_index, labels, char_classes, word_start,
                   training);
  samples.resize(used);
}

void ExtractSentenceFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                             const std::vector<int32_t>& labels,
                             const std::vector<int32_t>& char_classes, bool training,
                             std::vector<CMESample>& samples) {
  // The samples of the previous clause are overwritten in place (their
  // strings keep their buffers); the list ends up holding exactly this
  // clause's samples. The lexicon marks feed only the switched-off groups,
  // so they are not computed.
  size_t used = 0;
  int32_t word_start = 0;
  for (size_t w = 0; w < words.size(); ++w) {
    WriteWordSamples(text, samples, used, words, w, labels, char_classes, word_start, training);
    word_start += words[w]->nTextLen;
  }
  samples.resize(used);
}

}  // namespace verrin
