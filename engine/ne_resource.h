// CNEResource: the loaded resource set shared by every tagger of a manager.
//
// Filled by the two load steps, then only read: taggers on any number of
// threads may share one set.
#ifndef VERRIN_ENGINE_NE_RESOURCE_H_
#define VERRIN_ENGINE_NE_RESOURCE_H_

#include <cstdint>
#include <string>

#include "maxent/me_classifier.h"
#include "resource/char_label_table.h"
#include "resource/lexicon.h"
#include "resource/pe_info.h"
#include "text/ustring.h"

namespace verrin {

inline constexpr char kPeInfoFile[] = "/PeInfo.txt";
inline constexpr char kNeItemFile[] = "/NeItem.txt";
inline constexpr char kNeAffixFile[] = "/NeAffix.txt";
inline constexpr char kDictFile[] = "/dict.txt";
inline constexpr char kCharLabelFile[] = "/charset_lableInfo_tr.txt";
inline constexpr char kCharLabelProtectedFile[] = "/charset_lableInfo_tr.des";

class CNEResource {
 public:
  CNEResource();
  virtual ~CNEResource();
  CNEResource(const CNEResource&) = delete;
  CNEResource& operator=(const CNEResource&) = delete;

  // First load step: PeInfo, item lexicon, affix lexicon, dictionary, then the
  // model when `model_path` is not null. A lexicon that is missing or holds a
  // line that cannot be read prints "load %s failed.\n" and, on the next
  // line, the reason ("error: cannot open PATH: REASON" or "error: PATH:
  // line N: REASON"), and fails the step.
  bool LoadDictionaries(const char* dir, const char* model_path, bool protected_form);
  // Second load step: the character label table. With `optional` 0 a missing
  // file prints "the charset label info file is not exist\n" and, on the
  // next line, "error: cannot open PATH: REASON", and fails; with `optional`
  // set it succeeds and keeps the table. A loaded model must fit the table
  // (LabelsFitModel).
  bool LoadCharLabels(int optional, const char* dir, bool protected_form);
  // False with a message naming the model file and the line when an outcome
  // of the loaded model is not exactly a label number (the decoder reads
  // outcomes as labels: "1x", "01" or "4294967297" would pass for another).
  bool OutcomesAreLabels();
  // False with a message naming the model file and the table when the table
  // offers a label (kLabelSingle to kLabelOrgEnd) that the loaded model has
  // no outcome for; true when no model is loaded.
  bool LabelsFitModel(const std::string& table_path);

  // The one-unit placeholder of a node type (kNodePerson, kNodeOrganization,
  // kNodeLocation, kNodeMdw, kNodeClassWord), else `text`.
  const CUString& PlaceholderFor(int32_t type, const CUString& text) const;

  CMEClassifier& Classifier() { return classifier_; }
  const CMEClassifier& Classifier() const { return classifier_; }
  CharLabelTable& CharLabels() { return char_labels_; }
  const CharLabelTable& CharLabels() const { return char_labels_; }
  const CNELexicon& Dict() const { return dict_; }
  const CNEValuedLexicon& Items() const { return items_; }
  const CNEValuedLexicon& Affixes() const { return affixes_; }
  const PeInfoTable& PeInfo() const { return pe_info_; }

 private:
  // PeInfo and the lexicons of the first load step, from directory `base`.
  bool LoadLexicons(const std::string& base, bool protected_form);

  CMEClassifier classifier_;
  CharLabelTable char_labels_;
  CNELexicon dict_;
  CNEValuedLexicon items_;
  CNEValuedLexicon affixes_;
  PeInfoTable pe_info_;
  bool load_items_ = true;
  bool load_affixes_ = true;
  bool load_pe_info_ = true;
  bool load_dict_ = true;
  std::string model_path_;  // the model file loaded, for messages
  CUString placeholders_[5];
};

// The word separator option of a tagging call: 0 raw text (false, `separator`
// unchanged), 1 words separated by "/" (true), 2 by " " (true); any other
// value prints "the word separator option is error\n" and is raw text.
bool ResolveWordSeparatorOption(int option, char16_t& separator);

// "mdw" -> 5, "P" -> 2, "L" -> 4, "O" -> 3, anything else -> 6 (ignoring case).
int32_t ClassCodeOf(const CUString& class_text);

}  // namespace verrin

#endif  // VERRIN_ENGINE_NE_RESOURCE_H_
