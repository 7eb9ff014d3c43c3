#include "corpus/corpus_conversion.h"

#include <cstdio>
#include <utility>

#include "corpus/cluener_reader.h"
#include "corpus/msra_reader.h"
#include "corpus/read_back.h"
#include "corpus/weibo_reader.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/gbk_unit.h"

namespace verrin {
namespace {

// Full-width digits and Latin letters -> ASCII.
void FoldFullWidth(CUString& text) {
  char16_t* p = text.MutableBuffer();
  for (int32_t i = 0; p != nullptr && i < text.Length(); ++i) {
    const char16_t u = p[i];
    if ((u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF3A) ||
        (u >= 0xFF41 && u <= 0xFF5A)) {
      p[i] = static_cast<char16_t>(u - 0xFEE0);
    }
  }
}

// The class that decides cuts in raw text: digits, Latin letters and
// Chinese numerals form runs of their own, symbols stand alone, everything
// else is one class.
int32_t RunClass(char16_t u) {
  const int32_t klass = CharClassOf(u);
  return klass == kClassDigit || klass == kClassLatin || klass == kClassChineseNumeral ||
                 klass == kClassSymbol
             ? klass
             : kClassOther;
}

void NormalizeForRawText(std::vector<CorpusItem>* items, bool fold, bool cut) {
  std::vector<CorpusItem> out;
  out.reserve(items->size());
  for (CorpusItem& item : *items) {
    if (fold) {
      for (CUString& w : item.words) FoldFullWidth(w);
      for (CorpusPart& p : item.parts) FoldFullWidth(p.text);
    }
    if (!cut || item.klass != 0) {
      out.push_back(std::move(item));
      continue;
    }
    const CUString& word = item.words[0];
    int32_t start = 0;
    for (int32_t i = 1; i <= word.Length(); ++i) {
      if (i < word.Length() && RunClass(word[i]) == RunClass(word[start]) &&
          RunClass(word[i]) != kClassSymbol) {
        continue;
      }
      CorpusItem piece;
      piece.words.emplace_back(word.c_str() + start, i - start);
      if (i - start >= 2 && RunClass(word[start]) == kClassChineseNumeral) piece.klass = u'N';
      out.push_back(std::move(piece));
      start = i;
    }
  }
  items->swap(out);
}

// Organizations in one piece that start with a location get the location
// and the rest as nested parts.
void NestLocations(std::vector<CorpusItem>* items,
                   const std::function<int32_t(const CUString&)>& location_prefix) {
  for (CorpusItem& item : *items) {
    if (item.klass != u'O' || !item.parts.empty()) continue;
    const CUString whole = Concatenate(item.words);
    const int32_t n = location_prefix(whole);
    if (n <= 0 || n >= whole.Length()) continue;
    item.parts.push_back({CUString(whole.c_str(), n), u'L'});
    item.parts.push_back({CUString(whole.c_str() + n, whole.Length() - n), u'n'});
  }
}

std::string UnitName(char16_t u) {
  if (u == u' ') return "a space";
  if (u == u'\t') return "a tab";
  if (u < 0x20) return CodePointName(u);
  return "'" + ToUtf8(&u, 1) + "'";
}

// Every unit GBK cannot write becomes the stand-in; returns how many did.
int64_t MaskNonGbk(CUString& text) {
  int64_t count = 0;
  char16_t* p = text.MutableBuffer();
  for (int32_t i = 0; p != nullptr && i < text.Length(); ++i) {
    if (!IsGbkUnit(p[i])) {
      p[i] = kNonGbkStandIn;
      ++count;
    }
  }
  return count;
}

int64_t MaskNonGbk(std::vector<CorpusItem>* items) {
  int64_t count = 0;
  for (CorpusItem& item : *items) {
    for (CUString& w : item.words) count += MaskNonGbk(w);
    for (CorpusPart& p : item.parts) count += MaskNonGbk(p.text);
  }
  return count;
}

// Plain words' "[" become "【", which the corpus reader does not take for
// the start of a bracket; false when there was none.
bool ReplacePlainOpenBrackets(std::vector<CorpusItem>* items) {
  bool any = false;
  for (CorpusItem& item : *items) {
    if (item.klass != 0) continue;
    char16_t* p = item.words[0].MutableBuffer();
    for (int32_t i = 0; p != nullptr && i < item.words[0].Length(); ++i) {
      if (p[i] == u'[') {
        p[i] = u'\u3010';
        any = true;
      }
    }
  }
  return any;
}

// Entities that cannot stand in a bracket become plain words; returns how many.
int64_t UnbracketObstacles(std::vector<CorpusItem>* items, int64_t line,
                           const IssueReporter& report, const WordCutter& cutter) {
  int64_t count = 0;
  std::vector<CorpusItem> out;
  out.reserve(items->size());
  for (CorpusItem& item : *items) {
    const char16_t obstacle = item.klass != 0 ? EntityObstacle(item) : 0;
    if (obstacle == 0) {
      out.push_back(std::move(item));
      continue;
    }
    std::vector<CUString> words = item.words;
    if (!item.parts.empty()) {
      words.clear();
      for (const CorpusPart& p : item.parts) words.push_back(p.text);
    }
    CUString whole = Concatenate(words);
    report(line, "entity " + Quote(whole) + " holds " + UnitName(obstacle) +
                     ", which cannot stand inside a bracket; written as plain words");
    ++count;
    if (item.raw && cutter) words = cutter(whole.c_str(), whole.Length());
    for (CUString& w : words) {
      if (w.Empty()) continue;
      CorpusItem plain;
      plain.words.push_back(std::move(w));
      out.push_back(std::move(plain));
    }
  }
  items->swap(out);
  return count;
}

}  // namespace

CConversion::CConversion(const ConverterOptions& options, ConversionStats* stats,
                         std::function<bool(const std::string&)> write)
    : options_(options), stats_(stats), write_(std::move(write)) {
  rules_.abbreviation_class = options.abbreviation_class;
  if (options.label_map != nullptr) {
    label_map_ = *options.label_map;
  } else if (options.format == CorpusFormat::kWeibo) {
    label_map_ = WeiboBioMap();
  } else if (options.format == CorpusFormat::kCluener) {
    label_map_ = CluenerBioMap();
  } else {
    label_map_ = DefaultBioMap();
  }
  report_ = options.report;
  if (!report_) {
    report_ = [](int64_t line, const std::string& reason) {
      DiagnoseFormat("line %lld: %s\n", static_cast<long long>(line), reason.c_str());
    };
  }
}

bool CConversion::Feed(std::string line) {
  ++stats_->lines_read;
  const int64_t number = stats_->lines_read;
  StripLineEnd(line);
  if (number == 1 && options_.format != CorpusFormat::kPd98 && line.rfind("\xEF\xBB\xBF", 0) == 0) {
    line.erase(0, 3);
  }
  bool ok = true;
  if (options_.format == CorpusFormat::kBio || options_.format == CorpusFormat::kWeibo) {
    ok = FeedBio(line, number);
  } else if (IsBlank(line)) {
    ++stats_->lines_empty;
  } else if (options_.format == CorpusFormat::kCluener) {
    ok = ConvertCluenerLine(line, number);
  } else {
    ok = ConvertLine(line, number);
  }
  if (options_.progress && options_.progress_interval > 0 &&
      number % options_.progress_interval == 0) {
    options_.progress(*stats_);
  }
  return ok;
}

void CConversion::Survey(std::string line) {
  if (options_.format != CorpusFormat::kPd98) return;
  StripLineEnd(line);
  CUString text;
  CorpusProblem problem;
  if (IsBlank(line) || !DecodeLine(line, true, &text, &problem)) return;
  std::vector<CorpusItem> items;
  ConversionStats unused;
  if (!ConvertPd98Line(text, Pd98Rules(), &items, &unused, &problem)) return;
  for (const CorpusItem& item : items) {
    if (item.klass != u'P') continue;
    const CUString name = Concatenate(item.words);
    if (name.Length() >= 3 && name.Length() <= 4) {
      ++person_counts_[std::u16string(name.c_str(), static_cast<size_t>(name.Length()))];
    }
  }
}

void CConversion::EndSurvey() {
  for (const auto& entry : person_counts_) {
    if (entry.second >= 2) names_.insert(entry.first);
  }
  person_counts_.clear();
  rules_.names = &names_;
}

bool CConversion::Finish() {
  bool ok = true;
  if (options_.format == CorpusFormat::kBio || options_.format == CorpusFormat::kWeibo) {
    ok = FlushSentence();
  }
  if (options_.progress) options_.progress(*stats_);
  return ok;
}

void CConversion::Skip(int64_t line, const CorpusProblem& problem) {
  report_(line, problem.detail);
  ++stats_->lines_skipped;
  ++stats_->skip_reasons[problem.category];
}

bool CConversion::ConvertLine(const std::string& bytes, int64_t number) {
  CUString line;
  CorpusProblem problem;
  if (!DecodeLine(bytes, options_.format == CorpusFormat::kPd98, &line, &problem)) {
    Skip(number, problem);
    return true;
  }
  std::vector<CorpusItem> items;
  // Counts of the line itself join the totals only when it is written.
  ConversionStats line_stats;
  const bool parsed = options_.format == CorpusFormat::kPd98
                          ? ConvertPd98Line(line, rules_, &items, &line_stats, &problem)
                          : ConvertMsraLine(line, &items, &line_stats, &problem);
  if (!parsed) {
    Skip(number, problem);
    return true;
  }
  return Emit(items, number, line_stats);
}

bool CConversion::Emit(std::vector<CorpusItem>& items, int64_t number,
                       const ConversionStats& line_stats) {
  if (items.empty()) {
    ++stats_->lines_empty;
    return true;
  }
  if (options_.fold_full_width || options_.raw_text_tokens) {
    NormalizeForRawText(&items, options_.fold_full_width, options_.raw_text_tokens);
  }
  if (options_.location_prefix) NestLocations(&items, options_.location_prefix);
  const int64_t unbracketed = UnbracketObstacles(&items, number, report_, options_.cutter);
  const int64_t masked = MaskNonGbk(&items);
  CUString rendered = RenderCorpusItems(items);
  std::string mismatch = ReadBackMismatch(items, rendered);
  if (!mismatch.empty() && FlattenParts(&items)) {
    // The nested-part marks are symbols at which a long clause may be cut;
    // without them the organizations may still stand.
    rendered = RenderCorpusItems(items);
    if (ReadBackMismatch(items, rendered).empty()) {
      report_(number, "written without nested parts: " + mismatch);
      ++stats_->lines_parts_dropped;
      mismatch.clear();
    }
  }
  if (!mismatch.empty() && ReplacePlainOpenBrackets(&items)) {
    // A plain "[" hides every bracket after it in its clause. "【" is a
    // symbol that cuts words and takes the punctuation label as "[" does.
    rendered = RenderCorpusItems(items);
    if (ReadBackMismatch(items, rendered).empty()) {
      report_(number, "plain '[' written as '【' so that the brackets after it stand: " + mismatch);
      ++stats_->lines_brackets_replaced;
      mismatch.clear();
    }
  }
  if (!mismatch.empty()) {
    Skip(number, {"would not read back", "the line would not read back as written: " + mismatch});
    return true;
  }
  for (const CorpusItem& item : items) {
    if (item.klass == u'P') ++stats_->persons;
    if (item.klass == u'L') ++stats_->locations;
    if (item.klass == u'O') ++stats_->organizations;
  }
  stats_->entities_unbracketed += unbracketed;
  stats_->persons_split += line_stats.persons_split;
  stats_->abbreviations_classed += line_stats.abbreviations_classed;
  stats_->names_cut += line_stats.names_cut;
  stats_->units_outside_gbk += masked;
  ++stats_->lines_written;
  return write_(ToGbk(rendered) + "\n");
}

bool CConversion::FeedBio(const std::string& bytes, int64_t number) {
  if (IsBlank(bytes)) return FlushSentence();
  if (sentence_chars_.empty() && !sentence_bad_) sentence_line_ = number;
  if (sentence_bad_) return true;
  CUString line;
  CorpusProblem problem;
  if (!DecodeLine(bytes, false, &line, &problem)) return MarkBad(number, problem);
  BioChar c;
  bool lone_inside = false;
  const bool parsed =
      options_.format == CorpusFormat::kWeibo
          ? ParseWeiboLine(line, label_map_, sentence_chars_, &c, &lone_inside, &problem)
          : ParseBioLine(line, label_map_, sentence_chars_, &c, &lone_inside, &problem);
  if (!parsed) return MarkBad(number, problem);
  if (lone_inside) {
    report_(number, "tag I-" + c.type + " continues no entity; read as B-" + c.type);
    ++stats_->lone_inside;
  }
  sentence_chars_.push_back(std::move(c));
  return true;
}

bool CConversion::ConvertCluenerLine(const std::string& bytes, int64_t number) {
  CUString decoded;
  CorpusProblem problem;
  if (!DecodeLine(bytes, false, &decoded, &problem)) {
    Skip(number, problem);
    return true;
  }
  std::vector<BioChar> chars;
  if (!ParseCluenerLine(bytes, label_map_, &chars, &problem)) {
    Skip(number, problem);
    return true;
  }
  if (chars.empty()) {
    ++stats_->lines_empty;
    return true;
  }
  return WriteCharacters(chars, number);
}

bool CConversion::WriteCharacters(const std::vector<BioChar>& chars, int64_t number) {
  if (options_.output == CorpusOutput::kCorpus) {
    std::vector<CorpusItem> items = BioSentenceItems(chars, options_.cutter);
    return Emit(items, number, ConversionStats());
  }
  for (size_t i = 0; i < chars.size(); ++i) {
    const BioChar& c = chars[i];
    if (c.klass == 0 || !(c.begins || i == 0 || chars[i - 1].klass != c.klass)) continue;
    if (c.klass == u'P') ++stats_->persons;
    if (c.klass == u'L') ++stats_->locations;
    if (c.klass == u'O') ++stats_->organizations;
  }
  ++stats_->lines_written;
  return write_(BioSentenceText(chars));
}

bool CConversion::MarkBad(int64_t number, const CorpusProblem& problem) {
  Skip(number, problem);
  sentence_bad_ = true;
  sentence_chars_.clear();
  return true;
}

bool CConversion::FlushSentence() {
  const bool had_sentence = !sentence_chars_.empty();
  std::vector<BioChar> chars;
  chars.swap(sentence_chars_);
  const bool bad = sentence_bad_;
  sentence_bad_ = false;
  if (bad || !had_sentence) return true;
  return WriteCharacters(chars, sentence_line_);
}

}  // namespace verrin
