#include "corpus/cluener_reader.h"

#if defined(VERRIN_WITH_JSON)
#include <nlohmann/json.hpp>
#endif

#include <algorithm>
#include <cstdint>
#include <tuple>

#include "text/code_page.h"

namespace verrin {

#if defined(VERRIN_WITH_JSON)
namespace {

using Json = nlohmann::json;

struct Span {
  int64_t start = 0;
  int64_t end = 0;  // inclusive
  char16_t klass = 0;
  std::string type;
};

bool Malformed(const std::string& detail, CorpusProblem* problem) {
  *problem = {"malformed line", detail};
  return false;
}

// The spans of one line's "label" object; the named ones in `named`.
bool ReadSpans(const Json& label, const BioLabelMap& map, const std::vector<CUString>& points,
               std::vector<Span>* named, CorpusProblem* problem) {
  if (!label.is_object()) return Malformed("\"label\" is not an object", problem);
  for (const auto& type : label.items()) {
    if (!type.value().is_object()) {
      return Malformed("label type '" + type.key() + "' does not hold an object of mentions",
                       problem);
    }
    const auto found = map.classes.find(type.key());
    const char16_t klass = found == map.classes.end() ? 0 : found->second;
    for (const auto& mention : type.value().items()) {
      const std::string where = "mention '" + mention.key() + "' of " + type.key();
      if (!mention.value().is_array()) {
        return Malformed(where + " does not hold a list of spans", problem);
      }
      const CUString text = FromUtf8(mention.key());
      for (const Json& span : mention.value()) {
        if (!span.is_array() || span.size() != 2 || !span[0].is_number_integer() ||
            !span[1].is_number_integer()) {
          return Malformed(where + ": a span is not [start, end]", problem);
        }
        const int64_t start = span[0].get<int64_t>();
        const int64_t end = span[1].get<int64_t>();
        const std::string at =
            where + " at [" + std::to_string(start) + ", " + std::to_string(end) + "]";
        if (start < 0 || end < start || end >= static_cast<int64_t>(points.size())) {
          return Malformed(
              at + " lies outside the text of " + std::to_string(points.size()) + " characters",
              problem);
        }
        CUString held;
        for (int64_t i = start; i <= end; ++i) held.Append(points[static_cast<size_t>(i)]);
        if (held != text) {
          return Malformed(at + " does not match the text there, " + Quote(held), problem);
        }
        if (klass != 0) named->push_back({start, end, klass, type.key()});
      }
    }
  }
  return true;
}

}  // namespace

bool ParseCluenerLine(const std::string& utf8_line, const BioLabelMap& map,
                      std::vector<BioChar>* chars, CorpusProblem* problem) {
  chars->clear();
  const Json line = Json::parse(utf8_line, nullptr, /*allow_exceptions=*/false);
  if (line.is_discarded()) return Malformed("the line is not valid JSON", problem);
  if (!line.is_object() || !line.contains("text") || !line["text"].is_string()) {
    return Malformed("the line is not a JSON object with a string \"text\"", problem);
  }
  const CUString text = FromUtf8(line["text"].get<std::string>());
  std::vector<CUString> points;  // the text's code points, as the offsets count them
  for (int32_t i = 0; i < text.Length();) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.Length() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    const int32_t n = pair ? 2 : 1;
    points.emplace_back(text.c_str() + i, n);
    i += n;
  }
  std::vector<Span> named;
  if (line.contains("label") && !line["label"].is_null() &&
      !ReadSpans(line["label"], map, points, &named, problem)) {
    return false;
  }
  std::sort(named.begin(), named.end(), [](const Span& a, const Span& b) {
    return std::tie(a.start, a.end) < std::tie(b.start, b.end);
  });
  for (size_t k = 1; k < named.size(); ++k) {
    if (named[k].start <= named[k - 1].end) {
      const auto span = [&points](const Span& s) {
        CUString held;
        for (int64_t i = s.start; i <= s.end; ++i) held.Append(points[static_cast<size_t>(i)]);
        return Quote(held) + " (" + s.type + ")";
      };
      *problem = {"overlapping names",
                  "the names " + span(named[k - 1]) + " and " + span(named[k]) + " overlap"};
      return false;
    }
  }
  chars->resize(points.size());
  for (size_t i = 0; i < points.size(); ++i) (*chars)[i].text = points[i];
  for (const Span& s : named) {
    for (int64_t i = s.start; i <= s.end; ++i) {
      BioChar& c = (*chars)[static_cast<size_t>(i)];
      c.klass = s.klass;
      c.begins = i == s.start;
      c.type = s.type;
    }
  }
  return true;
}

bool CluenerSupported() { return true; }

#else  // built without nlohmann-json

bool ParseCluenerLine(const std::string&, const BioLabelMap&, std::vector<BioChar>* chars,
                      CorpusProblem* problem) {
  chars->clear();
  *problem = {"no JSON reader", "this build of Verrin has no JSON reader"};
  return false;
}

bool CluenerSupported() { return false; }

#endif

}  // namespace verrin
