#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "api/messages.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/ustring.h"
#include "verrin/verrin.h"

using verrin::CUString;
using verrin::NEWordNode;

namespace {

// Record type and class text of an engine node type.
void SetTypeAndTag(tag_WordInfoW& record, const NEWordNode& node) {
  switch (node.nType) {
    case verrin::kNodeMdw:
      record.cWordType = verrin::kWordMdw;
      record.SetTag(node.strTag.c_str(), node.strTag.Length());
      break;
    case verrin::kNodeClassWord:
      record.cWordType = verrin::kWordClass;
      record.SetTag(node.strTag.c_str(), node.strTag.Length());
      break;
    case verrin::kNodePerson:
      record.cWordType = verrin::kWordEntity;
      record.SetTag(u"P", 1);
      break;
    case verrin::kNodeLocation:
      record.cWordType = verrin::kWordEntity;
      record.SetTag(u"L", 1);
      break;
    case verrin::kNodeOrganization:
      record.cWordType = verrin::kWordEntity;
      record.SetTag(u"O", 1);
      break;
    default:
      record.cWordType = verrin::kWordPlain;
      record.SetTag(nullptr, 0);
      break;
  }
}

tag_WordInfoW* AllocateRecords(int32_t n) {
  try {
    return new tag_WordInfoW[static_cast<size_t>(n)];
  } catch (const std::bad_alloc&) {
    throw "Out of memory";
  }
}

}  // namespace

CKyVerrin::CKyVerrin(CNEResourceManager* manager) : engine_(nullptr), manager_(manager) {
  try {
    engine_ = new verrin::CNEEngine(manager != nullptr ? manager->Resource() : nullptr);
  } catch (const std::bad_alloc&) {
    throw "Out of memory";
  }
}

CKyVerrin::~CKyVerrin() {
  delete engine_;
  engine_ = nullptr;
}

CKyVerrin& CKyVerrin::operator=(const CKyVerrin& other) {
  engine_ = other.engine_;
  manager_ = other.manager_;
  return *this;
}

bool CKyVerrin::KyTagNEInfo(const char16_t* text, int option, tag_WordInfoW*& records, int& count) {
  const bool segmented = engine_->SetWordSeparatorOption(option);
  const int32_t n = verrin::UStrLen(text);
  engine_->ResetFailedClauses();
  records = nullptr;
  records = AllocateRecords(n);
  count = 0;

  // Clauses are cut and tagged one at a time (the clauses SplitSentences
  // gives), so that a long text is never held twice.
  int32_t end = 0;
  while (end < n && text[end] != 0x000A) ++end;
  int32_t offset = 0;
  bool opened_by_break = false;
  for (int32_t start = 0; start < end;) {
    int32_t length = verrin::CNEEngine::ClauseLength(text + start, end - start, segmented,
                                                     opened_by_break, &opened_by_break);
    if (length < 0) length = end - start;
    engine_->TagClause(text + start, length, segmented);
    start += length;
    for (const NEWordNode& node : engine_->Nodes()) {
      const char16_t* word = node.strWord.c_str();
      int32_t remaining = std::min(node.nLength, node.strWord.Length());
      // Every record holds at least one unit of the input, so n slots suffice.
      do {
        if (count >= n) return true;
        const int32_t piece = std::min(remaining, verrin::kMaxRecordUnits);
        tag_WordInfoW& record = records[count++];
        record.cLength = static_cast<uint8_t>(piece);
        record.nOffset = offset;
        record.SetWord(word, piece);
        SetTypeAndTag(record, node);
        offset += piece;
        word += piece;
        remaining -= piece;
      } while (remaining > 0);
    }
  }
  return true;
}

bool CKyVerrin::KyTagNEInfo(const char* inPath, int option, const char* outPath) {
  verrin::CDiagnosticsRecorder messages;
  const bool segmented = engine_->SetWordSeparatorOption(option);
  const bool ok = engine_->TagFile(inPath, outPath, segmented);
  if (!ok) verrin::SetLastError(messages.Text(), "the file could not be tagged");
  return ok;
}

bool CKyVerrin::KyTagNEInfo(const tag_WordInfoW* words, int wordCount, tag_WordInfoW*& records,
                            int& count) {
  CUString text;
  CUString rendering;
  for (int i = 0; words != nullptr && i < wordCount; ++i) {
    OutputWordInfo(words[i], rendering, false);
    text.Append(rendering);
    text.Append(u" ", 1);
  }
  return KyTagNEInfo(text.c_str(), 2, records, count);
}

int CKyVerrin::UntaggedClauses() const { return engine_->FailedClauses(); }

bool CKyVerrin::KyHasNE(const char16_t* text, int option, int flags) {
  const bool segmented = engine_->SetWordSeparatorOption(option);
  std::vector<CUString> sentences;
  engine_->SplitSentences(text, sentences, segmented);
  bool answer = false;
  for (const CUString& sentence : sentences) {
    if (flags & 2) {
      answer = engine_->HasNEFlag2(sentence);
      if (answer) break;
    }
    if (flags & 1) {
      answer = engine_->HasNEFlag1(sentence);
      if (answer) break;
    }
    if (flags & 3) {
      answer = engine_->HasNEAnyFlag(sentence);
      if (answer) break;
    }
  }
  return answer;
}

void CKyVerrin::FreeWordSegResult(tag_WordInfoW* records, int /*count*/) {
  // The array knows its own length; the count argument is not needed.
  delete[] records;
}

void CKyVerrin::OutputWordInfo(const tag_WordInfoW& record, CUString& out, bool markMdw) {
  out.Clear();
  const char16_t* word = record.pWord != nullptr ? record.pWord : u"";
  if (record.cWordType == verrin::kWordPlain ||
      (record.cWordType == verrin::kWordMdw && !markMdw)) {
    out.Append(word);
    return;
  }
  out.Append(u"[");
  if (record.cWordType == verrin::kWordMdw) {
    out.Append(u"mdw");
  } else if (record.pTag != nullptr) {
    out.Append(record.pTag);
  }
  out.Append(u" ");
  out.Append(word);
  out.Append(u"]");
}

void CKyVerrin::OutputTaggedSentence(const tag_WordInfoW* records, int count, char16_t* out) {
  if (out == nullptr) return;
  CUString all, one;
  for (int i = 0; records != nullptr && i < count; ++i) {
    OutputWordInfo(records[i], one, true);
    all.Append(one);
    all.Append(u" ", 1);
  }
  std::memcpy(out, all.c_str(), sizeof(char16_t) * (static_cast<size_t>(all.Length()) + 1));
}

int CKyVerrin::RenderedLength(const tag_WordInfoW* records, int count) {
  int total = 0;
  for (int i = 0; records != nullptr && i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    const int word = verrin::UStrLen(r.pWord);
    if (r.cWordType == verrin::kWordPlain) {
      total += word;
    } else {
      const int tag = r.cWordType == verrin::kWordMdw ? 3 : verrin::UStrLen(r.pTag);
      total += 3 + tag + word;  // "[", tag, " ", word, "]"
    }
    total += 1;  // separator
  }
  return total;
}
