// The items of one converted corpus line and their bracketed text.
//
// A converted line is a sequence of items: plain words and entities. An
// entity is written as one bracket "[" class " " word "]" with class P
// (person), L (location) or O (organization); the words of a multi-word
// entity are joined with "/", which the corpus reader removes ("[O 北京/大学]").
// An organization whose inner words are known may instead carry nested parts:
// each part's text, U+0005, its class (P, L, or n for any other part), U+0006,
// all inside the one bracket.
#ifndef VERRIN_CORPUS_CORPUS_ITEM_H_
#define VERRIN_CORPUS_CORPUS_ITEM_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

// The marks that end a nested part's text and its class inside a bracket.
inline constexpr char16_t kPartTextEnd = 0x0005;
inline constexpr char16_t kPartClassEnd = 0x0006;

// Cuts a stretch of raw text into words (white space dropped).
using WordCutter = std::function<std::vector<CUString>(const char16_t* text, int32_t length)>;
// Receives one problem: the 1-based input line and a reason (UTF-8).
using IssueReporter = std::function<void(int64_t line, const std::string& reason)>;

// Entity and person counts cover written lines only.
struct ConversionStats {
  int64_t lines_read = 0;     // physical input lines
  int64_t lines_written = 0;  // output lines
  int64_t lines_skipped = 0;  // input lines (bio: sentences) left out, each reported
  int64_t lines_empty = 0;    // input lines (bio: sentences) with nothing to write
  int64_t persons = 0;        // entities written, by class
  int64_t locations = 0;
  int64_t organizations = 0;
  int64_t entities_unbracketed = 0;  // entities written as plain words, each reported
  int64_t persons_split = 0;         // pd98: extra persons cut from runs of nr tokens
  // Lines whose organizations were written without nested parts because a
  // clause break would otherwise fall inside one (each reported).
  int64_t lines_parts_dropped = 0;
  int64_t abbreviations_classed = 0;  // pd98: j tokens written as entities or entity parts
  int64_t names_cut = 0;              // pd98: persons cut from the start of longer words
  int64_t units_outside_gbk = 0;      // units written as the stand-in 〓 (written lines only)
  int64_t lone_inside = 0;            // I- tags that started an entity, each reported
  // Lines whose plain "[" were written as "【" because a bracket after one
  // would otherwise not read back (each reported).
  int64_t lines_brackets_replaced = 0;
  std::map<std::string, int64_t> skip_reasons;  // short reason -> skipped count
};

// One unit of a converted line: a plain word, or an entity.
struct CorpusPart {
  CUString text;
  char16_t klass = u'n';  // 'P', 'L' or 'n'
};
struct CorpusItem {
  char16_t klass = 0;             // 0 plain word; 'P', 'L' or 'O' entity; 'N' a
                                  // class word written "[number word]"
  std::vector<CUString> words;    // plain: one word; entity: its words in order
  std::vector<CorpusPart> parts;  // entity with nested parts (then `words` is unused)
  bool raw = false;               // `words` is uncut text (bio): cut by the cutter if written plain
};

// The bracketed text of the items (no line end). Entities are rendered as
// they stand; callers check them with EntityObstacle first.
CUString RenderCorpusItems(const std::vector<CorpusItem>& items);

// The first unit of an entity's words or parts that cannot stand inside a
// bracket, or 0 when there is none.
char16_t EntityObstacle(const CorpusItem& item);

// The first unit of the text that cannot stand inside a bracket (white space,
// "[", "]", "/", a nested-part mark or a clause delimiter), or 0.
char16_t FirstObstacle(const CUString& text);

// The words joined without separator.
CUString Concatenate(const std::vector<CUString>& words);

// PKU writes a Chinese name as surname and given name, and lists names
// without punctuation between them; a one-character token after a name of two
// or more tokens is taken as the next surname.
std::vector<std::vector<CUString>> SplitPersonRun(const std::vector<CUString>& run);

// Collects the items of one line. Person tokens given one by one are held
// until another item arrives and then cut into persons by SplitPersonRun
// (each extra person counted in `stats->persons_split`).
class CItemBuilder {
 public:
  explicit CItemBuilder(ConversionStats* stats) : stats_(stats) {}

  // An empty word adds nothing.
  void AddPlain(const CUString& word);
  // Empty words are dropped; an entity without words adds nothing.
  void AddEntity(char16_t klass, std::vector<CUString> words, bool raw = false);
  void AddOrganization(std::vector<CorpusPart> parts);
  void AddPersonToken(const CUString& word) { person_run_.push_back(word); }

  std::vector<CorpusItem> Finish();

 private:
  void FlushPersons();

  ConversionStats* stats_;
  std::vector<CorpusItem> items_;
  std::vector<CUString> person_run_;
};

}  // namespace verrin

#endif  // VERRIN_CORPUS_CORPUS_ITEM_H_
