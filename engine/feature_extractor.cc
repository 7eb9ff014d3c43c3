#include "engine/feature_extractor.h"

#include <algorithm>
#include <string>

#include "engine/feature_names.h"
#include "maxent/me_model.h"
#include "text/code_page.h"
#include "text/feature_list.h"  // FeatureList
#include "text/gbk_unit.h"

namespace verrin {

using namespace predicate_names;  // NOLINT: the extractor's own names

namespace {

// A mark bit and the bare name it gives.
struct MarkName {
  int name;
  int32_t mark;
};
constexpr MarkName kPersonMarksAt[] = {
    {kPersonChar, 0x80}, {kPersonPrefix, 0x10}, {kPersonSuffix, 0x20}, {kSurname, 0x08}};
constexpr MarkName kPersonMarksBefore[] = {
    {kPreviousPersonChar, 0x80}, {kPreviousPersonPrefix, 0x10}, {kPreviousSurname, 0x08}};
constexpr MarkName kPersonMarksAfter[] = {
    {kNextPersonChar, 0x80}, {kNextPersonSuffix, 0x20}, {kNextSurname, 0x08}};
constexpr MarkName kClassMarks[] = {
    {kTitle, 0x01}, {kLocationSuffix, 0x02}, {kOrgSuffix, 0x04}, {kLocationName, 0x40}};
constexpr MarkName kContinuationMarks[] = {{kTitleGoesOn, 0x100},
                                           {kLocationSuffixGoesOn, 0x200},
                                           {kOrgSuffixGoesOn, 0x400},
                                           {kLocationNameGoesOn, 0x4000}};
// The match classes of next-match, each with its three names.
struct NextMatchNames {
  int32_t klass;
  int compare, text, bare;
};
constexpr NextMatchNames kNextMatches[] = {
    {1, kNextTitleCompare, kNextTitleText, kNextIsTitle},
    {2, kNextLocationSuffixCompare, kNextLocationSuffixText, kNextIsLocationSuffix},
    {4, kNextOrgSuffixCompare, kNextOrgSuffixText, kNextIsOrgSuffix},
    {64, kNextLocationNameCompare, kNextLocationNameText, kNextIsLocationName}};

// The value bit of a known organization in the item lexicon.
constexpr int32_t kOrgItemValue = 4;

// Every predicate name, converted once and shared by all clauses.
struct FeatureNames {
  CUString name[kFeatureNameCount];

  // Decimal texts of the small ints that label and class texts use.
  static constexpr int kSmallInts = 64;
  CUString decimal[kSmallInts];

  FeatureNames() {
    for (int i = 0; i < kFeatureNameCount; ++i) name[i] = CUString(kNameTexts[i]);
    for (int i = 0; i < kSmallInts; ++i) decimal[i] = DecimalText(i);
  }
};

const FeatureNames& Names() {
  static const FeatureNames names;
  return names;
}

// Units of `units` before the first NUL, at most n.
inline int32_t KeptUnits(const char16_t* units, int32_t n) {
  int32_t kept = 0;
  while (kept < n && units[kept] != 0) ++kept;
  return kept;
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
  void Put(int name, const char16_t* units, int32_t n) { PutText(Names().name[name], units, n); }
  // name + decimal text ("%S%d").
  void PutInt(int name, int32_t value) {
    if (value >= 0 && value < FeatureNames::kSmallInts) {
      const CUString& text = Names().decimal[value];
      Put(name, text.c_str(), text.Length());
    } else {
      const CUString text = DecimalText(value);
      Put(name, text.c_str(), text.Length());
    }
  }
  // name + a text of any length (the same as Put here).
  void PutText(int name, const char16_t* units, int32_t n) { Put(name, units, n); }
  // name + 1, 2 or 3 ("%S%d").
  void PutCompare(int name, int32_t value) { PutInt(name, value); }
  void Finish() {
    if (list_.size() > next_) list_.resize(next_);
  }

 private:
  // Room for every predicate of the vocabulary without reallocation.
  static constexpr int32_t kScratch = 32;

  void PutText(const CUString& name, const char16_t* units, int32_t n) {
    const int32_t kept = KeptUnits(units, n);
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

  CUString& Slot() {
    if (next_ == list_.size()) list_.emplace_back(kScratch);
    return list_[next_++];
  }

  FeatureList& list_;
  size_t next_;
};

// Writes the predicates of one sample as model indices, found from the
// units without building their texts: values of one or two units from the
// model's value records where the name has a slot there (the caller
// fetches the records of the units ahead), the others by their exact key.
class IndexWriter {
 public:
  IndexWriter(const NEPredicateNames& names, std::vector<int32_t>& out)
      : names_(names),
        model_(*names.Model()),
        values_(model_.ShortValues()),
        out_(out),
        begin_(out.size()) {}

  // name + units (n <= 2 units; a NUL among them ends the value).
  void Put(int name, const char16_t* units, int32_t n) {
    const int32_t index = names_.Name(name);
    if (index < 0) return;  // no predicate of the model has the name
    char16_t value[2] = {0, 0};
    int32_t kept = 0;
    if (n > 0 && units[0] != 0) {
      value[0] = units[0];
      kept = 1;
      if (n > 1 && units[1] != 0) {
        value[1] = units[1];
        kept = 2;
      }
    }
    int32_t predicate;
    int32_t slot;
    if (kept == 1 && (slot = names_.UnitSlot(name)) >= 0) {
      predicate = values_.Unit(value[0])[slot];
    } else if (kept == 2 && (slot = names_.PairSlot(name)) >= 0) {
      predicate = values_.Pair(value[0], value[1])[slot];
    } else {
      predicate = model_.ShortPredicateIndex(index, value, kept);
    }
    Add(predicate);
  }
  void PutInt(int name, int32_t value) {
    if ((name == kCharClass || name == kNextClass) && value >= 0 &&
        value < NEPredicateNames::kClassCodes) {
      Add(names_.ClassPredicate(name == kNextClass ? 1 : 0, value));
      return;
    }
    if (value >= 0 && value < 10) {
      const char16_t digit = static_cast<char16_t>(u'0' + value);
      Put(name, &digit, 1);
      return;
    }
    if (value >= 10 && value < 100) {
      const char16_t digits[2] = {static_cast<char16_t>(u'0' + value / 10),
                                  static_cast<char16_t>(u'0' + value % 10)};
      Put(name, digits, 2);
      return;
    }
    // Longer values are not short predicates: look the whole text up.
    CUString text(Names().name[name]);
    text.Append(DecimalText(value));
    Add(model_.PredicateIndex(text));
  }
  // name + 1, 2 or 3.
  void PutCompare(int name, int32_t value) {
    const char16_t digit = static_cast<char16_t>(u'0' + value);
    Put(name, &digit, 1);
  }
  // name + a text of any length (a NUL ends it).
  void PutText(int name, const char16_t* units, int32_t n) {
    const int32_t kept = KeptUnits(units, n);
    if (kept <= 2) {
      Put(name, units, kept);
      return;
    }
    thread_local CUString text;
    text.Assign(Names().name[name]);
    text.Append(units, kept);
    Add(model_.PredicateIndex(text));
  }
  // The scoring records of the sample's predicates start to be fetched.
  void Finish() { model_.PrefetchRowStarts(out_.data() + begin_, out_.size() - begin_); }

 private:
  void Add(int32_t predicate) {
    if (predicate >= 0) out_.push_back(predicate);
  }

  const NEPredicateNames& names_;
  const CMEModel& model_;
  const CShortValueTable& values_;
  std::vector<int32_t>& out_;
  size_t begin_;
};

const char16_t kTheoryWords[2][2] = {{u'主', u'义'}, {u'理', u'论'}};

// The clause as predicates see it: every unit GBK cannot write becomes the
// stand-in 〓, which training corpora hold in its place (models are GBK
// files and never hold such a unit). Returns `text` itself when it has none,
// else the calling thread's copy, valid until its next call.
const CUString& PredicateView(const CUString& text) {
  const char16_t* t = text.c_str();
  const int32_t n = text.Length();
  int32_t i = 0;
  while (i < n && IsGbkUnit(t[i])) ++i;
  if (i == n) return text;
  thread_local CUString scratch;
  scratch.Assign(text);
  char16_t* p = scratch.MutableBuffer();
  for (; i < n; ++i) {
    if (!IsGbkUnit(p[i])) p[i] = kNonGbkStandIn;
  }
  return scratch;
}

void SetLabelText(CUString& label, int32_t value) {
  if (value >= 0 && value < FeatureNames::kSmallInts) {
    label.Assign(Names().decimal[value]);
  } else {
    label.Assign(DecimalText(value));
  }
}

// The word a sampled unit lies in (kept only where groups read it).
struct UnitPlace {
  const NEWordNode* word = nullptr;
  int32_t offset = 0;           // of p in the word
  int32_t previous_start = -1;  // the previous word's start, -1: none
  int32_t previous_length = 0;
};

template <class Out>
void WriteWordShape(const NEWordNode& word, int32_t offset, Out& out, bool generic,
                    int32_t min_length) {
  const int32_t n = word.nTextLen;
  if (generic) {
    if (n == 1) {
      out.Put(kWordSingle, nullptr, 0);
    } else if (offset == 0) {
      out.Put(kWordBegin, nullptr, 0);
    } else if (offset == n - 1) {
      out.Put(kWordEnd, nullptr, 0);
    }
  }
  if (min_length <= 2 && n == 2) out.Put(offset == 0 ? kShape2Begin : kShape2End, nullptr, 0);
  // Lengths 3, 4 and 5-or-more share the begin / end / inner pattern.
  for (int32_t size = 3; size <= 5; ++size) {
    const bool fits = size < 5 ? n == size : n >= 5;
    if (min_length > size || !fits) continue;
    const int begin = kShape3Begin + 3 * (size - 3);
    if (offset == 0) {
      out.Put(begin, nullptr, 0);
    } else if (offset == n - 1) {
      out.Put(begin + 1, nullptr, 0);
    } else {
      out.Put(begin + 2, nullptr, 0);
    }
  }
}

// The predicates of the groups that read the marks of MarkLexiconClasses.
template <class Out>
void WriteLexiconMarks(int32_t length, int32_t p, const NEFeatureGroups& groups,
                       const NELexiconMarks& marks, Out& out) {
  const std::vector<int32_t>& m = marks.marks;
  const auto mark_at = [&m](int32_t q) {
    return q >= 0 && static_cast<size_t>(q) < m.size() ? m[static_cast<size_t>(q)] : 0;
  };
  const auto put_marks = [&out](int32_t mark, const auto& names) {
    for (const MarkName& n : names) {
      if (mark & n.mark) out.Put(n.name, nullptr, 0);
    }
  };
  if (groups.Has(kGroupPersonMarks)) {
    put_marks(mark_at(p), kPersonMarksAt);
    if (p >= 1) put_marks(mark_at(p - 1), kPersonMarksBefore);
    if (p + 1 < length) put_marks(mark_at(p + 1), kPersonMarksAfter);
  }
  if (groups.Has(kGroupClassMarks)) put_marks(mark_at(p), kClassMarks);
  if (groups.Has(kGroupContinuationMarks)) put_marks(mark_at(p), kContinuationMarks);
  if (groups.Has(kGroupNextMatch) && !marks.matches.empty()) {
    for (const NextMatchNames& names : kNextMatches) {
      const auto found = marks.matches.find((p + 1) * 256 + names.klass);
      if (found == marks.matches.end() || found->second.length == 0) continue;
      const int32_t n = found->second.length;
      out.PutCompare(names.compare, n < 2 ? 1 : (n == 2 ? 2 : 3));
      out.PutText(names.text, found->second.text.c_str(), found->second.text.Length());
      out.Put(names.bare, nullptr, 0);
    }
  }
}

// The predicates of org-items at p.
template <class Out>
void WriteOrgItems(const char16_t* t, int32_t p, const NELexiconMarks& marks, Out& out) {
  const std::vector<int32_t>& m = marks.org_marks;
  const int32_t mark = static_cast<size_t>(p) < m.size() ? m[static_cast<size_t>(p)] : 0;
  if (mark & 1) out.Put(kOrgItem, nullptr, 0);
  if (mark & 2) out.Put(kOrgItemGoesOn, nullptr, 0);
  const std::vector<int32_t>& lengths = marks.org_lengths;
  const size_t next = static_cast<size_t>(p + 1);
  if (next >= lengths.size() || lengths[next] == 0) return;
  const int32_t n = lengths[next];
  out.PutCompare(kNextOrgItemCompare, n < 2 ? 1 : (n == 2 ? 2 : 3));
  out.PutText(kNextOrgItemText, t + p + 1, n);
  out.Put(kNextIsOrgItem, nullptr, 0);
}

// The groups' predicates that follow "pv1nt1=".
template <class Out>
void WriteGroups(const char16_t* t, int32_t length, int32_t p, const UnitPlace& place,
                 const NEFeatureGroups& groups, const NELexiconMarks* marks, Out& out) {
  if (groups.Has(kGroupPreviousWord) && place.previous_start >= 0 && place.previous_length > 0) {
    out.PutText(kPreviousWord, t + place.previous_start, place.previous_length);
  }
  if (marks == nullptr) return;
  if (groups.bits & kLexiconMarkGroups) WriteLexiconMarks(length, p, groups, *marks, out);
  if (groups.Has(kGroupOrgItems)) WriteOrgItems(t, p, *marks, out);
}

// The predicates of unit p after the history ones (see the file comment);
// the groups' only when kGroups.
template <bool kGroups, class Out>
void WriteUnit(const char16_t* t, int32_t length, const std::vector<int32_t>& char_classes,
               int32_t p, const UnitPlace& place, const NEFeatureGroups& groups,
               const NELexiconMarks* marks, Out& out) {
  out.Put(kChar, t + p, 1);
  out.PutInt(kCharClass, char_classes[static_cast<size_t>(p)]);
  if constexpr (kGroups) {
    if (groups.Has(kGroupWordShape | kGroupWordPosition)) {
      WriteWordShape(*place.word, place.offset, out, groups.Has(kGroupWordPosition),
                     groups.Has(kGroupWordShape) ? groups.shape_min_length : kWordShapeMinLength);
    }
  }
  const bool has_next = p + 1 < length;
  const bool has_prev = p > 0 && p - 1 < length;
  if (has_next) {
    out.Put(kNext, t + p + 1, 1);
    if (static_cast<size_t>(p + 1) < char_classes.size()) {
      out.PutInt(kNextClass, char_classes[static_cast<size_t>(p + 1)]);
    }
    out.Put(kThisNext, t + p, 2);
    if (p + 2 < length) {
      out.Put(kSecondNext, t + p + 2, 1);
      out.Put(kNextPair, t + p + 1, 2);
      for (const char16_t* word : kTheoryWords) {
        if (t[p + 1] == word[0] && t[p + 2] == word[1]) {
          out.Put(kTheory, nullptr, 0);
          break;
        }
      }
    }
  }
  if (has_prev) {
    out.Put(kPrevious, t + p - 1, 1);
    out.Put(kPreviousThis, t + p - 1, 2);
    if (p >= 3) {
      out.Put(kPreviousPair, t + p - 2, 2);
      out.Put(kSecondPrevious, t + p - 2, 1);
    }
  }
  if (has_prev && has_next) {
    const char16_t around[2] = {t[p - 1], t[p + 1]};
    out.Put(kAround, around, 2);
  }
  if constexpr (kGroups) WriteGroups(t, length, p, place, groups, marks, out);
}

// Calls write(p, place, current, previous, second_previous) for every unit
// that gets a sample, in order; `place` is kept only with kWords.
template <bool kWords, class Write>
void ForEachSampledUnit(const CUString& text, const std::vector<NEWordNode*>& words,
                        const std::vector<int32_t>& labels,
                        const std::vector<int32_t>& char_classes, bool training, Write write) {
  const int32_t limit = static_cast<int32_t>(
      std::min({static_cast<size_t>(text.Length()), labels.size(), char_classes.size()}));
  UnitPlace place;
  int32_t word_start = 0;
  for (const NEWordNode* word : words) {
    if constexpr (kWords) place.word = word;
    for (int32_t k = 0; k < word->nTextLen; ++k) {
      const int32_t p = word_start + k;
      if (p < 0 || p >= limit) break;
      const int32_t current = labels[static_cast<size_t>(p)];
      const int32_t previous = p >= 1 ? labels[static_cast<size_t>(p - 1)] : kLabelStart;
      const int32_t second_previous =
          p >= 2 ? labels[static_cast<size_t>(p - 2)] : (p == 1 ? kLabelStart : kLabelNone);
      // Training leaves out steps the model never scores.
      if (training && AllUnscoredLabels(current, previous, second_previous)) continue;
      if constexpr (kWords) place.offset = k;
      write(p, place, current, previous, second_previous);
    }
    if constexpr (kWords) {
      place.previous_start = word_start;
      place.previous_length = word->nTextLen;
    }
    word_start += word->nTextLen;
  }
}

// The clause's organization-item marks and match lengths for org-items: a
// pass of its own over the item lexicon, apart from MarkLexiconClasses, whose
// marks and match keys stay as they are.
void PrepareOrgItems(const CUString& text, const std::vector<int32_t>& labels,
                     NELexiconMarks* marks) {
  const int32_t length = text.Length();
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  marks->org_marks.assign(size, 0);
  marks->org_lengths.assign(size, 0);
  if (marks->items == nullptr) return;
  const char16_t* t = text.c_str();
  for (int32_t i = 0; i < length; ++i) {
    const int32_t m = LongestClassMatch(*marks->items, t + i, length - i, kOrgItemValue);
    if (m == 0) continue;
    marks->org_lengths[static_cast<size_t>(i)] = m;
    marks->org_marks[static_cast<size_t>(i)] |= 1;
    for (int32_t j = 1; j < m; ++j) marks->org_marks[static_cast<size_t>(i + j)] |= 2;
  }
  const size_t n = std::min(size, labels.size());
  for (size_t p = 0; p < n; ++p) {
    if (IsLexiconFreeLabel(labels[p])) marks->org_marks[p] = 0;
  }
}

// The clause's lexicon marks for the groups that read them: those of
// MarkLexiconClasses, cleared at units whose label is lexicon-free.
void PrepareMarks(const CUString& text, const std::vector<int32_t>& labels,
                  const NEFeatureGroups& groups, NELexiconMarks* marks) {
  if (marks == nullptr) return;
  if (groups.Has(kGroupOrgItems)) PrepareOrgItems(text, labels, marks);
  if ((groups.bits & kLexiconMarkGroups) == 0) return;
  const int32_t length = text.Length();
  if (marks->affixes != nullptr && marks->items != nullptr && marks->pe_info != nullptr) {
    MarkLexiconClasses(text.c_str(), length, *marks->affixes, *marks->items, *marks->pe_info,
                       marks->marks, marks->matches);
  } else {
    marks->marks.assign(static_cast<size_t>(length), 0);
    marks->matches.clear();
  }
  const size_t n = std::min(marks->marks.size(), labels.size());
  for (size_t p = 0; p < n; ++p) {
    if (IsLexiconFreeLabel(labels[p])) marks->marks[p] = 0;
  }
}

template <bool kGroups>
void SentenceSamples(const CUString& text, const std::vector<NEWordNode*>& words,
                     const std::vector<int32_t>& labels, const std::vector<int32_t>& char_classes,
                     bool training, const NEFeatureGroups& groups, const NELexiconMarks* marks,
                     std::vector<CMESample>& samples) {
  // The samples of the previous clause are overwritten in place (their
  // strings keep their buffers); the list ends up holding exactly this
  // clause's samples.
  const char16_t* t = text.c_str();
  const int32_t length = text.Length();
  size_t used = 0;
  ForEachSampledUnit<kGroups>(text, words, labels, char_classes, training,
                              [&](int32_t p, const UnitPlace& place, int32_t current,
                                  int32_t previous, int32_t second_previous) {
                                if (used == samples.size()) samples.emplace_back();
                                CMESample& sample = samples[used++];
                                SetLabelText(sample.label, current);
                                PredicateWriter out(sample.predicates, 0);
                                if (training) {
                                  out.PutInt(kPreviousLabel, previous);
                                  out.PutInt(kSecondPreviousLabel, second_previous);
                                }
                                WriteUnit<kGroups>(t, length, char_classes, p, place, groups, marks,
                                                   out);
                                out.Finish();
                              });
  samples.resize(used);
}

template <bool kGroups>
void IndexedSamples(const CUString& text, const std::vector<NEWordNode*>& words,
                    const std::vector<int32_t>& labels, const std::vector<int32_t>& char_classes,
                    const NEPredicateNames& names, const NELexiconMarks* marks,
                    NEIndexedSamples& samples) {
  const char16_t* t = text.c_str();
  const int32_t length = text.Length();
  const CShortValueTable& values = names.Model()->ShortValues();
  constexpr int32_t kFetchAhead = 4;
  for (int32_t p = 0; p < std::min(length, kFetchAhead); ++p) {
    values.PrefetchUnit(t[p]);
    values.PrefetchPair(t[p], t[p + 1]);
    if (p > 0) values.PrefetchPair(t[p - 1], t[p + 1]);
  }
  ForEachSampledUnit<kGroups>(
      text, words, labels, char_classes, false,
      [&](int32_t p, const UnitPlace& place, int32_t current, int32_t, int32_t) {
        // The records of the units and pairs a few units on.
        const int32_t ahead = p + kFetchAhead;
        if (ahead < length) {
          values.PrefetchUnit(t[ahead]);
          values.PrefetchPair(t[ahead], t[ahead + 1]);
          values.PrefetchPair(t[ahead - 1], t[ahead + 1]);
        }
        samples.labels.push_back(current);
        IndexWriter out(names, samples.predicates);
        WriteUnit<kGroups>(t, length, char_classes, p, place, names.Groups(), marks, out);
        out.Finish();
        samples.starts.push_back(static_cast<uint32_t>(samples.predicates.size()));
      });
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
  out.PutInt(kPreviousLabel, previous);
  out.PutInt(kSecondPreviousLabel, second_previous);
}

void AddWordShapeFeatures(const NEWordNode& word, int32_t offset, CMESample& sample, bool generic,
                          int32_t min_length) {
  PredicateWriter out(sample.predicates, sample.predicates.size());
  WriteWordShape(word, offset, out, generic, min_length);
  out.Finish();
}

void NEPredicateNames::Bind(const CMEModel* model) {
  static_assert(kCount == kFeatureNameCount, "one slot per predicate name");
  model_ = model;
  groups_ = model != nullptr ? ModelFeatureGroups(*model) : NEFeatureGroups();
  predicates_ = model != nullptr ? model->PredicateCount() : -1;
  features_ = model != nullptr ? model->FeatureCount() : -1;
  for (int i = 0; i < kCount; ++i) {
    names_[i] = model != nullptr ? model->ShortPredicateName(kNameTexts[i]) : -1;
    unit_slots_[i] = model != nullptr ? model->ShortValues().UnitSlot(names_[i]) : -1;
    pair_slots_[i] = model != nullptr ? model->ShortValues().PairSlot(names_[i]) : -1;
  }
  // Every character asks for the predicates of two class codes.
  for (int second = 0; second < 2; ++second) {
    const int32_t name = names_[second == 0 ? kCharClass : kNextClass];
    for (int32_t code = 0; code < kClassCodes; ++code) {
      const CUString digits = DecimalText(code);
      class_predicates_[second][code] =
          model != nullptr ? model->ShortPredicateIndex(name, digits.c_str(), digits.Length()) : -1;
    }
  }
}

bool NEPredicateNames::BoundTo(const CMEModel* model) const {
  // A reload of the same model changes at least one of these sizes.
  return model_ == model && model != nullptr && predicates_ == model->PredicateCount() &&
         features_ == model->FeatureCount();
}

void ExtractSentenceFeatures(const CUString& raw_text, const std::vector<NEWordNode*>& words,
                             const std::vector<int32_t>& labels,
                             const std::vector<int32_t>& char_classes, bool training,
                             std::vector<CMESample>& samples, const NEFeatureGroups& groups,
                             NELexiconMarks* marks) {
  const CUString& text = PredicateView(raw_text);
  if (groups.Empty()) {
    SentenceSamples<false>(text, words, labels, char_classes, training, groups, nullptr, samples);
    return;
  }
  PrepareMarks(text, labels, groups, marks);
  SentenceSamples<true>(text, words, labels, char_classes, training, groups, marks, samples);
}

void ExtractIndexedFeatures(const CUString& raw_text, const std::vector<NEWordNode*>& words,
                            const std::vector<int32_t>& labels,
                            const std::vector<int32_t>& char_classes, const NEPredicateNames& names,
                            NEIndexedSamples& samples, NELexiconMarks* marks) {
  samples.Clear();
  if (names.Model() == nullptr) return;
  const CUString& text = PredicateView(raw_text);
  if (names.Groups().Empty()) {
    IndexedSamples<false>(text, words, labels, char_classes, names, nullptr, samples);
    return;
  }
  PrepareMarks(text, labels, names.Groups(), marks);
  IndexedSamples<true>(text, words, labels, char_classes, names, marks, samples);
}

}  // namespace verrin
