// Taggers sharing one resource set tag at the same time on several threads,
// and taggers made and destroyed on one thread leave other threads' text
// conversions alone. Both tests also run under ThreadSanitizer
// (scripts/test-tsan.sh) and AddressSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

const std::string kDefault = VERRIN_DEFAULT_RESOURCE_DIR;
const std::string kHandMade = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

// Lines that reach every stage: entities, dictionary words, digit and Latin
// runs, class and "mdw" brackets, quotes, enumerations and a clause long
// enough to be cut at an enumeration comma.
std::vector<std::string> VariedLines() {
  const std::vector<std::string> pieces = {
      "国家主席江泽民在北京人民大会堂会见了美国总统克林顿。",
      "新华社北京一月五日电，国务院总理李鹏今天主持召开国务院常务会议。",
      "上海市政府决定在浦东新区建设一座新的国际会议中心",
      "中国科学院院士王选教授获得了国家最高科学技术奖！",
      "联合国秘书长安南访问了日本东京和韩国汉城；",
      "2007年IBM公司在[ns 北京]开设了研究院",
      "，[mdw 某某]在广州市天河区工作，",
      "他说：“我们明天去上海。”然后离开了",
      "三千五百名工人和200 名学生参加了比赛？",
      "张三、李四、王五、赵六都来自河北省石家庄市",
  };
  std::string long_clause;
  for (int i = 0; i < 24; ++i) long_clause += "北京上海天津重庆、";
  std::vector<std::string> lines;
  for (size_t i = 0; i < 48; ++i) {
    std::string line = pieces[i % pieces.size()] + pieces[(i * 7 + 3) % pieces.size()];
    if (i % 11 == 0) line += long_clause;
    lines.push_back(line);
  }
  return lines;
}

// The line with `separator` after every second character (the form that
// options 1 and 2 read).
std::string WithSeparators(const std::string& utf8, char16_t separator) {
  const CUString text = U(utf8);
  std::u16string out;
  for (int32_t i = 0; i < text.Length(); ++i) {
    out.push_back(text[i]);
    if (i % 2 == 1) out.push_back(separator);
  }
  return Utf8(out.c_str(), static_cast<int>(out.size()));
}

// Every field of every record, then the rendering.
std::string TagAll(CKyVerrin& tagger, const CUString& text, int option) {
  tag_WordInfoW* records = nullptr;
  int count = 0;
  if (!tagger.KyTagNEInfo(text.c_str(), option, records, count)) return "(failed)";
  std::string out;
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    out += std::to_string(r.nOffset) + "," + std::to_string(r.cLength) + "," + Utf8(r.pWord) + "," +
           std::to_string(r.cWordType) + "," + (r.pTag != nullptr ? Utf8(r.pTag) : "-") + " ";
  }
  std::u16string rendered(CKyVerrin::RenderedLength(records, count) + 1, u'\0');
  tagger.OutputTaggedSentence(records, count, rendered.data());
  tagger.FreeWordSegResult(records, count);
  return out + "| " + Utf8(rendered.c_str());
}

// The shipped resources, loaded once for the suite (loading dominates the
// time under the sanitizers).
class ConcurrentTaggingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shipped_ = new CNEResourceManager();
    ASSERT_TRUE(shipped_->LoadResource(kDefault.c_str(), (kDefault + "/model.txt").c_str(), false));
  }
  static void TearDownTestSuite() {
    delete shipped_;
    shipped_ = nullptr;
  }
  static CNEResourceManager* shipped_;
};

CNEResourceManager* ConcurrentTaggingTest::shipped_ = nullptr;

TEST_F(ConcurrentTaggingTest, FourThreadsOnOneManagerGiveSingleThreadedResults) {
  CNEResourceManager& manager = *shipped_;
  constexpr int kThreads = 4;
  // Each thread its own option, so a separator kept in the shared set would
  // show; thread 3 repeats raw text.
  const int options[kThreads] = {0, 1, 2, 0};
  const std::vector<std::string> lines = VariedLines();
  std::vector<std::vector<CUString>> inputs(kThreads);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int t = static_cast<int>(i % kThreads);
    const std::string form = options[t] == 1   ? WithSeparators(lines[i], u'/')
                             : options[t] == 2 ? WithSeparators(lines[i], u' ')
                                               : lines[i];
    inputs[t].push_back(U(form));
  }

  std::vector<std::vector<std::string>> expected(kThreads);
  {
    CKyVerrin tagger(&manager);
    for (int t = 0; t < kThreads; ++t) {
      for (const CUString& text : inputs[t])
        expected[t].push_back(TagAll(tagger, text, options[t]));
    }
  }
  // The clauses must really be tagged, or equal outputs would prove nothing.
  ASSERT_NE(expected[0][0].find("[P 江泽民]"), std::string::npos) << expected[0][0];
  ASSERT_NE(expected[1][0].find("[L "), std::string::npos) << expected[1][0];

  constexpr int kRounds = 2;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CKyVerrin tagger(&manager);
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        for (const CUString& text : inputs[t]) seen[t].push_back(TagAll(tagger, text, options[t]));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), kRounds * expected[t].size());
    for (size_t i = 0; i < seen[t].size(); ++i) {
      EXPECT_EQ(seen[t][i], expected[t][i % expected[t].size()])
          << "thread " << t << ", call " << i;
    }
  }
}

TEST_F(ConcurrentTaggingTest, DestroyedTaggersLeaveOtherThreadsConvertersAlone) {
  const std::string dir = testing::MakeTempDir("converter_lifetime");
  std::string gbk;
  for (const std::string& line : VariedLines()) gbk += testing::Gbk(line) + "\n";
  testing::WriteFile(dir + "/in.txt", gbk);

  CNEResourceManager& file_manager = *shipped_;
  CNEResourceManager churn_manager;
  ASSERT_TRUE(
      churn_manager.LoadResource(kHandMade.c_str(), (kHandMade + "/model.txt").c_str(), false));
  {
    CKyVerrin tagger(&file_manager);
    ASSERT_TRUE(tagger.KyTagNEInfo((dir + "/in.txt").c_str(), 0, (dir + "/alone.txt").c_str()));
  }
  const std::string alone = testing::ReadFile(dir + "/alone.txt");
  ASSERT_NE(alone.find(testing::Gbk("[P 江泽民]")), std::string::npos);

  // One thread tags the file while the other keeps making a tagger of a
  // second manager, converting with it and destroying it.
  std::atomic<bool> done{false};
  std::atomic<int> churned{0};
  std::thread churn([&] {
    const CUString text = U("李鹏在北京会见了克林顿。");
    while (!done.load() || churned.load() < 20) {
      CKyVerrin tagger(&churn_manager);
      EXPECT_NE(TagAll(tagger, text, 0), "(failed)");
      ++churned;
    }
  });
  bool tagged = false;
  {
    CKyVerrin tagger(&file_manager);
    tagged = tagger.KyTagNEInfo((dir + "/in.txt").c_str(), 0, (dir + "/shared.txt").c_str());
  }
  done = true;
  churn.join();
  EXPECT_TRUE(tagged);
  EXPECT_EQ(testing::ReadFile(dir + "/shared.txt"), alone);
}

}  // namespace
}  // namespace verrin
