// Event lines, event files and the evaluation of a labelled test file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>

#include "maxent/me_classifier.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::EntryTable;
using testing::Gbk;
using testing::MakeTempDir;
using testing::ReadFile;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

bool Parse(const std::string& utf8, CMESample& sample) {
  const CUString line = U(utf8);
  return ParseEventLine(line.c_str(), static_cast<size_t>(line.Length()), sample);
}

std::vector<std::string> Predicates(const CMESample& sample) {
  std::vector<std::string> out;
  for (const CUString& p : sample.predicates) out.push_back(Utf8(p));
  return out;
}

TEST(EventLineTest, LabelFollowsTheLastSpace) {
  CMESample sample;
  ASSERT_TRUE(Parse("char=A ct=3 pv1lb=2 5", sample));
  EXPECT_EQ(Utf8(sample.label), "5");
  EXPECT_EQ(Predicates(sample), (std::vector<std::string>{"char=A", "ct=3", "pv1lb=2"}));

  // Runs of white space split predicates; the line is trimmed first.
  ASSERT_TRUE(Parse("\t a\t\tb  c\r 12 \r\n", sample));
  EXPECT_EQ(Utf8(sample.label), "12");
  EXPECT_EQ(Predicates(sample), (std::vector<std::string>{"a", "b", "c"}));

  // A tab before the label does not separate it: only a space does.
  ASSERT_TRUE(Parse("a b\t7", sample));
  EXPECT_EQ(Utf8(sample.label), "b\t7");
  EXPECT_EQ(Predicates(sample), (std::vector<std::string>{"a"}));
}

TEST(EventLineTest, BlankLinesAndLabelsAlone) {
  CMESample sample;
  EXPECT_FALSE(Parse("", sample));
  EXPECT_FALSE(Parse(" \t\r\n", sample));
  ASSERT_TRUE(Parse("  19\n", sample));
  EXPECT_EQ(Utf8(sample.label), "19");
  EXPECT_TRUE(sample.predicates.empty());
}

TEST(EventLineTest, ReusedSampleLosesThePreviousPredicates) {
  CMESample sample;
  ASSERT_TRUE(Parse("aaaa bbbb cccc dddd 1", sample));
  ASSERT_TRUE(Parse("x y 2", sample));
  EXPECT_EQ(Predicates(sample), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Utf8(sample.label), "2");
}

class EvaluateTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir("evaluate"); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Outcomes "1" and "2"; predicates a and b together give p(1) = 3 / (3 + 1).
  void LoadModel(CMEClassifier& classifier) {
    EntryTable table;
    table.Add("1", "a", std::log(3.0) - 0.5).Add("1", "b", 0.5).Add("2", "c", 1.0);
    classifier.Model().LoadTable(table.Entries());
  }
  std::string dir_;
};

TEST_F(EvaluateTest, WritesOneResultLinePerEvent) {
  CMEClassifier classifier;
  LoadModel(classifier);
  WriteFile(Path("test.txt"), "a b 1\n");
  testing::CaptureDiagnostics();
  ASSERT_TRUE(classifier.Evaluate(Path("test.txt"), Path("result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "total=1, correct=1, rate=100.00\n\n");
  EXPECT_EQ(ReadFile(Path("result.txt")), "0\t1\t0.750000\t1\n");
}

TEST_F(EvaluateTest, BlankLinesAreSkippedAndNotNumbered) {
  CMEClassifier classifier;
  LoadModel(classifier);
  // Line 2: c gives p(2) = e / (1 + e) = 0.731059. Line 3: nothing known,
  // uniform, index 0 ("1") against gold 2.
  WriteFile(Path("test.txt"), Gbk("a b 1\n\n  \t\r\nc 2\r\n字 2"));
  testing::CaptureDiagnostics();
  ASSERT_TRUE(classifier.Evaluate(Path("test.txt"), Path("result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "total=3, correct=2, rate=66.67\n\n");
  EXPECT_EQ(ReadFile(Path("result.txt")),
            "0\t1\t0.750000\t1\n1\t2\t0.731059\t2\n2\t1\t0.500000\t2\n");
}

TEST_F(EvaluateTest, NoUsableLineGivesRateZero) {
  CMEClassifier classifier;
  LoadModel(classifier);
  WriteFile(Path("test.txt"), "\n\n");
  testing::CaptureDiagnostics();
  ASSERT_TRUE(classifier.Evaluate(Path("test.txt"), Path("result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "total=0, correct=0, rate=0.00\n\n");
  EXPECT_EQ(ReadFile(Path("result.txt")), "");
}

TEST_F(EvaluateTest, UnloadedModelCreatesNothing) {
  CMEClassifier classifier;
  WriteFile(Path("test.txt"), "a b 1\n");
  testing::CaptureDiagnostics();
  EXPECT_FALSE(classifier.Evaluate(Path("test.txt"), Path("result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "the model is not loaded\n");
  struct stat st;
  EXPECT_NE(stat(Path("result.txt").c_str(), &st), 0);
}

TEST_F(EvaluateTest, MissingTestFileLeavesNoResult) {
  CMEClassifier classifier;
  LoadModel(classifier);
  testing::CaptureDiagnostics();
  EXPECT_FALSE(classifier.Evaluate(Path("none.txt"), Path("result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(),
            "open file " + Path("none.txt") + " failed: No such file or directory\n");
  struct stat st;
  EXPECT_NE(stat(Path("result.txt").c_str(), &st), 0) << "an empty result must not be left";
}

TEST_F(EvaluateTest, UncreatableResultIsReported) {
  CMEClassifier classifier;
  LoadModel(classifier);
  WriteFile(Path("test.txt"), "a b 1\n");
  testing::CaptureDiagnostics();
  EXPECT_FALSE(classifier.Evaluate(Path("test.txt"), Path("no/dir/result.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(),
            "create file " + Path("no/dir/result.txt") + " failed: No such file or directory\n");
}

TEST_F(EvaluateTest, LoadEventsAddsEveryNonBlankLine) {
  CMEClassifier classifier;
  WriteFile(Path("events.txt"), Gbk("a b 1\n\nb 中 2\n" + std::string(200000, 'x') + " 1"));
  ASSERT_TRUE(classifier.LoadEvents(Path("events.txt")));
  const CMEModel::Impl& m = classifier.Model().Internals();
  ASSERT_EQ(m.pending.Size(), 3u);
  EXPECT_EQ(m.pending.outcomes, (std::vector<int32_t>{0, 1, 0}));
  EXPECT_EQ(m.pending.predicates, (std::vector<int32_t>{0, 1, 1, 2, 3}));
  EXPECT_EQ(classifier.Model().PredicateIndex(U(std::string(200000, 'x'))), 3);
  EXPECT_TRUE(classifier.HasOutcome(u"2"));
  EXPECT_FALSE(classifier.HasOutcome(u"3"));
}

TEST_F(EvaluateTest, LoadEventsReportsAMissingFile) {
  CMEClassifier classifier;
  testing::CaptureDiagnostics();
  EXPECT_FALSE(classifier.LoadEvents(Path("none.txt")));
  EXPECT_EQ(testing::GetCapturedDiagnostics(),
            "open file " + Path("none.txt") + " failed: No such file or directory\n");
}

}  // namespace
}  // namespace verrin
