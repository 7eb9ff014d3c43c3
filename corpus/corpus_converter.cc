#include "corpus/corpus_converter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "text/char_class.h"
#include "text/code_page.h"

namespace verrin {
namespace {

constexpr char16_t kPartTextEnd = 0x0005;
constexpr char16_t kPartClassEnd = 0x0006;
// The clause splitter's soft limit for segmented text: longer clauses break
// at an enumeration comma, or at twice the limit at a breaking symbol.
constexpr int32_t kSegmentedSoftLimit = 100;

// A problem that makes a line (bio: a sentence) unusable.
struct Problem {
  std::string category;  // short, for the summary counts
  std::string detail;    // the reported reason
};

std::string Quote(const CUString& text) { return "'" + ToUtf8(text) + "'"; }

std::string CodePointName(uint32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", cp);
  return buffer;
}

void StripLineEnd(std::string& line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

bool IsBlank(const std::string& line) {
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// Decodes a line, refusing bytes that do not round-trip: a decoder would
// otherwise put replacement characters into the corpus without a word.
bool DecodeLine(const std::string& bytes, bool gbk, CUString* text, Problem* problem) {
  *text = gbk ? FromGbk(bytes) : FromUtf8(bytes);
  const std::string again = gbk ? ToGbk(*text) : ToUtf8(*text);
  if (again == bytes) return true;
  *problem = {gbk ? "invalid GBK bytes" : "invalid UTF-8 bytes",
              gbk ? "the line is not valid GBK" : "the line is not valid UTF-8"};
  return false;
}

// Cuts at runs of spaces and tabs.
std::vector<CUString> SplitTokens(const CUString& line) {
  std::vector<CUString> tokens;
  int32_t i = 0;
  const int32_t n = line.Length();
  while (i < n) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    const int32_t start = i;
    while (i < n && line[i] != u' ' && line[i] != u'\t') ++i;
    if (i > start) tokens.emplace_back(line.c_str() + start, i - start);
  }
  return tokens;
}

std::string AsciiOf(const char16_t* text, int32_t length, bool* ok) {
  std::string out;
  *ok = true;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] >= 0x80) *ok = false;
    out.push_back(static_cast<char>(text[i] & 0x7F));
  }
  return out;
}

// The part-of-speech tags of the PKU annotation.
const std::set<std::string>& Pd98Tags() {
  static const std::set<std::string> tags = {
      "Ag", "a", "ad", "an", "b",  "Bg", "c",  "d",  "Dg", "e",  "f", "g", "h",  "i",  "j", "k",
      "l",  "m", "Mg", "n",  "Ng", "nr", "ns", "nt", "nx", "nz", "o", "p", "q",  "Qg", "r", "Rg",
      "s",  "t", "Tg", "u",  "Ug", "v",  "vd", "Vg", "vn", "w",  "x", "y", "Yg", "z"};
  return tags;
}

struct PdToken {
  CUString word;
  std::string tag;
  bool opens = false;   // "[word/tag"
  bool closes = false;  // "word/tag]outer"
  std::string outer;
};

bool ParsePdToken(const CUString& token, PdToken* out, Problem* problem) {
  *out = PdToken();
  const char16_t* body = token.c_str();
  int32_t length = token.Length();
  // "[/w" is the word "[", not the start of a compound.
  if (length > 1 && body[0] == u'[' && body[1] != u'/') {
    out->opens = true;
    ++body;
    --length;
  }
  int32_t slash = length - 1;
  while (slash >= 0 && body[slash] != u'/') --slash;
  if (slash <= 0) {
    *problem = {"malformed token", "malformed token " + Quote(token) + " (expected word/TAG)"};
    return false;
  }
  out->word.Assign(body, slash);
  const char16_t* after = body + slash + 1;
  const int32_t after_length = length - slash - 1;
  int32_t close = 0;
  while (close < after_length && after[close] != u']') ++close;
  bool ascii_tag = true, ascii_outer = true;
  out->tag = AsciiOf(after, close, &ascii_tag);
  if (close < after_length) {
    out->closes = true;
    out->outer = AsciiOf(after + close + 1, after_length - close - 1, &ascii_outer);
  }
  const auto& tags = Pd98Tags();
  if (!ascii_tag || tags.count(out->tag) == 0) {
    *problem = {"unknown tag", "unknown tag in token " + Quote(token)};
    return false;
  }
  if (out->closes && (!ascii_outer || tags.count(out->outer) == 0)) {
    *problem = {"unknown tag", "unknown compound tag in token " + Quote(token)};
    return false;
  }
  return true;
}

bool IsParagraphIdentifier(const PdToken& token) {
  if (token.opens || token.closes || token.tag != "m" || token.word.Empty()) return false;
  for (int32_t i = 0; i < token.word.Length(); ++i) {
    const char16_t u = token.word[i];
    if (!((u >= u'0' && u <= u'9') || u == u'-')) return false;
  }
  return true;
}

CUString Concatenate(const std::vector<CUString>& words) {
  CUString joined;
  for (const CUString& w : words) joined.Append(w);
  return joined;
}

// PKU writes a Chinese name as surname and given name, and lists names
// without punctuation between them; a one-character token after a name of two
// or more tokens is taken as the next surname.
std::vector<std::vector<CUString>> SplitPersonRun(const std::vector<CUString>& run) {
  std::vector<std::vector<CUString>> persons;
  for (const CUString& token : run) {
    if (persons.empty() || (token.Length() == 1 && persons.back().size() >= 2)) {
      persons.emplace_back();
    }
    persons.back().push_back(token);
  }
  return persons;
}

class CItemBuilder {
 public:
  explicit CItemBuilder(ConversionStats* stats) : stats_(stats) {}

  void AddPlain(const CUString& word) {
    FlushPersons();
    if (word.Empty()) return;
    CorpusItem item;
    item.words.push_back(word);
    items_.push_back(std::move(item));
  }
  void AddEntity(char16_t klass, std::vector<CUString> words, bool raw = false) {
    FlushPersons();
    CorpusItem item;
    item.klass = klass;
    item.raw = raw;
    for (CUString& w : words) {
      if (!w.Empty()) item.words.push_back(std::move(w));
    }
    if (!item.words.empty()) items_.push_back(std::move(item));
  }
  void AddOrganization(std::vector<CorpusPart> parts) {
    FlushPersons();
    CorpusItem item;
    item.klass = u'O';
    item.parts = std::move(parts);
    items_.push_back(std::move(item));
  }
  void AddPersonToken(const CUString& word) { person_run_.push_back(word); }

  std::vector<CorpusItem> Finish() {
    FlushPersons();
    return std::move(items_);
  }

 private:
  void FlushPersons() {
    if (person_run_.empty()) return;
    std::vector<CUString> run;
    run.swap(person_run_);
    const auto persons = SplitPersonRun(run);
    stats_->persons_split += static_cast<int64_t>(persons.size()) - 1;
    for (const auto& person : persons) AddEntity(u'P', person);
  }

  ConversionStats* stats_;
  std::vector<CorpusItem> items_;
  std::vector<CUString> person_run_;
};

// The nested parts of a "[...]nt" compound: person runs, locations, the rest.
// What the pd98 reader does beyond the plain tag mapping.
struct Pd98Rules {
  std::function<char16_t(const CUString&)> abbreviation_class;  // may be empty
  const std::set<std::u16string>* names = nullptr;              // names to cut out of words
};

char16_t AbbreviationClass(const Pd98Rules& rules, const PdToken& token) {
  if (token.tag != "j" || !rules.abbreviation_class) return 0;
  const char16_t klass = rules.abbreviation_class(token.word);
  return klass == u'P' || klass == u'L' || klass == u'O' ? klass : 0;
}

bool MayHoldName(const std::string& tag) {
  return tag == "n" || tag == "nz" || tag == "vn" || tag == "l" || tag == "i";
}

// The length of the name of `names` (four characters tried first) that
// starts `word` and leaves at least two characters, or 0.
int32_t NamePrefix(const std::set<std::u16string>& names, const CUString& word) {
  for (int32_t n = 4; n >= 3; --n) {
    if (word.Length() - n < 2) continue;
    if (names.count(std::u16string(word.c_str(), static_cast<size_t>(n))) != 0) return n;
  }
  return 0;
}

std::vector<CorpusPart> OrganizationParts(const std::vector<PdToken>& inner, const Pd98Rules& rules,
                                          ConversionStats* stats) {
  std::vector<CorpusPart> parts;
  std::vector<CUString> run;
  auto flush = [&]() {
    if (run.empty()) return;
    const auto persons = SplitPersonRun(run);
    stats->persons_split += static_cast<int64_t>(persons.size()) - 1;
    for (const auto& person : persons) parts.push_back({Concatenate(person), u'P'});
    run.clear();
  };
  for (const PdToken& t : inner) {
    if (t.tag == "nr") {
      run.push_back(t.word);
      continue;
    }
    flush();
    char16_t klass = t.tag == "ns" ? u'L' : u'n';
    if (const char16_t abbreviation = AbbreviationClass(rules, t)) {
      ++stats->abbreviations_classed;
      // An organization's inner parts are persons, locations or the rest.
      if (abbreviation == u'P' || abbreviation == u'L') klass = abbreviation;
    }
    parts.push_back({t.word, klass});
  }
  flush();
  return parts;
}

bool ConvertPd98Line(const CUString& line, const Pd98Rules& rules, std::vector<CorpusItem>* items,
                     ConversionStats* stats, Problem* problem) {
  const std::vector<CUString> tokens = SplitTokens(line);
  items->clear();
  if (tokens.empty()) return true;
  PdToken token;
  if (!ParsePdToken(tokens[0], &token, problem)) return false;
  if (!IsParagraphIdentifier(token)) {
    *problem = {
        "no paragraph identifier",
        "the line does not start with a paragraph identifier (found " + Quote(tokens[0]) + ")"};
    return false;
  }
  CItemBuilder builder(stats);
  bool in_compound = false;
  std::vector<PdToken> inner;
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (!ParsePdToken(tokens[i], &token, problem)) return false;
    if (token.opens) {
      if (in_compound) {
        *problem = {"unbalanced compound",
                    "compound opened inside a compound at " + Quote(tokens[i])};
        return false;
      }
      in_compound = true;
      inner.clear();
    }
    if (in_compound) {
      inner.push_back(token);
      if (!token.closes) continue;
      in_compound = false;
      if (token.outer == "nt") {
        builder.AddOrganization(OrganizationParts(inner, rules, stats));
      } else if (token.outer == "ns") {
        std::vector<CUString> words;
        for (const PdToken& t : inner) words.push_back(t.word);
        builder.AddEntity(u'L', std::move(words));
      } else {
        for (const PdToken& t : inner) builder.AddPlain(t.word);
      }
      continue;
    }
    if (token.closes) {
      *problem = {"unbalanced compound", "compound closed without '[' at " + Quote(tokens[i])};
      return false;
    }
    if (token.tag == "nr") {
      builder.AddPersonToken(token.word);
    } else if (token.tag == "ns") {
      builder.AddEntity(u'L', {token.word});
    } else if (token.tag == "nt") {
      builder.AddEntity(u'O', {token.word});
    } else if (const char16_t klass = AbbreviationClass(rules, token)) {
      ++stats->abbreviations_classed;
      builder.AddEntity(klass, {token.word});
    } else if (const int32_t n = rules.names != nullptr && MayHoldName(token.tag)
                                     ? NamePrefix(*rules.names, token.word)
                                     : 0) {
      ++stats->names_cut;
      builder.AddEntity(u'P', {CUString(token.word.c_str(), n)});
      builder.AddPlain(CUString(token.word.c_str() + n, token.word.Length() - n));
    } else {
      builder.AddPlain(token.word);
    }
  }
  if (in_compound) {
    *problem = {"unbalanced compound", "compound not closed at the end of the line"};
    return false;
  }
  *items = builder.Finish();
  return true;
}

// "word/tag": false when there is no "/" after a non-empty word.
bool SplitMsraToken(const CUString& token, CUString* word, std::string* tag, bool* ascii) {
  int32_t slash = token.Length() - 1;
  while (slash >= 0 && token[slash] != u'/') --slash;
  if (slash <= 0) return false;
  word->Assign(token.c_str(), slash);
  *ascii = true;
  *tag = AsciiOf(token.c_str() + slash + 1, token.Length() - slash - 1, ascii);
  return true;
}

bool ConvertMsraLine(const CUString& line, std::vector<CorpusItem>* items, ConversionStats* stats,
                     Problem* problem) {
  items->clear();
  CItemBuilder builder(stats);
  for (const CUString& token : SplitTokens(line)) {
    CUString word;
    std::string tag;
    bool ascii = true;
    if (!SplitMsraToken(token, &word, &tag, &ascii)) {
      *problem = {"malformed token", "malformed token " + Quote(token) + " (expected word/TAG)"};
      return false;
    }
    if (ascii && tag == "o") {
      builder.AddPlain(word);
    } else if (ascii && tag == "nr") {
      builder.AddEntity(u'P', {word});
    } else if (ascii && tag == "ns") {
      builder.AddEntity(u'L', {word});
    } else if (ascii && tag == "nt") {
      builder.AddEntity(u'O', {word});
    } else {
      *problem = {"unknown tag", "unknown tag in token " + Quote(token)};
      return false;
    }
  }
  *items = builder.Finish();
  return true;
}

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

bool IsObstacle(char16_t u) {
  return IsWhiteSpace(u) || u == u'[' || u == u']' || u == u'/' || u == kPartTextEnd ||
         u == kPartClassEnd || IsSentenceDelimiter(u);
}

char16_t FirstObstacle(const CUString& text) {
  for (int32_t i = 0; i < text.Length(); ++i) {
    if (IsObstacle(text[i])) return text[i];
  }
  return 0;
}

std::string UnitName(char16_t u) {
  if (u == u' ') return "a space";
  if (u == u'\t') return "a tab";
  if (u < 0x20) return CodePointName(u);
  return "'" + ToUtf8(&u, 1) + "'";
}

// The first character of the text that GBK cannot encode, as (found, code point).
bool FindUnencodable(const CUString& text, uint32_t* code_point) {
  if (FromGbk(ToGbk(text)) == text) return false;
  int32_t i = 0;
  while (i < text.Length()) {
    int32_t n = 1;
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.Length() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      n = 2;
    }
    const CUString one(text.c_str() + i, n);
    if (FromGbk(ToGbk(one)) != one) {
      *code_point = cp;
      return true;
    }
    i += n;
  }
  return false;
}

// The clauses of a line as the segmented-mode splitter cuts them. Written
// here rather than borrowed from the engine so that conversion needs no loaded
// resource set, and so that the check is a second, independent reading.
std::vector<CUString> SplitClauses(const CUString& text) {
  std::vector<CUString> clauses;
  CUString current;
  for (int32_t i = 0; i < text.Length() && text[i] != 0x000A; ++i) {
    const char16_t unit = text[i];
    const int32_t held = current.Length();
    if ((held >= kSegmentedSoftLimit && IsEnumerationComma(unit)) ||
        (held >= 2 * kSegmentedSoftLimit && IsBreakingSymbol(unit))) {
      clauses.push_back(current);
      current.Assign(unit);
      continue;
    }
    current.Append(unit);
    if (IsSentenceDelimiter(unit)) {
      clauses.push_back(current);
      current.Clear();
    }
  }
  if (!current.Empty()) clauses.push_back(current);
  return clauses;
}

void ReadPlainStretch(const char16_t* stretch, int32_t length, std::vector<ReadBackWord>* out) {
  if (length <= 0) return;
  CUString copy(stretch, length);
  char16_t* cursor = copy.MutableBuffer();
  while (char16_t* field = NextField(&cursor, u' ')) {
    if (*field == 0) continue;
    out->push_back({CUString(), CUString(field)});
  }
}

std::vector<ReadBackWord> ExpectedWords(const std::vector<CorpusItem>& items) {
  std::vector<ReadBackWord> expected;
  for (const CorpusItem& item : items) {
    if (item.klass == 0) {
      expected.push_back({CUString(), item.words[0]});
      continue;
    }
    CUString word;
    if (!item.parts.empty()) {
      for (const CorpusPart& part : item.parts) {
        word.Append(part.text);
        word.Append(kPartTextEnd);
        word.Append(part.klass);
        word.Append(kPartClassEnd);
      }
    } else {
      word = Concatenate(item.words);
    }
    expected.push_back({item.klass == u'N' ? CUString(u"number") : CUString(&item.klass, 1), word});
  }
  return expected;
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

// For messages: the nested-part marks U+0005 and U+0006 are shown as "|" and ";".
std::string Describe(const ReadBackWord& w) {
  std::string text = ToUtf8(w.word);
  for (char& c : text) {
    if (c == '\x05') c = '|';
    if (c == '\x06') c = ';';
  }
  return w.klass.Empty() ? "'" + text + "'" : "[" + ToUtf8(w.klass) + " " + text + "]";
}

// Empty when the rendered line reads back as the items; else what differs.
std::string ReadBackMismatch(const std::vector<CorpusItem>& items, const CUString& rendered) {
  const std::vector<ReadBackWord> expected = ExpectedWords(items);
  const std::vector<ReadBackWord> read = ReadBracketedLine(rendered);
  size_t i = 0;
  while (i < expected.size() && i < read.size() && expected[i].klass == read[i].klass &&
         expected[i].word == read[i].word) {
    ++i;
  }
  if (i == expected.size() && i == read.size()) return std::string();
  std::string detail = i < expected.size() ? Describe(expected[i]) : "nothing";
  detail += " would be read as ";
  detail += i < read.size() ? Describe(read[i]) : "nothing";
  return detail;
}

// Turns nested parts into plain entity words; false when there were none.
bool FlattenParts(std::vector<CorpusItem>* items) {
  bool any = false;
  for (CorpusItem& item : *items) {
    if (item.parts.empty()) continue;
    any = true;
    item.words.clear();
    for (const CorpusPart& p : item.parts) item.words.push_back(p.text);
    item.parts.clear();
  }
  return any;
}

class CConversion {
 public:
  CConversion(const ConverterOptions& options, ConversionStats* stats,
              std::function<bool(const std::string&)> write)
      : options_(options), stats_(stats), write_(std::move(write)) {
    rules_.abbreviation_class = options.abbreviation_class;
    report_ = options.report;
    if (!report_) {
      report_ = [](int64_t line, const std::string& reason) {
        std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(line), reason.c_str());
      };
    }
  }

  // One physical input line, with or without its line end. False when the
  // output could not be written.
  bool Feed(std::string line) {
    ++stats_->lines_read;
    const int64_t number = stats_->lines_read;
    StripLineEnd(line);
    if (number == 1 && options_.format != CorpusFormat::kPd98 &&
        line.rfind("\xEF\xBB\xBF", 0) == 0) {
      line.erase(0, 3);
    }
    bool ok = true;
    if (options_.format == CorpusFormat::kBio) {
      ok = FeedBio(line, number);
    } else if (IsBlank(line)) {
      ++stats_->lines_empty;
    } else {
      ok = ConvertLine(line, number);
    }
    if (options_.progress && options_.progress_interval > 0 &&
        number % options_.progress_interval == 0) {
      options_.progress(*stats_);
    }
    return ok;
  }

  // First reading of one input line when names are cut out of words: counts
  // the persons the line holds.
  void Survey(std::string line) {
    if (options_.format != CorpusFormat::kPd98) return;
    StripLineEnd(line);
    CUString text;
    Problem problem;
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
  // Ends the first reading: names written at least twice are cut out.
  void EndSurvey() {
    for (const auto& entry : person_counts_) {
      if (entry.second >= 2) names_.insert(entry.first);
    }
    person_counts_.clear();
    rules_.names = &names_;
  }

  bool Finish() {
    bool ok = true;
    if (options_.format == CorpusFormat::kBio) ok = FlushSentence();
    if (options_.progress) options_.progress(*stats_);
    return ok;
  }

 private:
  struct BioChar {
    CUString text;
    char16_t klass = 0;  // 0 outside entities
    bool begins = false;
  };

  void Skip(int64_t line, const Problem& problem) {
    report_(line, problem.detail);
    ++stats_->lines_skipped;
    ++stats_->skip_reasons[problem.category];
  }

  bool ConvertLine(const std::string& bytes, int64_t number) {
    CUString line;
    Problem problem;
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

  // Checks the items and writes them as one line; the line is skipped when
  // it cannot be written faithfully.
  bool Emit(std::vector<CorpusItem>& items, int64_t number, const ConversionStats& line_stats) {
    if (items.empty()) {
      ++stats_->lines_empty;
      return true;
    }
    if (options_.fold_full_width || options_.raw_text_tokens) {
      NormalizeForRawText(&items, options_.fold_full_width, options_.raw_text_tokens);
    }
    if (options_.location_prefix) NestLocations(&items, options_.location_prefix);
    const int64_t unbracketed = UnbracketObstacles(&items, number, report_, options_.cutter);
    CUString rendered = RenderCorpusItems(items);
    uint32_t cp = 0;
    if (FindUnencodable(rendered, &cp)) {
      Skip(number, {"not encodable in GBK",
                    "character " + CodePointName(cp) + " cannot be written in GBK"});
      return true;
    }
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
    ++stats_->lines_written;
    return write_(ToGbk(rendered) + "\n");
  }

  bool FeedBio(const std::string& bytes, int64_t number) {
    if (IsBlank(bytes)) return FlushSentence();
    if (sentence_chars_.empty() && !sentence_bad_) sentence_line_ = number;
    if (sentence_bad_) return true;
    CUString line;
    Problem problem;
    if (!DecodeLine(bytes, false, &line, &problem)) return MarkBad(number, problem);
    int32_t end = line.Length();
    while (end > 0 && (line[end - 1] == u' ' || line[end - 1] == u'\t')) --end;
    int32_t split = end - 1;
    while (split >= 0 && line[split] != u' ' && line[split] != u'\t') --split;
    if (split <= 0) {
      return MarkBad(number, {"malformed line",
                              "expected a character, a space and a tag, found " + Quote(line)});
    }
    BioChar c;
    c.text.Assign(line.c_str(), split);
    bool ascii = true;
    const std::string tag = AsciiOf(line.c_str() + split + 1, end - split - 1, &ascii);
    if (ascii && tag == "O") {
      c.klass = 0;
    } else if (ascii && tag.size() == 5 && (tag[0] == 'B' || tag[0] == 'I') && tag[1] == '-' &&
               (tag.compare(2, 3, "PER") == 0 || tag.compare(2, 3, "LOC") == 0 ||
                tag.compare(2, 3, "ORG") == 0)) {
      c.klass = tag[2] == 'P' ? u'P' : tag[2] == 'L' ? u'L' : u'O';
      c.begins = tag[0] == 'B';
      if (!c.begins && (sentence_chars_.empty() || sentence_chars_.back().klass != c.klass)) {
        return MarkBad(number, {"I- without B-", "tag " + tag + " does not continue an entity"});
      }
    } else {
      return MarkBad(number, {"unknown tag", "unknown tag in line " + Quote(line)});
    }
    sentence_chars_.push_back(std::move(c));
    return true;
  }

  bool MarkBad(int64_t number, const Problem& problem) {
    Skip(number, problem);
    sentence_bad_ = true;
    sentence_chars_.clear();
    return true;
  }

  bool FlushSentence() {
    const bool had_sentence = !sentence_chars_.empty();
    std::vector<BioChar> chars;
    chars.swap(sentence_chars_);
    const bool bad = sentence_bad_;
    sentence_bad_ = false;
    if (bad || !had_sentence) return true;
    ConversionStats unused;
    CItemBuilder builder(&unused);  // no nr runs in BIO input
    CUString plain;
    size_t i = 0;
    while (i < chars.size()) {
      if (chars[i].klass == 0) {
        plain.Append(chars[i++].text);
        continue;
      }
      if (!plain.Empty()) {
        for (const CUString& w : options_.cutter(plain.c_str(), plain.Length()))
          builder.AddPlain(w);
        plain.Clear();
      }
      const char16_t klass = chars[i].klass;
      CUString entity(chars[i++].text);
      while (i < chars.size() && chars[i].klass == klass && !chars[i].begins) {
        entity.Append(chars[i++].text);
      }
      builder.AddEntity(klass, {entity}, /*raw=*/true);
    }
    if (!plain.Empty()) {
      for (const CUString& w : options_.cutter(plain.c_str(), plain.Length())) builder.AddPlain(w);
    }
    std::vector<CorpusItem> items = builder.Finish();
    return Emit(items, sentence_line_, ConversionStats());
  }

  const ConverterOptions& options_;
  Pd98Rules rules_;
  std::map<std::u16string, int64_t> person_counts_;
  std::set<std::u16string> names_;
  ConversionStats* stats_;
  std::function<bool(const std::string&)> write_;
  IssueReporter report_;
  std::vector<BioChar> sentence_chars_;
  bool sentence_bad_ = false;
  int64_t sentence_line_ = 0;
};

bool CheckOptions(const ConverterOptions& options, std::string* error) {
  if (options.format == CorpusFormat::kBio && !options.cutter) {
    *error = "the bio format needs a dictionary to cut the text between entities";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCorpusFormat(const std::string& name, CorpusFormat* format) {
  if (name == "pd98") {
    *format = CorpusFormat::kPd98;
  } else if (name == "msra") {
    *format = CorpusFormat::kMsra;
  } else if (name == "bio") {
    *format = CorpusFormat::kBio;
  } else {
    return false;
  }
  return true;
}

CUString RenderCorpusItems(const std::vector<CorpusItem>& items) {
  CUString out;
  for (size_t i = 0; i < items.size(); ++i) {
    const CorpusItem& item = items[i];
    if (i > 0) out.Append(u' ');
    if (item.klass == 0) {
      out.Append(item.words[0]);
      continue;
    }
    out.Append(u'[');
    if (item.klass == u'N') {
      out.Append(u"number");
    } else {
      out.Append(item.klass);
    }
    out.Append(u' ');
    if (!item.parts.empty()) {
      for (const CorpusPart& part : item.parts) {
        out.Append(part.text);
        out.Append(kPartTextEnd);
        out.Append(part.klass);
        out.Append(kPartClassEnd);
      }
    } else {
      for (size_t k = 0; k < item.words.size(); ++k) {
        if (k > 0) out.Append(u'/');
        out.Append(item.words[k]);
      }
    }
    out.Append(u']');
  }
  return out;
}

char16_t EntityObstacle(const CorpusItem& item) {
  for (const CUString& w : item.words) {
    if (const char16_t u = FirstObstacle(w)) return u;
  }
  for (const CorpusPart& p : item.parts) {
    if (const char16_t u = FirstObstacle(p.text)) return u;
  }
  return 0;
}

std::vector<ReadBackWord> ReadBracketedLine(const CUString& line) {
  std::vector<ReadBackWord> out;
  CUString trimmed(line);
  TrimWhiteSpace(trimmed);
  for (const CUString& clause : SplitClauses(trimmed)) {
    CUString work(clause);
    char16_t* rest = work.MutableBuffer();
    BracketTag bracket;
    while (*rest != 0) {
      if (!ParseBracketTag(rest, bracket)) break;
      ReadPlainStretch(rest, bracket.start, &out);
      rest = bracket.rest;
      if (!bracket.word.Empty()) out.push_back({bracket.tag, bracket.word});
    }
    ReadPlainStretch(rest, UStrLen(rest), &out);
  }
  return out;
}

void CAbbreviationTable::AddText(const CUString& line) {
  for (const CUString& token : SplitTokens(line)) {
    CUString word;
    std::string tag;
    bool ascii = true;
    if (!SplitMsraToken(token, &word, &tag, &ascii)) continue;
    int index = -1;
    if (tag == "o") index = 0;
    if (tag == "nr") index = 1;
    if (tag == "ns") index = 2;
    if (tag == "nt") index = 3;
    if (!ascii || index < 0) continue;
    auto& counts = counts_[std::u16string(word.c_str(), static_cast<size_t>(word.Length()))];
    ++counts[static_cast<size_t>(index)];
  }
}

bool CAbbreviationTable::Load(const std::string& msra_path, std::string* error) {
  std::FILE* in = std::fopen(msra_path.c_str(), "rb");
  if (in == nullptr) {
    *error = "cannot open " + msra_path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  bool first = true;
  while (ReadRawLine(in, line)) {
    StripLineEnd(line);
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    AddText(FromUtf8(line));
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    *error = "reading " + msra_path + " failed";
    return false;
  }
  return true;
}

char16_t CAbbreviationTable::ClassOf(const CUString& word) const {
  const auto it = counts_.find(std::u16string(word.c_str(), static_cast<size_t>(word.Length())));
  if (it == counts_.end()) return 0;
  const auto& counts = it->second;
  // Ties go to the location, then the organization, then the person.
  static constexpr size_t kOrder[3] = {2, 3, 1};
  static constexpr char16_t kClass[4] = {0, u'P', u'L', u'O'};
  size_t best = kOrder[0];
  for (size_t index : kOrder) {
    if (counts[index] > counts[best]) best = index;
  }
  const int64_t total = counts[0] + counts[1] + counts[2] + counts[3];
  const int64_t n = counts[best];
  const bool taken = word.Length() == 1 ? n >= 5 : n >= 2 && 2 * n >= total;
  return taken ? kClass[best] : 0;
}

bool ConvertCorpusText(const std::string& input, std::string* output,
                       const ConverterOptions& options, ConversionStats* stats,
                       std::string* error) {
  *stats = ConversionStats();
  output->clear();
  if (!CheckOptions(options, error)) return false;
  CConversion conversion(options, stats, [output](const std::string& bytes) {
    output->append(bytes);
    return true;
  });
  auto each_line = [&input](const std::function<void(std::string)>& use) {
    size_t start = 0;
    while (start < input.size()) {
      size_t end = input.find('\n', start);
      end = end == std::string::npos ? input.size() : end + 1;
      use(input.substr(start, end - start));
      start = end;
    }
  };
  if (options.cut_names_in_words) {
    each_line([&conversion](std::string line) { conversion.Survey(std::move(line)); });
    conversion.EndSurvey();
  }
  each_line([&conversion](std::string line) { conversion.Feed(std::move(line)); });
  conversion.Finish();
  return true;
}

bool ConvertCorpus(const std::string& in_path, const std::string& out_path,
                   const ConverterOptions& options, ConversionStats* stats, std::string* error) {
  *stats = ConversionStats();
  if (!CheckOptions(options, error)) return false;
  std::FILE* in = std::fopen(in_path.c_str(), "rb");
  if (in == nullptr) {
    *error = "cannot open " + in_path + ": " + std::strerror(errno);
    return false;
  }
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  if (out == nullptr) {
    *error = "cannot create " + out_path + ": " + std::strerror(errno);
    std::fclose(in);
    return false;
  }
  CConversion conversion(options, stats, [out](const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  });
  bool written = true;
  std::string line;
  if (options.cut_names_in_words) {
    while (ReadRawLine(in, line)) conversion.Survey(line);
    conversion.EndSurvey();
    if (std::ferror(in) == 0 && std::fseek(in, 0, SEEK_SET) != 0) {
      *error = "cannot read " + in_path + " a second time";
      std::fclose(in);
      std::fclose(out);
      return false;
    }
  }
  while (written && std::ferror(in) == 0 && ReadRawLine(in, line)) {
    written = conversion.Feed(line);
  }
  if (written) written = conversion.Finish();
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  if (std::fclose(out) != 0) written = false;
  if (read_failed) {
    *error = "reading " + in_path + " failed";
    return false;
  }
  if (!written) {
    *error = "writing " + out_path + " failed";
    return false;
  }
  return true;
}

}  // namespace verrin
