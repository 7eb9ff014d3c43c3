// verrin tag / verrin tagfile
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "eval/record_bio.h"
#include "text/code_page.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

const char kTagUsage[] =
    "Usage: verrin tag [options] [FILE]\n"
    "\n"
    "Tags each line of FILE (or standard input) and prints one result per line.\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory (default: the bundled resources)\n"
    "  --model PATH       model file (default: DIR/model.txt when it exists)\n"
    "  --protected        read the protected (.des) forms of every file\n"
    "  --option 0|1|2     0 raw text (default), 1 words separated by '/',\n"
    "                     2 words separated by spaces\n"
    "  --format FORMAT    text (default): the bracketed sentence, e.g.\n"
    "                       [P 江泽民] 在 [L 北京] 会见 ...\n"
    "                     json: {\"records\": [[offset, length, word, type, tag], ...],\n"
    "                       \"rendered\": \"...\"} per line (UTF-8)\n"
    "                     bio: one character and its BIO tag (PER, LOC, ORG) per\n"
    "                       line, a blank line after each input line\n"
    "  --encoding ENC     utf-8 (default) or gbk, for input and text output\n";

const char kTagFileUsage[] =
    "Usage: verrin tagfile [options] IN OUT\n"
    "\n"
    "Tags the GBK text file IN line by line into the GBK file OUT: one line of\n"
    "bracketed clauses per non-empty input line.\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory (default: the bundled resources)\n"
    "  --model PATH       model file (default: DIR/model.txt when it exists)\n"
    "  --protected        read the protected (.des) forms of every file\n"
    "  --option 0|1|2     word separator option of the input (default 0, raw)\n";

void AppendJsonString(std::string& out, const std::string& utf8) {
  out.push_back('"');
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

std::string JsonLine(const tag_WordInfoW* records, int count, const CUString& rendered) {
  std::string out = "{\"records\": [";
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    if (i > 0) out += ", ";
    out += "[" + std::to_string(r.nOffset) + ", " + std::to_string(r.cLength) + ", ";
    AppendJsonString(out, ToUtf8(r.pWord != nullptr ? r.pWord : u""));
    out += ", " + std::to_string(r.cWordType) + ", ";
    if (r.pTag != nullptr) {
      AppendJsonString(out, ToUtf8(r.pTag));
    } else {
      out += "null";
    }
    out += "]";
  }
  out += "], \"rendered\": ";
  AppendJsonString(out, ToUtf8(rendered));
  out += "}\n";
  return out;
}

// One character per line with its BIO tag; entities are records of type 3.
std::string BioLines(const tag_WordInfoW* records, int count) {
  const std::vector<std::string> tags = UnitTags(records, count);
  std::string out;
  size_t unit = 0;
  for (int i = 0; i < count; ++i) {
    for (const char16_t* p = records[i].pWord; p != nullptr && *p != 0; ++p, ++unit) {
      out += ToUtf8(p, 1) + " " + tags[unit] + "\n";
    }
  }
  out += "\n";
  return out;
}

int RunTag(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "0", format = "text", encoding = "utf-8";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  parser.AddOption("format", &format);
  parser.AddOption("encoding", &encoding);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("tag", error);
  int option = 0;
  if (!ParseIntArg(option_text, &option) || option < 0 || option > 2) {
    return UsageError("tag", "--option must be 0, 1 or 2");
  }
  if (format != "text" && format != "json" && format != "bio") {
    return UsageError("tag", "--format must be text, json or bio");
  }
  if (encoding != "utf-8" && encoding != "utf8" && encoding != "gbk") {
    return UsageError("tag", "--encoding must be utf-8 or gbk");
  }
  const bool gbk = encoding == "gbk";
  if (parser.Positional().size() > 1) return UsageError("tag", "too many arguments");

  std::FILE* in = stdin;
  if (!parser.Positional().empty() && parser.Positional()[0] != "-") {
    in = std::fopen(parser.Positional()[0].c_str(), "rb");
    if (in == nullptr) return Fail("tag", "cannot open " + parser.Positional()[0]);
  }
  CNEResourceManager manager;
  if (!LoadManager("tag", resources, manager)) {
    if (in != stdin) std::fclose(in);
    return kExitFailure;
  }
  CKyVerrin tagger(&manager);
  std::string line;
  while (ReadRawLine(in, line)) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const CUString text = gbk ? FromGbk(line) : FromUtf8(line);
    tag_WordInfoW* records = nullptr;
    int count = 0;
    tagger.KyTagNEInfo(text.c_str(), option, records, count);
    std::string out;
    if (format == "bio") {
      out = BioLines(records, count);
    } else {
      CUString rendered(CKyVerrin::RenderedLength(records, count));
      tagger.OutputTaggedSentence(records, count, rendered.MutableBuffer());
      rendered.Assign(CUString(rendered.c_str()));
      if (format == "json") {
        out = JsonLine(records, count, rendered);
      } else {
        out = (gbk ? ToGbk(rendered) : ToUtf8(rendered)) + "\n";
      }
    }
    tagger.FreeWordSegResult(records, count);
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  if (in != stdin) std::fclose(in);
  return kExitOk;
}

int RunTagFile(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "0";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("tagfile", error);
  int option = 0;
  if (!ParseIntArg(option_text, &option) || option < 0 || option > 2) {
    return UsageError("tagfile", "--option must be 0, 1 or 2");
  }
  if (parser.Positional().size() != 2) return UsageError("tagfile", "expected IN and OUT");
  const std::string& in_path = parser.Positional()[0];
  const std::string& out_path = parser.Positional()[1];
  if (std::FILE* probe = std::fopen(in_path.c_str(), "r")) {
    std::fclose(probe);
  } else {
    return Fail("tagfile", "cannot open " + in_path);
  }
  CNEResourceManager manager;
  if (!LoadManager("tagfile", resources, manager)) return kExitFailure;
  CKyVerrin tagger(&manager);
  if (!tagger.KyTagNEInfo(in_path.c_str(), option, out_path.c_str())) {
    std::fputc('\n', stderr);
    return Fail("tagfile", "tagging " + in_path + " into " + out_path + " failed");
  }
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(tag, "tag", "tag text lines (UTF-8 or GBK) and print bracketed text, JSON or BIO",
               kTagUsage, RunTag);
VERRIN_COMMAND(tagfile, "tagfile", "tag a GBK text file into a GBK file of bracketed text",
               kTagFileUsage, RunTagFile);

}  // namespace verrin::cli
