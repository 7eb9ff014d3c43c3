// Training-feature generation from a bracketed corpus.
#include <gtest/gtest.h>

#include <string>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

class FeatureDataTest : public ::testing::Test {
 protected:
  FeatureDataTest() : engine_(&resource_) {}

  // Runs the generator over `corpus` (UTF-8 here, GBK on disk).
  void Generate(const std::string& corpus) {
    dir_ = testing::MakeTempDir("feature-data");
    testing::WriteFile(dir_ + "/corpus.txt", testing::Gbk(corpus));
    testing::CaptureDiagnostics();
    EXPECT_TRUE(engine_.GenerateFeatureData((dir_ + "/corpus.txt").c_str(), 0, dir_.c_str()));
    progress_ = testing::GetCapturedDiagnostics();
  }

  // The event file, as UTF-8.
  std::string Events() {
    return testing::Utf8(FromGbk(testing::ReadFile(dir_ + "/ME_featuredata_tr.txt")));
  }

  CNEResource resource_;
  CNEEngine engine_;
  std::string dir_;
  std::string progress_;
};

TEST_F(FeatureDataTest, PersonBracketYieldsLabelledSamplesInOrder) {
  Generate("[P 甲乙] 说\n");
  // Working: positions 0..3 are 甲 乙 说 and the sentinel; labels 2 4 1 52.
  // History first (51/0 at the start), then the character predicates.
  const std::string expected =
      "pv1lb=51 pv2lb=0 char=甲 ct=1 ntc1=乙 nt1ct=1 ntc0c1=甲乙 ntc2=说 ntc1c2=乙说 2\n"
      "pv1lb=2 pv2lb=51 char=乙 ct=1 ntc1=说 nt1ct=1 ntc0c1=乙说 ntc2=\x02 ntc1c2=说\x02 "
      "pvc1=甲 pvc0c1=甲乙 pv1nt1=甲说 4\n"
      "pv1lb=4 pv2lb=2 char=说 ct=1 ntc1=\x02 nt1ct=11 ntc0c1=说\x02 pvc1=乙 pvc0c1=乙说 "
      "pv1nt1=乙\x02 1\n"
      "pv1lb=1 pv2lb=4 char=\x02 ct=11 pvc1=说 pvc0c1=说\x02 pvc1c2=乙说 pvc2=乙 52\n";
  EXPECT_EQ(Events(), expected);
  // The label table holds what each character carried.
  EXPECT_EQ(testing::ReadFile(dir_ + "/charset_lableInfo_tr.txt"),
            testing::Gbk("乙\t16\n甲\t4\n说\t2\n"));
}

TEST_F(FeatureDataTest, BlankLinesAndFixedRunsYieldNoSamples) {
  // Three fixed labels in a row (punctuation) leave no sample for the third.
  Generate("\n   \n， 。 ！\n");
  const std::string events = Events();
  int lines = 0;
  for (char c : events) lines += c == '\n';
  // ， (18 after 51, 0): all unscored -> dropped; 。 and ！ likewise; the
  // sentinel after 18, 18 too. Nothing remains.
  EXPECT_EQ(lines, 0) << events;
}

TEST_F(FeatureDataTest, MissingCorpusIsReported) {
  testing::CaptureDiagnostics();
  EXPECT_FALSE(engine_.GenerateFeatureData("/no/such/corpus.txt", 0, "/tmp"));
  EXPECT_EQ(testing::GetCapturedDiagnostics(),
            "Could not open file /no/such/corpus.txt: No such file or directory\n");
}

}  // namespace
}  // namespace verrin
