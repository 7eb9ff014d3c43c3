// verrin convert: annotated corpora -> bracketed training corpus.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "corpus/corpus_converter.h"
#include "corpus/lexicon_rules.h"
#include "resource/lexicon.h"

namespace verrin::cli {
namespace {

const char kConvertUsage[] =
    "Usage: verrin convert --from pd98|msra|bio|weibo|cluener [--to corpus|bio]\n"
    "                      [--map TYPE=CLASS,...] [--dict PATH] [--fold-width]\n"
    "                      [--raw-tokens] [--nest-locations LEXICON]\n"
    "                      [--abbreviations MSRA_FILE] [--names-in-words] IN OUT\n"
    "\n"
    "Converts an annotated corpus into the bracketed training corpus (GBK, one\n"
    "paragraph or sentence per line, words separated by single spaces, entities\n"
    "written [P ...], [L ...], [O ...]), or with --to bio into gold BIO for\n"
    "'verrin eval-ner'.\n"
    "\n"
    "Input formats:\n"
    "  pd98     People's Daily 1998 (GBK): word/TAG tokens, [...]nt compounds;\n"
    "           nr -> P, ns -> L, nt -> O\n"
    "  msra     MSRA NER (UTF-8): word/o word/nr word/ns word/nt\n"
    "  bio      UTF-8, one 'character TAG' per line (O, B-/I- PER, LOC, ORG),\n"
    "           a blank line after each sentence; text outside entities is cut\n"
    "           into words by the dictionary\n"
    "  weibo    Weibo NER (UTF-8): one 'character+position<TAB>TAG' per line\n"
    "           (the character is the first code point: '科0' -> 科), a blank\n"
    "           line after each message; PER.NAM -> P, LOC.NAM and GPE.NAM -> L,\n"
    "           ORG.NAM -> O, nominal mentions (*.NOM) and other tags -> O\n"
    "           (outside); an I- tag that continues nothing starts a name\n"
    "  cluener  CLUENER2020 JSON lines (UTF-8): {\"text\": ..., \"label\": {TYPE:\n"
    "           {MENTION: [[start, end], ...]}}} with inclusive offsets; name -> P,\n"
    "           address -> L, company, government, organization -> O, other types\n"
    "           (book, game, movie, position, scene) -> outside\n"
    "\n"
    "Options:\n"
    "  --from FORMAT   input format (required)\n"
    "  --to corpus|bio what to write (default corpus). bio (for bio, weibo and\n"
    "                  cluener): the sentences in UTF-8, one 'character TAG' per\n"
    "                  line with O, B-/I- PER, LOC, ORG as mapped, a blank line\n"
    "                  after each: the gold file of 'verrin eval-ner'\n"
    "  --map TYPE=CLASS,...\n"
    "                  bio, weibo, cluener: the types that are names and their\n"
    "                  class, P (person), L (location) or O (organization), e.g.\n"
    "                  'PER.NAM=P,GPE.NAM=L,LOC.NAM=L,ORG.NAM=O'; every other\n"
    "                  type reads as outside any name, and an I- tag that\n"
    "                  continues nothing starts a name. Replaces the format's own\n"
    "                  map (bio without --map knows PER, LOC, ORG only and skips\n"
    "                  a sentence with another tag)\n"
    "  --dict PATH     segmentation dictionary for bio, weibo and cluener\n"
    "                  (default: dict.txt of the bundled resources)\n"
    "  --fold-width    write full-width digits and Latin letters as ASCII\n"
    "  --raw-tokens    cut plain words where the tagger cuts raw text (digits,\n"
    "                  Latin letters and Chinese numerals apart from other\n"
    "                  characters, symbols one by one; runs of Chinese numerals\n"
    "                  become [number ...]), so that training sees the class\n"
    "                  words of raw text\n"
    "  --nest-locations LEXICON\n"
    "                  an organization that starts with a location of LEXICON\n"
    "                  (an item lexicon: 'word value', value bit 2 = location),\n"
    "                  leaving at least two characters, is written with the\n"
    "                  location and the rest as nested parts\n"
    "  --abbreviations MSRA_FILE\n"
    "                  pd98: class the abbreviations (tag j) as the MSRA-format\n"
    "                  corpus MSRA_FILE tags the same word: a one-character word\n"
    "                  takes its most frequent entity tag when it has it at least\n"
    "                  5 times, a longer word when it has it at least twice and\n"
    "                  in at least half of its occurrences (中/j 美/j -> [L 中]\n"
    "                  [L 美]); other abbreviations stay plain words\n"
    "  --names-in-words\n"
    "                  pd98: a word tagged n, nz, vn, l or i that starts with a\n"
    "                  person's name of 3 or 4 characters found at least twice\n"
    "                  in the corpus and leaves at least two characters is cut\n"
    "                  into the person and the rest (邓小平理论 -> [P 邓小平] 理论)\n"
    "\n"
    "Characters outside GBK: the corpus is GBK, so every UTF-16 unit GBK cannot\n"
    "write (an emoji is two, '•' one) is written as 〓 (U+3013), and the\n"
    "tagger computes its predicates and candidate labels with 〓 in place of\n"
    "such units: training sees what tagging sees, and no sentence is left out.\n"
    "The summary counts them. Gold BIO keeps the characters as they are.\n"
    "\n"
    "A user's text, from annotated files to a score:\n"
    "  verrin convert --from weibo train.conll train.corpus\n"
    "  verrin convert --from weibo --to bio dev.conll dev.bio\n"
    "  verrin eval-ner dev.bio\n"
    "\n"
    "Lines that cannot be converted faithfully are reported on standard error as\n"
    "'line N: reason' and left out; a summary line follows at the end. A line\n"
    "whose plain '[' would hide the brackets after it (Weibo's '[哈哈]') is\n"
    "written with '【' for that '[', and reported.\n";

void PrintSummary(const ConversionStats& s, CorpusFormat format) {
  const char* unit =
      format == CorpusFormat::kBio || format == CorpusFormat::kWeibo ? "sentences" : "lines";
  std::fprintf(stderr,
               "read %lld lines; wrote %lld lines; skipped %lld %s, %lld empty; entities: "
               "%lld P, %lld L, %lld O; %lld written as plain words",
               static_cast<long long>(s.lines_read), static_cast<long long>(s.lines_written),
               static_cast<long long>(s.lines_skipped), unit, static_cast<long long>(s.lines_empty),
               static_cast<long long>(s.persons), static_cast<long long>(s.locations),
               static_cast<long long>(s.organizations),
               static_cast<long long>(s.entities_unbracketed));
  if (format == CorpusFormat::kPd98) {
    std::fprintf(
        stderr,
        "; %lld persons cut from runs of nr tokens; %lld lines without nested parts; "
        "%lld abbreviations classed; %lld names cut out of words",
        static_cast<long long>(s.persons_split), static_cast<long long>(s.lines_parts_dropped),
        static_cast<long long>(s.abbreviations_classed), static_cast<long long>(s.names_cut));
  }
  if (s.units_outside_gbk > 0) {
    std::fprintf(stderr, "; %lld characters outside GBK written as 〓",
                 static_cast<long long>(s.units_outside_gbk));
  }
  if (s.lines_brackets_replaced > 0) {
    std::fprintf(stderr, "; %lld lines with a plain '[' written as '【'",
                 static_cast<long long>(s.lines_brackets_replaced));
  }
  if (s.lone_inside > 0) {
    std::fprintf(stderr, "; %lld I- tags read as B-", static_cast<long long>(s.lone_inside));
  }
  std::fputc('\n', stderr);
  for (const auto& reason : s.skip_reasons) {
    std::fprintf(stderr, "  skipped (%s): %lld\n", reason.first.c_str(),
                 static_cast<long long>(reason.second));
  }
}

int RunConvert(int argc, char** argv) {
  std::string from, dict_path, to = "corpus", map_text;
  ArgParser parser;
  parser.AddOption("from", &from);
  parser.AddOption("to", &to);
  parser.AddOption("map", &map_text);
  parser.AddOption("dict", &dict_path);
  bool fold_width = false, raw_tokens = false;
  std::string nest_path;
  parser.AddOption("nest-locations", &nest_path);
  parser.AddFlag("fold-width", &fold_width);
  parser.AddFlag("raw-tokens", &raw_tokens);
  std::string abbreviations_path;
  bool names_in_words = false;
  parser.AddOption("abbreviations", &abbreviations_path);
  parser.AddFlag("names-in-words", &names_in_words);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("convert", error);
  if (from.empty()) return UsageError("convert", "--from is required");
  ConverterOptions options;
  CNEValuedLexicon locations(&ReadLexiconValue);
  if (!nest_path.empty()) {
    if (!locations.LoadLexicon(nest_path, false, &error)) {
      return Fail("convert", "cannot load the lexicon " + nest_path + ": " + error);
    }
    options.location_prefix = LocationPrefixRule(locations);
  }
  options.fold_full_width = fold_width;
  options.raw_text_tokens = raw_tokens;
  if (!ParseCorpusFormat(from, &options.format)) {
    return UsageError("convert", "--from must be pd98, msra, bio, weibo or cluener");
  }
  if (parser.Positional().size() != 2) return UsageError("convert", "expected IN and OUT");
  const bool characters = IsCharacterFormat(options.format);
  if (to == "bio") {
    options.output = CorpusOutput::kBio;
    if (!characters)
      return UsageError("convert", "--to bio is used only with --from bio, weibo or cluener");
    if (fold_width || raw_tokens || !nest_path.empty() || !dict_path.empty()) {
      return UsageError("convert",
                        "--dict, --fold-width, --raw-tokens and --nest-locations shape the "
                        "corpus; they are not used with --to bio");
    }
  } else if (to != "corpus") {
    return UsageError("convert", "--to must be corpus or bio");
  }
  if (!dict_path.empty() && !characters) {
    return UsageError("convert", "--dict is used only with --from bio, weibo or cluener");
  }
  BioLabelMap label_map;
  if (!map_text.empty()) {
    if (!characters)
      return UsageError("convert", "--map is used only with --from bio, weibo or cluener");
    if (!ParseBioMap(map_text, &label_map, &error)) return UsageError("convert", "--map: " + error);
    options.label_map = &label_map;
  }
  if ((!abbreviations_path.empty() || names_in_words) && options.format != CorpusFormat::kPd98) {
    return UsageError("convert",
                      "--abbreviations and --names-in-words are used only with --from pd98");
  }
  CAbbreviationTable abbreviations;
  if (!abbreviations_path.empty()) {
    if (!abbreviations.Load(abbreviations_path, &error)) return Fail("convert", error);
    options.abbreviation_class = [&abbreviations](const CUString& word) {
      return abbreviations.ClassOf(word);
    };
  }
  options.cut_names_in_words = names_in_words;

  CNELexicon dictionary;
  if (characters && options.output == CorpusOutput::kCorpus) {
    if (dict_path.empty()) dict_path = DefaultResourceDir() + "/dict.txt";
    if (!dictionary.LoadLexicon(dict_path, false, &error)) {
      return Fail("convert", "cannot read the dictionary " + dict_path + ": " + error);
    }
    options.cutter = DictionaryWordCutter(dictionary);
  }

  const bool terminal = StderrIsTerminal();
  const auto started = std::chrono::steady_clock::now();
  bool progress_shown = false;
  options.report = [&](int64_t line, const std::string& reason) {
    if (progress_shown) std::fputs("\r\033[K", stderr);
    progress_shown = false;
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(line), reason.c_str());
  };
  if (terminal) {
    options.progress_interval = 2000;
    options.progress = [&](const ConversionStats& s) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::fprintf(stderr, "\r%lld lines, %.0f lines/s\033[K", static_cast<long long>(s.lines_read),
                   seconds > 0 ? static_cast<double>(s.lines_read) / seconds : 0.0);
      std::fflush(stderr);
      progress_shown = true;
    };
  }

  if (!CheckReadable("convert", parser.Positional()[0], "")) return kExitFailure;
  ConversionStats stats;
  const bool ok =
      ConvertCorpus(parser.Positional()[0], parser.Positional()[1], options, &stats, &error);
  if (progress_shown) std::fputs("\r\033[K", stderr);
  if (!ok) return Fail("convert", error);
  PrintSummary(stats, options.format);
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(convert, "convert",
               "convert pd98, MSRA, BIO, Weibo or CLUENER corpora into the training corpus or "
               "gold BIO",
               kConvertUsage, RunConvert);

}  // namespace verrin::cli
