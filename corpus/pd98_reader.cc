#include "corpus/pd98_reader.h"

#include <utility>

namespace verrin {
namespace {

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

bool ParsePdToken(const CUString& token, PdToken* out, CorpusProblem* problem) {
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

}  // namespace

bool ConvertPd98Line(const CUString& line, const Pd98Rules& rules, std::vector<CorpusItem>* items,
                     ConversionStats* stats, CorpusProblem* problem) {
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

}  // namespace verrin
