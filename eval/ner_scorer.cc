#include "eval/ner_scorer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "text/file_system.h"

namespace verrin {
namespace {

// Splits a tag into its prefix ('O', 'B' or 'I') and class; false when it
// is none of O, B-X, I-X.
bool SplitTag(const std::string& tag, char* prefix, std::string* klass) {
  if (tag == "O") {
    *prefix = 'O';
    klass->clear();
    return true;
  }
  if (tag.size() < 3 || (tag[0] != 'B' && tag[0] != 'I') || tag[1] != '-') return false;
  *prefix = tag[0];
  *klass = tag.substr(2);
  return true;
}

std::string Percent(double fraction) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f%%", 100.0 * fraction);
  return buffer;
}

std::string Row(const std::string& name, const SpanCounts& c) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%-10s %8lld %10lld %8lld %10s %8s %8s\n", name.c_str(),
                static_cast<long long>(c.gold), static_cast<long long>(c.predicted),
                static_cast<long long>(c.correct), Percent(c.Precision()).c_str(),
                Percent(c.Recall()).c_str(), Percent(c.F1()).c_str());
  return buffer;
}

std::string Where(size_t index, const BioSentence& gold, const BioSentence& predicted) {
  return "sentence " + std::to_string(index + 1) + " (gold line " +
         std::to_string(gold.first_line) + ", prediction line " +
         std::to_string(predicted.first_line) + ")";
}

}  // namespace

bool ReadBioText(const std::string& text, const std::string& name,
                 std::vector<BioSentence>* sentences, std::string* error) {
  sentences->clear();
  BioSentence current;
  size_t start = 0;
  int64_t number = 0;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) start = 3;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    size_t last = line.find_last_not_of(" \t");
    if (last == std::string::npos) {  // blank: the sentence ends
      if (!current.chars.empty()) sentences->push_back(std::move(current));
      current = BioSentence();
      continue;
    }
    line.erase(last + 1);
    const size_t split = line.find_last_of(" \t");
    if (split == std::string::npos || split == 0) {
      *error = name + ":" + std::to_string(number) + ": expected a character and a tag, found '" +
               line + "'";
      return false;
    }
    std::string tag = line.substr(split + 1);
    char prefix;
    std::string klass;
    if (!SplitTag(tag, &prefix, &klass)) {
      *error =
          name + ":" + std::to_string(number) + ": tag '" + tag + "' is not O, B-CLASS or I-CLASS";
      return false;
    }
    if (current.chars.empty()) current.first_line = number;
    current.chars.push_back(line.substr(0, split));
    current.tags.push_back(std::move(tag));
  }
  if (!current.chars.empty()) sentences->push_back(std::move(current));
  return true;
}

bool ReadBioFile(const std::string& path, std::vector<BioSentence>* sentences, std::string* error) {
  if (IsDirectory(path)) {
    // A directory opens like an empty file: it would score as nothing at all.
    *error = path + " is a directory, not a file";
    sentences->clear();
    return false;
  }
  std::FILE* in = OpenFile(path, "rb");
  if (in == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    sentences->clear();
    return false;
  }
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    *error = "reading " + path + " failed";
    sentences->clear();
    return false;
  }
  return ReadBioText(bytes, path, sentences, error);
}

std::string BioText(const std::vector<BioSentence>& sentences) {
  std::string bio;
  for (const BioSentence& sentence : sentences) {
    for (size_t i = 0; i < sentence.chars.size(); ++i) {
      bio += sentence.chars[i] + " " + sentence.tags[i] + "\n";
    }
    bio += "\n";
  }
  return bio;
}

std::vector<EntitySpan> ExtractSpans(const std::vector<std::string>& tags) {
  std::vector<EntitySpan> spans;
  bool open = false;
  EntitySpan current;
  for (size_t i = 0; i < tags.size(); ++i) {
    char prefix;
    std::string klass;
    if (!SplitTag(tags[i], &prefix, &klass)) prefix = 'O';
    const bool continues = open && prefix == 'I' && klass == current.klass;
    if (open && !continues) {
      current.end = static_cast<int32_t>(i);
      spans.push_back(current);
      open = false;
    }
    if (prefix != 'O' && !continues) {
      current.begin = static_cast<int32_t>(i);
      current.klass = klass;
      open = true;
    }
  }
  if (open) {
    current.end = static_cast<int32_t>(tags.size());
    spans.push_back(current);
  }
  return spans;
}

double SpanCounts::Precision() const {
  return predicted > 0 ? static_cast<double>(correct) / static_cast<double>(predicted) : 0.0;
}

double SpanCounts::Recall() const {
  return gold > 0 ? static_cast<double>(correct) / static_cast<double>(gold) : 0.0;
}

double SpanCounts::F1() const {
  // 2PR / (P + R) written over counts: the same value, and 0 when nothing was found.
  const int64_t sum = gold + predicted;
  return sum > 0 ? 2.0 * static_cast<double>(correct) / static_cast<double>(sum) : 0.0;
}

NerScore ScoreSpans(const std::vector<BioSentence>& gold,
                    const std::vector<BioSentence>& predicted) {
  NerScore score;
  for (const char* klass : {"PER", "LOC", "ORG"}) score.classes[klass];
  if (gold.size() != predicted.size()) {
    score.error = "gold has " + std::to_string(gold.size()) + " sentences, prediction has " +
                  std::to_string(predicted.size());
    return score;
  }
  for (size_t s = 0; s < gold.size(); ++s) {
    const BioSentence& g = gold[s];
    const BioSentence& p = predicted[s];
    if (g.chars.size() != p.chars.size()) {
      score.error = Where(s, g, p) + ": gold has " + std::to_string(g.chars.size()) +
                    " characters, prediction has " + std::to_string(p.chars.size());
      return score;
    }
    for (size_t i = 0; i < g.chars.size(); ++i) {
      if (g.chars[i] != p.chars[i]) {
        score.error = Where(s, g, p) + ": character " + std::to_string(i + 1) + " is '" +
                      g.chars[i] + "' in gold and '" + p.chars[i] + "' in prediction";
        return score;
      }
    }
    const std::vector<EntitySpan> gold_spans = ExtractSpans(g.tags);
    const std::vector<EntitySpan> predicted_spans = ExtractSpans(p.tags);
    const std::set<EntitySpan> gold_set(gold_spans.begin(), gold_spans.end());
    for (const EntitySpan& e : gold_spans) ++score.classes[e.klass].gold;
    for (const EntitySpan& e : predicted_spans) {
      SpanCounts& c = score.classes[e.klass];
      ++c.predicted;
      if (gold_set.count(e) != 0) ++c.correct;
    }
    ++score.sentences;
    score.characters += static_cast<int64_t>(g.chars.size());
  }
  for (const auto& entry : score.classes) {
    score.overall.gold += entry.second.gold;
    score.overall.predicted += entry.second.predicted;
    score.overall.correct += entry.second.correct;
  }
  score.ok = true;
  return score;
}

std::string FormatScoreTable(const NerScore& score) {
  std::string out = "sentences " + std::to_string(score.sentences) + ", characters " +
                    std::to_string(score.characters) + "\n";
  char header[160];
  std::snprintf(header, sizeof header, "%-10s %8s %10s %8s %10s %8s %8s\n", "class", "gold",
                "predicted", "correct", "precision", "recall", "F1");
  out += header;
  // The three entity classes first, in their usual order, then any others.
  for (const char* klass : {"PER", "LOC", "ORG"}) {
    auto it = score.classes.find(klass);
    out += Row(klass, it != score.classes.end() ? it->second : SpanCounts());
  }
  for (const auto& entry : score.classes) {
    if (entry.first != "PER" && entry.first != "LOC" && entry.first != "ORG") {
      out += Row(entry.first, entry.second);
    }
  }
  out += Row("overall", score.overall);
  return out;
}

}  // namespace verrin
