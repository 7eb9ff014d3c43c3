// A warm engine tags a clause without touching the heap: the clause, its
// nodes, samples, lattice and rendering reuse the storage of earlier
// clauses. Counted by replacing the global operator new in this binary.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "test_util.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Not inlined: GCC would otherwise pair the free() below with the operator
// new of a new-expression and warn of a mismatch (an error with -Werror).
__attribute__((noinline)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace verrin {
namespace {

using testing::U;

// Raw text (dictionary words, digit, Latin and numeral runs, punctuation,
// quotes, entity brackets) and the same cut into words.
const std::vector<std::string> kRaw = {
    "国家主席江泽民在北京人民大会堂会见了美国总统克林顿。",
    "新华社北京一月五日电，国务院总理李鹏今天主持召开国务院常务会议。",
    "2007年IBM公司在[ns 北京]开设了研究院，[mdw 某某]在广州市天河区工作",
    "他说：“我们明天去上海。”三千五百名工人和200 名学生参加了比赛？",
};
const std::vector<std::string> kSegmented = {
    "国家 主席 江泽民 在 北京 人民 大会堂 会见 了 美国 总统 克林顿 。",
    "2007 年 IBM 公司 在 [ns 北京] 开设 了 研究院 ， [P 张三] 说",
};

class ClauseAllocationTest : public ::testing::Test {
 protected:
  ClauseAllocationTest() : engine_(&resource_) {}

  void SetUp() override {
    const std::string dir = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";
    const std::string model = dir + "/model.txt";
    ASSERT_TRUE(resource_.LoadDictionaries(dir.c_str(), model.c_str(), false));
    ASSERT_TRUE(resource_.LoadCharLabels(0, dir.c_str(), false));
  }

  // Tags every clause of `lines` into `rendered` (the clauses' renderings,
  // each followed by a line feed); returns the allocations made.
  long TagAll(const std::vector<std::string>& lines, bool segmented, std::u16string& rendered) {
    std::vector<CUString> texts;
    for (const std::string& line : lines) texts.push_back(U(line));
    rendered.clear();
    rendered.reserve(1 << 16);
    const long before = g_allocations.load();
    for (const CUString& text : texts) {
      const char16_t* units = text.c_str();
      const int32_t length = text.Length();
      bool opened_by_break = false;
      for (int32_t start = 0; start < length;) {
        int32_t n = CNEEngine::ClauseLength(units + start, length - start, segmented,
                                            opened_by_break, &opened_by_break);
        if (n < 0) n = length - start;
        // (EXPECT_* would allocate its message only when it fails.)
        if (!engine_.TagClause(units + start, n, segmented)) rendered += u"FAILED";
        start += n;
        rendered.append(engine_.Rendered().c_str(), engine_.Rendered().Length());
        rendered += u'\n';
      }
    }
    return g_allocations.load() - before;
  }

  CNEResource resource_;
  CNEEngine engine_;
};

TEST_F(ClauseAllocationTest, WarmEngineTagsWithoutAllocating) {
  for (const int option : {0, 1, 2}) {
    const bool segmented = engine_.SetWordSeparatorOption(option);
    std::vector<std::string> lines = segmented ? kSegmented : kRaw;
    if (option == 1) {
      for (std::string& line : lines) {
        for (char& c : line) c = c == ' ' ? '/' : c;
      }
    }
    std::u16string first, warm;
    const long cold = TagAll(lines, segmented, first);
    // The first clauses set the storage up (and show that the count works).
    if (option == 0) {
      EXPECT_GT(cold, 100);
    }
    TagAll(lines, segmented, warm);
    EXPECT_EQ(TagAll(lines, segmented, warm), 0) << "option " << option;
    // Reused storage changes no result.
    EXPECT_EQ(warm, first) << "option " << option;
    EXPECT_NE(first.find(u"[number 2007]"), std::u16string::npos) << "option " << option;
    EXPECT_EQ(first.find(u"FAILED"), std::u16string::npos) << "option " << option;
  }
}

}  // namespace
}  // namespace verrin
