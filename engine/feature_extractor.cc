#include "engine/feature_extractor.h"

#include <algorithm>

#include "text/code_page.h"
#include "text/feature_list.h"

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

const char16_t kTheoryWords[2][2] = {{u'主', u'义'}, {u'理', u'论'}};
constexpr int32_t kMatchClasses[4] = {1, 2, 4, 64};

// Appends the decimal text of `value` after `name` (nothing for an empty text).
void AddClassFeature(FeatureList& list, const CUString& name, int32_t value) {
  const FeatureNames& names = Names();
  if (value >= 0 && value < FeatureNames::kSmallInts) {
    const CUString& text = names.decimal[value];
    AddStringFeature(list, name, text.c_str(), text.Length());
  } else {
    AddIntFeature(list, name, value);
  }
}

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

void AddSwitchedOffGroups(const NEFeatureWindow& window, int32_t length, CMESample& sample,
                          const NELexiconView& lexicon) {
  const FeatureNames& names = Names();
  FeatureList& out = sample.predicates;
  const int32_t p = window.position;
  if constexpr (kPreviousWordFeatures) {
    if (!window.previous_words.empty() && window.previous_words.front() != nullptr) {
      const CUString& previous = *window.previous_words.front();
      AddStringFeature(out, names.pv1wd, previous.c_str(), previous.Length());
    }
  }
  if constexpr (kPersonMarkFeatures) {
    if (HasMark(lexicon, p, 0x80)) AddFeature(out, names.fnname);
    if (HasMark(lexicon, p, 0x10)) AddFeature(out, names.pnpfx);
    if (HasMark(lexicon, p, 0x20)) AddFeature(out, names.pnsfx);
    if (HasMark(lexicon, p, 0x08)) AddFeature(out, names.pnsur);
    if (p >= 1) {
      if (HasMark(lexicon, p - 1, 0x80)) AddFeature(out, names.pvfnname);
      if (HasMark(lexicon, p - 1, 0x10)) AddFeature(out, names.pvpnpfx);
      if (HasMark(lexicon, p - 1, 0x08)) AddFeature(out, names.pvpnsur);
    }
    if (p + 1 < length) {
      if (HasMark(lexicon, p + 1, 0x80)) AddFeature(out, names.ntfnname);
      if (HasMark(lexicon, p + 1, 0x20)) AddFeature(out, names.ntpnsfx);
      if (HasMark(lexicon, p + 1, 0x08)) AddFeature(out, names.ntpnsur);
    }
  }
  if constexpr (kClassMarkFeatures) {
    if (HasMark(lexicon, p, 0x01)) AddFeature(out, names.pntitle);
    if (HasMark(lexicon, p, 0x02)) AddFeature(out, names.lnsfx);
    if (HasMark(lexicon, p, 0x04)) AddFeature(out, names.onsfx);
    if (HasMark(lexicon, p, 0x40)) AddFeature(out, names.lnname);
  }
  if constexpr (kContinuationFeatures) {
    if (HasMark(lexicon, p, 0x100)) AddFeature(out, names.pnsfxcon);
    if (HasMark(lexicon, p, 0x200)) AddFeature(out, names.lnsfxcon);
    if (HasMark(lexicon, p, 0x400)) AddFeature(out, names.onsfxcon);
    if (HasMark(lexicon, p, 0x4000)) AddFeature(out, names.lnnamecon);
  }
  if constexpr (kNextMatchFeatures) {
    if (lexicon.matches != nullptr) {
      for (int g = 0; g < 4; ++g) {
        auto it = lexicon.matches->find((p + 1) * 256 + kMatchClasses[g]);
        if (it == lexicon.matches->end() || it->second.length == 0) continue;
        AddCompareFeature(out, names.match_compare[g], it->second.length, 2);
        AddStringFeature(out, names.match_text[g], it->second.text.c_str(),
                         it->second.text.Length());
        AddFeature(out, names.match_flag[g]);
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
  return IsUnscoredLabel(current) && IsUnscoredLabel(previous) &&
         IsUnscoredLabel(second_previous);
}

bool IsLexiconFreeLabel(int32_t label) {
  return label == kLabelPunctuation || label == kLabelClassWord || label == kLabelEnd;
}

void AddLabelHistory(CMESample& sample, int32_t previous, int32_t second_previous) {
  const FeatureNames& names = Names();
  AddClassFeature(sample.predicates, names.pv1lb, previous);
  AddClassFeature(sample.predicates, names.pv2lb, second_previous);
}

void AddWordShapeFeatures(const NEWordNode& word, int32_t offset, CMESample& sample, bool generic,
                          int32_t min_length) {
  const FeatureNames& names = Names();
  FeatureList& out = sample.predicates;
  const int32_t n = word.nTextLen;
  if (generic) {
    if (n == 1) {
      AddFeature(out, names.wdsingle);
    } else if (offset == 0) {
      AddFeature(out, names.wdbegin);
    } else if (offset == n - 1) {
      AddFeature(out, names.wdend);
    }
  }
  if (min_length <= 2 && n == 2) {
    AddFeature(out, offset == 0 ? names.shape_begin[0] : names.shape_end[0]);
  }
  // Lengths 3, 4 and 5-or-more share the begin / end / inner pattern.
  for (int32_t size = 3; size <= 5; ++size) {
    const bool fits = size < 5 ? n == size : n >= 5;
    if (min_length > size || !fits) continue;
    const int g = size - 2;
    if (offset == 0) {
      AddFeature(out, names.shape_begin[g]);
    } else if (offset == n - 1) {
      AddFeature(out, names.shape_end[g]);
    } else {
      AddFeature(out, names.shape_inner[g]);
    }
  }
}

void AddNeighbourFeatures(const CUString& text, const std::vector<int32_t>& char_classes,
                          CMESample& sample, const NEFeatureWindow& window,
                          const NELexiconView& lexicon) {
  const FeatureNames& names = Names();
  FeatureList& out = sample.predicates;
  const char16_t* t = text.c_str();
  const int32_t length = text.Length();
  const int32_t p = window.position;

  const bool has_next = p + 1 < length;
  const bool has_prev = p > 0 && p - 1 < length;
  if (has_next) {
    AddCharFeature(out, names.ntc1, t[p + 1]);
    if (static_cast<size_t>(p + 1) < char_classes.size()) {
      AddClassFeature(out, names.nt1ct, char_classes[static_cast<size_t>(p + 1)]);
    }
    AddStringFeature(out, names.ntc0c1, t + p, 2);
    if (p + 2 < length) {
      AddCharFeature(out, names.ntc2, t[p + 2]);
      AddStringFeature(out, names.ntc1c2, t + p + 1, 2);
      for (const char16_t* word : kTheoryWords) {
        if (t[p + 1] == word[0] && t[p + 2] == word[1]) {
          AddFeature(out, names.wd_theory);
          break;
        }
      }
    }
  }
  if (has_prev) {
    AddCharFeature(out, names.pvc1, t[p - 1]);
    AddStringFeature(out, names.pvc0c1, t + p - 1, 2);
    if (p >= 3) {
      AddStringFeature(out, names.pvc1c2, t + p - 2, 2);
      AddCharFeature(out, names.pvc2, t[p - 2]);
    }
  }
  if (has_prev && has_next) {
    const char16_t around[2] = {t[p - 1], t[p + 1]};
    AddStringFeature(out, names.pv1nt1, around, 2);
  }
  AddSwitchedOffGroups(window, length, sample, lexicon);
}

void ExtractWordFeatures(const CUString& text, std::vector<CMESample>& samples,
                         const std::vector<NEWordNode*>& words, size_t word_index,
                         const std::vector<int32_t>& labels,
                         const std::vector<int32_t>& char_classes, int32_t word_start,
                         bool training) {
  const FeatureNames& names = Names();
  const NEWordNode& word = *words[word_index];
  NEFeatureWindow window;
  if (word_index > 0) window.previous_words.push_back(&words[word_index - 1]->strText);
  window.current_words.push_back(&word.strText);
  if (word_index + 1 < words.size()) window.current_words.push_back(&words[word_index + 1]->strText);

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

    samples.emplace_back();
    CMESample& sample = samples.back();
    SetLabelText(sample.label, window.current_label);
    sample.predicates.reserve(training ? 16 : 14);
    if (training) {
      AddLabelHistory(sample, window.previous_label, window.second_previous_label);
      if (AllUnscoredLabels(window.current_label, window.previous_label,
                            window.second_previous_label)) {
        samples.pop_back();
        continue;
      }
    }
    AddCharFeature(sample.predicates, names.chr, t[p]);
    AddClassFeature(sample.predicates, names.ct, char_classes[static_cast<size_t>(p)]);
    AddWordShapeFeatures(word, k, sample, kGenericWordShape, kWordShapeMinLength);
    AddNeighbourFeatures(text, char_classes, sample, window);
  }
}

void ExtractSentenceFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                             const std::vector<int32_t>& labels,
                             const std::vector<int32_t>& char_classes, bool training,
                             std::vector<CMESample>& samples) {
  samples.clear();
  samples.reserve(static_cast<size_t>(text.Length()));
  // The lexicon marks feed only the switched-off groups, so they are not
  // computed; clearing them at units with lexicon-free labels is moot.
  int32_t word_start = 0;
  for (size_t w = 0; w < words.size(); ++w) {
    ExtractWordFeatures(text, samples, words, w, labels, char_classes, word_start, training);
    word_start += words[w]->nTextLen;
  }
}

}  // namespace verrin
