// The exported tagger on the hand-made resources of tests/data/tagger.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "text/ustring.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

const std::string kResDir = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";
const std::string kModel = kResDir + "/model.txt";

struct Record {
  int offset, length;
  std::string word;
  int type;
  std::string tag;
  bool operator==(const Record& o) const {
    return offset == o.offset && length == o.length && word == o.word && type == o.type &&
           tag == o.tag;
  }
};

std::ostream& operator<<(std::ostream& os, const Record& r) {
  return os << "[" << r.offset << "," << r.length << "," << r.word << "," << r.type << "," << r.tag
            << "]";
}

class TaggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(manager_.LoadResource(kResDir.c_str(), kModel.c_str(), false));
    tagger_ = std::make_unique<CKyVerrin>(&manager_);
  }

  std::vector<Record> Tag(const std::string& text, int option) {
    CUString t = U(text);
    tag_WordInfoW* records = nullptr;
    int count = -1;
    EXPECT_TRUE(tagger_->KyTagNEInfo(t.c_str(), option, records, count));
    EXPECT_NE(records, nullptr);
    std::vector<Record> out;
    for (int i = 0; i < count; ++i) {
      const tag_WordInfoW& r = records[i];
      out.push_back({r.nOffset, r.cLength, Utf8(r.pWord), r.cWordType,
                     r.pTag != nullptr ? Utf8(r.pTag) : "(null)"});
      EXPECT_EQ(r.nReserved0, 0);
      EXPECT_EQ(r.nReserved8, 0);
      EXPECT_EQ(r.nReserved28, 0);
    }
    tagger_->FreeWordSegResult(records, count);
    return out;
  }

  std::string Render(const std::string& text, int option) {
    CUString t = U(text);
    tag_WordInfoW* records = nullptr;
    int count = 0;
    tagger_->KyTagNEInfo(t.c_str(), option, records, count);
    std::u16string out(CKyVerrin::RenderedLength(records, count) + 1, u'\0');
    tagger_->OutputTaggedSentence(records, count, out.data());
    tagger_->FreeWordSegResult(records, count);
    return Utf8(out.c_str());
  }

  CNEResourceManager manager_;
  std::unique_ptr<CKyVerrin> tagger_;
};

TEST(RecordLayoutTest, FieldOrderAndTypes) {
  EXPECT_EQ(offsetof(tag_WordInfoW, nReserved0), 0u);
  EXPECT_EQ(offsetof(tag_WordInfoW, nOffset), 4u);
  EXPECT_EQ(offsetof(tag_WordInfoW, nReserved8), 8u);
  EXPECT_EQ(offsetof(tag_WordInfoW, cLength), 12u);
  EXPECT_EQ(offsetof(tag_WordInfoW, pWord), 16u);
  EXPECT_EQ(offsetof(tag_WordInfoW, cWordType), 16u + sizeof(void*));
  EXPECT_EQ(offsetof(tag_WordInfoW, pTag), 16u + 2 * sizeof(void*));
  EXPECT_EQ(sizeof(tag_WordInfoW), sizeof(void*) == 4 ? 32u : 48u);
}

TEST_F(TaggerTest, TagsPersonsLocationsAndWords) {
  const std::vector<Record> expected = {{0, 2, "张三", 3, "P"},      {2, 1, "在", 0, "(null)"},
                                        {3, 2, "北京", 3, "L"},      {5, 2, "大学", 0, "(null)"},
                                        {7, 2, "工作", 0, "(null)"}, {9, 1, "。", 0, "(null)"}};
  EXPECT_EQ(Tag("张三在北京大学工作。", 0), expected);
  // Records list the words before organization merging.
  EXPECT_EQ(Render("张三在北京大学工作。", 0), "[P 张三] 在 [L 北京] 大学 工作 。 ");
}

TEST_F(TaggerTest, SegmentedInputWithBracketsAndClassWords) {
  // Option 2: spaces separate words; brackets of other classes pass through;
  // a P bracket is decided anew by the model.
  std::vector<Record> got = Tag("[P 张三] 在 [ns 北京] 工作 2007", 2);
  const std::vector<Record> expected = {{0, 2, "张三", 3, "P"},
                                        {2, 1, "在", 0, "(null)"},
                                        {3, 2, "北京", 2, "ns"},
                                        {5, 2, "工作", 0, "(null)"},
                                        {7, 4, "2007", 2, "number"}};
  EXPECT_EQ(got, expected);
  // Option 1 with "/" separators, and an mdw bracket.
  got = Tag("张三/在/[mdw 北京]", 1);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], (Record{3, 2, "北京", 1, "mdw"}));
  EXPECT_EQ(Render("张三/在/[mdw 北京]", 1), "[P 张三] 在 [mdw 北京] ");
}

TEST_F(TaggerTest, EmptyTextAndLineFeed) {
  CUString empty(u"");
  tag_WordInfoW* records = nullptr;
  int count = -1;
  EXPECT_TRUE(tagger_->KyTagNEInfo(empty.c_str(), 0, records, count));
  EXPECT_NE(records, nullptr);
  EXPECT_EQ(count, 0);
  tagger_->FreeWordSegResult(records, count);
  tagger_->FreeWordSegResult(nullptr, 5);

  std::vector<Record> got = Tag("张三\n北京", 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].word, "张三");
}

TEST_F(TaggerTest, OffsetsSkipSeparatorsAcrossClauses) {
  std::vector<Record> got = Tag("张三 ， 在", 2);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1], (Record{2, 1, "，", 0, "(null)"}));
  EXPECT_EQ(got[2], (Record{3, 1, "在", 0, "(null)"})) << "offsets run on over clauses";
}

TEST_F(TaggerTest, WordLongerThan255UnitsIsSplitNotCorrupted) {
  std::string word;
  for (int i = 0; i < 600; ++i) word += "x";
  std::vector<Record> got = Tag("张三 " + word, 2);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[1].length, 255);
  EXPECT_EQ(got[2].length, 255);
  EXPECT_EQ(got[3].length, 90);
  EXPECT_EQ(got[1].offset, 2);
  EXPECT_EQ(got[2].offset, 257);
  EXPECT_EQ(got[3].offset, 512);
  EXPECT_EQ(got[1].tag, "engstring");
  EXPECT_EQ(got[3].tag, "engstring");
  EXPECT_EQ(got[1].word + got[2].word + got[3].word, word);
}

TEST_F(TaggerTest, RetaggingKeepsClassWordsAndRedecidesEntities) {
  CUString text = U("[P 张三] 在 [ns 北京] [mdw 大学] 2007");
  tag_WordInfoW* first = nullptr;
  int first_count = 0;
  tagger_->KyTagNEInfo(text.c_str(), 2, first, first_count);
  ASSERT_EQ(first_count, 5);
  tag_WordInfoW* second = nullptr;
  int second_count = 0;
  ASSERT_TRUE(tagger_->KyTagNEInfo(first, first_count, second, second_count));
  ASSERT_EQ(second_count, 5);
  // The P word is decided again (and found again); class words keep their
  // class; the mdw word goes back as a plain word and comes back as one.
  const int expected_types[5] = {3, 0, 2, 0, 2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Utf8(second[i].pWord), Utf8(first[i].pWord));
    EXPECT_EQ(second[i].cWordType, expected_types[i]) << i;
  }
  EXPECT_EQ(first[3].cWordType, 1);
  EXPECT_EQ(Utf8(second[2].pTag), "ns");
  EXPECT_EQ(second[3].pTag, nullptr);
  tagger_->FreeWordSegResult(first, first_count);
  tagger_->FreeWordSegResult(second, second_count);
}

TEST_F(TaggerTest, OutputTaggedSentenceBracketsEveryClass) {
  tag_WordInfoW records[3];
  records[0].SetWord(u"AB", 2);
  records[0].cWordType = 3;
  records[0].SetTag(u"P", 1);
  records[1].SetWord(u"c", 1);
  records[2].SetWord(u"DE", 2);
  records[2].cWordType = 3;
  records[2].SetTag(u"L", 1);
  std::u16string out(CKyVerrin::RenderedLength(records, 3) + 1, u'\0');
  tagger_->OutputTaggedSentence(records, 3, out.data());
  EXPECT_EQ(Utf8(out.c_str()), "[P AB] c [L DE] ");
  EXPECT_EQ(Utf8(out.c_str()).size() + 1, out.size());

  tag_WordInfoW mdw[1];
  mdw[0].SetWord(u"X", 1);
  mdw[0].cWordType = 1;
  mdw[0].SetTag(u"mdw", 3);
  std::u16string one(CKyVerrin::RenderedLength(mdw, 1) + 1, u'\0');
  tagger_->OutputTaggedSentence(mdw, 1, one.data());
  EXPECT_EQ(Utf8(one.c_str()), "[mdw X] ");
}

TEST_F(TaggerTest, HasNeAnswersByFlags) {
  EXPECT_FALSE(tagger_->KyHasNE(u"\u5F20\u4E09", 0, 0));
  EXPECT_TRUE(tagger_->KyHasNE(u"\u5F20\u4E09", 0, 1));
  EXPECT_TRUE(tagger_->KyHasNE(u"\u5F20\u4E09", 0, 2));
  EXPECT_TRUE(tagger_->KyHasNE(u"\u5F20\u4E09", 0, 3));
  EXPECT_FALSE(tagger_->KyHasNE(u"\u5F20\u4E09", 0, 4));
  EXPECT_FALSE(tagger_->KyHasNE(u"", 0, 3));
}

TEST_F(TaggerTest, InvalidOptionIsReportedAndTaggedAsRawText) {
  testing::CaptureDiagnostics();
  std::vector<Record> got = Tag("张三 在", 7);
  const std::string err = testing::GetCapturedDiagnostics();
  EXPECT_NE(err.find("the word separator option is error\n"), std::string::npos);
  EXPECT_EQ(err.find("the word separator option is error\n",
                     err.find("the word separator option is error\n") + 1),
            std::string::npos)
      << "printed once per call";
  // Raw mode drops the white space between the words.
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], (Record{2, 1, "在", 0, "(null)"}));
}

TEST_F(TaggerTest, OptionOneThenZeroKeepsSlashSeparator) {
  Tag("张三/在", 1);
  // Raw mode does not split at "/", the separator itself stays "/".
  std::vector<Record> got = Tag("张三/在", 0);
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[0].word, "张三");
  EXPECT_EQ(got[1].word, "/");
  got = Tag("张三 在", 2);
  const std::vector<Record> expected = {{0, 2, "张三", 3, "P"}, {2, 1, "在", 0, "(null)"}};
  EXPECT_EQ(got, expected) << "option 2 makes the space the separator again";
}

TEST(ResourceManagerTest, MissingFilesLeaveTheManagerEmpty) {
  const std::string dir = testing::MakeTempDir("no-labels");
  for (const char* f : {"/dict.txt", "/NeItem.txt", "/NeAffix.txt"}) {
    testing::WriteFile(dir + f, "");
  }
  CNEResourceManager manager;
  testing::CaptureDiagnostics();
  EXPECT_FALSE(manager.LoadResource(dir.c_str(), nullptr, false));
  EXPECT_NE(testing::GetCapturedDiagnostics().find("the charset label info file is not exist\n"),
            std::string::npos);
  EXPECT_EQ(manager.Resource(), nullptr);

  testing::WriteFile(dir + "/charset_lableInfo_tr.txt", "");
  EXPECT_TRUE(manager.LoadResource(dir.c_str(), nullptr, false)) << "a null model is no failure";
  EXPECT_NE(manager.Resource(), nullptr);
}

TEST(ResourceManagerTest, MissingLexiconFailsWithoutEndingTheProcess) {
  const std::string dir = testing::MakeTempDir("no-dict");
  testing::WriteFile(dir + "/NeItem.txt", "");
  testing::WriteFile(dir + "/NeAffix.txt", "");
  testing::WriteFile(dir + "/charset_lableInfo_tr.txt", "");
  CNEResourceManager manager;
  testing::CaptureDiagnostics();
  EXPECT_FALSE(manager.LoadResource(dir.c_str(), nullptr, false));
  const std::string err = testing::GetCapturedDiagnostics();
  EXPECT_NE(err.find("load " + dir + "/dict.txt failed.\n"), std::string::npos) << err;
  EXPECT_EQ(manager.Resource(), nullptr);
}

TEST(ResourceManagerTest, SecondLoadKeepsEarlierTaggersWorking) {
  CNEResourceManager manager;
  ASSERT_TRUE(manager.LoadResource(kResDir.c_str(), kModel.c_str(), false));
  CKyVerrin early(&manager);
  ASSERT_TRUE(manager.LoadResource(kResDir.c_str(), kModel.c_str(), false));
  tag_WordInfoW* records = nullptr;
  int count = 0;
  EXPECT_TRUE(early.KyTagNEInfo(u"\u5F20\u4E09", 0, records, count));
  EXPECT_EQ(count, 1);
  early.FreeWordSegResult(records, count);
}

}  // namespace
}  // namespace verrin
