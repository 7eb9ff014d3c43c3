// The shipped resources find the entities of everyday sentences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

const std::string kDefault = VERRIN_DEFAULT_RESOURCE_DIR;

class DefaultModelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    manager_ = new CNEResourceManager();
    ASSERT_TRUE(manager_->LoadResource(kDefault.c_str(), (kDefault + "/model.txt").c_str(), false));
  }
  static void TearDownTestSuite() {
    delete manager_;
    manager_ = nullptr;
  }

  // The entities of the text as "class:word".
  std::vector<std::string> Entities(const std::string& text) {
    CKyVerrin tagger(manager_);
    CUString t = testing::U(text);
    tag_WordInfoW* records = nullptr;
    int count = 0;
    EXPECT_TRUE(tagger.KyTagNEInfo(t.c_str(), 0, records, count));
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
      if (records[i].cWordType == 3) {
        out.push_back(testing::Utf8(records[i].pTag) + ":" + testing::Utf8(records[i].pWord));
      }
    }
    tagger.FreeWordSegResult(records, count);
    return out;
  }

  static CNEResourceManager* manager_;
};

CNEResourceManager* DefaultModelTest::manager_ = nullptr;

TEST_F(DefaultModelTest, FindsPersonsLocationsAndOrganizations) {
  EXPECT_EQ(Entities("国家主席江泽民在北京会见了美国总统克林顿。"),
            (std::vector<std::string>{"P:江泽民", "L:北京", "L:美国", "P:克林顿"}));
  EXPECT_EQ(Entities("国务院总理李鹏今天主持召开国务院常务会议。"),
            (std::vector<std::string>{"O:国务院", "P:李鹏", "O:国务院"}));
  // The training convention: a city before its government is a location.
  EXPECT_EQ(Entities("上海市政府决定在浦东新区建设一座新的会议中心。"),
            (std::vector<std::string>{"L:上海市", "L:浦东新区"}));
  EXPECT_EQ(Entities("联合国秘书长安南访问了日本东京。"),
            (std::vector<std::string>{"O:联合国", "P:安南", "L:日本", "L:东京"}));
}

TEST_F(DefaultModelTest, PlainSentenceHasNoEntity) {
  EXPECT_TRUE(Entities("今天天气很好，我们去散步吧。").empty());
}

// The shipped model has no outcome for the mdw label: a bracket of class mdw
// after the first word must not leave its clause with no path and drop the
// whole clause from the records.
TEST_F(DefaultModelTest, EveryBracketClassKeepsItsClause) {
  for (const std::string text :
       {"他在[mdw 某某]。", "[mdw 某某]在北京。", "他在[engstring abc]工作", "他在[foo 某某]工作",
        "张三和[mdw 李四]在[mdw 北京大学][number 12]号楼"}) {
    CKyVerrin tagger(manager_);
    CUString t = testing::U(text);
    tag_WordInfoW* records = nullptr;
    int count = 0;
    ASSERT_TRUE(tagger.KyTagNEInfo(t.c_str(), 0, records, count));
    EXPECT_EQ(tagger.UntaggedClauses(), 0) << text;
    std::string words, mdw;
    for (int i = 0; i < count; ++i) {
      words += testing::Utf8(records[i].pWord);
      if (records[i].cWordType == 1) mdw += testing::Utf8(records[i].pWord) + "|";
    }
    tagger.FreeWordSegResult(records, count);
    // Every character of the input but the bracket marks comes back, and
    // each mdw bracket as one record of type 1.
    std::string expected, expected_mdw, klass, word;
    enum { kText, kClass, kWord } state = kText;
    for (char c : text) {
      if (state == kText && c == '[') {
        state = kClass;
        klass.clear();
        word.clear();
      } else if (state == kClass && c == ' ') {
        state = kWord;
      } else if (state == kClass) {
        klass += c;
      } else if (state == kWord && c == ']') {
        state = kText;
        if (klass == "mdw") expected_mdw += word + "|";
      } else {
        expected += c;
        if (state == kWord) word += c;
      }
    }
    EXPECT_EQ(words, expected) << text;
    EXPECT_EQ(mdw, expected_mdw) << text;
  }
}

}  // namespace
}  // namespace verrin
