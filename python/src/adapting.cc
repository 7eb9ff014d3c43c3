#include "adapting.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "resource_loading.h"
#include "verrin/adapt.h"

namespace py = pybind11;

namespace verrin_python {
namespace {

// The settings of `verrin adapt` by their Python names, with the defaults
// of the library.
py::dict AdaptDefaults() {
  const verrin::CAdaptOptions o;
  py::dict d;
  d["passes"] = o.passes;
  d["base_share"] = o.baseShare;
  d["cutoff"] = o.cutoff;
  d["rate"] = o.rate;
  d["margin"] = o.margin;
  d["prune"] = o.prune;
  d["entities_only"] = o.entitiesOnly;
  d["option"] = o.option;
  d["groups"] = o.groups;
  return d;
}

py::dict PassDict(const verrin::CAdaptPass& p) {
  py::dict d;
  d["pass"] = p.pass;
  d["clauses"] = p.clauses;
  d["wrong_clauses"] = p.wrongClauses;
  d["characters"] = p.characters;
  d["wrong_characters"] = p.wrongCharacters;
  d["skipped"] = p.skipped;
  d["base_lines"] = p.baseLines;
  d["base_clauses"] = p.baseClauses;
  d["base_wrong_clauses"] = p.baseWrongClauses;
  d["dev_f1"] = p.devF1 >= 0 ? py::object(py::float_(p.devF1)) : py::object(py::none());
  return d;
}

// The checks of a file the adapter reads: ValueError for a null byte,
// FileNotFoundError when it does not exist.
void CheckInputFile(const std::string& path, const std::string& what) {
  CheckPath(path, ("the " + what).c_str());
  if (!Exists(path)) ThrowNotFound(what + " not found: " + path, path);
}

py::dict Adapt(const std::string& corpus, const std::string& out_dir, const std::string& resources,
               std::optional<std::string> model, std::optional<std::string> base_corpus,
               std::optional<std::string> dev, int passes, double base_share, int cutoff,
               double rate, double margin, double prune, bool entities_only, int option,
               const std::string& groups) {
  verrin::CAdaptOptions options;
  options.passes = passes;
  options.baseShare = base_share;
  options.cutoff = cutoff;
  options.rate = rate;
  options.margin = margin;
  options.prune = prune;
  options.entitiesOnly = entities_only;
  options.option = option;
  options.groups = groups;
  options.baseCorpus = base_corpus.value_or("");
  options.dev = dev.value_or("");
  std::string setting, message;
  if (!verrin::CheckAdaptOptions(options, &setting, &message)) {
    // The library names the setting as the command spells it ("base-share").
    std::string name = setting;
    std::replace(name.begin(), name.end(), '-', '_');
    throw py::value_error(name + message.substr(setting.size()));
  }
  CheckInputFile(corpus, "corpus");
  if (base_corpus.has_value()) CheckInputFile(*base_corpus, "base corpus");
  if (dev.has_value()) CheckInputFile(*dev, "dev file");
  CheckPath(out_dir, "the output directory");

  std::string loaded_model;
  std::unique_ptr<CNEResourceManager> manager =
      LoadResourceSet(resources, model, false, true, &loaded_model);
  verrin::CAdaptReport report;
  std::string error, messages;
  bool ok;
  {
    py::gil_scoped_release release;
    ThreadMessages capture;
    ok = verrin::AdaptResources(*manager, resources, corpus, out_dir, options,
                                verrin::CAdaptHooks(), &report, &error);
    messages = capture.Text();
    manager.reset();
  }
  if (!ok) ThrowLoadError(messages.empty() ? error : messages + "\n" + error);
  WarnMessages(messages);
  py::dict result;
  result["kept_pass"] = report.keptPass;
  result["features"] = report.features;
  result["pruned"] = report.prunedWeights;
  result["lines"] = report.lines;
  result["clauses"] = report.clauses;
  result["characters"] = report.characters;
  result["label_entries"] = report.labelEntries;
  result["new_features"] = report.newFeatures;
  result["new_predicates"] = report.newPredicates;
  result["feature_groups"] = report.featureGroups;
  py::list pass_list;
  for (const verrin::CAdaptPass& p : report.passes) pass_list.append(PassDict(p));
  result["passes"] = pass_list;
  return result;
}

}  // namespace

void DefineAdapting(py::module_& m) {
  m.def("adapt_defaults", &AdaptDefaults,
        "The settings of adapt() and their defaults, those of `verrin adapt`.");
  m.def("adapt", &Adapt, py::arg("corpus"), py::arg("out_dir"), py::arg("resources"),
        py::arg("model"), py::arg("base_corpus"), py::arg("dev"), py::arg("passes"),
        py::arg("base_share"), py::arg("cutoff"), py::arg("rate"), py::arg("margin"),
        py::arg("prune"), py::arg("entities_only"), py::arg("option"), py::arg("groups"),
        "Adapts a resource set to a corpus (see verrin.adapt).");
}

}  // namespace verrin_python
