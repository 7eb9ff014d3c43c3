// verrin genfeatures

#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/progress.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "engine/person_labels.h"
#include "text/file_system.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

const char kUsage[] =
    "Usage: verrin genfeatures [options] CORPUS OUTDIR\n"
    "\n"
    "Turns a bracketed training corpus (GBK, one or more sentences per line,\n"
    "entities written as [P word], [L word], [O word]) into the event file\n"
    "OUTDIR/ME_featuredata_tr.txt and the character label table\n"
    "OUTDIR/charset_lableInfo_tr.txt (the loaded table plus the corpus's labels;\n"
    "start from a resource directory whose label table is empty to get the\n"
    "corpus's alone). OUTDIR is created when missing.\n"
    "\n"
    "Options:\n"
    "  --res DIR        resource directory (default: the bundled resources)\n"
    "  --model PATH     load this model too (not needed to generate features)\n"
    "  --protected      read the protected (.des) forms of the resource files\n"
    "                   (a fixed key built into verrin: not encryption)\n"
    "  --option 1|2     words of the corpus separated by '/' (1) or spaces (2, default)\n"
    "  --person-labels  let every Chinese character of the written label table\n"
    "                   also take the person labels (begin, inner, end): names\n"
    "                   are written with almost any character, and a character\n"
    "                   the corpus never showed inside a name could otherwise\n"
    "                   never be tagged as part of one\n"
    "  --groups LIST    predicate groups to produce besides the base set, comma-\n"
    "                   separated (default none); a model trained on them tags\n"
    "                   with them:\n"
    "                     prev-word           the previous word's text\n"
    "                     person-marks        surname, name prefix and suffix and\n"
    "                                         person-name character marks of the\n"
    "                                         character and its neighbours\n"
    "                     class-marks         title, location and organization\n"
    "                                         suffix, known location starting here\n"
    "                     continuation-marks  inside such a lexicon match\n"
    "                     next-match          the lexicon match that starts at the\n"
    "                                         next character: length and text\n"
    "                     word-shape[:N]      begin, inner, end of words of N (2-5,\n"
    "                                         default 2) characters or more\n"
    "                     word-position       single, begin, end of any word\n"
    "                     org-items           known organization (NeItem) starting\n"
    "                                         here, inside one, and the one that\n"
    "                                         starts at the next character\n"
    "                   The words are the corpus's; docs/training.md explains each.\n";

bool MakeDirectories(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial = path.substr(0, i);
      if (!PathExists(partial) && !MakeDirectory(partial)) return false;
    }
  }
  return IsDirectory(path);
}

int Run(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "2";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  bool person_labels = false;
  parser.AddFlag("person-labels", &person_labels);
  std::string groups_text;
  parser.AddOption("groups", &groups_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("genfeatures", error);
  NEFeatureGroups groups;
  if (!ParseFeatureGroups(groups_text, &groups, &error)) {
    return UsageError("genfeatures", "--groups: " + error);
  }
  int option = 2;
  if (!ParseIntArg(option_text, &option) || (option != 1 && option != 2)) {
    return UsageError("genfeatures", "--option must be 1 or 2");
  }
  if (parser.Positional().size() != 2) {
    return UsageError("genfeatures", "expected CORPUS and OUTDIR");
  }
  const std::string& corpus = parser.Positional()[0];
  std::string out_dir = parser.Positional()[1];
  while (out_dir.size() > 1 && out_dir.back() == '/') out_dir.pop_back();
  if (!CheckReadable("genfeatures", corpus, "the corpus")) return kExitFailure;
  if (!MakeDirectories(out_dir)) return Fail("genfeatures", "cannot create " + out_dir);
  CNEResourceManager manager;
  if (!LoadManager("genfeatures", resources, manager, false)) {
    return kExitFailure;
  }
  CNEEngine engine(manager.Resource());
  engine.SetWordSeparatorOption(option);
  engine.SetFeatureGroups(groups);
  CProgress progress("genfeatures " + corpus, 0, CProgress::Unit::kBytes);
  engine.SetProgressHook(progress.Hook());
  const bool written = engine.GenerateFeatureData(corpus.c_str(), 0, out_dir.c_str());
  progress.Finish();
  if (!written) return Fail("genfeatures", "could not write the event file below " + out_dir);
  if (person_labels) {
    int32_t changed = 0;
    if (!AllowPersonLabelsInFile(out_dir + "/charset_lableInfo_tr.txt", &changed, &error)) {
      return Fail("genfeatures", error);
    }
    std::fprintf(stderr, "person labels added to %d characters\n", changed);
  }
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(genfeatures, "genfeatures",
               "turn a bracketed corpus into training events and a label table", kUsage, Run);

}  // namespace verrin::cli
