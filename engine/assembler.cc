#include "engine/assembler.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/label_grammar.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"

namespace verrin {

namespace {

const char16_t* const kSchoolWords[] = {u"小学", u"中学", u"大学"};

bool IsSchoolWord(const CUString& word) {
  for (const char16_t* school : kSchoolWords) {
    if (word.View() == std::u16string_view(school)) return true;
  }
  return false;
}

bool IsEntityType(int32_t type) {
  return type == kNodePerson || type == kNodeOrganization || type == kNodeLocation;
}

// Appends the word of the current run to the assembled text and the nodes.
void FlushWord(const CUString& word, int32_t last_label, int32_t end,
               const std::vector<const NEWordNode*>& positions, CUString& assembled,
               std::vector<NEWordNode>& nodes, NENodePool& pool) {
  const int32_t start = end - word.Length();
  const NEWordNode* placeholder =
      start >= 0 && static_cast<size_t>(start) < positions.size() ? positions[start] : nullptr;
  if (placeholder != nullptr) {
    // A placeholder stands for a whole pre-segmentation node.
    pool.AppendCopy(nodes, *placeholder);
    assembled.Append(placeholder->strWord);
    return;
  }
  NEWordNode& node = pool.Append(nodes);
  node.nStart = assembled.Length();
  node.nLength = word.Length();
  node.strWord.Refill(word);
  node.nType = WordTypeOfLabel(last_label, node.nStart, word);
  assembled.Append(word);
}

}  // namespace

int32_t WordTypeOfLabel(int32_t label, int32_t start, const CUString& word) {
  switch (label) {
    case kLabelSingle:
    case kLabelWordEnd:
      return kNodeWord;
    case kLabelPersonBegin:
    case kLabelPersonEnd:
      return kNodePerson;
    case kLabelLocationBegin:
    case kLabelLocationEnd:
      return kNodeLocation;
    case kLabelOrgEnd:
      return kNodeOrganization;
    default: {
      // The word goes out as GBK bytes, never through a format.
      char head[96];
      std::snprintf(head, sizeof head,
                    "error label when get word type, lableID=%d, index=%d, word=",
                    static_cast<int>(label), static_cast<int>(start));
      std::string message = head;
      message += ToGbk(word);
      message += '\n';
      Diagnose(message);
      return kNodeWord;
    }
  }
}

int32_t FindEntityStart(const std::vector<int32_t>& types, int32_t start, int32_t other_words,
                        bool skip_class_words) {
  int32_t found = -1;
  for (int32_t q = std::min<int32_t>(start, static_cast<int32_t>(types.size())) - 1; q >= 0; --q) {
    const int32_t type = types[static_cast<size_t>(q)];
    if (type == kInsideWord) continue;
    if (IsEntityType(type)) {
      found = q;
      continue;
    }
    if (type == kNodeClassWord && skip_class_words) continue;
    if (other_words > 0) {
      --other_words;
      continue;
    }
    break;
  }
  return found;
}

void MergeEntities(const CUString& assembled, const std::vector<NEWordNode>& nodes,
                   NEWordMap& word_map) {
  std::vector<int32_t>& starts = word_map.starts;
  starts.clear();
  int32_t total = 0;
  for (const NEWordNode& node : nodes) total += std::max<int32_t>(node.nLength, 0);
  const size_t size = static_cast<size_t>(std::max(total, assembled.Length())) + 1;
  std::vector<int32_t>& types = word_map.types;
  types.assign(size, kInsideWord);
  word_map.at.assign(size, nullptr);
  word_map.merged_count = 0;

  int32_t p = 0;
  bool any_entity = false;
  for (const NEWordNode& node : nodes) {
    types[static_cast<size_t>(p)] = node.nType;
    word_map.at[static_cast<size_t>(p)] = &node;
    starts.push_back(p);
    any_entity = any_entity || IsEntityType(node.nType);
    p += std::max<int32_t>(node.nLength, 0);
  }
  // The end of the text is a word boundary: it holds an ordinary word's type.
  types[static_cast<size_t>(p)] = kNodeWord;
  if (!any_entity) return;

  // At most one merged node per node: made before the first is pointed to.
  if (word_map.merged.size() < nodes.size()) word_map.merged.resize(nodes.size());
  for (size_t k = 0; k < nodes.size(); ++k) {
    const NEWordNode& node = nodes[k];
    if (node.nType != kNodeOrganization && !IsSchoolWord(node.strWord)) continue;
    const int32_t s = starts[k];
    const int32_t n = node.nLength;
    const int32_t d = FindEntityStart(types, s, 0, true);
    if (d < 0) continue;
    types[static_cast<size_t>(d)] = kNodeOrganization;
    for (int32_t q = d + 1; q < s + n - 1; ++q) types[static_cast<size_t>(q)] = 0;
    NEWordNode& merged = word_map.merged[static_cast<size_t>(word_map.merged_count++)];
    merged.Clear();
    merged.nStart = d;
    merged.nLength = s + n - d;
    const int32_t available =
        std::max<int32_t>(0, std::min(merged.nLength, assembled.Length() - d));
    merged.strWord.Refill(assembled.c_str() + d, available);
    merged.nType = kNodeOrganization;
    word_map.at[static_cast<size_t>(d)] = &merged;
  }
}

void RenderNode(CUString& out, const NEWordNode& node) {
  switch (node.nType) {
    case kNodePerson:
      out.Append(u"[P ");
      break;
    case kNodeLocation:
      out.Append(u"[L ");
      break;
    case kNodeOrganization:
      out.Append(u"[O ");
      break;
    case kNodeMdw:
      out.Append(u"[mdw ");
      break;
    case kNodeClassWord:
      out.Append(u"[");
      out.Append(node.strTag);
      out.Append(u" ");
      break;
    default:
      out.Append(node.strWord);
      out.Append(u" ");
      return;
  }
  out.Append(node.strWord);
  out.Append(u"] ");
}

CUString RenderSentence(int32_t assembled_length, const NEWordMap& word_map) {
  CUString out(assembled_length * 2 + 16);
  RenderSentence(assembled_length, word_map, out);
  return out;
}

void RenderSentence(int32_t assembled_length, const NEWordMap& word_map, CUString& out) {
  out.Clear();
  int32_t p = 0;
  while (p < assembled_length && static_cast<size_t>(p) < word_map.at.size()) {
    const NEWordNode* node = word_map.at[static_cast<size_t>(p)];
    // Every word start holds a node; a gap would mean inconsistent lengths.
    if (node == nullptr || node->nLength <= 0) break;
    p += node->nLength;
    RenderNode(out, *node);
  }
  // White space at both ends goes, in place.
  const char16_t* units = out.c_str();
  int32_t begin = 0, end = out.Length();
  while (begin < end && IsWhiteSpace(units[begin])) ++begin;
  while (end > begin && IsWhiteSpace(units[end - 1])) --end;
  if (begin > 0) {
    out.Refill(units + begin, end - begin);
  } else {
    out.Truncate(end);
  }
}

CUString AssembleClause(const CUString& text, const NEPath& path,
                        const std::vector<const NEWordNode*>& positions,
                        std::vector<NEWordNode>& nodes) {
  NEAssembly work;
  CUString rendered;
  AssembleClause(text, path, positions, nodes, rendered, work);
  return rendered;
}

void AssembleClause(const CUString& text, const NEPath& path,
                    const std::vector<const NEWordNode*>& positions, std::vector<NEWordNode>& nodes,
                    CUString& rendered, NEAssembly& work) {
  work.pool.Recycle(nodes);
  CUString& word = work.word;
  CUString& assembled = work.assembled;
  word.Clear();
  assembled.Clear();
  int32_t previous_label = kLabelStart;
  char16_t previous_char = 0x0001;
  const int32_t n = std::min(text.Length(), static_cast<int32_t>(path.edges.size()));
  for (int32_t i = 0; i < n; ++i) {
    const int32_t label = path.edges[static_cast<size_t>(i)].label;
    const char16_t unit = text[i];
    switch (LabelTransition(previous_label, label)) {
      case label_grammar::kInvalidPair:
        // The characters as GBK, like every text the library's messages quote.
        DiagnoseFormat("error state, prev[%s]=%d, curr[%s]=%d\n", ToGbk(&previous_char, 1).c_str(),
                       static_cast<int>(i - 1), ToGbk(&unit, 1).c_str(), static_cast<int>(i));
        break;
      case label_grammar::kStartsWord:
        if (i > 0 && !word.Empty()) {
          FlushWord(word, previous_label, i, positions, assembled, nodes, work.pool);
        }
        word.Refill(&unit, 1);
        break;
      default:  // label_grammar::kContinuesWord
        word.Append(unit);
        break;
    }
    previous_label = label;
    previous_char = unit;
  }
  if (!word.Empty()) FlushWord(word, previous_label, n, positions, assembled, nodes, work.pool);

  MergeEntities(assembled, nodes, work.word_map);
  RenderSentence(assembled.Length(), work.word_map, rendered);
}

}  // namespace verrin
