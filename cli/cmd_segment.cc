// verrin segment: dictionary segmentation of raw text, as pre-segmentation does it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "engine/ne_resource.h"
#include "resource/lexicon.h"
#include "text/code_page.h"
#include "text/file_system.h"
#include "text/output_file.h"

namespace verrin::cli {
namespace {

constexpr char kSegmentUsage[] =
    "Usage: verrin segment [--res DIR] [--encoding utf-8|gbk] [FILE]\n"
    "\n"
    "Segments raw text with the dictionary DIR/dict.txt by forward longest match,\n"
    "the way raw input is pre-segmented before tagging: white space is dropped,\n"
    "runs of digits, of Latin letters and of Chinese numerals become one token\n"
    "each, symbols stay single. Reads FILE (standard input when FILE is absent\n"
    "or \"-\") line by line and prints the tokens of each line separated by\n"
    "single spaces.\n"
    "\n"
    "Options:\n"
    "  --res DIR         resource directory holding dict.txt (default: the\n"
    "                    bundled resources)\n"
    "  --encoding NAME   encoding of input and output: utf-8 (default) or gbk\n";

bool Lowered(std::string text, const char* expected) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text == expected;
}

int RunSegment(int argc, char** argv) {
  const char* name = "segment";
  std::string res_dir, encoding = "utf-8";
  ArgParser parser;
  parser.AddOption("res", &res_dir);
  parser.AddOption("encoding", &encoding);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(name, error);
  if (parser.Positional().size() > 1) return UsageError(name, "expected at most one FILE");
  int code_page;
  if (Lowered(encoding, "gbk")) {
    code_page = CCodePageSet::kGbk;
  } else if (Lowered(encoding, "utf-8") || Lowered(encoding, "utf8")) {
    code_page = CCodePageSet::kUtf8;
  } else {
    return UsageError(name, "unknown encoding '" + encoding + "' (use gbk or utf-8)");
  }
  res_dir = ResolveResourceDir(res_dir);

  CNELexicon dict;
  const std::string dict_path = res_dir + kDictFile;
  std::string dict_error;
  if (!dict.LoadLexicon(dict_path, false, &dict_error)) {
    return Fail(name, "cannot load dictionary " + dict_path + ": " + dict_error);
  }

  InputLines input(name,
                   code_page == CCodePageSet::kGbk ? CTextEncoding::kGbk : CTextEncoding::kUtf8);
  if (!input.Open(parser.Positional().empty() ? "-" : parser.Positional()[0])) {
    return kExitFailure;
  }
  CCodePageSet& code_pages = CCodePageSet::Get();
  COutputFile output;
  output.Open("-");
  CUString line;
  while (output.Good() && input.Next(line)) {
    std::u16string out;
    for (const CUString& token : dict.SegmentRawText(line.c_str(), line.Length(), true)) {
      if (!out.empty()) out.push_back(u' ');
      out.append(token.View());
    }
    out.push_back(u'\n');
    output.Write(code_pages.Encode(code_page, out.data(), static_cast<int32_t>(out.size())));
  }
  if (!output.Commit()) return Fail(name, output.Error());
  if (!input.Finish()) return kExitFailure;
  return TaggingStatus(name, 0, input.DamagedLines());
}

}  // namespace

VERRIN_COMMAND(segment, "segment", "segment raw text with the dictionary", kSegmentUsage,
               RunSegment);

}  // namespace verrin::cli
