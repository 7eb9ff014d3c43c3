// verrin augment: more training text by swapping entities.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "corpus/entity_swap.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "augment";
constexpr char kUsage[] =
    "Usage: verrin augment [--copies N] [--seed S] IN OUT\n"
    "\n"
    "Writes the bracketed training corpus IN (GBK, as written by 'verrin\n"
    "convert') to OUT, followed by N copies of every line that holds an entity,\n"
    "in which each [P ...], [L ...] or [O ...] is replaced by an entity of the\n"
    "same class drawn at random from the entities of IN. Training on the result\n"
    "teaches the model the contexts of names more than the names themselves.\n"
    "The same IN, N and S always give the same OUT.\n"
    "\n"
    "  --copies N   copies of the lines with entities (default 1)\n"
    "  --seed S     seed of the random draws (default 1)\n";

int Run(int argc, char** argv) {
  std::string copies_text = "1", seed_text = "1";
  ArgParser parser;
  parser.AddOption("copies", &copies_text);
  parser.AddOption("seed", &seed_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  EntitySwapOptions options;
  int copies = 0, seed = 0;
  if (!ParseIntArg(copies_text, &copies) || copies < 0) {
    return UsageError(kName, "--copies needs a whole number of at least 0");
  }
  if (!ParseIntArg(seed_text, &seed) || seed < 0) {
    return UsageError(kName, "--seed needs a whole number of at least 0");
  }
  if (parser.Positional().size() != 2) return UsageError(kName, "expected IN and OUT");
  if (!CheckReadable(kName, parser.Positional()[0], "")) return kExitFailure;
  options.copies = copies;
  options.seed = static_cast<uint64_t>(seed);
  EntitySwapStats stats;
  if (!SwapEntitiesInFile(parser.Positional()[0], parser.Positional()[1], options, &stats,
                          &error)) {
    return Fail(kName, error);
  }
  std::fprintf(stderr,
               "read %lld lines, %lld with entities (distinct: %lld P, %lld L, %lld O); "
               "wrote %lld lines\n",
               static_cast<long long>(stats.lines_read),
               static_cast<long long>(stats.lines_with_entities),
               static_cast<long long>(stats.distinct_entities[0]),
               static_cast<long long>(stats.distinct_entities[1]),
               static_cast<long long>(stats.distinct_entities[2]),
               static_cast<long long>(stats.lines_written));
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(augment, kName, "add copies of a training corpus with entities swapped", kUsage,
               Run);

}  // namespace verrin::cli
