#include "corpus/corpus_item.h"

#include <utility>

#include "text/char_class.h"

namespace verrin {
namespace {

bool IsObstacle(char16_t u) {
  return IsWhiteSpace(u) || u == u'[' || u == u']' || u == u'/' || u == kPartTextEnd ||
         u == kPartClassEnd || IsSentenceDelimiter(u);
}

}  // namespace

char16_t FirstObstacle(const CUString& text) {
  for (int32_t i = 0; i < text.Length(); ++i) {
    if (IsObstacle(text[i])) return text[i];
  }
  return 0;
}

CUString Concatenate(const std::vector<CUString>& words) {
  CUString joined;
  for (const CUString& w : words) joined.Append(w);
  return joined;
}

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

void CItemBuilder::AddPlain(const CUString& word) {
  FlushPersons();
  if (word.Empty()) return;
  CorpusItem item;
  item.words.push_back(word);
  items_.push_back(std::move(item));
}

void CItemBuilder::AddEntity(char16_t klass, std::vector<CUString> words, bool raw) {
  FlushPersons();
  CorpusItem item;
  item.klass = klass;
  item.raw = raw;
  for (CUString& w : words) {
    if (!w.Empty()) item.words.push_back(std::move(w));
  }
  if (!item.words.empty()) items_.push_back(std::move(item));
}

void CItemBuilder::AddOrganization(std::vector<CorpusPart> parts) {
  FlushPersons();
  CorpusItem item;
  item.klass = u'O';
  item.parts = std::move(parts);
  items_.push_back(std::move(item));
}

std::vector<CorpusItem> CItemBuilder::Finish() {
  FlushPersons();
  return std::move(items_);
}

void CItemBuilder::FlushPersons() {
  if (person_run_.empty()) return;
  std::vector<CUString> run;
  run.swap(person_run_);
  const auto persons = SplitPersonRun(run);
  stats_->persons_split += static_cast<int64_t>(persons.size()) - 1;
  for (const auto& person : persons) AddEntity(u'P', person);
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

}  // namespace verrin
