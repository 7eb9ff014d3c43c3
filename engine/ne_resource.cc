#include "engine/ne_resource.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

#include "io/protected_file.h"
#include "resource/resource_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {

CNEResource::CNEResource() : items_(&ReadLexiconValue), affixes_(&ReadLexiconValue) {
  const char16_t units[5] = {0x000E, 0x000F, 0x0010, 0x0011, 0x0012};
  for (int i = 0; i < 5; ++i) placeholders_[i] = CUString(units[i], 1);
}

CNEResource::~CNEResource() = default;

bool CNEResource::LoadLexicons(const std::string& base, bool protected_form) {
  if (load_pe_info_) {
    // A missing table is no failure: the flags simply stay 0.
    pe_info_.LoadPeInfo(base + kPeInfoFile, protected_form);
  }
  struct Step {
    bool enabled;
    CNELexicon* lexicon;
    const char* file;
  } steps[] = {{load_items_, &items_, kNeItemFile},
               {load_affixes_, &affixes_, kNeAffixFile},
               {load_dict_, &dict_, kDictFile}};
  for (const Step& step : steps) {
    if (!step.enabled) continue;
    const std::string path = base + step.file;
    std::string error;
    if (!step.lexicon->LoadLexicon(path, protected_form, &error)) {
      DiagnoseFormat("load %s failed.\nerror: %s\n", path.c_str(), error.c_str());
      return false;
    }
  }
  return true;
}

bool CNEResource::LoadDictionaries(const char* dir, const char* model_path, bool protected_form) {
  const std::string base = dir != nullptr ? dir : "";
  // Messages name the file read: a protected model's own path.
  model_path_ = model_path == nullptr ? ""
                : protected_form      ? ProtectedPathFor(model_path)
                                      : model_path;
  if (model_path == nullptr) return LoadLexicons(base, protected_form);
  // A plain model file is read ahead from the start.
  std::unique_ptr<CMEModelPrefetch> prefetch;
  if (!protected_form) prefetch = std::make_unique<CMEModelPrefetch>(model_path);
  // The lexicons load on a thread of their own while this one loads the
  // model. The messages of both are held back and given in the order of a
  // load in turn: the lexicons' first, the model's only when every lexicon
  // loaded.
  std::string lexicon_messages;
  bool lexicons_loaded = false;
  std::thread lexicons;
  try {
    lexicons = std::thread([&] {
      CDiagnosticsScope scope([&](std::string_view text) { lexicon_messages.append(text); });
      lexicons_loaded = LoadLexicons(base, protected_form);
    });
  } catch (const std::system_error&) {
  }
  if (!lexicons.joinable()) {
    if (!LoadLexicons(base, protected_form)) return false;
    return classifier_.Model().Load(model_path, protected_form, prefetch.get()) &&
           OutcomesAreLabels();
  }
  std::string model_messages;
  bool model_loaded = false;
  {
    struct Join {
      std::thread* thread;
      ~Join() { thread->join(); }
    } join{&lexicons};
    CDiagnosticsScope scope([&](std::string_view text) { model_messages.append(text); });
    model_loaded = classifier_.Model().Load(model_path, protected_form, prefetch.get());
  }
  if (!lexicon_messages.empty()) Diagnose(lexicon_messages);
  if (!lexicons_loaded) return false;
  if (!model_messages.empty()) Diagnose(model_messages);
  return model_loaded && OutcomesAreLabels();
}

bool CNEResource::LoadCharLabels(int optional, const char* dir, bool protected_form) {
  const std::string path = std::string(dir != nullptr ? dir : "") +
                           (protected_form ? kCharLabelProtectedFile : kCharLabelFile);
  if (!FileExists(path.c_str())) {
    const int reason = errno != 0 ? errno : ENOENT;
    if (optional != 0) return true;
    DiagnoseFormat("the charset label info file is not exist\nerror: cannot open %s: %s\n",
                   path.c_str(), std::strerror(reason));
    return false;
  }
  if (!char_labels_.Load(path, protected_form)) return false;
  return LabelsFitModel(path);
}

bool CNEResource::OutcomesAreLabels() {
  const CMEModel& model = classifier_.Model();
  for (int32_t j = 0; j < model.OutcomeCount(); ++j) {
    const CUString text = model.GetOutcome(j);
    int64_t label = 0;
    if (ParseExactInt(text.c_str(), text.Length(), 0, INT32_MAX, &label)) continue;
    DiagnoseFormat(
        "error: model file %s, line %lld: outcome '%s' is not a label number (0 to 2147483647, "
        "no sign, no leading zero)\n",
        model_path_.c_str(), static_cast<long long>(model.OutcomeLine(j)),
        FieldForMessage(text.c_str(), text.Length()).c_str());
    return false;
  }
  return true;
}

bool CNEResource::LabelsFitModel(const std::string& table_path) {
  CMEModel& model = classifier_.Model();
  if (model.OutcomeCount() == 0) return true;  // no model loaded
  // A label the table offers but the model cannot score is never chosen, and
  // a character with only such labels ends every path through it: the model
  // was not trained with this table (or lost lines). Refuse the pair.
  for (int32_t label = 1; label < CharLabelTable::kRecordedLabels; ++label) {
    if (model.FindOutcome(DecimalText(label)) >= 0) continue;
    for (int32_t unit = 0; unit < CharLabelTable::kSize; ++unit) {
      if ((char_labels_.At(static_cast<char16_t>(unit)) & (1 << label)) == 0) continue;
      DiagnoseFormat(
          "error: model file %s has no outcome %d, which the label table %s allows (for "
          "U+%04X and maybe others); the model does not fit these resources\n",
          model_path_.empty() ? "(in memory)" : model_path_.c_str(), static_cast<int>(label),
          table_path.c_str(), static_cast<unsigned>(unit));
      return false;
    }
  }
  return true;
}

bool ResolveWordSeparatorOption(int option, char16_t& separator) {
  switch (option) {
    case 0:
      return false;
    case 1:
      separator = u'/';
      return true;
    case 2:
      separator = u' ';
      return true;
    default:
      Diagnose("the word separator option is error\n");
      return false;
  }
}

const CUString& CNEResource::PlaceholderFor(int32_t type, const CUString& text) const {
  switch (type) {
    case 2:
      return placeholders_[0];
    case 3:
      return placeholders_[1];
    case 4:
      return placeholders_[2];
    case 5:
      return placeholders_[4];
    case 6:
      return placeholders_[3];
    default:
      return text;
  }
}

int32_t ClassCodeOf(const CUString& class_text) {
  struct Entry {
    const char16_t* text;
    int32_t code;
  } static const kCodes[] = {{u"mdw", 5}, {u"P", 2}, {u"L", 4}, {u"O", 3}};
  for (const Entry& e : kCodes) {
    if (UStrCaseCompare(class_text.c_str(), e.text) == 0) return e.code;
  }
  return 6;
}

}  // namespace verrin
