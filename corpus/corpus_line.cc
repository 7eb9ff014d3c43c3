#include "corpus/corpus_line.h"

#include <cstdio>

#include "text/code_page.h"

namespace verrin {

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

bool DecodeLine(const std::string& bytes, bool gbk, CUString* text, CorpusProblem* problem) {
  *text = gbk ? FromGbk(bytes) : FromUtf8(bytes);
  const std::string again = gbk ? ToGbk(*text) : ToUtf8(*text);
  if (again == bytes) return true;
  *problem = {gbk ? "invalid GBK bytes" : "invalid UTF-8 bytes",
              gbk ? "the line is not valid GBK" : "the line is not valid UTF-8"};
  return false;
}

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

}  // namespace verrin
