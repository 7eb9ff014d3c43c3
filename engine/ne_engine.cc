#include "engine/ne_engine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/clause_reader.h"
#include "engine/feature_extractor.h"
#include "engine/ne_resource.h"
#include "maxent/me_classifier.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"
#include "text/output_file.h"
#include "text/text_line_reader.h"

namespace verrin {
namespace {

constexpr int32_t kSegmentedSoftLimit = 100;

bool IsLeadSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

constexpr int32_t kRawSoftLimit = 200;
constexpr char16_t kPartTextEnd = 0x0005;   // ends the text of a nested part
constexpr char16_t kPartClassEnd = 0x0006;  // ends the class of a nested part

// Sends a UTF-16 message to the diagnostics as UTF-8 (what terminals and
// logs read), without format interpretation of its content.
void PrintUnicode(const CUString& text) { Diagnose(ToUtf8(text)); }

// Reads the nested part marks of a bracketed entity word: runs of
// text U+0005 class U+0006. A word without both marks has no parts. Text after
// the last complete part (or a part whose class is not closed) still becomes a
// part, so no unit of the word is lost.
bool ReadNestedParts(const CUString& word, CUString& joined, std::vector<OrgPart>& parts) {
  bool has_text_end = false, has_class_end = false;
  for (int32_t i = 0; i < word.Length(); ++i) {
    has_text_end |= word[i] == kPartTextEnd;
    has_class_end |= word[i] == kPartClassEnd;
  }
  if (!has_text_end || !has_class_end) return false;
  joined.Clear();
  parts.clear();
  const char16_t* p = word.c_str();
  const char16_t* end = p + word.Length();
  while (p < end) {
    const char16_t* text_end = p;
    while (text_end < end && *text_end != kPartTextEnd) ++text_end;
    OrgPart part;
    part.text.Assign(p, static_cast<int32_t>(text_end - p));
    part.type = kNodeWord;
    const char16_t* q = text_end;
    if (q < end) {
      ++q;  // skip U+0005
      const char16_t* class_end = q;
      while (class_end < end && *class_end != kPartClassEnd) ++class_end;
      const int32_t code = ClassCodeOf(CUString(q, static_cast<int32_t>(class_end - q)));
      if (code == kNodePerson || code == kNodeLocation) part.type = code;
      q = class_end < end ? class_end + 1 : end;
    }
    joined.Append(part.text);
    parts.push_back(std::move(part));
    p = q;
  }
  return true;
}

}  // namespace

CNEEngine::CNEEngine(CNEResource* resource) : resource_(resource) {
  if (resource_ != nullptr) {
    lattice_.SetModel(&resource_->Classifier());
    lexicon_marks_.affixes = &resource_->Affixes();
    lexicon_marks_.items = &resource_->Items();
    lexicon_marks_.pe_info = &resource_->PeInfo();
  }
}

CNEEngine::~CNEEngine() { lattice_.ResetLattice(); }

bool CNEEngine::SetWordSeparatorOption(int option) {
  return ResolveWordSeparatorOption(option, separator_);
}

namespace {

// A cut after text[n - 1] moved out of a bracket "[class word]" it would
// part: to before its "[", or, where the clause starts with that "[", to
// after its "]". The brackets are those the clause's own parse finds
// (FindBracketTag, one after another from the clause's start, the first that
// does not parse ending the search); one whose "]" lies beyond the units in
// sight is cut where it is. Looks at no unit past text[kMaxClauseUnits].
int32_t KeepBracketWhole(const char16_t* text, int32_t n) {
  const int32_t seen = CNEEngine::kMaxClauseUnits + 1;
  for (int32_t open = 0;;) {
    while (open < n && text[open] != u'[') ++open;
    if (open >= n) return n;
    BracketSpan span;
    if (!FindBracketTag(text + open, seen - open, span)) return n;
    const int32_t close = open + span.close;
    if (close >= n) return open > 0 ? open : close + 1;
    open = close + 1;
  }
}

// Where a run that reached the clause limit without a delimiter is closed:
// after the first "的" from kMinPieceUnits on (in segmented text after the
// separator that follows it), else after kMaxPieceUnits units; never inside a
// bracket (KeepBracketWhole). "的" ends a word almost everywhere and lies
// inside hardly any name, and short clauses are what the search is fast on
// (docs/reliability.md has the figures). Looks at no unit past
// text[kMaxClauseUnits].
int32_t PieceLength(const char16_t* text, bool segmented) {
  for (int32_t n = CNEEngine::kMinPieceUnits; n < CNEEngine::kMaxPieceUnits; ++n) {
    if (segmented ? text[n - 2] == u'\u7684' && (text[n - 1] == u'/' || text[n - 1] == u' ')
                  : text[n - 1] == u'\u7684') {
      return KeepBracketWhole(text, n);
    }
  }
  const int32_t n = CNEEngine::kMaxPieceUnits;
  return KeepBracketWhole(text, IsLeadSurrogate(text[n - 1]) ? n - 1 : n);
}

// Whether text[0..15] are all CJK ideographs (U+4E00..U+9FFF).
bool SixteenIdeographs(const char16_t* text) {
#if defined(__SSE2__)
  // Shifted by 0x3200, the ideographs are the signed values below -0x2E00.
  const __m128i shift = _mm_set1_epi16(0x3200);
  const __m128i bound = _mm_set1_epi16(-0x2E00);
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 8));
  const __m128i both = _mm_and_si128(_mm_cmplt_epi16(_mm_add_epi16(low, shift), bound),
                                     _mm_cmplt_epi16(_mm_add_epi16(high, shift), bound));
  return _mm_movemask_epi8(both) == 0xFFFF;
#else
  for (int32_t k = 0; k < 16; ++k) {
    if (text[k] < 0x4E00 || text[k] > 0x9FFF) return false;
  }
  return true;
#endif
}

}  // namespace

int32_t CNEEngine::ClauseLength(const char16_t* text, int32_t length, bool segmented,
                                bool opened_by_break, bool* ends_in_break) {
  if (ends_in_break != nullptr) *ends_in_break = false;
  const int32_t soft = segmented ? kSegmentedSoftLimit : kRawSoftLimit;
  // No ideograph delimits anything, and a long run is scanned once for every
  // piece cut from it: blocks of 16 ideographs are passed at once.
  const int32_t plain_end = std::min(length, kMaxClauseUnits);
  int32_t mixed_end = 0;  // the last block looked at holds other units up to here
  for (int32_t held = 0; held < length; ++held) {
    if (held >= mixed_end && held + 16 <= plain_end) {
      if (SixteenIdeographs(text + held)) {
        held += 15;
        continue;
      }
      mixed_end = held + 16;
    }
    const char16_t unit = text[held];
    if (unit >= 0x4E00 && unit <= 0x9FFF && held < kMaxClauseUnits) continue;
    if ((held >= soft && IsEnumerationComma(unit)) ||
        (held >= 2 * soft && IsBreakingSymbol(unit))) {
      if (ends_in_break != nullptr) *ends_in_break = true;
      return held;  // the unit starts the next clause
    }
    // A text without delimiters (a whole file on one line, a run of
    // letters) would otherwise become one clause whose cost grows without
    // bound; it goes on in short pieces until the rest closes within the limit.
    if (held >= kMaxClauseUnits) return PieceLength(text, segmented);
    // The unit a long clause broke before is the next clause's first unit
    // and does not close it, even where it is a delimiter such as "，".
    if (IsSentenceDelimiter(unit) && !(held == 0 && opened_by_break)) {
      if (segmented) return held + 1;
      if (held + 1 >= length) return -1;  // a closing quote may follow
      return IsClosingQuote(text[held + 1]) ? held + 2 : held + 1;
    }
  }
  return -1;
}

bool CNEEngine::SplitSentences(const char16_t* text, std::vector<CUString>& sentences,
                               bool segmented) {
  sentences.clear();
  int32_t end = 0;
  while (text != nullptr && text[end] != 0 && text[end] != 0x000A) ++end;
  bool opened_by_break = false;
  for (int32_t start = 0; start < end;) {
    int32_t n =
        ClauseLength(text + start, end - start, segmented, opened_by_break, &opened_by_break);
    if (n < 0) n = end - start;
    sentences.emplace_back(text + start, n);
    start += n;
  }
  return true;
}

void CNEEngine::AddToken(const char16_t* token, int32_t length, int32_t klass, NEClause& clause) {
  NEWordNode& node = clause.pool.Append(clause.nodes);
  node.nStart = clause.text.Length();
  node.nLength = length;
  node.strWord.Refill(token, length);
  if (klass == kClassDigit && length >= 2) {
    node.nType = kNodeClassWord;
    node.strTag.Refill(u"number", 6);
  } else if (klass == kClassLatin && length >= 2) {
    node.nType = kNodeClassWord;
    node.strTag.Refill(u"engstring", 9);
  } else if (klass == kClassSymbol && length == 1) {
    node.nType = kNodePunctuation;
  } else {
    node.nType = kNodeWord;
  }
  clause.text.Append(token, length);
}

void CNEEngine::ParsePlainText(const char16_t* stretch, int32_t length, NEClause& clause) {
  if (length <= 0) return;
  if (clause.segmented) {
    // The stretch lies in clause.work, which PreSegment owns: cut in place.
    // A field ends at its first NUL, as when it was copied out.
    CUString& copy = clause.tokens.run;
    copy.Refill(stretch, length);
    char16_t* cursor = copy.MutableBuffer();
    while (char16_t* field = NextField(&cursor, clause.separator)) {
      if (*field == 0) continue;
      AddToken(field, UStrLen(field), CharClassOf(field[0]), clause);
    }
    return;
  }
  RawTextTokens& tokens = clause.tokens;
  resource_->Dict().SegmentRawText(stretch, length, true, tokens);
  for (int32_t i = 0; i < tokens.count; ++i) {
    const CUString& token = tokens[i];
    if (token.Empty()) continue;
    int32_t klass = CharClassOf(token[0]);
    if (klass == kClassChineseNumeral) {
      klass = IsChineseNumeralWord(token.c_str(), token.Length()) ? kClassDigit : kClassOther;
    }
    AddToken(token.c_str(), token.Length(), klass, clause);
  }
}

const CUString& CNEEngine::PreSegment(const CUString& sentence, NEClause& clause) {
  CUString& text = clause.text;
  std::vector<NEWordNode>& nodes = clause.nodes;
  text.Clear();
  clause.pool.Recycle(nodes);
  clause.org_parts.clear();
  CUString& work = clause.work;
  work.Refill(sentence);
  char16_t* rest = work.MutableBuffer();
  BracketTag& bracket = clause.bracket;
  while (rest != nullptr && *rest != 0) {
    char16_t* scan = rest;
    if (!ParseBracketTag(scan, bracket)) break;
    ParsePlainText(rest, bracket.start, clause);
    rest = bracket.rest;
    if (bracket.word.Empty()) continue;  // "[ns ]" holds no word: no node

    const int32_t code = ClassCodeOf(bracket.tag);
    NEWordNode node = clause.pool.Take();
    node.nStart = text.Length();
    node.strTag.Refill(bracket.tag);
    if (code == kNodePerson || code == kNodeOrganization || code == kNodeLocation) {
      if (!clause.training) {
        node.nType = kNodeWord;
        node.strTag.Clear();
        node.strWord.Refill(bracket.word);
      } else {
        node.nType = code;
        CUString joined;
        std::vector<OrgPart> parts;
        if (ReadNestedParts(bracket.word, joined, parts)) {
          node.strWord = joined;
          clause.org_parts[static_cast<int32_t>(nodes.size())] = std::move(parts);
        } else {
          node.strWord = bracket.word;
        }
        if (node.strWord.Empty()) {
          clause.pool.Recycle(std::move(node));
          continue;
        }
        std::vector<CUString> sub_words =
            resource_->Dict().SegmentRawText(node.strWord.c_str(), node.strWord.Length(), true);
        int32_t covered = 0;
        for (const CUString& w : sub_words) covered += w.Length();
        // Sub-words must tile the word exactly, or the positions of the
        // features would drift; a word that does not tile stays whole.
        if (covered != node.strWord.Length()) sub_words.assign(1, node.strWord);
        for (CUString& w : sub_words) {
          NEWordNode part;
          part.nType = kNodeWord;
          part.nLength = w.Length();
          part.strWord = std::move(w);
          node.vecParts.push_back(std::move(part));
        }
      }
    } else {
      node.nType = code;
      node.strWord.Refill(bracket.word);
    }
    node.nLength = node.strWord.Length();
    text.Append(node.strWord);
    nodes.push_back(std::move(node));
  }
  if (rest != nullptr) ParsePlainText(rest, UStrLen(rest), clause);
  if (!text.Empty()) {
    const char16_t sentinel = kSentinel;
    AddToken(&sentinel, 1, kClassSymbol, clause);
  }
  return text;
}

void CNEEngine::BuildProcessedText(NEClause& clause) {
  std::vector<NEWordNode*>& words = clause.words;
  std::vector<const NEWordNode*>& positions = clause.positions;
  CUString& text = clause.text;
  words.clear();
  positions.clear();
  text.Clear();
  auto mark = [&positions](int32_t position, const NEWordNode* node) {
    if (positions.size() <= static_cast<size_t>(position)) {
      positions.resize(static_cast<size_t>(position) + 1, nullptr);
    }
    positions[static_cast<size_t>(position)] = node;
  };
  for (NEWordNode& node : clause.nodes) {
    node.nTextPos = text.Length();
    if (clause.training && !node.vecParts.empty()) {
      node.strText.Refill(node.strWord);
      node.nTextLen = node.strText.Length();
      for (int32_t k = 0; k < node.nTextLen; ++k) mark(node.nTextPos + k, &node);
      int32_t position = node.nTextPos;
      for (NEWordNode& part : node.vecParts) {
        part.nType = kNodeWord;
        part.strText.Refill(part.strWord);
        part.nTextPos = position;
        part.nTextLen = part.strText.Length();
        position += part.nTextLen;
        words.push_back(&part);
      }
      text.Append(node.strText);
      continue;
    }
    if (node.nType != kNodeWord) mark(node.nTextPos, &node);
    node.strText.Refill(resource_->PlaceholderFor(node.nType, node.strWord));
    node.nTextLen = node.strText.Length();
    text.Append(node.strText);
    words.push_back(&node);
  }
}

namespace {

// Labels of a run of `n` units from `p`: first, inner ..., last (units beyond
// `labels` are left out).
void SetRun(std::vector<int32_t>& labels, int32_t p, int32_t n, int32_t first, int32_t inner,
            int32_t last) {
  const int32_t length = static_cast<int32_t>(labels.size());
  for (int32_t k = 0; k < n && p + k < length; ++k) {
    labels[p + k] = k == 0 ? first : inner;
  }
  if (n > 1 && p + n - 1 < length) labels[p + n - 1] = last;
}

// Labels of an organization of `n` units from `p` made of `parts` (persons and
// locations keep their own labels inside it); its last unit is labelled by
// the caller.
void SetOrganizationParts(std::vector<int32_t>& labels, int32_t p, int32_t n,
                          const std::vector<OrgPart>& parts) {
  int32_t q = p;
  for (const OrgPart& part : parts) {
    const int32_t m = part.text.Length();
    if (m == 0) continue;  // an empty part has no unit to label
    const int32_t fit = std::min(m, p + n - q);
    if (fit <= 0) break;
    if (part.type == kNodePerson) {
      SetRun(labels, q, fit, kLabelPersonBegin, kLabelPersonInner, kLabelPersonInner);
      labels[q + fit - 1] = kLabelPersonEnd;
    } else if (part.type == kNodeLocation) {
      SetRun(labels, q, fit, kLabelLocationBegin, kLabelLocationInner, kLabelLocationInner);
      labels[q + fit - 1] = kLabelLocationEnd;
    } else {
      SetRun(labels, q, fit, q == p ? kLabelOrgBegin : kLabelOrgInner, kLabelOrgInner,
             kLabelOrgInner);
    }
    q += fit;
  }
}

}  // namespace

void CNEEngine::InitLabels(NEClause& clause) {
  const CUString& text = clause.text;
  const std::vector<NEWordNode>& nodes = clause.nodes;
  std::vector<int32_t>& labels = clause.labels;
  std::vector<int32_t>& char_classes = clause.classes;
  const bool training = clause.training;
  const int32_t length = text.Length();
  labels.assign(static_cast<size_t>(length), kLabelSingle);
  char_classes.assign(static_cast<size_t>(length), 0);
  for (int32_t i = 0; i < length; ++i) char_classes[i] = CharClassOf(text[i]);

  int32_t p = 0;
  for (size_t index = 0; index < nodes.size(); ++index) {
    const NEWordNode& node = nodes[index];
    const int32_t n = node.nTextLen;
    switch (node.nType) {
      case kNodePerson:
        SetRun(labels, p, n, kLabelPersonBegin, kLabelPersonInner, kLabelPersonEnd);
        break;
      case kNodeLocation:
        SetRun(labels, p, n, kLabelLocationBegin, kLabelLocationInner, kLabelLocationEnd);
        break;
      case kNodeOrganization: {
        auto parts = clause.org_parts.find(static_cast<int32_t>(index));
        if (parts == clause.org_parts.end()) {
          SetRun(labels, p, n, kLabelOrgBegin, kLabelOrgInner, kLabelOrgInner);
        } else {
          SetOrganizationParts(labels, p, n, parts->second);
        }
        if (n > 0 && p + n - 1 < length) labels[p + n - 1] = kLabelOrgEnd;
        break;
      }
      case kNodeClassWord:
        if (p < length) {
          labels[p] = kLabelClassWord;
          char_classes[p] = kClassClassWord;
        }
        break;
      case kNodeMdw:
        if (p < length) {
          labels[p] = kLabelMdw;
          char_classes[p] = kClassMdwWord;
        }
        break;
      case kNodePunctuation:
        for (int32_t k = 0; k < n && p + k < length; ++k) labels[p + k] = kLabelPunctuation;
        break;
      default:
        if (training) {
          if (n == 1) {
            labels[p] = kLabelSingle;
          } else {
            SetRun(labels, p, n, kLabelWordBegin, kLabelWordInner, kLabelWordEnd);
          }
        }
        break;
    }
    p += n;
  }
  if (length > 0) {
    labels[length - 1] = kLabelEnd;
    char_classes[length - 1] = kClassSentinel;
  }
}

bool CNEEngine::TagSentence(const CUString& sentence, bool segmented,
                            std::vector<NEWordNode>& nodes, CUString& rendered) {
  rendered.Clear();
  assembly_.pool.Recycle(nodes);
  NEClause& clause = clause_;
  clause.training = false;
  clause.segmented = segmented;
  clause.separator = separator_;
  PreSegment(sentence, clause);
  if (clause.nodes.size() < 2) return true;

  BuildProcessedText(clause);
  InitLabels(clause);

  const CMEModel* model = &resource_->Classifier().Model();
  if (!predicate_names_.BoundTo(model)) predicate_names_.Bind(model);
  ExtractIndexedFeatures(clause.text, clause.words, clause.labels, clause.classes, predicate_names_,
                         clause.indexed, &lexicon_marks_);
  // The sentinel is scored through its sample only.
  clause.text.Truncate(clause.text.Length() - 1);

  if (!lattice_.Decode(clause.text, clause.indexed, resource_->CharLabels())) {
    lattice_.ResetLattice();
    ++failed_clauses_;
    CUString message(u"error sent: ");
    message.Append(sentence);
    message.Append(u"\n", 1);  // one line per clause
    PrintUnicode(message);
    return false;
  }
  AssembleWords(clause, lattice_.Path(), nodes, rendered);
  lattice_.ResetLattice();
  return true;
}

bool CNEEngine::TagClause(const char16_t* text, int32_t length, bool segmented) {
  sentence_.Refill(text, length);
  return TagSentence(sentence_, segmented, tagged_nodes_, rendered_);
}

void CNEEngine::TagLine(const CUString& line, bool segmented, CUString& out) {
  out.Truncate(0);
  // The clauses of SplitSentences, tagged where they lie.
  const char16_t* text = line.c_str();
  int32_t end = 0;
  while (text[end] != 0 && text[end] != 0x000A) ++end;
  bool opened_by_break = false;
  for (int32_t start = 0; start < end;) {
    int32_t n =
        ClauseLength(text + start, end - start, segmented, opened_by_break, &opened_by_break);
    if (n < 0) n = end - start;
    const bool tagged = TagClause(text + start, n, segmented);
    start += n;
    if (!tagged) continue;
    out.Append(rendered_);
    out.Append(u" ", 1);
  }
}

bool CNEEngine::TagFile(const char* in_path, const char* out_path, bool segmented) {
  failed_clauses_ = 0;
  std::FILE* in = OpenFile(in_path, "rb");
  if (in == nullptr) {
    DiagnoseFormat("Could not open file %s: %s\n", in_path, std::strerror(errno));
    return false;
  }
  COutputFile out;
  if (!out.Open(out_path)) {
    DiagnoseFormat("%s\n", out.Error().c_str());
    std::fclose(in);
    return false;
  }
  // A long line arrives in pieces cut at clause boundaries, so memory stays
  // bounded whatever the line; the clauses are those of the whole line.
  CTextLineReader lines(in, CTextEncoding::kGbk);
  CClauseReader reader(lines, segmented, CClauseReader::Trim::kWhiteSpace);
  // A progress line is redrawn in place on a terminal; elsewhere each one
  // is a line of its own.
  const char progress_end = StandardErrorIsTerminal() ? '\r' : '\n';
  CUString piece, rendered, tagged;
  std::vector<CUString> sentences;
  std::vector<NEWordNode> nodes;
  int count = 0;
  int32_t line_failed = 0;
  bool line_empty = true, line_end = false;
  while (out.Good() && reader.Next(piece, line_end)) {
    if (!piece.Empty()) line_empty = false;
    SplitSentences(piece.c_str(), sentences, segmented);
    tagged.Truncate(0);
    for (const CUString& sentence : sentences) {
      // A clause that cannot be decoded is left out and named below.
      if (!TagSentence(sentence, segmented, nodes, rendered)) {
        ++line_failed;
        continue;
      }
      tagged.Append(rendered);
      tagged.Append(u" ", 1);
    }
    if (!line_end) {
      out.Write(ToGbk(tagged));
      continue;
    }
    const long long line_number = static_cast<long long>(lines.LineNumber());
    const std::string problem = lines.Problem();
    if (!problem.empty()) {
      DiagnoseFormat("%s:%lld: %s\n", in_path, line_number, problem.c_str());
    }
    if (line_failed > 0) {
      DiagnoseFormat("%s:%lld: %d %s could not be tagged and %s left out\n", in_path, line_number,
                     static_cast<int>(line_failed), line_failed == 1 ? "clause" : "clauses",
                     line_failed == 1 ? "is" : "are");
    }
    const bool skipped = line_empty;
    line_empty = true;
    line_failed = 0;
    if (skipped) continue;
    tagged.Append(u"\n", 1);
    out.Write(ToGbk(tagged));
    if (++count % 100 == 0 && progress_) {
      DiagnoseFormat("processed %d sentences%c", count, progress_end);
    }
  }
  if (progress_ && progress_end == '\r' && count >= 100) Diagnose("\n");
  bool ok = true;
  if (lines.ReadFailed()) {
    DiagnoseFormat("error reading %s: %s\n", in_path, std::strerror(lines.Errno()));
    out.Abandon();
    ok = false;
  } else if (!out.Commit()) {
    DiagnoseFormat("%s\n", out.Error().c_str());
    ok = false;
  }
  std::fclose(in);
  return ok && failed_clauses_ == 0;
}

bool CNEEngine::HasNEFlag2(const CUString&) { return true; }
bool CNEEngine::HasNEFlag1(const CUString&) { return true; }
bool CNEEngine::HasNEAnyFlag(const CUString&) { return true; }

}  // namespace verrin
