// Verrin: a resource set taught the text of a domain from a bracketed corpus
// of it, written as a new resource directory (what `verrin adapt` does).
//
// A host loads the set to start from with CNEResourceManager::LoadResource
// and hands the manager to AdaptResources, which changes that set in place:
//   1. The label table gains every label the corpus gives a character, and
//      the model the (label, predicate) pairs of the corpus it lacks (at
//      least `cutoff` occurrences), at weight 0.
//   2. `passes` passes train the weights on whole decoded clauses of the
//      corpus, with lines of an optional base corpus (the text the model was
//      trained on) mixed in so that its domain is kept; with a dev BIO file
//      every pass is scored and the best pass is kept, else the last.
//   3. Weights within `prune` of 0 are left out and the set is written as a
//      complete resource directory: the lexicons of the starting directory,
//      the label table and model.txt. The directory appears complete or not
//      at all.
// Same inputs, same bytes out.
//
// C++ only (the types are those of the standard library the host shares with
// the library).
#ifndef VERRIN_ADAPT_H_
#define VERRIN_ADAPT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "verrin/verrin.h"

namespace verrin {

// Settings of AdaptResources. A default-constructed value holds the defaults
// of `verrin adapt`.
struct VERRIN_API CAdaptOptions {
  CAdaptOptions();

  std::string baseCorpus;  // bracketed corpus the model was trained on ("": none)
  std::string dev;         // BIO file scored after every pass ("": none)
  int passes;              // passes over the corpus, at least 1
  int cutoff;              // occurrences a new (label, predicate) pair needs, at least 1
  int option;              // words of the corpora separated by '/' (1) or spaces (2)
  // Predicate groups the model gains besides those it holds: names separated
  // by commas (those of `verrin genfeatures --help`), "none" for none.
  std::string groups;
  double baseShare;   // base corpus characters per corpus character and pass, >= 0
  double rate;        // step size, above 0 and finite
  double margin;      // margin per wrongly labelled character, >= 0 and finite
  double prune;       // weights within this of 0 are left out, >= 0
  bool entitiesOnly;  // judge labels by their entity part alone, not how plain words are cut
};

// False when a setting of `options` is out of range: `setting` then names the
// first such one as the command spells its option, without dashes ("passes",
// "base-share"), and `message` says why, starting with that name ("passes
// needs a whole number of at least 1", "groups: unknown feature group 'x'").
// Settings are checked in the order they are declared in, as the command
// checks its options.
VERRIN_API bool CheckAdaptOptions(const CAdaptOptions& options, std::string* setting,
                                  std::string* message);

// The figures of one training pass.
struct CAdaptPass {
  int32_t pass = 0;
  // The corpus's clauses: decoded, decoded with another path than the
  // corpus's (and so trained on), and their characters; clauses no path of
  // the lattice labels as the corpus does are skipped.
  int64_t clauses = 0;
  int64_t wrongClauses = 0;
  int64_t characters = 0;
  int64_t wrongCharacters = 0;
  int64_t skipped = 0;
  // The base corpus's lines and clauses of the pass (0 without one).
  int64_t baseLines = 0;
  int64_t baseClauses = 0;
  int64_t baseWrongClauses = 0;
  double devF1 = -1.0;  // entity F1 on the dev file in [0, 1]; -1 without one
};

// What AdaptResources did, filled in as it goes.
struct CAdaptReport {
  // Step 1: the corpus's non-empty lines, their clauses and characters; label
  // table entries that gained labels; pairs and predicates the model gained;
  // the predicate groups the model then holds ("" for none).
  int64_t lines = 0;
  int64_t clauses = 0;
  int64_t characters = 0;
  int32_t labelEntries = 0;
  int64_t newFeatures = 0;
  int64_t newPredicates = 0;
  std::string featureGroups;
  // Step 2.
  std::vector<CAdaptPass> passes;
  int32_t keptPass = 0;  // the pass whose weights were kept
  // Step 3: weights left out, and the features of the written model.
  int32_t prunedWeights = 0;
  int64_t features = 0;
};

// The long steps, for progress reports: the corpus's lines read (step 1),
// the characters of the passes trained (step 2), and the dev file's
// sentences tagged after each pass, within the training step.
enum class AdaptStep { kReadingCorpus, kTraining, kTaggingDev };

// Told how far a step has come: `done` of `total` units (`total` 0 when not
// known).
using AdaptProgress = std::function<void(int64_t done, int64_t total)>;

// What a host hears while AdaptResources works, on the calling thread. Every
// member may be empty.
struct CAdaptHooks {
  // A step begins with `total` units of work (0 when not known); returns
  // the progress hook of the step (may be empty).
  std::function<AdaptProgress(AdaptStep step, int64_t total)> stepBegins;
  // The step ends.
  std::function<void(AdaptStep step)> stepEnds;
  // Step 1 is done: the report's figures of step 1 are set.
  std::function<void(const CAdaptReport& report)> extended;
  // A pass is done (also appended to the report's passes).
  std::function<void(const CAdaptPass& pass)> passDone;
  // The weights are chosen and pruned (keptPass and prunedWeights set); the
  // directory is written next.
  std::function<void(const CAdaptReport& report)> trained;
};

// Adapts the resource set of `manager` (loaded with a model, from the
// directory `resourceDir`, whose lexicons are copied) to the bracketed
// corpus `corpus` (GBK) and writes it as the resource directory `outDir`.
// An existing `outDir` is replaced when it is empty or a resource directory
// (it holds model.txt); otherwise nothing is written. The manager's set is
// changed, whether or not the call succeeds: make no tagger from it during
// the call, and load it again before tagging with the set it had.
// True with `report` filled on success; false with `error` set (and
// `report` filled as far as the work came) when a setting is out of range
// (see CheckAdaptOptions), the manager holds no model, a file cannot be read
// or the directory cannot be written.
VERRIN_API bool AdaptResources(CNEResourceManager& manager, const std::string& resourceDir,
                               const std::string& corpus, const std::string& outDir,
                               const CAdaptOptions& options, const CAdaptHooks& hooks,
                               CAdaptReport* report, std::string* error);

}  // namespace verrin

#endif  // VERRIN_ADAPT_H_
