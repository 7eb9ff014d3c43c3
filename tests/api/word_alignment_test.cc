// Placing records in the tagged text: spans in code points and units.
#include "verrin/word_alignment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verrin {
namespace {

struct Rec {
  std::u16string word;
  int type;
  const char16_t* tag;
};

// Spans as "start-end" in code points, one per record.
std::vector<std::string> Spans(const std::u16string& text, const std::vector<Rec>& recs) {
  std::vector<tag_WordInfoW> records(recs.size());
  for (size_t i = 0; i < recs.size(); ++i) {
    records[i].SetWord(recs[i].word.data(), static_cast<int32_t>(recs[i].word.size()));
    if (recs[i].tag != nullptr) {
      records[i].SetTag(recs[i].tag,
                        static_cast<int32_t>(std::char_traits<char16_t>::length(recs[i].tag)));
    }
    records[i].cWordType = static_cast<uint8_t>(recs[i].type);
  }
  std::vector<std::string> spans;
  for (const CAlignedWord& w :
       AlignWords(text.data(), text.size(), records.data(), static_cast<int>(records.size()))) {
    spans.push_back(std::to_string(w.start) + "-" + std::to_string(w.end));
  }
  return spans;
}

using SpanList = std::vector<std::string>;

TEST(WordAlignmentTest, DroppedMarksAreSkippedAndClassTextsNeverMatch) {
  // "[engstring g]": the g of the class text is not the word's g.
  EXPECT_EQ(Spans(u"[engstring g]他", {{u"g", 2, u"engstring"}, {u"他", 0, nullptr}}),
            (SpanList{"11-12", "13-14"}));
  // Separators and spaces between words are not part of any word.
  EXPECT_EQ(Spans(u" 他 / 在 ", {{u"他", 0, nullptr}, {u"在", 0, nullptr}}),
            (SpanList{"1-2", "5-6"}));
  // A bracket whose word the model joined with the next character.
  EXPECT_EQ(Spans(u"[P 张三]说", {{u"张三说", 3, u"P"}}), (SpanList{"3-7"}));
  // Not a mark (no space before "]"): the "[" is a word of its own.
  EXPECT_EQ(Spans(u"他[x", {{u"他", 0, nullptr}, {u"[", 0, nullptr}, {u"x", 0, nullptr}}),
            (SpanList{"0-1", "1-2", "2-3"}));
}

TEST(WordAlignmentTest, OffsetsCountCodePointsNotUnits) {
  // U+20000 is two UTF-16 units and one code point.
  const std::u16string text = u"\U00020000张三在\U0001F600北京";
  EXPECT_EQ(Spans(text, {{u"\U00020000", 0, nullptr},
                         {u"张三", 3, u"P"},
                         {u"在", 0, nullptr},
                         {u"\U0001F600", 0, nullptr},
                         {u"北京", 3, u"L"}}),
            (SpanList{"0-1", "1-3", "3-4", "4-5", "5-7"}));
  const std::vector<int32_t> index = CodePointIndex(text.data(), text.size());
  ASSERT_EQ(index.size(), text.size() + 1);
  EXPECT_EQ(index[1], 1);  // inside the pair: the pair's end, never a split character
  EXPECT_EQ(index.back(), 7);
}

TEST(WordAlignmentTest, MissingWordsGetEmptySpansAndLaterWordsStillAlign) {
  // Only the first line is tagged: a record never finds text after the line feed.
  EXPECT_EQ(Spans(u"他在\n北京", {{u"他", 0, nullptr}, {u"北京", 3, u"L"}, {u"在", 0, nullptr}}),
            (SpanList{"0-1", "1-1", "1-2"}));
  EXPECT_EQ(Spans(u"", {{u"他", 0, nullptr}}), (SpanList{"0-0"}));
}

}  // namespace
}  // namespace verrin
