#include "corpus/bio_reader.h"

#include <string>
#include <utility>

#include "text/code_page.h"
#include "text/comma_list.h"

namespace verrin {
namespace {

bool ClassOfName(const std::string& name, char16_t* klass) {
  if (name == "P" || name == "PER") {
    *klass = u'P';
  } else if (name == "L" || name == "LOC") {
    *klass = u'L';
  } else if (name == "O" || name == "ORG") {
    *klass = u'O';
  } else {
    return false;
  }
  return true;
}

}  // namespace

BioLabelMap DefaultBioMap() {
  BioLabelMap map;
  map.classes = {{"PER", u'P'}, {"LOC", u'L'}, {"ORG", u'O'}};
  return map;
}

BioLabelMap WeiboBioMap() {
  BioLabelMap map;
  map.classes = {{"PER.NAM", u'P'}, {"LOC.NAM", u'L'}, {"GPE.NAM", u'L'}, {"ORG.NAM", u'O'}};
  map.others_outside = true;
  map.lone_inside_begins = true;
  return map;
}

BioLabelMap CluenerBioMap() {
  BioLabelMap map;
  map.classes = {{"name", u'P'},
                 {"address", u'L'},
                 {"company", u'O'},
                 {"government", u'O'},
                 {"organization", u'O'}};
  map.others_outside = true;
  return map;
}

bool ParseBioMap(const std::string& text, BioLabelMap* map, std::string* error) {
  BioLabelMap parsed;
  parsed.others_outside = true;
  parsed.lone_inside_begins = true;
  for (const std::string_view item : SplitCommaList(text)) {
    if (item.empty()) continue;
    const std::string entry(item);
    const size_t equals = item.find('=');
    const std::string type(equals == std::string_view::npos ? item
                                                            : TrimBlanks(item.substr(0, equals)));
    const std::string name(equals == std::string_view::npos ? std::string_view()
                                                            : TrimBlanks(item.substr(equals + 1)));
    char16_t klass = 0;
    if (type.empty() || equals == std::string::npos) {
      *error = "map entry '" + entry + "' is not TYPE=CLASS";
      return false;
    }
    if (!ClassOfName(name, &klass)) {
      *error = "map entry '" + entry + "': the class must be P, L or O";
      return false;
    }
    if (!parsed.classes.emplace(type, klass).second) {
      *error = "map entry '" + entry + "': the type " + type + " is given twice";
      return false;
    }
  }
  if (parsed.classes.empty()) {
    *error = "the map names no type";
    return false;
  }
  *map = std::move(parsed);
  return true;
}

TagField FindTagField(const CUString& line) {
  TagField field;
  field.end = line.Length();
  while (field.end > 0 && (line[field.end - 1] == u' ' || line[field.end - 1] == u'\t')) {
    --field.end;
  }
  field.split = field.end - 1;
  while (field.split >= 0 && line[field.split] != u' ' && line[field.split] != u'\t') {
    --field.split;
  }
  return field;
}

bool ReadBioTag(const CUString& line, const TagField& field, const BioLabelMap& map,
                const std::vector<BioChar>& sentence, BioChar* c, bool* lone_inside,
                CorpusProblem* problem) {
  *lone_inside = false;
  bool ascii = true;
  const std::string tag =
      AsciiOf(line.c_str() + field.split + 1, field.end - field.split - 1, &ascii);
  c->klass = 0;
  c->begins = false;
  c->type.clear();
  if (ascii && tag == "O") return true;
  if (ascii && tag.size() > 2 && (tag[0] == 'B' || tag[0] == 'I') && tag[1] == '-') {
    const std::string type = tag.substr(2);
    const auto found = map.classes.find(type);
    if (found == map.classes.end() && !map.others_outside) {
      *problem = {"unknown tag", "unknown tag in line " + Quote(line)};
      return false;
    }
    if (found == map.classes.end() || found->second == 0) return true;  // not a name: O
    c->klass = found->second;
    c->begins = tag[0] == 'B';
    c->type = type;
    if (!c->begins && (sentence.empty() || sentence.back().type != type)) {
      if (map.lone_inside_begins) {
        c->begins = true;
        *lone_inside = true;
        return true;
      }
      *problem = {"I- without B-", "tag " + tag + " does not continue an entity"};
      return false;
    }
    return true;
  }
  *problem = {"unknown tag", "unknown tag in line " + Quote(line)};
  return false;
}

bool ParseBioLine(const CUString& line, const BioLabelMap& map,
                  const std::vector<BioChar>& sentence, BioChar* out, bool* lone_inside,
                  CorpusProblem* problem) {
  const TagField tag = FindTagField(line);
  if (tag.split <= 0) {
    *problem = {"malformed line", "expected a character, a space and a tag, found " + Quote(line)};
    return false;
  }
  BioChar c;
  c.text.Assign(line.c_str(), tag.split);
  if (!ReadBioTag(line, tag, map, sentence, &c, lone_inside, problem)) return false;
  *out = std::move(c);
  return true;
}

std::vector<CorpusItem> BioSentenceItems(const std::vector<BioChar>& chars,
                                         const WordCutter& cutter) {
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
      for (const CUString& w : cutter(plain.c_str(), plain.Length())) builder.AddPlain(w);
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
    for (const CUString& w : cutter(plain.c_str(), plain.Length())) builder.AddPlain(w);
  }
  return builder.Finish();
}

std::string BioSentenceText(const std::vector<BioChar>& chars) {
  std::string out;
  for (size_t i = 0; i < chars.size(); ++i) {
    const BioChar& c = chars[i];
    out += ToUtf8(c.text);
    if (c.klass == 0) {
      out += " O\n";
      continue;
    }
    const bool starts = c.begins || i == 0 || chars[i - 1].klass != c.klass;
    out += starts ? " B-" : " I-";
    out += c.klass == u'P' ? "PER\n" : c.klass == u'L' ? "LOC\n" : "ORG\n";
  }
  out += "\n";
  return out;
}

}  // namespace verrin
